#pragma once
// The sensor registry's handlers on the main window: moving between sensors (the Previous
// and Next buttons, picking from and typing into the sensor box), adding a sensor,
// deleting one, and the sensor filter on the "6. Utilities" tab. The main window builds
// one SensorRegistry and places filterGroup() on its Utilities tab.
//
// The handlers are spread over a few files by area: SensorNavigation.cpp, AddSensor.cpp,
// DeleteSensor.cpp and SensorFiltering.cpp.
#include "sensors/FilterGroup.h"
#include "store/Recordset.h"
#include <QObject>
#include <QPointer>
#include <QString>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace rv {

struct Session;
class IdentificationTab;
class SensorRecord;
class SensorRecordHost;

class SensorRegistry : public QObject {
    Q_OBJECT
public:
    SensorRegistry(Session& session, IdentificationTab& identification, SensorRecord& record,
                   SensorRecordHost& host);
    ~SensorRegistry() override;

    // The filter group, for the Utilities tab (which then owns it).
    QWidget* filterGroup();
    FilterGroup& filter() { return *m_filter; }

    // Lists every sensor of rsSensors in the sensor box, in ascending order, leaving
    // rsSensors after its last row (as at start-up and after a restore). Filling the list
    // from code is no pick by the user, so no sensor is shown.
    void relistSensors();

    // On a site server, the sensors as stored now: another engineer may have added or
    // deleted some. rsSensors is read again and stays on the sensor shown, and the list and
    // the count follow; a sensor shown that another engineer deleted is said so, and the
    // first sensor is shown instead (answered false). Nothing on a file (one engineer at a
    // time).
    // told: the engineer was already told that the sensor shown is gone.
    bool takeOthersSensors(bool told = false);

    // Moving between sensors.
    void cboSensors_Click();
    // What a key that went down in the sensor box means: Delete and Backspace switch the
    // completion off, Enter adds the typed number, any other key switches it back on.
    void cboSensors_KeyDown(int key);
    // Whether a typed character may reach the sensor box: with more than 9 characters in
    // the box only Backspace does.
    bool cboSensors_KeyPress(const QKeyEvent& key);
    void imgNext_Click();
    void imgPrevious_Click();
    // Shows the sensor with this identifier (the one before is saved). Answers false, with
    // a message, when the sensor is not among those listed (the filter hides it).
    bool goToSensor(const QString& id);

    // Adding a sensor.
    void imgAddSensor_Click();
    void G_AddTypedSensor();

    // Deleting the current sensor.
    void imgDelete_Click();

    // The sensor filter.
    void imgFilter_Click();
    void G_AddFilter(const RowFilter& filter);
    void G_RemoveFilter();
    void txtStartDate_LostFocus();
    void txtEndDate_LostFocus();

    // True after Delete or Backspace went down in the sensor box: no completion then.
    bool SkipAutoComplete = false;
    // The number being added and the type's family and model copied onto it.
    QString gNewSensorID;
    QString gNewFamily;
    QString gNewModel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Announces the sensor shown once per user action, however many steps of it show a
    // sensor: the outermost handler announces when it ends, if any step moved.
    class Announcing {
    public:
        explicit Announcing(SensorRegistry& registry);
        ~Announcing();
        Announcing(const Announcing&) = delete;
        Announcing& operator=(const Announcing&) = delete;

    private:
        SensorRegistry& m_r;
    };
    // Shows the current row of rsSensors in the record's boxes (a step that moved).
    void showCurrent();
    void tellDeletedByAnother(const QString& id);
    // Takes the filter off and shows the first sensor (G_RemoveFilter without announcing).
    void removeFilter();

    // A key for the sensor box: its KeyDown meaning, the key's own effect in the box
    // (unless discarded), then the completion of what the box now holds.
    void sensorBoxKey(QKeyEvent* key);
    void completeSensorBox();

    // The sensor box's text, set from code (never a pick: nothing moves).
    void setSensorBoxText(const QString& text);
    QString currentSensorId() const;
    // Lists rsSensors from its current row to its end in the sensor box, in ascending order.
    void listSensors();
    // Rebuilds the list from the first row of rsSensors, shows the first sensor (or the
    // no-sensor state), names it in the sensor box and sets the sensor count.
    void listAndShowFirst();
    // Whether the Sensors table holds a row with this identifier, whatever the filter
    // and without moving rsSensors.
    bool sensorRegistered(const QString& id);
    // The new Sensors row; on failure the row is abandoned and the sensor shown until now
    // is current again.
    void addSensorRow(const QString& id);

    void setFilterState(bool applied);
    void checkDateBox(QLineEdit* box, const QString& firstLine);
    // Puts the focus into a date box without the check of the box it leaves.
    void focusDateBox(QLineEdit* box);

    Session& m_s;
    IdentificationTab& m_id;
    SensorRecord& m_record;
    SensorRecordHost& m_host;
    QPointer<FilterGroup> m_filter;
    // The objects whose keys are watched, kept apart so the filter never reaches into a
    // tab that is being torn down.
    QObject* m_sensorBox;
    QObject* m_sensorEdit;
    bool m_focusGuard = false;
    int m_handling = 0;   // handlers running, nested ones included
    bool m_moved = false; // a step of the running handler showed a sensor
};

} // namespace rv
