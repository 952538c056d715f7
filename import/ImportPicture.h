#pragma once
// The picture of the import window in the manual, drawn by the program itself.
#include <QImage>
#include <QString>

namespace rv {

// Draws the import window as the user meets it: the datalogger file staged for the sensor
// its name gives (200625001.txt for sensor 200625001) in a data folder of its own, the
// marks proposed for a period of 24 hours, and "YYYY/MM/DD" chosen. A null image when the
// file cannot be staged. Needs a QApplication.
QImage drawImportWindow(const QString& dataloggerFile);

} // namespace rv
