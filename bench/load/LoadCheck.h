#pragma once
// The load driver's check, after every client has ended: the server's readings and import
// history against what each client was told (LoadRecord.h). It reads the server through a
// libpq connection of its own, not through the program's store, so a fault of the store
// cannot hide itself.
#include "bench/load/LoadRecord.h"
#include <QString>
#include <QStringList>
#include <vector>

namespace rv::load {

struct CheckReport {
    qint64 readings = 0;      // readings stored in the shared sensors
    qint64 batches = 0;       // import history entries
    qint64 lost = 0;          // readings reported stored that are not, or lost updates
    qint64 doubled = 0;       // readings stored twice, or in two import records
    qint64 wrongValues = 0;   // values no reported-saved action wrote
    qint64 refusedStored = 0; // values or imports reported refused that are stored
    qint64 historyWrong = 0;  // import records that differ from what their import appended
    qint64 serverFaults = 0;  // the server's own index and table checks
    QStringList problems;     // the first of them, described
    bool passed() const {
        return lost + doubled + wrongValues + refusedStored + historyWrong + serverFaults == 0 &&
               problems.isEmpty();
    }
};

CheckReport checkServer(const QString& conninfo, const QStringList& sensors,
                        const std::vector<Event>& events);

} // namespace rv::load
