#include "sensors/SensorNumber.h"
#include "core/NumberText.h"
#include <cmath>

namespace rv {

SensorNumberProblem checkSensorNumber(const QString& number) {
    if (!isNumberText(number) || !std::isfinite(leadingNumber(number)))
        return SensorNumberProblem::NotNumeric;
    if (number.size() != 9) return SensorNumberProblem::NotNineDigits;
    for (const QChar c : number)
        if (c < u'0' || c > u'9') return SensorNumberProblem::NotNineDigits;
    const int sequence = sequenceOf(number).toInt();
    if (sequence < 1 || sequence > 999) return SensorNumberProblem::SequenceOutOfRange;
    return SensorNumberProblem::None;
}

QString sensorNumberMessage(SensorNumberProblem problem) {
    switch (problem) {
    case SensorNumberProblem::None:
        break;
    case SensorNumberProblem::NotNumeric:
        return QStringLiteral("Sensor # must be a numeric value");
    case SensorNumberProblem::NotNineDigits:
        return QStringLiteral("Sensor # must be 9 digits");
    case SensorNumberProblem::SequenceOutOfRange:
        return QStringLiteral("Last 3 digits must be between 001 and 999");
    }
    return {};
}

} // namespace rv
