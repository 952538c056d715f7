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
    bool tableExists(const QString& name) {
        Connection c;
        if (!openDatabase(c, Connection::Mode::ReadOnly).ok()) return false;
        const auto names = c.tables();
        return names.ok() && names.value().contains(name);
    }
};

} // namespace rv::test
