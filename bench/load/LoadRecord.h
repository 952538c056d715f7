#pragma once
// What the load driver's clients do and what they were told, as the driver checks it
// afterwards against the server.
//
// The readings the clients write fall in two kinds, by date:
// - the shared readings (2030): imported into the shared sensors a file of 10,000
//   one-minute readings at a time, files of different clients overlapping, each reading's
//   values given by its minute alone (poolValues), so any import stores the same values;
//   any client may type over them, write them back from a datasheet or undo its imports.
// - each client's own readings (2031): typed in on ten days of the year that are that
//   client's alone, and deleted by ranges of those days by that client alone.
// Every value a client types or writes back is new ((client + 1) * 1,000,000 + its step),
// so a stored value names the attempt that wrote it.
//
// A client writes one line as it begins an action and one as it ends it (flushed at once,
// so a killed client leaves its last begun action on record):
//   B <op> <step> <start us> <sensor> <detail>...
//   E <op> <step> <start us> <end us> <outcome> <sensor> <refusal> <detail>...
// The detail of each action:
//   nav: the reading position shown
//   add, edit, sheet: key, value, read (the moment what the client held of that reading was
//                     read; 0 for a new reading), and so on for each reading of a sheet
//   import: file name, first minute, the appended minutes as ranges "a-b,c-d"
//   undo: file name            delete: first day, last day (yyyy-MM-dd)
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <vector>

namespace rv::load {

inline constexpr int kImportRows = 10000;
// The minutes of 2030 the shared readings are taken from: about 42 days, so that files
// of different clients overlap.
inline constexpr int kPoolMinutes = 60000;
// The readings the driver stores before the clients begin: the minutes of 2030 from
// kPoolMinutes on, kBaseReadings of them in each shared sensor, with no import record.
inline constexpr int kBaseReadings = 2000;
inline constexpr int kOwnDays = 10;

// The shared readings: the moment and key of a pool minute, and back.
QDateTime poolMoment(int minute);
std::optional<int> poolMinute(const QString& key); // none for a key of another kind
QString readingKeyAt(const QString& sensor, const QDateTime& moment);
// The temperature and load texts every import stores for a pool minute of a sensor.
struct PoolValues {
    QByteArray channelT;
    QByteArray channel1;
};
PoolValues poolValues(int sensorIndex, int minute);

// A client's own days (2031) and the moment of its n-th own reading on them.
QDate ownFirstDay(int client);
QDateTime ownMoment(int client, int n);
// The client whose own day a key names, if it is one.
std::optional<int> ownerOfKey(const QString& key);

// A value no other attempt writes.
double attemptValue(int client, int step);
QString valueText(double value); // "##0.00"

enum class Outcome {
    Ok,      // done and reported done
    Changed, // refused: another engineer changed the row since it was read
    Busy,    // refused: a lock waited for too long (or the server's deadlock detection)
    Lost,    // the connection was lost: the outcome is not known to the engineer
    Failed,  // refused for another reason
    InFlight // begun and never ended (the client was killed)
};
QString outcomeName(Outcome o);
Outcome outcomeNamed(const QString& name);

struct Event {
    int client = 0;
    QString op;
    qint64 step = 0;
    qint64 start = 0, end = 0; // microseconds since the epoch; end 0 while in flight
    Outcome outcome = Outcome::InFlight;
    QString refusal; // the error's text for a refusal
    QString sensor;
    QStringList detail;
};

// Microseconds since the epoch, on the machine's clock (shared by every client).
qint64 nowUs();

// One client's record file.
class RecordWriter {
public:
    explicit RecordWriter(const QString& path);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;
    bool ok() const { return m_file != nullptr; }
    void begin(const Event& e); // the action's op, step, start, sensor and detail
    void end(const Event& e);

private:
    void line(const QStringList& fields);
    std::FILE* m_file = nullptr;
};

// Every action of one client's record, in order; a begun action without its end comes
// last as InFlight.
std::vector<Event> readRecord(const QString& path, int client);

// "a-b,c-d" of ascending minutes, and back.
QString minuteRanges(const std::vector<int>& minutes);
std::vector<int> minutesOf(const QString& ranges);

} // namespace rv::load
