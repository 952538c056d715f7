// Deleting the current sensor: its readings table, its NetworkConfig row and its Sensors
// row. Every step that fails is skipped and the next one runs; nothing is logged.
#include "alarms/AlarmStore.h"
#include "history/ImportHistory.h"
#include "platform/Dialogs.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/Session.h"

namespace rv {

namespace {
// Whether a sensor's identifier may name the readings table that is dropped with it. A
// damaged Sensors row could carry the name of one of the fixed tables, or a backquote
// that would end the quoted name early: neither is ever sent in a DROP TABLE.
bool isReadingsTableName(const QString& id) {
    if (id.contains(QLatin1Char('`'))) return false;
    for (const char* fixed : {"Configuration", "Sensors", "NetworkConfig", "Prefs", "sensordata"})
        if (id.compare(QLatin1String(fixed), Qt::CaseInsensitive) == 0) return false;
    return true;
}
} // namespace

void SensorRegistry::imgDelete_Click() {
    const Announcing announcing(*this);
    Recordset& rs = m_s.rsSensors;
    QString id;
    skip([&] { id = currentSensorId(); });
    // Without a current sensor there is nothing to delete; an empty identifier would
    // otherwise match the NetworkConfig rows that name no sensor.
    if (id.isEmpty()) return;
    if (!m_s.dialogs.ask(QStringLiteral("Permanently delete Sensor ") + id +
                             QStringLiteral(" from database?"),
                         kTitleCaps))
        return;
    // On a site server, a sensor another engineer changed since it was shown is not deleted
    // unseen: its stored record is shown instead. One they deleted is gone already.
    if (const Status unchanged = rs.lockCurrentUnchanged();
        byAnotherEngineer(unchanged.error().number)) {
        const bool gone = unchanged.error().number == err::DeletedByAnother;
        m_s.dialogs.inform(unchanged.error().description +
                               (gone ? QString() : QStringLiteral(" It was not deleted.")),
                           QStringLiteral("Site server"), Icon::Exclamation);
        if (gone) {
            (void)takeOthersSensors(true);
        } else {
            showCurrent();
        }
        return;
    }

    skip([&] {
        if (isReadingsTableName(id)) need(m_s.gConnection.execute(sql::dropReadingsTable(id)));
    });
    skip([&] {
        Recordset network;
        need(network.open(m_s.gConnection, sql::NetworkBySensor));
        need(network.moveFirst());
        need(network.find(QStringLiteral("SensorID = '") + id + QStringLiteral("'")));
        // Removing a row writes the deletion to the table at once.
        if (!network.eof()) need(network.remove());
    });
    // The sensor's alarm levels go with it, so a sensor added again under the same
    // identifier starts without levels.
    skip([&] {
        if (hasAlarmTable(m_s.gConnection)) need(deleteAlarmLevels(m_s.gConnection, id));
    });
    // Its import history too: its readings are gone, there is nothing left to undo.
    skip([&] {
        if (hasHistoryTables(m_s.gConnection)) need(deleteBatchesOf(m_s.gConnection, id));
    });
    skip([&] { need(rs.remove()); });
    skip([&] { m_id.cboSensors->clear(); });
    skip([&] {
        if (rs.recordCount() > 0) {
            need(rs.moveFirst());
            listSensors();
            need(rs.moveFirst());
            setSensorBoxText(currentSensorId());
        }
    });
    skip([&] { showCurrent(); });
}

} // namespace rv
