#pragma once
// The history of changes to readings and sensors: every correction, re-key, deletion,
// import undo and change of a sensor's record kept with who made it, when and how, so that
// an engineer (or an inspector) can see what a value was and put it back.
//
// Two tables:
//  - ChangeActions: one row per action of an engineer (a save on the Readings tab, one
//    datasheet write-back, one deletion, one undo, one putting back): the sensor, when,
//    who (the login name on a file, the database user on a server), how (which window or
//    action) and a note;
//  - ReadingChanges: one row per reading (or sensor record) the action changed: the kind,
//    the reading's key before and after, the old and new values of the changed columns
//    (Before, After: a JSON object of column -> value as stored), and for a reading that
//    left the table the whole reading as it was stored, in columns of the reading's own
//    names and types, so that putting it back restores it exactly.
//
// The entries are written by the store's own writes, inside the same transaction as the
// change itself: the readings and the history always agree. A database made before the
// history gains its tables when opened (ensureChangeTables); one that cannot be written
// and lacks them works without a history (hasChangeTables is false, nothing is recorded).
#include "platform/Status.h"
#include "store/Connection.h"
#include "store/ReadingsAppend.h"
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace rv {

struct ChangeEntry;

inline const QString kChangeActionsTable = QStringLiteral("ChangeActions");
inline const QString kReadingChangesTable = QStringLiteral("ReadingChanges");

// The kinds of entry, as stored and shown.
namespace change {
inline const QString Added = QStringLiteral("Added");            // a reading typed in
inline const QString Changed = QStringLiteral("Changed");        // values of a reading changed
inline const QString Rekeyed = QStringLiteral("Re-keyed");       // its date and time changed
inline const QString Deleted = QStringLiteral("Deleted");        // singly, by range or all
inline const QString Undone = QStringLiteral("Removed by undo"); // an import undone
inline const QString PutBack = QStringLiteral("Put back");       // an earlier value restored
inline const QString Imported = QStringLiteral("Imported");      // one entry per import
inline const QString SensorChanged = QStringLiteral("Sensor changed");
inline const QString SensorDeleted = QStringLiteral("Sensor deleted");
inline const QString Cleared = QStringLiteral("History cleared");
} // namespace change
// Every kind, in the order the Changes window offers them.
QStringList changeKinds();
// Whether an entry of this kind can be put back (a change of a reading's values or key, a
// putting back, or a reading that left the table).
bool canPutBack(const QString& kind);
// Whether this entry can be put back: its kind can, and it holds earlier values (the
// putting back of a deletion holds none: its readings are deleted again instead).
bool canPutBack(const ChangeEntry& entry);
// Whether an entry of this kind took the reading out of its table.
bool removesReading(const QString& kind);

// How the history's actions name the places they come from.
namespace how {
inline const QString ReadingsTab = QStringLiteral("Readings tab");
inline const QString Datasheet = QStringLiteral("Datasheet");
inline const QString DeleteReadings = QStringLiteral("Delete readings");
inline const QString ImportUndo = QStringLiteral("Import undo");
inline const QString Import = QStringLiteral("Import");
inline const QString SensorRecord = QStringLiteral("Sensor record");
inline const QString ChangesWindow = QStringLiteral("Changes window");
inline const QString Utilities = QStringLiteral("Utilities");
inline const QString DeleteSensor = QStringLiteral("Delete sensor");
inline const QString AddSensor = QStringLiteral("Add sensor");
} // namespace how

// Creates both tables when either is missing: inside the caller's transaction when there
// is one, in one of its own otherwise.
Status ensureChangeTables(Connection& c);
// Whether the database holds both tables (a read-only older database does not).
bool hasChangeTables(Connection& c);

// The reading columns the history keeps of a reading that left its table, and whose
// changes it records (the computed zero1 and NumTemp are kept in the image but a change of
// them alone is no change an engineer made).
const QStringList& recordedReadingColumns();
bool isComputedColumn(const QString& column);
// Whether two stored values are the same for the history: equal, or both nothing (Null or
// an empty text: a save that writes an empty text over Null changes nothing an engineer
// sees).
bool sameForHistory(const QVariant& a, const QVariant& b);
// A column as the history shows it ("Load" for Channel1, "Temperature" for ChannelT,
// "Date and time" for DateTimeKey, ...; other columns by their own name).
QString changeColumnCaption(const QString& column);
// A value of an entry as shown: "(none)" for none, "(empty)" for an empty text.
QString valueText(const QVariant& value);

// One action under way, inside the caller's transaction. Its row in ChangeActions is
// written with its first entry, so an action that changes nothing records nothing. On a
// database without the history tables every call does nothing and succeeds.
class ChangeAction {
public:
    // instrumentId: the sensor (empty for an action on the whole history). The moment is
    // the connection's clock (Connection::now), who the connection's user.
    ChangeAction(Connection& c, QString instrumentId, QString how, QString note = {});
    ChangeAction(const ChangeAction&) = delete;
    ChangeAction& operator=(const ChangeAction&) = delete;

    // An entry with the values of the changed columns before and after (each a column as
    // named in the table -> its value as stored; a column missing from one side had no
    // value there). key: the reading's key before the change; newKey: after it.
    Status record(const QString& kind, const QVariant& key, const QVariant& newKey,
                  const QVariantMap& before, const QVariantMap& after);
    // Entries of this kind for the readings of `table` chosen by `where` (an SQL condition
    // on the table's columns, with ?1.. bound to `values`), each keeping the whole reading
    // as stored. Run before the readings are deleted, by the same condition.
    Status recordLeaving(const QString& kind, const QString& table, const QString& where,
                         const QVariantList& values = {});
    // The same for readings chosen by row number.
    Status recordLeavingRows(const QString& kind, const QString& table,
                             const std::vector<qint64>& rowids);
    // Rewrites the note of the action (it is written with the first entry).
    void setNote(const QString& note) { m_note = note; }
    // From now on, record() gathers its entries and writes them a chunk at a time (for an
    // action of many entries); finish() writes those pending, before the transaction ends.
    void gather() { m_gather = true; }
    Status finish();

    qint64 id() const { return m_id; }           // 0 until the first entry
    qint64 entries() const { return m_entries; } // recorded so far
    bool keeps() const { return m_keeps; }       // the database holds the history

private:
    static QString leavingStatement(const QStringList& columns, const QString& table,
                                    const QString& where, int firstValue);
    Status forgetIfEmpty(bool fresh);
    Status start();
    Connection& m_c;
    std::optional<Query> m_insert;             // the entry insert, prepared once per action
    std::unique_ptr<ChunkedInsert> m_gathered; // the entries gathered, when gathering
    bool m_gather = false;
    QString m_instrumentId, m_how, m_note;
    bool m_keeps = false;
    qint64 m_id = 0;
    qint64 m_entries = 0;
};

// A change of a sensor's record (Sensors columns, or its levels in AlarmLevels): one
// entry of kind "Sensor changed" holding the columns whose values differ (nothing when
// none does), in the caller's transaction.
Status recordSensorChange(Connection& c, const QString& instrumentId, const QString& how,
                          const QVariantMap& before, const QVariantMap& after);

// The deletion of a sensor's record: one entry of kind "Sensor deleted" holding the record
// as it was stored, in the caller's transaction. A sensor registered later under the same
// number is another sensor: the entries made before the deletion are kept in the history
// but are no longer the new sensor's (listChanges, changedKeys and putBack leave them).
Status recordSensorDeletion(Connection& c, const QString& instrumentId, const QVariantMap& record);

// One entry as the Changes window lists it.
struct ChangeEntry {
    qint64 id = 0;
    qint64 action = 0;
    QString instrumentId;
    QString kind;
    QString key;    // the reading's key before the change (empty when it had none)
    QString newKey; // after it (empty when it left the table)
    QDateTime when;
    QString by, how, note;
    QString before, after; // JSON objects as stored (empty when none)
    // For an entry of a reading that left the table: its channel 1 and T as stored.
    QVariant channel1, channelT;
};
// One column's values of an entry: before and after as stored (invalid where that side
// has none).
struct ChangedValue {
    QString column;
    QVariant before, after;
};
// The columns an entry changed with their values, in the order of the readings table
// (the sensor's columns in the order recorded); for a reading that left the table every
// recorded column of it, read from the database.
Result<std::vector<ChangedValue>> changedValues(Connection& c, const ChangeEntry& entry);
// The same without reading the database: from Before and After, and for a reading that
// left the table its channels 1 and T only.
std::vector<ChangedValue> listedValues(const ChangeEntry& entry);

// The reading an entry names: its key, both keys ("old -> new") when the entry gave it
// another date and time, the key after the change when it had none before (a reading typed
// in or put back after a deletion); empty for a sensor's record.
QString changeReadingText(const ChangeEntry& entry);
// The values of one side of an entry, each column by its caption, the load first: "Load
// 12.50; Temperature 18.0". The key and the full date are left out (the reading names
// them); a side holding no value of a column leaves the column out; a reading that left its
// table lists its load and temperature as they were stored.
QString changeValuesText(const ChangeEntry& entry, bool after);

struct ChangeFilter {
    QString instrumentId;      // empty: every sensor
    std::optional<QDate> from; // first day included
    std::optional<QDate> to;   // last day included
    QStringList kinds;         // empty: every kind
    QString key;               // a reading's key: entries naming it before or after
};
// The entries passing the filter, newest first: the newest action first, and an action's
// entries from its last to its first. For one sensor, the entries from the latest
// deletion of a sensor of that number on (that deletion's entry the oldest listed).
Result<std::vector<ChangeEntry>> listChanges(Connection& c, const ChangeFilter& filter);
// The keys of the sensor's readings that an entry names as changed since they were first
// stored (changed, re-keyed or put back), as long as that reading is still the one stored
// there (none left the key since, and none was typed in there): the Readings tab marks them.
Result<QSet<QString>> changedKeys(Connection& c, const QString& instrumentId);

// What putting an entry back will do, for the engineer's confirmation.
struct PutBackPlan {
    qint64 entry = 0;
    QString description; // one or a few sentences: which readings, which values
    qint64 readings = 0; // readings that will be written or come back
};
Result<PutBackPlan> planPutBack(Connection& c, qint64 entryId);
// Puts the entry back in one transaction: a changed reading gets its values from before
// the change, the readings of a deletion (all the readings of that action) come back as
// they were stored. Recorded as an action of its own (kind "Put back") holding the values it
// changed (nothing when it changed none). A key taken since by another reading refuses the
// whole putting back (err::KeyTaken, naming the key); a reading no longer stored refuses a
// change's putting back (err::RowNotFound), and so does another reading stored at its key
// since (the history follows the reading through its later entries); an entry made before
// the sensor of that number was deleted is refused (err::RowNotFound); readings that left
// the table and were put back once are not put back again (err::PutBackAlready).
Result<qint64> putBack(Connection& c, qint64 entryId, const QString& how);

namespace err {
constexpr long long KeyTaken = 1301;
constexpr long long PutBackAlready = 1302;
} // namespace err

// How big the history is.
struct HistorySize {
    qint64 actions = 0;
    qint64 entries = 0;
    std::optional<QDateTime> oldest;
};
Result<HistorySize> historySize(Connection& c);
// How many entries were recorded before the day given (what clearChangesBefore deletes).
Result<qint64> countChangesBefore(Connection& c, const QDate& day);
// Deletes every action (with its entries) made before the day given, in one transaction,
// and records the clearing as one action of its own ("History cleared", noting the day and
// how many entries went). Answers how many entries were deleted.
Result<qint64> clearChangesBefore(Connection& c, const QDate& day, const QString& how);

} // namespace rv
