#include "platform/QtProgress.h"
#include <QCoreApplication>
#include <QProgressDialog>

namespace rv {

namespace {
// QProgressDialog counts in int: large totals are scaled to this many steps.
constexpr int kScale = 1000;
} // namespace

QtProgress::QtProgress(QWidget* parent) : m_parent(parent) {}

QtProgress::~QtProgress() = default;

void QtProgress::begin(const QString& label, qint64 total) {
    m_total = total;
    m_dialog = std::make_unique<QProgressDialog>(label, QStringLiteral("Cancel"), 0,
                                                 total > 0 ? kScale : 0, m_parent);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(400);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
    m_sinceRepaint.start();
}

bool QtProgress::step(qint64 done) {
    if (!m_dialog) return true;
    if (m_sinceRepaint.elapsed() >= 50) {
        m_sinceRepaint.restart();
        if (m_total > 0) m_dialog->setValue(int(qMin<qint64>(kScale, done * kScale / m_total)));
        QCoreApplication::processEvents();
    }
    return !m_dialog->wasCanceled();
}

void QtProgress::end() {
    if (m_dialog) m_dialog->close();
    m_dialog.reset();
}

} // namespace rv
