#include "sensordata/SensorData.h"
#include "core/Values.h"
#include "store/Module1.h"
#include "store/Session.h"

namespace rv {

namespace {
const QString kOpenSensorData = QStringLiteral(" Module1_OpenSensorData");
const QString kAddDataTable = QStringLiteral(" Module1_AddDataTable");

QString currentSensorId(Session& s, const QString& column) {
    return displayText(need(s.currentSensor.value(column)));
}
} // namespace

void AddDataTable(Session& s) {
    logged(s, kAddDataTable, [&] {
        const QString id = currentSensorId(s, QStringLiteral("InstrumentId"));
        if (TableExists(s, s.gDatabasePath, id)) {
            s.dialogs.inform(QStringLiteral("Table ") + id + QStringLiteral(" Already Exists"));
            if (!s.dialogs.ask(QStringLiteral("Table ") + id + QStringLiteral(" already exists") +
                                   kCrLf + QStringLiteral("Do you want to overwrite this table?"),
                               kTitleCaps))
                return;
            need(replaceReadingsTable(s.gConnection, id));
            return;
        }
        need(createReadingsTable(s.gConnection, id));
    });
}

void OpenSensorData(Session& s) {
    logged(s, kOpenSensorData, [&] {
        const QString id = currentSensorId(s, QStringLiteral("InstrumentID"));
        // A site server out of reach cannot say whether the table is there: the action
        // ends with that, and no table is offered.
        const Status opened = openReadings(s.gConnection, s.rsReadings, id);
        if (opened.ok()) return;
        if (opened.error().number == err::ConnectionLost) need(opened);
        if (TableExists(s, s.gDatabasePath, id)) {
            need(openReadings(s.gConnection, s.rsReadings, id));
            return;
        }
        // The readings shown from now on are this sensor's: never leave another
        // sensor's readings open while its table is being created.
        s.rsReadings.close();
        s.dialogs.inform(QStringLiteral("The data table for Sensor ") + id +
                         QStringLiteral(" could not be found") + kCrLf +
                         QStringLiteral("A new table will be created"));
        AddDataTable(s);
        if (TableExists(s, s.gDatabasePath, id))
            need(s.rsReadings.open(s.gConnection, sql::readingsByDate(id)));
    });
}

} // namespace rv
