#pragma once
// The error log LODIX_logfile.txt in the data folder: a text file that only grows.
#include "platform/Status.h"
#include <QString>

namespace rv {

class Clock;

inline const QString kLogFileName = QStringLiteral("LODIX_logfile.txt");

// "Err #" + number + ": " + description + label (the label begins with a blank).
QString errorText(const Error& error, const QString& label);

// Appends one entry (an empty line, 89 asterisks, the general date and time, " - ",
// the message) to the log in dataFolder. The file is created when missing, the
// folder never is. Any failure is ignored: logging never fails towards its caller.
void LogError(const QString& dataFolder, const Clock& clock, const QString& message);

} // namespace rv
