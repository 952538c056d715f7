#pragma once
// The rules that admit a new instrument identifier: a number of exactly nine ASCII
// digits whose last three (the sequence number) lie from 001 to 999. Pure functions.
#include <QString>

namespace rv {

enum class SensorNumberProblem {
    None,
    NotNumeric,        // "Sensor # must be a numeric value"
    NotNineDigits,     // "Sensor # must be 9 digits"
    SequenceOutOfRange // "Last 3 digits must be between 001 and 999"
};

// The first rule a typed number breaks, in the order the user is told about them:
//  1. numeric: the text is one complete, finite number ("12345678a", "", "١٢٣" are not);
//  2. exactly nine characters, each an ASCII digit '0'-'9' (blanks, signs, points and
//     digits of other scripts refused: "123456.78" is numeric but not nine digits);
//  3. characters 7-9 taken as a number from 1 to 999 ("...000" refused).
SensorNumberProblem checkSensorNumber(const QString& number);

// The message shown for a problem; empty for None.
QString sensorNumberMessage(SensorNumberProblem problem);

// The parts of an admitted identifier: characters 1-4, 5-6 and 7-9.
inline QString dateIdOf(const QString& id) {
    return id.left(4);
}
inline QString typeOf(const QString& id) {
    return id.mid(4, 2);
}
inline QString sequenceOf(const QString& id) {
    return id.mid(6, 3);
}

} // namespace rv
