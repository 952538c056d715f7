// Adding a sensor from its nine-digit identifier: the "Add New" prompt, Enter in the
// sensor box, and G_AddTypedSensor.
#include "core/DateText.h"
#include "core/Values.h"
#include "platform/Dialogs.h"
#include "platform/WriteCheck.h"
#include "sensordata/SensorData.h"
#include "sensors/SensorNumber.h"
#include "sensors/SensorRecord.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Session.h"
#include <QDir>
#include <QFileInfo>

namespace rv {

namespace {
const QString kAddTypedSensor = QStringLiteral(" G_AddTypedSensor");

QString findCriterion(const char* column, const QString& value) {
    return QString::fromLatin1(column) + QStringLiteral(" = '") + value + QStringLiteral("'");
}

// Why the database cannot take a new sensor: the file write-protected, its folder unable
// to hold the engine's journal, or the connection open for reading only; empty when it can.
// On a site server the file is not in use: the server's own permissions answer, and the
// store reports a write the server refuses.
QString whyDatabaseCannotBeWritten(const Session& s) {
    if (!s.gConnection.onServer()) {
        if (QString why = whyCannotChange(s.gDatabasePath); !why.isEmpty()) return why;
        if (QString why = whyCannotWrite(s.paths, QFileInfo(s.gDatabasePath).absolutePath());
            !why.isEmpty())
            return why;
    }
    if (s.gConnection.isOpen() && s.gConnection.readOnly()) {
        // On a site server the file is not the database in use: the server is named.
        if (s.gConnection.onServer())
            return QStringLiteral("The database ") + serverDisplayName(s.gConnection.path()) +
                   QStringLiteral(" is open for reading only: your database user may read "
                                  "but not write.");
        return QStringLiteral("The database ") + QDir::toNativeSeparators(s.gDatabasePath) +
               QStringLiteral(" is open for reading only.");
    }
    return {};
}
} // namespace

void SensorRegistry::imgAddSensor_Click() {
    gNewSensorID.clear();
    gNewSensorID = m_s.dialogs
                       .prompt(QStringLiteral("Enter new Sensor No:"),
                               QStringLiteral("Add New Sensor"), QString())
                       .value_or(QString());
    if (!gNewSensorID.isEmpty())
        G_AddTypedSensor();
    else
        m_s.dialogs.inform(QStringLiteral("No sensor entered"));
}

bool SensorRegistry::sensorRegistered(const QString& id) {
    // A recordset of its own over every Sensors row: rsSensors may be filtered, and it
    // stays on the sensor the boxes show.
    Recordset all;
    need(all.open(m_s.gConnection, sql::SensorsByNumber));
    if (all.recordCount() == 0) return false;
    need(all.find(findCriterion("InstrumentID", id)));
    return !all.eof();
}

void SensorRegistry::addSensorRow(const QString& id) {
    Recordset& rs = m_s.rsSensors;
    const Result<qint64> shown = rs.bookmark();
    const Status added = [&]() -> Status {
        if (Status s = rs.addNew(); !s.ok()) return s;
        const std::pair<const char*, QVariant> values[] = {
            {"InstrumentID", id},
            {"Family", gNewFamily},
            {"Model", gNewModel},
            {"SensorType", typeOf(id)},
            {"DateID", dateIdOf(id)},
            {"TypeID", typeOf(id)},
            {"SensorNo", sequenceOf(id)},
            {"InstallDate", readingDateText(m_s.clock.today())},
            {"Destroyed", QStringLiteral("No")},
            {"HeadLocation", true},
        };
        for (const auto& [column, value] : values)
            if (Status s = rs.setValue(QString::fromLatin1(column), value); !s.ok()) return s;
        return rs.update();
    }();
    if (!added.ok()) {
        // Whatever failed, the new row is gone and the sensor on screen is current again,
        // so the next save writes its boxes into its own row.
        rs.cancelUpdate();
        if (shown.ok()) (void)rs.setBookmark(shown.value());
        need(added);
    }
}

void SensorRegistry::G_AddTypedSensor() {
    const Announcing announcing(*this);
    logged(m_s, kAddTypedSensor, [&] {
        const QString number = gNewSensorID;
        setSensorBoxText(number);
        m_record.savefields();

        const SensorNumberProblem problem = checkSensorNumber(number);
        if (problem != SensorNumberProblem::None) {
            m_s.dialogs.inform(sensorNumberMessage(problem),
                               QStringLiteral("Invalid Sensor Number"));
            return;
        }

        Recordset& config = m_s.rsConfig;
        bool typeKnown = false;
        if (config.recordCount() > 0) {
            need(config.moveFirst());
            need(config.find(findCriterion("SensorType", typeOf(number))));
            typeKnown = !config.eof();
        }
        if (!typeKnown) m_s.dialogs.inform(QStringLiteral("Sensors database error!!!"));

        const auto tellExists = [&] {
            m_s.dialogs.inform(QStringLiteral("Sensor ") + number +
                                   QStringLiteral(" already exists") + kCrLf + kCrLf +
                                   QStringLiteral("Type a new sensor number in the 'Add or "
                                                  "Select Sensor' combo box") +
                                   kCrLf +
                                   QStringLiteral("Then click 'Add New' or hit the Enter key"),
                               kTitle, Icon::Information);
        };
        if (sensorRegistered(number)) return tellExists();
        // A readings table left behind without its sensor: nothing is added over it.
        if (TableExists(m_s, m_s.gDatabasePath, number)) return;

        if (!m_s.dialogs.ask(QStringLiteral("Do you want to add new Sensor ") + number +
                                 QStringLiteral(" to the database?"),
                             kTitle))
            return;
        // Nothing is written to a database that cannot take it all: the user learns why.
        if (const QString why = whyDatabaseCannotBeWritten(m_s); !why.isEmpty()) {
            m_s.dialogs.inform(QStringLiteral("Sensor ") + number +
                                   QStringLiteral(" cannot be added.") + kCrLf + why,
                               kTitle, Icon::Exclamation);
            return;
        }

        // Another engineer on the same site server may have added it while the question
        // was open, or add it in the instant before this row is written (the database then
        // refuses the second row): either way the engineer is told it exists, and the list
        // gains it.
        const auto addedByAnother = [&] {
            if (!m_s.gConnection.onServer() || !sensorRegistered(number)) return false;
            tellExists();
            need(m_s.rsSensors.requery());
            addSorted(m_id.cboSensors, number);
            m_host.setSensorCount(QString::number(m_s.rsSensors.recordCount()));
            showCurrent();
            return true;
        };
        if (addedByAnother()) return;
        gNewFamily = displayText(need(config.value(QStringLiteral("Family"))));
        gNewModel = displayText(need(config.value(QStringLiteral("Model"))));
        try {
            addSensorRow(number);
        } catch (const Abort&) {
            if (addedByAnother()) return;
            throw;
        }
        showCurrent();
        AddDataTable(m_s);
        addSorted(m_id.cboSensors, number);
        setSensorBoxText(number);
        Recordset& rs = m_s.rsSensors;
        m_host.setSensorCount(QString::number(rs.recordCount()));

        need(rs.requery());
        auto findNewSensor = [&] {
            if (rs.recordCount() == 0) return false;
            need(rs.moveFirst());
            need(rs.find(findCriterion("InstrumentID", number)));
            return !rs.eof();
        };
        if (!findNewSensor() && rs.hasFilter()) {
            // The applied filter hides the new sensor: it is removed, so that the new
            // sensor can be the one shown.
            removeFilter();
            findNewSensor();
            setSensorBoxText(number);
        }
        showCurrent();
        m_record.savefields();
    });
}

} // namespace rv
