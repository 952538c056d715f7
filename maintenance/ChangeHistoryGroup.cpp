#include "maintenance/ChangeHistoryGroup.h"
#include "core/DateText.h"
#include "platform/OpenWritten.h"
#include "platform/UserChoices.h"
#include "platform/WriteCheck.h"
#include "reports/ChangesSheet.h"
#include "reports/frmReport.h"
#include "store/Session.h"
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>

namespace rv {

namespace {

const QString kExportLabel = QStringLiteral(" cmdExportChanges_Click");
const QString kClearLabel = QStringLiteral(" cmdClearBefore_Click");
const QString kSizeLabel = QStringLiteral(" G_HistorySize");
// Room a workbook of the history needs per entry.
constexpr qint64 kEntryRoom = 256;

// 1234 -> "1,234", whatever the regional settings.
QString countText(qint64 n) {
    QLocale english = QLocale::c();
    english.setNumberOptions(QLocale::DefaultNumberOptions);
    return english.toString(n);
}

QString counted(qint64 n, const QString& one, const QString& many) {
    return countText(n) + u' ' + (n == 1 ? one : many);
}

} // namespace

ChangeHistoryGroup::ChangeHistoryGroup(Session& session, QWidget* parent)
    : QGroupBox(QStringLiteral("History of changes"), parent), m_s(session) {
    setObjectName(QStringLiteral("fraChanges"));
    lblChanges = new QLabel(this);
    lblChanges->setObjectName(QStringLiteral("lblChanges"));
    lblChanges->setWordWrap(true);
    cmdExportChanges = new QPushButton(QStringLiteral("Export to spreadsheet..."), this);
    cmdExportChanges->setObjectName(QStringLiteral("cmdExportChanges"));
    cmdExportChanges->setToolTip(
        QStringLiteral("Every recorded change of every sensor, in a workbook of your choice"));
    dtpClearBefore = new QDateEdit(this);
    dtpClearBefore->setObjectName(QStringLiteral("dtpClearBefore"));
    dtpClearBefore->setLocale(QLocale::c());
    dtpClearBefore->setDisplayFormat(dayFormat());
    dtpClearBefore->setCalendarPopup(true);
    // A year's history is kept unless the engineer chooses otherwise.
    dtpClearBefore->setDate(m_s.clock.today().addYears(-1));
    cmdClearBefore = new QPushButton(QStringLiteral("Clear older..."), this);
    cmdClearBefore->setObjectName(QStringLiteral("cmdClearBefore"));
    cmdClearBefore->setToolTip(
        QStringLiteral("Delete the changes recorded before the day chosen beside"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblChanges, 0, 0, 1, 4);
    grid->addWidget(cmdExportChanges, 1, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("Changes before:"), this), 2, 0);
    grid->addWidget(dtpClearBefore, 2, 1);
    grid->addWidget(cmdClearBefore, 2, 2);
    grid->setColumnStretch(3, 1);

    connect(cmdExportChanges, &QPushButton::clicked, this,
            &ChangeHistoryGroup::cmdExportChanges_Click);
    connect(cmdClearBefore, &QPushButton::clicked, this, &ChangeHistoryGroup::cmdClearBefore_Click);
    // Another sensor shown after a database was switched or restored: the size shown is
    // that of the database open now.
    for (auto signal : {&CurrentSensor::changed, &CurrentSensor::restored})
        connect(&m_s.currentSensor, signal, this, [this] {
            if (isVisible()) refresh();
        });
    refresh();
}

void ChangeHistoryGroup::showEvent(QShowEvent* event) {
    QGroupBox::showEvent(event);
    // The tab shown, not the window coming back from the task bar.
    if (!event->spontaneous()) refresh();
}

void ChangeHistoryGroup::refresh() {
    Connection& c = m_s.gConnection;
    const bool kept = c.isOpen() && hasChangeTables(c);
    bool any = false;
    if (!kept) {
        lblChanges->setText(QStringLiteral("This database keeps no record of changes."));
    } else if (const Result<HistorySize> size = historySize(c); !size.ok()) {
        m_s.logFailure(size.error(), kSizeLabel);
        lblChanges->setText(
            QStringLiteral("The size of the history could not be read (see the log file)."));
    } else if (size.value().entries == 0) {
        lblChanges->setText(QStringLiteral("No changes are recorded."));
    } else {
        const HistorySize& n = size.value();
        any = true;
        lblChanges->setText(
            counted(n.entries, QStringLiteral("change"), QStringLiteral("changes")) +
            QStringLiteral(" in ") +
            counted(n.actions, QStringLiteral("action"), QStringLiteral("actions")) +
            (n.oldest ? QStringLiteral(" since ") + dayText(n.oldest->date()) : QString()));
    }
    cmdExportChanges->setEnabled(any);
    const bool clearable = any && !c.readOnly();
    dtpClearBefore->setEnabled(clearable);
    cmdClearBefore->setEnabled(clearable);
    cmdClearBefore->setToolTip(
        clearable || !any
            ? QStringLiteral("Delete the changes recorded before the day chosen beside")
            : QStringLiteral("The database is read-only: its history cannot be cleared."));
}

void ChangeHistoryGroup::cmdExportChanges_Click() {
    Session& s = m_s;
    QString folder = UserChoices(s.paths).text(kKeptFolderKey);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString suggested = QDir(folder).filePath(
        QStringLiteral("History of changes ") +
        s.clock.today().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".xlsx"));
    QString path = s.dialogs.saveFileName(QStringLiteral("Export the history of changes"),
                                          suggested, QStringLiteral("Excel workbook (*.xlsx)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) != 0)
        path += QStringLiteral(".xlsx");
    logged(s, kExportLabel, [&] {
        auto failed = [&](const Error& error) {
            s.dialogs.inform(QStringLiteral("The history of changes could not be exported:") +
                                 kCrLf + error.description,
                             kTitle, Icon::Exclamation);
            need(Status(error));
        };
        const Result<std::vector<ChangeEntry>> entries = listChanges(s.gConnection, {});
        if (!entries.ok()) failed(entries.error());
        const qint64 room = qint64(entries.value().size() + 1) * kEntryRoom;
        QString why = whyCannotWrite(s.paths, QFileInfo(path).absolutePath(), room);
        if (why.isEmpty() && QFileInfo::exists(path)) why = whyCannotChange(path);
        if (!why.isEmpty()) {
            s.dialogs.inform(QStringLiteral("The history of changes could not be exported:") +
                                 kCrLf + why,
                             kTitle, Icon::Exclamation);
            return;
        }
        const Result<bool> written = writeChangesWorkbook(path, entries.value(), *m_progress);
        if (!written.ok()) failed(written.error());
        if (!written.value()) return; // cancelled: nothing was written
        need(openWritten(s.dialogs, s.desktop, path));
    });
    refresh();
}

void ChangeHistoryGroup::cmdClearBefore_Click() {
    Session& s = m_s;
    const QDate day = dtpClearBefore->date();
    logged(s, kClearLabel, [&] {
        // How many go, for the confirmation: the entries made before the day's first moment.
        const qint64 count = need(countChangesBefore(s.gConnection, day));
        if (count == 0) {
            s.dialogs.inform(QStringLiteral("No changes are recorded before ") + dayText(day) +
                                 QStringLiteral(": nothing was cleared."),
                             kTitle, Icon::Information);
            return;
        }
        if (!s.dialogs.ask(QStringLiteral("Delete the ") +
                               counted(count, QStringLiteral("change"), QStringLiteral("changes")) +
                               QStringLiteral(" recorded before ") + dayText(day) +
                               QStringLiteral("? This cannot be undone; export the history "
                                              "first if it must be kept."),
                           kTitle, Icon::Exclamation))
            return;
        const Result<qint64> cleared = clearChangesBefore(s.gConnection, day, how::Utilities);
        if (!cleared.ok()) {
            s.dialogs.inform(QStringLiteral("The history could not be cleared: nothing was "
                                            "deleted.") +
                                 kCrLf + cleared.error().description,
                             kTitle, Icon::Exclamation);
            need(Status(cleared.error()));
        }
        s.dialogs.inform(
            counted(cleared.value(), QStringLiteral("change was"), QStringLiteral("changes were")) +
                QStringLiteral(" cleared."),
            kTitle, Icon::Information);
    });
    refresh();
}

} // namespace rv
