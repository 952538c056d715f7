#pragma once
// The sample mine the pictures of the README and the manual are drawn on: a handful of
// load cells on two levels, three of them read every six hours for up to ten weeks.
#include "platform/Status.h"
#include <QDateTime>
#include <QString>

namespace rv::shots {

// The sensor whose readings the pictures show.
inline const QString kSampleSensor = QStringLiteral("200625001");

// Creates the shipped database at databasePath and fills it with the sample sensors and
// the readings of kSampleSensor, up to and including `until`.
Status buildSampleDatabase(const QString& databasePath, const QDateTime& until);

// A datalogger download of sensor `id` (200625001, 002 or 003): hourly readings of the two
// days up to its last stored reading (the six-hourly ones among them are stored already);
// kSampleSensor's holds the hour of a rock burst.
QByteArray sampleDownload(const QDateTime& until, const QString& id = kSampleSensor);

} // namespace rv::shots
