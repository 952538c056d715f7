#pragma once
// The current sensor's readings table as the tabs and windows reach it: opened on the
// sensor's readings, or announced and created when it is missing, asking before an
// existing table is replaced. The store's operations do the work; the messages and the
// question are shown here.
namespace rv {

struct Session;

// Opens rsReadings on the current sensor's readings; a missing table is announced and
// created (and then opened, empty, so rsReadings always describes the current sensor).
void OpenSensorData(Session& s);

// Creates the current sensor's readings table, asking before it replaces one.
void AddDataTable(Session& s);

} // namespace rv
