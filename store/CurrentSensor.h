#pragma once
// The sensor shown: the one model of "the current sensor" for every tab and window. It
// is the current row of rsSensors, which only the sensor navigation moves; the others
// read the sensor from here and follow its announcements to refresh themselves.
//
// Each announcement is made exactly once per event, by the part that caused it:
//  - changed():  another sensor is shown, or none (a move, a pick from the list, a sensor
//                added or deleted, the filter set or taken off, the first sensor at
//                start-up);
//  - saved():    the record of the sensor shown was written back;
//  - restored(): the whole database was replaced (a restore): read everything again.
#include "platform/Status.h"
#include <QObject>
#include <QString>
#include <QVariant>

namespace rv {

class Recordset;

class CurrentSensor : public QObject {
    Q_OBJECT
public:
    explicit CurrentSensor(Recordset& sensors, QObject* parent = nullptr);

    // Whether a sensor is shown: the sensors are open and on a row (neither before the
    // first nor after the last; a row just deleted stays current until the next move).
    bool exists() const;
    // The sensor's identifier (its InstrumentID) as display text; empty when none.
    QString id() const;
    // A column of the sensor's record by name (letter case ignored); a failure when no
    // sensor is shown or there is no such column.
    Result<QVariant> value(const QString& column) const;
    // A column as display text: "" for Null, for an unknown column or with no sensor.
    QString text(const QString& column) const;
    // The sensors listed (those of the filter, when one is set; 0 when the sensors are
    // not open) and the sensor's place among them as the recordset counts it (1-based;
    // -2 before the first, -3 after the last, -1 on a row just deleted; 0 when not open).
    qint64 count() const;
    qint64 position() const;

    // The announcements, made by the part that caused the event.
    void announceChanged();
    void announceSaved();
    void announceRestored();

signals:
    void changed();
    void saved();
    void restored();

private:
    Recordset& m_sensors;
};

} // namespace rv
