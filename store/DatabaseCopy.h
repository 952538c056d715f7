#pragma once
// Copying a whole Rockvane database from one open connection to another, whichever engine
// each is on: a file's data onto a site server, a server's data into a backup file, a backup
// file's data back onto the server.
//
// The copy is one transaction on the target. Every program table is copied (the fixed
// tables, the readings template, each sensor's readings table, the alarm levels and the
// import history when the source has them), every value as the kind it is held as: a text
// stays a text ("0012.50" keeps its zeros), a number a number, a null a null. Before the
// transaction commits, the row count of every table and every reading's DateTimeKey are
// compared between the source and the target; any difference rolls the whole copy back and
// names the table. The source is only ever read.
#include "platform/Status.h"
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace rv {

class Connection;

// What the target holds before the copy.
enum class CopyInto {
    // A database just made for the copy (a new file, a server database just prepared): it
    // must hold no sensor, no readings table and no import; the seed rows of its fixed
    // tables give way to the source's rows.
    NewDatabase,
    // A database whose data the source's replaces: its readings tables the source does not
    // have are dropped, every other program table emptied, then everything is copied.
    Replace,
};

// One table compared after the copy.
struct CopiedTable {
    QString name;
    qint64 sourceRows = 0;
    qint64 targetRows = 0;
};

struct CopyReport {
    std::vector<CopiedTable> tables; // in the order copied
    qint64 rows = 0;                 // every row copied
};

// Told the rows copied so far of the total; answers false to cancel the copy (the target
// is then left as it was).
using CopyProgress = std::function<bool(qint64 copied, qint64 total)>;

// The error number of a copy the progress cancelled.
namespace err {
constexpr long long CopyCancelled = 1201;
// The target is not empty where it must be, or the copy does not match its source.
constexpr long long CopyRefused = 1202;
constexpr long long CopyMismatch = 1203;
} // namespace err

// The program tables of an open database in the order they are copied: the fixed tables,
// AlarmLevels, ImportBatches and ImportBatchRows where present, then every sensor's
// readings table (named by the sensor's InstrumentID) that exists. Names as the database
// spells them.
Result<QStringList> programTables(Connection& c);

// Those of tables whose names differ from one of the program's own tables only in the case
// of their letters, each as "name for Name", in the program's order; empty when none.
QStringList tablesSpelledOtherwise(const QStringList& tables);

// Copies every program table of source onto target (see above). Neither connection may be
// in a transaction. The report lists each table with both counts.
Result<CopyReport> copyDatabase(Connection& source, Connection& target, CopyInto how,
                                const CopyProgress& progress = {});

// How many other connections are open to the site-server database c is connected to (this
// one left out); 0 for a file.
Result<int> otherConnections(Connection& c);

} // namespace rv
