#include "sensors/LevelsGroup.h"
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "store/Session.h"
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace rv {

namespace {
const QColor kAlarmColour(200, 30, 30);
const QColor kAlertColour(200, 120, 0);
} // namespace

LevelsGroup::LevelsGroup(Session& session, QWidget* parent)
    : QGroupBox(QStringLiteral("Sensors beyond their levels"), parent), m_s(session) {
    setObjectName(QStringLiteral("fraBeyond"));
    lstBeyond = new QTableWidget(0, 4, this);
    lstBeyond->setObjectName(QStringLiteral("lstBeyond"));
    lstBeyond->setHorizontalHeaderLabels({QStringLiteral("Sensor"), QStringLiteral("Load (tons)"),
                                          QStringLiteral("Level"), QStringLiteral("Reading")});
    lstBeyond->verticalHeader()->hide();
    lstBeyond->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstBeyond->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstBeyond->setSelectionMode(QAbstractItemView::SingleSelection);
    lstBeyond->horizontalHeader()->setStretchLastSection(true);
    lstBeyond->setMinimumHeight(110);
    lstBeyond->setToolTip(QStringLiteral("Double-click a sensor to go to it"));
    lblBeyond = new QLabel(this);
    lblBeyond->setObjectName(QStringLiteral("lblBeyond"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblBeyond);
    layout->addWidget(lstBeyond);
    connect(lstBeyond, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (QTableWidgetItem* item = lstBeyond->item(row, 0)) emit goToSensor(item->text());
    }); // A restore replaces every sensor and reading the list was made from; it is shown on
    // the tab the restore is made from, so it is made again at once.
    connect(&m_s.currentSensor, &CurrentSensor::restored, this, &LevelsGroup::refresh);
}

void LevelsGroup::refresh() {
    lstBeyond->setRowCount(0);
    if (!m_s.gConnection.isOpen() || !hasAlarmTable(m_s.gConnection)) {
        lblBeyond->setText(QStringLiteral("Not available: the database is read-only."));
        return;
    }
    const auto beyond = sensorsBeyondLevels(m_s.gConnection);
    if (!beyond) {
        m_s.logFailure(beyond.error(), QStringLiteral(" G_SensorsBeyondLevels"));
        lblBeyond->setText(QStringLiteral("The list could not be read (see the log file)."));
        return;
    }
    const auto& rows = beyond.value();
    lblBeyond->setText(rows.empty() ? QStringLiteral("No sensor is at or above its levels.")
                                    : QString::number(rows.size()) +
                                          (rows.size() == 1 ? QStringLiteral(" sensor is")
                                                            : QStringLiteral(" sensors are")) +
                                          QStringLiteral(" at or above a level:"));
    lstBeyond->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const SensorBeyond& b = rows[std::size_t(r)];
        const bool alarm = b.reached == LevelReached::Alarm;
        const QString level =
            (alarm ? QStringLiteral("ALARM ") : QStringLiteral("alert ")) + plainDecimal(b.level);
        const QString cells[] = {b.instrumentId, formatNumber(b.load, 2), level,
                                 b.at.isValid() ? b.at.toString(QStringLiteral("yyyy/MM/dd HH:mm"))
                                                : QString()};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setForeground(alarm ? kAlarmColour : kAlertColour);
            lstBeyond->setItem(r, c, item);
        }
    }
    lstBeyond->resizeColumnsToContents();
}

} // namespace rv
