// Deleting the current sensor: its readings table, its NetworkConfig row, its alarm levels,
// its import history and its Sensors row (the deletion kept in the history of changes), all
// in one transaction. A step that fails undoes them all: the sensor stays as it was, with its
// readings, and the engineer is told why (and the log keeps it).
#include "alarms/AlarmStore.h"
#include "history/ImportHistory.h"
#include "platform/Dialogs.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"

namespace rv {

namespace {
// Every write of the deletion, inside the caller's transaction, ending at the first that
// fails. rs is on the sensor's row; its removal writes the deletion into the history of
// changes in the same transaction. A readings table that is missing is no failure.
Status deleteSensorRows(Connection& c, Recordset& rs, const QString& id) {
    try {
        // A damaged Sensors row may name one of the program's own tables, or hold a
        // backquote that would end the quoted name early: neither is sent in a DROP TABLE.
        if (!unusableReadingsTableName(id))
            need(c.execute(QStringLiteral("DROP TABLE IF EXISTS ") + sql::quoted(id)));
        Recordset network;
        need(network.open(c, sql::NetworkBySensor));
        if (network.recordCount() > 0) {
            need(network.moveFirst());
            need(network.find(QStringLiteral("SensorID = '") + id + QStringLiteral("'")));
            if (!network.eof()) need(network.remove());
        }
        // The sensor's alarm levels go with it, so a sensor added again under the same
        // identifier starts without levels.
        if (hasAlarmTable(c)) need(deleteAlarmLevels(c, id));
        // Its import history too: its readings are gone, there is nothing left to undo.
        if (hasHistoryTables(c)) need(deleteBatchesOf(c, id));
        need(rs.remove());
    } catch (const Abort& a) {
        return a.error;
    }
    return {};
}
} // namespace

void SensorRegistry::imgDelete_Click() {
    const Announcing announcing(*this);
    Recordset& rs = m_s.rsSensors;
    Connection& c = m_s.gConnection;
    QString id;
    skip([&] { id = currentSensorId(); });
    // Without a current sensor there is nothing to delete; an empty identifier would
    // otherwise match the NetworkConfig rows that name no sensor.
    if (id.isEmpty()) return;
    if (!m_s.dialogs.ask(QStringLiteral("Permanently delete Sensor ") + id +
                             QStringLiteral(" from database?"),
                         kTitleCaps))
        return;

    Status deleted = c.begin();
    const bool begun = deleted.ok();
    // On a site server, a sensor another engineer changed since it was shown is not deleted
    // unseen: its stored record is shown instead. One they deleted is gone already. The
    // sensor's row stays locked until the deletion ends.
    if (deleted.ok()) deleted = rs.lockCurrentUnchanged();
    if (!deleted.ok() && byAnotherEngineer(deleted.error().number)) {
        c.rollback();
        const bool gone = deleted.error().number == err::DeletedByAnother;
        m_s.dialogs.inform(deleted.error().description +
                               (gone ? QString() : QStringLiteral(" It was not deleted.")),
                           QStringLiteral("Site server"), Icon::Exclamation);
        if (gone) {
            (void)takeOthersSensors(true);
        } else {
            showCurrent();
        }
        return;
    }
    if (deleted.ok()) deleted = deleteSensorRows(c, rs, id);
    if (deleted.ok()) deleted = c.commit();
    if (!deleted.ok()) {
        // Nothing of the deletion is kept: the sensor stays registered with its readings.
        if (begun) c.rollback();
        c.forgetColumns();
        m_s.LogError(errorText(deleted.error(), QStringLiteral(" imgDelete_Click")));
        // The registry let go of the sensor's row as its removal was written, before the
        // end of the transaction failed: the rows are read again and the sensor shown.
        if (rs.absolutePosition() == Recordset::PosUnknown)
            skip([&] {
                need(rs.requery());
                if (rs.recordCount() > 0) {
                    need(rs.moveFirst());
                    need(rs.find(QStringLiteral("InstrumentID = '") + id + QStringLiteral("'")));
                }
                if (rs.eof()) return listAndShowFirst();
                showCurrent();
            });
        m_s.dialogs.inform(QStringLiteral("Sensor ") + id + QStringLiteral(" was not deleted: ") +
                               deleted.error().description + kCrLf + kCrLf +
                               QStringLiteral("Its record, its readings, its alarm levels and its "
                                              "import history are kept as they were."),
                           kTitleCaps, Icon::Exclamation);
        return;
    }

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
