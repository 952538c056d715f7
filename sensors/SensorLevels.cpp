// The alarm levels of the current sensor on the "2. Installation" tab. They are kept
// beside the sensor's record (table AlarmLevels) and saved whenever the record is.
#include "alarms/AlarmStore.h"
#include "core/Values.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorTabs.h"
#include "store/Session.h"

namespace rv {

namespace {
const QString kLevelsTitle = QStringLiteral("Alarm levels");

QStringList typedLevels(const InstallationTab& tab) {
    return {tab.txtAlertLoad->text().trimmed(), tab.txtAlarmLoad->text().trimmed(),
            tab.txtRateLimit->text().trimmed()};
}
} // namespace

void SensorRecord::fillLevels() {
    const bool available = m_s.gConnection.isOpen() && hasAlarmTable(m_s.gConnection);
    m_inst.fraLevels->setEnabled(available);
    m_inst.fraLevels->setTitle(available ? kLevelsTitle
                                         : kLevelsTitle + QStringLiteral(" (not available: the "
                                                                         "database is read-only)"));
    AlarmLevels levels;
    if (available) {
        const QString id =
            displayText(need(m_s.currentSensor.value(QStringLiteral("InstrumentID"))));
        if (const auto stored = loadAlarmLevels(m_s.gConnection, id))
            levels = stored.value();
        else
            m_s.logFailure(stored.error(), QStringLiteral(" G_fillLevels"));
    }
    m_inst.txtAlertLoad->setText(levelText(levels.alert));
    m_inst.txtAlarmLoad->setText(levelText(levels.alarm));
    m_inst.txtRateLimit->setText(levelText(levels.ratePerDay));
    m_levelsShown = typedLevels(m_inst);
}

void SensorRecord::saveLevels() {
    Recordset& rs = m_s.rsSensors;
    if (!m_inst.fraLevels->isEnabled() || !rs.isOpen() || rs.bof() || rs.eof()) return;
    const QStringList typed = typedLevels(m_inst);
    if (typed == m_levelsShown) return;
    const auto levels = readAlarmLevels(typed.at(0), typed.at(1), typed.at(2));
    if (!levels) {
        m_s.dialogs.inform(levels.error().description + kCrLf + kCrLf +
                               QStringLiteral("The alarm levels were not saved."),
                           kLevelsTitle, Icon::Exclamation);
        return;
    }
    logged(m_s, QStringLiteral(" G_saveLevels"), [&] {
        const QString id = displayText(need(rs.value(QStringLiteral("InstrumentID"))));
        need(saveAlarmLevels(m_s.gConnection, id, levels.value()));
        m_levelsShown = typed;
    });
}

} // namespace rv
