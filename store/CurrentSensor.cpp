#include "store/CurrentSensor.h"
#include "core/Values.h"
#include "store/Recordset.h"

namespace rv {

CurrentSensor::CurrentSensor(Recordset& sensors, QObject* parent)
    : QObject(parent), m_sensors(sensors) {}

bool CurrentSensor::exists() const {
    return m_sensors.isOpen() && !m_sensors.bof() && !m_sensors.eof();
}

QString CurrentSensor::id() const {
    return text(QStringLiteral("InstrumentID"));
}

// The recordset's own answer, failures included, so that a log entry reads as it did
// when the tabs asked rsSensors themselves.
Result<QVariant> CurrentSensor::value(const QString& column) const {
    return m_sensors.value(column);
}

QString CurrentSensor::text(const QString& column) const {
    const Result<QVariant> v = value(column);
    return v.ok() ? displayText(v.value()) : QString();
}

qint64 CurrentSensor::count() const {
    return m_sensors.isOpen() ? m_sensors.recordCount() : 0;
}

qint64 CurrentSensor::position() const {
    return m_sensors.isOpen() ? m_sensors.absolutePosition() : 0;
}

void CurrentSensor::announceChanged() {
    emit changed();
}

void CurrentSensor::announceSaved() {
    emit saved();
}

void CurrentSensor::announceRestored() {
    emit restored();
}

} // namespace rv
