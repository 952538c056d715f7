#pragma once
// One client of the load driver: an engineer's work on the shared sensors of a site
// server for a set time, through the same store, import, history and readings functions
// the windows call, each action recorded with what the engineer was told (LoadRecord.h).
#include <QString>
#include <QStringList>

namespace rv::load {

struct ClientPlan {
    int client = 0;
    QString conninfo;
    QStringList sensors; // the shared sensors, in the order of their index
    int seconds = 60;
    int thinkMs = 300; // the most an engineer pauses between actions (a random share of it)
    QString recordPath;
};

// Works until the time is up; answers the process's exit code (0 unless the server could
// not be opened or the record not written).
int runClient(const ClientPlan& plan);

} // namespace rv::load
