#pragma once
// The main window started on a data folder with a few sensors, for the tests of moving
// between, adding, deleting and filtering sensors.
#include "app/UtilitiesTab.h"
#include "sensors/FilterGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "tests/support/DataFolder.h"
#include "tests/support/MainWindow.h"
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

namespace rv::test {

class RegistryTest : public MainWindowTest {
protected:
    void startWith(const QStringList& ids) {
        for (const QString& id : ids)
            addSensorRow(id);
        ASSERT_TRUE(start());
        window->show();
    }

    IdentificationTab& id() { return *window->identification; }
    SensorRegistry& registry() { return *window->registry; }
    FilterGroup& filter() { return registry().filter(); }
    QComboBox* box() { return window->identification->cboSensors; }
    QLineEdit* level() { return window->installation->txtLevel; }
    QString shown() { return id().txtSensor->text(); }
    QString count() { return window->utilities->txtSCount->text(); }
    QStringList listed() {
        QStringList items;
        for (int i = 0; i < box()->count(); ++i)
            items << box()->itemText(i);
        return items;
    }
    QString column(const QString& name, const QString& sensor) {
        return scalar(QStringLiteral("SELECT %1 FROM Sensors WHERE InstrumentID = '%2'")
                          .arg(name, sensor))
            .toString();
    }
    int rows(const QString& sql) { return scalar(sql).toInt(); }
    int sensors() { return rows(QStringLiteral("SELECT count(*) FROM Sensors")); }
    // Makes the database refuse every row `event` ("INSERT", "UPDATE" or "DELETE") on the
    // table with an error whose text is `why`, on the file and on a site server alike (a
    // trigger raising it); allow() takes the refusal away again.
    void refuse(const QString& table, const QString& event, const QString& why) {
        QString text = why;
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        if (onServer()) {
            execSql(QStringLiteral("CREATE OR REPLACE FUNCTION rv_refuse() RETURNS trigger "
                                   "LANGUAGE plpgsql AS 'BEGIN RAISE EXCEPTION ''%'', "
                                   "TG_ARGV[0]; END'"));
            execSql(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON `%3` FOR EACH ROW EXECUTE "
                                   "FUNCTION rv_refuse('%4')")
                        .arg(refusal(table, event), event, table, text));
            return;
        }
        execSql(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON `%3` BEGIN SELECT RAISE(ABORT, "
                               "'%4'); END")
                    .arg(refusal(table, event), event, table, text));
    }
    void allow(const QString& table, const QString& event) {
        execSql(QStringLiteral("DROP TRIGGER %1").arg(refusal(table, event)) +
                (onServer() ? QStringLiteral(" ON `%1`").arg(table) : QString()));
    }
    bool tableExists(const QString& name) {
        Connection c;
        if (!openDatabase(c, Connection::Mode::ReadOnly).ok()) return false;
        const auto names = c.tables();
        return names.ok() && names.value().contains(name);
    }

private:
    static QString refusal(const QString& table, const QString& event) {
        return QStringLiteral("rv_refuse_%1_%2").arg(event, table).toLower();
    }
};

} // namespace rv::test
