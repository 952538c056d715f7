#include "store/ChangeHistory.h"
#include "core/DateText.h"
#include "store/ImportHistoryTable.h"
#include "store/Statements.h"
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QScopeGuard>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace rv {

namespace {

const QString kCreateActions = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS ChangeActions ("
    " ActionID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " InstrumentID TEXT NOT NULL,"
    " ChangedAt DATETIME CHECK (ChangedAt IS NULL OR (typeof(ChangedAt) = 'text' AND "
    "ChangedAt GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),"
    " ChangedBy TEXT,"
    " How TEXT,"
    " Note TEXT)");
const QString kCreateActionsIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ChangeActions_InstrumentID ON ChangeActions (InstrumentID)");
// The reading as it was stored, in the columns of a readings table (without their checks:
// every value came from a table that made them).
const QString kCreateChanges = QStringLiteral("CREATE TABLE IF NOT EXISTS ReadingChanges ("
                                              " ChangeID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                              " ActionID INTEGER NOT NULL,"
                                              " Kind TEXT NOT NULL,"
                                              " DateTimeKey TEXT,"
                                              " NewKey TEXT,"
                                              " Before MEMO,"
                                              " After MEMO,"
                                              " ReadingDate DATETIME,"
                                              " ReadingTime TEXT,"
                                              " ChannelT TEXT,"
                                              " Channel1 TEXT,"
                                              " DoNotPlot YESNO,"
                                              " FullDate DATETIME,"
                                              " Channel2 TEXT,"
                                              " Channel3 TEXT,"
                                              " Channel4 TEXT,"
                                              " Channel5 TEXT,"
                                              " Channel6 TEXT,"
                                              " Channel7 TEXT,"
                                              " Channel8 TEXT,"
                                              " Channel9 TEXT,"
                                              " Channel10 TEXT,"
                                              " IsDirty YESNO,"
                                              " Plottemporal YESNO,"
                                              " PlotSpatial YESNO,"
                                              " zero1 DOUBLE,"
                                              " NumTemp DOUBLE)");
const QString kCreateChangesIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ReadingChanges_ActionID ON ReadingChanges (ActionID)");

const QString kStoredMoment = QStringLiteral("yyyy-MM-dd HH:mm:ss");
// In the After of each entry of a putting back of readings that left the table: the
// number of the entry (ChangeID) that kept the reading, so that the history follows the
// reading through it however many entries are cleared since.
const QString kRestores = QStringLiteral("Restores");

// The condition on ChangeActions.ActionID that keeps a sensor's actions from the latest
// deletion of a sensor of that number on; instrumentMark and howMark are the placeholders
// bound to the sensor and to how::DeleteSensor.
QString sinceSensorDeleted(const QString& actionId, const QString& instrumentMark,
                           const QString& howMark) {
    return actionId +
           QStringLiteral(" >= coalesce((SELECT max(d.ActionID) FROM ChangeActions d "
                          "WHERE d.InstrumentID = ") +
           instrumentMark + QStringLiteral(" AND d.How = ") + howMark + QStringLiteral("), 0)");
}

Status run(Connection& c, const QString& sql, const QVariantList& values = {}) {
    Query q(c, sql);
    if (!q.prepared().ok()) return q.prepared();
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values.at(i));
    return q.run();
}

// A text as a JSON string.
void appendJsonString(QString& out, const QString& text) {
    out += u'"';
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u'"' || u == u'\\') {
            out += u'\\';
            out += ch;
        } else if (u < 0x20) {
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        } else {
            out += ch;
        }
    }
    out += u'"';
}

// The values as one compact JSON object, its members in the order of their names (as
// QJsonDocument writes them, and reads them back): texts as strings, numbers as the shortest
// text that reads back as the same number, Null as null. Written here rather than through
// QJsonDocument because a write-back records one object per reading it changes.
QString json(const QVariantMap& values) {
    if (values.isEmpty()) return QString();
    QString out;
    out.reserve(32 * values.size());
    out += u'{';
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it != values.begin()) out += u',';
        appendJsonString(out, it.key());
        out += u':';
        const QVariant& v = it.value();
        if (!v.isValid() || v.isNull()) {
            out += QStringLiteral("null");
            continue;
        }
        switch (v.typeId()) {
        case QMetaType::Bool:
            out += v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            out += QString::number(v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = v.toDouble();
            // JSON has no infinity or NaN: such a value is kept as its text.
            if (std::isfinite(d))
                out += QString::number(d, 'g', QLocale::FloatingPointShortest);
            else
                appendJsonString(out, v.toString());
            break;
        }
        default:
            appendJsonString(out, v.toString());
        }
    }
    out += u'}';
    return out;
}

QVariantMap fromJson(const QString& text) {
    if (text.isEmpty()) return {};
    return QJsonDocument::fromJson(text.toUtf8()).object().toVariantMap();
}

// A value as the JSON of an entry gives it back, as a column stores it: a whole number
// comes back as an integer.
QVariant storedForm(const QVariant& v) {
    if (v.isNull() || !v.isValid()) return QVariant();
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        if (d == double(qint64(d)) && std::abs(d) < 9.0e15) return QVariant(qint64(d));
    }
    if (v.typeId() == QMetaType::Bool) return QVariant(qint64(v.toBool() ? 1 : 0));
    return v;
}

// The image columns of ReadingChanges that `table` also has, in the history's order.
Result<QStringList> sharedImageColumns(Connection& c, const QString& table) {
    const auto columns = c.columns(table);
    if (!columns.ok()) return columns.error();
    QStringList shared;
    for (const QString& name : recordedReadingColumns())
        for (const ColumnInfo& col : columns.value())
            if (col.name.compare(name, Qt::CaseInsensitive) == 0) {
                shared << name;
                break;
            }
    return shared;
}

QString quotedList(const QStringList& names) {
    QStringList q;
    for (const QString& n : names)
        q << quoteName(n);
    return q.join(QStringLiteral(", "));
}

const QString kEntryColumns = QStringLiteral(
    "SELECT c.ChangeID, c.ActionID, a.InstrumentID, c.Kind, c.DateTimeKey, c.NewKey, "
    "a.ChangedAt, a.ChangedBy, a.How, a.Note, c.Before, c.After, c.Channel1, c.ChannelT "
    "FROM ReadingChanges c JOIN ChangeActions a ON a.ActionID = c.ActionID ");

ChangeEntry entryFrom(const Query& q) {
    ChangeEntry e;
    e.id = q.int64(0);
    e.action = q.int64(1);
    e.instrumentId = q.text(2);
    e.kind = q.text(3);
    e.key = q.isNull(4) ? QString() : q.text(4);
    e.newKey = q.isNull(5) ? QString() : q.text(5);
    e.when = readDateTime(q.text(6)).value_or(QDateTime());
    e.by = q.text(7);
    e.how = q.text(8);
    e.note = q.text(9);
    e.before = q.isNull(10) ? QString() : q.text(10);
    e.after = q.isNull(11) ? QString() : q.text(11);
    if (removesReading(e.kind)) {
        e.channel1 = q.value(12);
        e.channelT = q.value(13);
    }
    return e;
}

Result<std::optional<ChangeEntry>> findEntry(Connection& c, qint64 id) {
    Query q(c, kEntryColumns + QStringLiteral("WHERE c.ChangeID = ?1"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindInt64(1, id);
    std::optional<ChangeEntry> found;
    if (q.next()) found = entryFrom(q);
    if (!q.status().ok()) return q.status().error();
    return found;
}

Status noHistory() {
    return Status::fail(err::ItemNotFound,
                        QStringLiteral("This database keeps no record of changes to readings."));
}

// A reading that left the table, by the entry that keeps it; removedReadings gives every
// reading of a removal (every entry of its action of its kind).
struct Removed {
    qint64 entry = 0;
    QString key;
};
Result<std::vector<Removed>> removedReadings(Connection& c, const ChangeEntry& e) {
    Query q(c, QStringLiteral("SELECT ChangeID, DateTimeKey FROM ReadingChanges WHERE ActionID "
                              "= ?1 AND Kind = ?2 ORDER BY ChangeID"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindInt64(1, e.action);
    q.bindText(2, e.kind);
    std::vector<Removed> removed;
    while (q.next())
        removed.push_back({q.int64(0), q.isNull(1) ? QString() : q.text(1)});
    if (!q.status().ok()) return q.status().error();
    return removed;
}

// The entry that a reading's putting back after it left restored (kRestores in its After),
// if the entry names one.
std::optional<qint64> restoredEntry(const QString& after) {
    const QVariant restores = fromJson(after).value(kRestores);
    if (!restores.isValid() || restores.isNull()) return std::nullopt;
    return restores.toLongLong();
}

// The putting back that already brought back a reading of these, if any. A putting back
// recorded before its entries named what they restored is not found here: the keys its
// readings hold are found taken instead.
Result<std::optional<ChangeEntry>> putBackAlready(Connection& c, const ChangeEntry& e,
                                                  const std::vector<Removed>& removed) {
    QSet<qint64> entries;
    for (const Removed& r : removed)
        entries.insert(r.entry);
    Query q(c, QStringLiteral("SELECT c.After, a.ChangedAt, a.ChangedBy FROM ReadingChanges c "
                              "JOIN ChangeActions a ON a.ActionID = c.ActionID WHERE "
                              "a.InstrumentID = ?1 AND c.Kind = ?2 AND c.DateTimeKey IS NULL AND "
                              "c.ActionID > ?3 ORDER BY c.ChangeID"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, e.instrumentId);
    q.bindText(2, change::PutBack);
    q.bindInt64(3, e.action);
    std::optional<ChangeEntry> found;
    while (!found && q.next()) {
        const std::optional<qint64> restored = restoredEntry(q.isNull(0) ? QString() : q.text(0));
        if (!restored || !entries.contains(*restored)) continue;
        ChangeEntry by;
        by.when = readDateTime(q.isNull(1) ? QString() : q.text(1)).value_or(QDateTime());
        by.by = q.isNull(2) ? QString() : q.text(2);
        found = by;
    }
    if (!q.status().ok()) return q.status().error();
    return found;
}

// The keys among these that a reading of the table holds now.
Result<QStringList> keysTaken(Connection& c, const QString& table, const ChangeEntry& e) {
    Query q(c, QStringLiteral("SELECT r.DateTimeKey FROM ReadingChanges r JOIN ") +
                   quoteName(table) +
                   QStringLiteral(" t ON t.DateTimeKey = r.DateTimeKey WHERE r.ActionID = ?1 "
                                  "AND r.Kind = ?2 ORDER BY r.ChangeID"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindInt64(1, e.action);
    q.bindText(2, e.kind);
    QStringList keys;
    while (q.next())
        keys << q.text(0);
    if (!q.status().ok()) return q.status().error();
    return keys;
}

struct StoredReading {
    qint64 rowid = 0;
    QVariantMap values; // of the columns asked for
};
// With `lock` on a site server, the row is locked until the transaction ends, and read
// as the last change to it committed (after waiting for one under way).
Result<std::optional<StoredReading>> readingByKey(Connection& c, const QString& table,
                                                  const QString& key, const QStringList& cols,
                                                  bool lock = false) {
    QString sql = QStringLiteral("SELECT rowid");
    for (const QString& col : cols)
        sql += QStringLiteral(", ") + quoteName(col);
    Query q(c, sql + QStringLiteral(" FROM ") + quoteName(table) +
                   QStringLiteral(" WHERE DateTimeKey = ?1") +
                   (lock && c.onServer() ? QStringLiteral(" FOR UPDATE") : QString()));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, key);
    std::optional<StoredReading> found;
    if (q.next()) {
        StoredReading r;
        r.rowid = q.int64(0);
        for (int i = 0; i < cols.size(); ++i)
            r.values.insert(cols[i], q.value(i + 1));
        found = r;
    }
    if (!q.status().ok()) return q.status().error();
    return found;
}

// How many readings of the sensor left `key` (deleted or removed by an undo) before the
// entry `before`, other than by the entry `except`.
Result<qint64> othersLeaving(Connection& c, const QString& instrumentId, const QString& key,
                             qint64 before, qint64 except) {
    Query q(c, QStringLiteral("SELECT count(*) FROM ReadingChanges c JOIN ChangeActions a ON "
                              "a.ActionID = c.ActionID WHERE a.InstrumentID = ?1 AND "
                              "c.DateTimeKey = ?2 AND c.Kind IN (?3, ?4) AND c.ChangeID < ?5 AND "
                              "c.ChangeID <> ?6 AND ") +
                   sinceSensorDeleted(QStringLiteral("c.ActionID"), QStringLiteral("?1"),
                                      QStringLiteral("?7")));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, instrumentId);
    q.bindText(2, key);
    q.bindText(3, change::Deleted);
    q.bindText(4, change::Undone);
    q.bindInt64(5, before);
    q.bindInt64(6, except);
    q.bindText(7, how::DeleteSensor);
    const qint64 n = q.next() ? q.int64(0) : 0;
    if (!q.status().ok()) return q.status().error();
    return n;
}

// Whether the reading a change left at `at` is the one stored there now: followed through
// the sensor's later entries, it has not left that key (deleted, removed by an undo, given
// another date and time) without coming back to it. A reading that left comes back only by
// a deletion put back there while no other reading was seen at its key (typed in, re-keyed
// there, changed, or leaving it; a reading imported there since leaves no entry until it
// leaves) and no other reading's deletion at that key could be the one put back.
Result<bool> stillThere(Connection& c, const ChangeEntry& e, const QString& at) {
    Query q(c, QStringLiteral("SELECT c.ActionID, c.ChangeID, c.Kind, c.DateTimeKey, c.NewKey, "
                              "c.After FROM ReadingChanges c JOIN ChangeActions a ON a.ActionID = "
                              "c.ActionID WHERE a.InstrumentID = ?1 AND c.ActionID >= ?2 AND "
                              "(c.DateTimeKey IS NOT NULL OR c.NewKey IS NOT NULL) ORDER BY "
                              "c.ActionID, c.ChangeID"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, e.instrumentId);
    q.bindInt64(2, e.action);
    QString key = at;
    bool stored = true, another = false;
    qint64 left = 0; // the entry by which it left its key
    while (q.next()) {
        if (q.int64(0) == e.action && q.int64(1) <= e.id) continue;
        const QString from = q.isNull(3) ? QString() : q.text(3);
        const QString to = q.isNull(4) ? QString() : q.text(4);
        if (stored) {
            if (from != key || to == key) continue;
            if (to.isEmpty()) {
                stored = false;
                left = q.int64(1);
            } else {
                key = to;
            }
        } else if (from == key || to == key) {
            if (!another && from.isEmpty() && q.text(2) == change::PutBack) {
                // A putting back names the entry it restored; one recorded before they
                // did is judged by the other readings that left this key before it.
                if (const auto restored = restoredEntry(q.isNull(5) ? QString() : q.text(5))) {
                    stored = *restored == left;
                } else {
                    const auto others = othersLeaving(c, e.instrumentId, key, q.int64(1), left);
                    if (!others.ok()) return others.error();
                    stored = others.value() == 0;
                }
            }
            another = another || !stored;
        }
    }
    if (!q.status().ok()) return q.status().error();
    return stored && key == at;
}

QString takenText(const QStringList& taken) {
    QString text = QStringLiteral("The date and time of the reading ") + taken.first() +
                   QStringLiteral(" is taken by another reading of the sensor now");
    if (taken.size() > 1)
        text += QStringLiteral(" (and %1 more of the readings to put back)").arg(taken.size() - 1);
    return text + QStringLiteral(": nothing was put back. Delete or re-key that reading first.");
}

// What putting the entry back checks and will do; the caller's transaction, if any, holds
// what was read.
struct Plan {
    ChangeEntry entry;
    PutBackPlan shown;
    QVariantMap restore;         // a change: the values to write back
    std::optional<qint64> rowid; // a change: the reading written
    QVariantMap current;         // a change: its values now, of the columns restored
};

// `forWrite`: inside the putting back's transaction, the reading to change is locked as
// it is read, so that the values recorded as replaced are the ones the write replaces.
Result<Plan> makePlan(Connection& c, qint64 entryId, bool forWrite = false) {
    if (!hasChangeTables(c)) return noHistory().error();
    const auto found = findEntry(c, entryId);
    if (!found.ok()) return found.error();
    if (!found.value())
        return Error{err::ItemNotFound, QStringLiteral("There is no change %1 in the history of "
                                                       "changes.")
                                            .arg(entryId)};
    Plan plan;
    plan.entry = *found.value();
    const ChangeEntry& e = plan.entry;
    plan.shown.entry = e.id;
    const QString table = e.instrumentId;
    if (!canPutBack(e))
        return Error{err::InvalidArgument, QStringLiteral("An entry of the kind \"") + e.kind +
                                               QStringLiteral("\" cannot be put back.")};
    if (table.isEmpty() || !hasTable(c, table))
        return Error{err::ItemNotFound, QStringLiteral("The sensor ") + table +
                                            QStringLiteral(" is no longer stored: its readings "
                                                           "cannot be put back.")};
    {
        // A sensor registered under the number since is another sensor.
        Query deleted(c, QStringLiteral("SELECT ChangedAt FROM ChangeActions WHERE InstrumentID = "
                                        "?1 AND How = ?2 AND ActionID > ?3 ORDER BY ActionID "
                                        "DESC LIMIT 1"));
        if (!deleted.prepared().ok()) return deleted.prepared().error();
        deleted.bindText(1, table);
        deleted.bindText(2, how::DeleteSensor);
        deleted.bindInt64(3, e.action);
        if (deleted.next())
            return Error{err::RowNotFound,
                         QStringLiteral("This change was made to an earlier sensor ") + table +
                             QStringLiteral(", deleted at ") +
                             momentText(readDateTime(deleted.text(0)).value_or(QDateTime())) +
                             QStringLiteral(": nothing was put back into the sensor registered "
                                            "under that number since.")};
        if (!deleted.status().ok()) return deleted.status().error();
    }
    const QString made = QStringLiteral(" at ") + momentText(e.when) +
                         (e.by.isEmpty() ? QString() : QStringLiteral(" by ") + e.by);
    if (removesReading(e.kind)) {
        const auto removed = removedReadings(c, e);
        if (!removed.ok()) return removed.error();
        // Its readings came back once: they are in the table, or left it again by a later
        // entry, which is the one that holds them as they were last stored.
        const auto already = putBackAlready(c, e, removed.value());
        if (!already.ok()) return already.error();
        if (const auto& p = already.value())
            return Error{err::PutBackAlready,
                         QStringLiteral("These readings were put back already, at ") +
                             momentText(p->when) +
                             (p->by.isEmpty() ? QString() : QStringLiteral(" by ") + p->by) +
                             QStringLiteral(": nothing was put back. If they were deleted or "
                                            "removed again since, put back that later entry.")};
        const auto taken = keysTaken(c, table, e);
        if (!taken.ok()) return taken.error();
        if (!taken.value().isEmpty()) return Error{err::KeyTaken, takenText(taken.value())};
        QStringList k;
        for (const Removed& r : removed.value())
            k << r.key;
        plan.shown.readings = k.size();
        // The keys sort as their dates and times; the readings were kept in the table's order.
        const auto [earliest, latest] = std::minmax_element(k.begin(), k.end());
        const QString what =
            k.size() == 1
                ? QStringLiteral("The reading ") + k.first() + QStringLiteral(", which was ")
                : QStringLiteral("The %1 readings that were ").arg(k.size());
        const QString verb = e.kind == change::Undone ? QStringLiteral("removed by an import undo")
                                                      : QStringLiteral("deleted");
        plan.shown.description =
            what + verb + QStringLiteral(" from sensor ") + table + made +
            (k.size() == 1 ? QStringLiteral(", will come back as it was stored")
                           : QStringLiteral(" will come back as they were stored")) +
            (k.size() > 1 ? QStringLiteral(" (from ") + *earliest + QStringLiteral(" to ") +
                                *latest + QStringLiteral(")")
                          : QString()) +
            QStringLiteral(".");
        return plan;
    }
    // A change: the reading holds the key it was given by the change, unless changed since.
    const QVariantMap before = fromJson(e.before);
    const QString at = e.newKey.isEmpty() ? e.key : e.newKey;
    const auto now = readingByKey(c, table, at, before.keys(), forWrite);
    if (!now.ok()) return now.error();
    if (!now.value())
        return Error{err::RowNotFound,
                     QStringLiteral("The reading ") + at +
                         QStringLiteral(" is no longer stored (it was deleted or given another "
                                        "date and time since): nothing was put back.")};
    const auto same = stillThere(c, e, at);
    if (!same.ok()) return same.error();
    if (!same.value())
        return Error{err::RowNotFound,
                     QStringLiteral("The reading ") + at +
                         QStringLiteral(" that was changed is no longer stored (it was deleted or "
                                        "given another date and time since): the reading stored "
                                        "there now is another one, and nothing was put back.")};
    const QVariant oldKey = before.value(QStringLiteral("DateTimeKey"));
    if (oldKey.isValid() && !oldKey.isNull() && oldKey.toString() != at) {
        const auto holder = readingByKey(c, table, oldKey.toString(), {});
        if (!holder.ok()) return holder.error();
        if (holder.value()) return Error{err::KeyTaken, takenText({oldKey.toString()})};
    }
    plan.rowid = now.value()->rowid;
    plan.current = now.value()->values;
    QStringList values;
    for (auto it = before.begin(); it != before.end(); ++it) {
        plan.restore.insert(it.key(), storedForm(it.value()));
        const QVariant was = plan.current.value(it.key());
        values << changeColumnCaption(it.key()) + QStringLiteral(" ") + valueText(was) +
                      QStringLiteral(" -> ") + valueText(storedForm(it.value()));
    }
    plan.shown.readings = 1;
    plan.shown.description = QStringLiteral("The reading ") + at + QStringLiteral(" of sensor ") +
                             table + QStringLiteral(" goes back to its values before the change") +
                             made + QStringLiteral(": ") + values.join(QStringLiteral("; ")) +
                             QStringLiteral(".");
    return plan;
}

} // namespace

QString changeColumnCaption(const QString& column) {
    static const QHash<QString, QString> captions{
        {QStringLiteral("DateTimeKey"), QStringLiteral("Date and time")},
        {QStringLiteral("ChannelT"), QStringLiteral("Temperature")},
        {QStringLiteral("Channel1"), QStringLiteral("Load")},
        {QStringLiteral("DoNotPlot"), QStringLiteral("Do not plot")},
        {QStringLiteral("ReadingDate"), QStringLiteral("Date")},
        {QStringLiteral("ReadingTime"), QStringLiteral("Time")},
        {QStringLiteral("FullDate"), QStringLiteral("Full date")},
        {QStringLiteral("Recess"), QStringLiteral("Offset")},
        {QStringLiteral("InstallDate"), QStringLiteral("Installation date")},
        {QStringLiteral("ClearedBefore"), QStringLiteral("Cleared before")},
        {QStringLiteral("EntriesCleared"), QStringLiteral("Entries cleared")},
    };
    return captions.value(column, column);
}

QString valueText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QStringLiteral("(none)");
    const QString t = v.toString();
    return t.isEmpty() ? QStringLiteral("(empty)") : t;
}

QStringList changeKinds() {
    return {change::Added,         change::Changed, change::Rekeyed,  change::Deleted,
            change::Undone,        change::PutBack, change::Imported, change::SensorChanged,
            change::SensorDeleted, change::Cleared};
}

bool canPutBack(const QString& kind) {
    return kind == change::Changed || kind == change::Rekeyed || kind == change::PutBack ||
           removesReading(kind);
}

bool canPutBack(const ChangeEntry& e) {
    return canPutBack(e.kind) && !(e.kind == change::PutBack && e.before.isEmpty());
}

bool removesReading(const QString& kind) {
    return kind == change::Deleted || kind == change::Undone;
}

Status ensureChangeTables(Connection& c) {
    if (hasChangeTables(c)) return {};
    const bool own = !c.inTransaction();
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    for (const QString& sql :
         {kCreateActions, kCreateActionsIndex, kCreateChanges, kCreateChangesIndex})
        if (Status s = c.execute(sql); !s.ok()) {
            if (own) c.rollback();
            return s;
        }
    c.forgetColumns();
    return own ? c.commit() : Status();
}

bool hasChangeTables(Connection& c) {
    return hasTable(c, kChangeActionsTable) && hasTable(c, kReadingChangesTable);
}

const QStringList& recordedReadingColumns() {
    static const QStringList columns{QStringLiteral("DateTimeKey"), QStringLiteral("ReadingDate"),
                                     QStringLiteral("ReadingTime"), QStringLiteral("ChannelT"),
                                     QStringLiteral("Channel1"),    QStringLiteral("DoNotPlot"),
                                     QStringLiteral("FullDate"),    QStringLiteral("Channel2"),
                                     QStringLiteral("Channel3"),    QStringLiteral("Channel4"),
                                     QStringLiteral("Channel5"),    QStringLiteral("Channel6"),
                                     QStringLiteral("Channel7"),    QStringLiteral("Channel8"),
                                     QStringLiteral("Channel9"),    QStringLiteral("Channel10"),
                                     QStringLiteral("IsDirty"),     QStringLiteral("Plottemporal"),
                                     QStringLiteral("PlotSpatial"), QStringLiteral("zero1"),
                                     QStringLiteral("NumTemp")};
    return columns;
}

bool sameForHistory(const QVariant& a, const QVariant& b) {
    const auto nothing = [](const QVariant& v) {
        return !v.isValid() || v.isNull() ||
               (v.typeId() == QMetaType::QString && v.toString().isEmpty());
    };
    if (nothing(a) || nothing(b)) return nothing(a) && nothing(b);
    return a == b;
}

bool isComputedColumn(const QString& column) {
    return column.compare(QStringLiteral("zero1"), Qt::CaseInsensitive) == 0 ||
           column.compare(QStringLiteral("NumTemp"), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------
// Recording

ChangeAction::ChangeAction(Connection& c, QString instrumentId, QString how, QString note)
    : m_c(c), m_instrumentId(std::move(instrumentId)), m_how(std::move(how)),
      m_note(std::move(note)), m_keeps(c.isOpen() && hasChangeTables(c)) {}

Status ChangeAction::start() {
    if (m_id != 0) return {};
    if (Status s = run(m_c,
                       QStringLiteral("INSERT INTO ChangeActions (InstrumentID, ChangedAt, "
                                      "ChangedBy, How, Note) VALUES (?, ?, ?, ?, ?)"),
                       {m_instrumentId, m_c.now().toString(kStoredMoment), m_c.userName(), m_how,
                        m_note.isEmpty() ? QVariant() : QVariant(m_note)});
        !s.ok())
        return s;
    m_id = m_c.lastInsertId();
    return {};
}

Status ChangeAction::record(const QString& kind, const QVariant& key, const QVariant& newKey,
                            const QVariantMap& before, const QVariantMap& after) {
    if (!m_keeps) return {};
    if (Status s = start(); !s.ok()) return s;
    const auto orNull = [](const QVariant& v) { return v.isNull() ? QVariant() : v; };
    const QString b = json(before), a = json(after);
    const QVariant values[] = {m_id,
                               kind,
                               orNull(key),
                               orNull(newKey),
                               b.isEmpty() ? QVariant() : QVariant(b),
                               a.isEmpty() ? QVariant() : QVariant(a)};
    const QString head = QStringLiteral(
        "INSERT INTO ReadingChanges (ActionID, Kind, DateTimeKey, NewKey, Before, After)");
    Status written;
    if (m_gather) {
        // Written a chunk at a time, the last ones by finish().
        if (!m_gathered) m_gathered = std::make_unique<ChunkedInsert>(m_c, head, 6);
        ChunkedInsert& rows = *m_gathered;
        if (!rows.prepared().ok()) return rows.prepared();
        for (int i = 0; i < 6; ++i)
            rows.value(i, values[i]);
        written = rows.endRow();
    } else {
        // Written at once, by a statement prepared once per action.
        if (!m_insert)
            m_insert.emplace(m_c, head + QStringLiteral(" VALUES (?1, ?2, ?3, ?4, ?5, ?6)"));
        Query& q = *m_insert;
        if (!q.prepared().ok()) return q.prepared();
        q.reset();
        for (int i = 0; i < 6; ++i)
            q.bind(i + 1, values[i]);
        written = q.run();
    }
    if (written.ok()) ++m_entries;
    return written;
}

Status ChangeAction::finish() {
    return m_gathered ? m_gathered->flush() : Status();
}

QString ChangeAction::leavingStatement(const QStringList& columns, const QString& table,
                                       const QString& where, int firstValue) {
    return QStringLiteral("INSERT INTO ReadingChanges (ActionID, Kind, ") + quotedList(columns) +
           QStringLiteral(") SELECT ?") + QString::number(firstValue) + QStringLiteral(", ?") +
           QString::number(firstValue + 1) + QStringLiteral(", ") + quotedList(columns) +
           QStringLiteral(" FROM ") + quoteName(table) + QStringLiteral(" WHERE ") + where;
}

Status ChangeAction::forgetIfEmpty(bool fresh) {
    if (!fresh || m_entries > 0) return {};
    // Nothing left the table: the action records nothing after all.
    if (Status s = run(m_c, QStringLiteral("DELETE FROM ChangeActions WHERE ActionID = ?"), {m_id});
        !s.ok())
        return s;
    m_id = 0;
    return {};
}

Status ChangeAction::recordLeaving(const QString& kind, const QString& table, const QString& where,
                                   const QVariantList& values) {
    if (!m_keeps) return {};
    const auto columns = sharedImageColumns(m_c, table);
    if (!columns.ok()) return columns.error();
    const bool fresh = m_id == 0;
    if (Status s = start(); !s.ok()) return s;
    const int n = int(values.size());
    Query q(m_c, leavingStatement(columns.value(), table, where, n + 1));
    if (!q.prepared().ok()) return q.prepared();
    for (int i = 0; i < n; ++i)
        q.bind(i + 1, values.at(i));
    q.bindInt64(n + 1, m_id);
    q.bindText(n + 2, kind);
    if (Status s = q.run(); !s.ok()) return s;
    m_entries += m_c.changes();
    return forgetIfEmpty(fresh);
}

Status ChangeAction::recordLeavingRows(const QString& kind, const QString& table,
                                       const std::vector<qint64>& rowids) {
    if (!m_keeps || rowids.empty()) return {};
    const auto columns = sharedImageColumns(m_c, table);
    if (!columns.ok()) return columns.error();
    const bool fresh = m_id == 0;
    if (Status s = start(); !s.ok()) return s;
    const Status copied = forRowChunks(
        m_c, rowids, 3,
        [&](int rows) {
            return leavingStatement(columns.value(), table, rowNumbersIn(3, rows), 1);
        },
        [&](Query& q) {
            q.bindInt64(1, m_id);
            q.bindText(2, kind);
            const Status ran = q.run();
            if (ran.ok()) m_entries += m_c.changes();
            return ran;
        });
    if (!copied.ok()) return copied;
    return forgetIfEmpty(fresh);
}

Status recordSensorChange(Connection& c, const QString& instrumentId, const QString& how,
                          const QVariantMap& before, const QVariantMap& after) {
    QVariantMap was, now;
    QSet<QString> columns;
    for (auto it = before.begin(); it != before.end(); ++it)
        columns.insert(it.key());
    for (auto it = after.begin(); it != after.end(); ++it)
        columns.insert(it.key());
    for (const QString& col : columns) {
        const QVariant a = before.value(col), b = after.value(col);
        if (sameForHistory(a, b)) continue;
        was.insert(col, a.isValid() && !a.isNull() ? a : QVariant());
        now.insert(col, b.isValid() && !b.isNull() ? b : QVariant());
    }
    if (was.isEmpty()) return {};
    ChangeAction action(c, instrumentId, how);
    return action.record(change::SensorChanged, {}, {}, was, now);
}

Status recordSensorDeletion(Connection& c, const QString& instrumentId, const QVariantMap& record) {
    QVariantMap was;
    for (auto it = record.begin(); it != record.end(); ++it)
        if (it.value().isValid() && !it.value().isNull()) was.insert(it.key(), it.value());
    ChangeAction action(c, instrumentId, how::DeleteSensor);
    return action.record(change::SensorDeleted, {}, {}, was, {});
}

// ---------------------------------------------------------------------------------
// Reading the history

std::vector<ChangedValue> listedValues(const ChangeEntry& e) {
    std::vector<ChangedValue> values;
    if (removesReading(e.kind)) {
        values.push_back({QStringLiteral("ChannelT"), e.channelT, QVariant()});
        values.push_back({QStringLiteral("Channel1"), e.channel1, QVariant()});
        return values;
    }
    const QVariantMap before = fromJson(e.before), after = fromJson(e.after);
    QStringList order;
    for (const QString& col : recordedReadingColumns())
        if (before.contains(col) || after.contains(col)) order << col;
    for (const QVariantMap* side : {&before, &after})
        for (auto it = side->begin(); it != side->end(); ++it)
            if (!order.contains(it.key()) && it.key() != kRestores) order << it.key();
    for (const QString& col : order) {
        const auto side = [](const QVariantMap& m, const QString& k) {
            return m.contains(k) ? (m.value(k).isNull() ? QVariant(QMetaType(QMetaType::QString))
                                                        : storedForm(m.value(k)))
                                 : QVariant();
        };
        values.push_back({col, side(before, col), side(after, col)});
    }
    return values;
}

QString changeReadingText(const ChangeEntry& entry) {
    if (!entry.key.isEmpty() && !entry.newKey.isEmpty() && entry.key != entry.newKey)
        return entry.key + QStringLiteral(" -> ") + entry.newKey;
    return entry.key.isEmpty() ? entry.newKey : entry.key;
}

QString changeValuesText(const ChangeEntry& entry, bool after) {
    // A reading that left its table keeps its values on the side before, stored or not.
    const bool leftTable = removesReading(entry.kind);
    std::vector<ChangedValue> values = listedValues(entry);
    std::stable_partition(values.begin(), values.end(), [](const ChangedValue& v) {
        return v.column == QLatin1String("Channel1");
    });
    QStringList parts;
    for (const ChangedValue& value : values) {
        // The key is the Reading column's; the full date repeats the date and the time.
        if (value.column == QLatin1String("DateTimeKey") ||
            value.column == QLatin1String("FullDate"))
            continue;
        const QVariant& side = after ? value.after : value.before;
        if (!side.isValid() && !(leftTable && !after)) continue;
        parts << changeColumnCaption(value.column) + u' ' + valueText(side);
    }
    return parts.join(QStringLiteral("; "));
}

Result<std::vector<ChangedValue>> changedValues(Connection& c, const ChangeEntry& e) {
    if (!removesReading(e.kind)) return listedValues(e);
    const QStringList& columns = recordedReadingColumns();
    Query q(c, QStringLiteral("SELECT DateTimeKey, ") + quotedList(columns.mid(1)) +
                   QStringLiteral(" FROM ReadingChanges WHERE ChangeID = ?1"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindInt64(1, e.id);
    std::vector<ChangedValue> values;
    if (q.next())
        for (int i = 0; i < columns.size(); ++i)
            values.push_back({columns[i],
                              q.isNull(i) ? QVariant(QMetaType(QMetaType::QString)) : q.value(i),
                              QVariant()});
    if (!q.status().ok()) return q.status().error();
    return values;
}

Result<std::vector<ChangeEntry>> listChanges(Connection& c, const ChangeFilter& filter) {
    std::vector<ChangeEntry> entries;
    if (!hasChangeTables(c)) return entries;
    // The actions passing the filter first (few), then their entries newest first: every
    // entry of an action shares its moment, who, how and note.
    QStringList onActions, onEntries;
    QVariantList actionValues, entryValues;
    const auto mark = [](QVariantList& values, const QVariant& v) {
        values << v;
        return QStringLiteral("?") + QString::number(values.size());
    };
    if (!filter.instrumentId.isEmpty()) {
        const QString sensor = mark(actionValues, filter.instrumentId);
        onActions << QStringLiteral("(InstrumentID = ") + sensor +
                         QStringLiteral(" OR InstrumentID = '')");
        onActions << sinceSensorDeleted(QStringLiteral("ActionID"), sensor,
                                        mark(actionValues, how::DeleteSensor));
    }
    if (filter.from)
        onActions << QStringLiteral("ChangedAt >= ") +
                         mark(actionValues, filter.from->toString(Qt::ISODate));
    // Up to the end of the day "to": before the next day. After the last day a date can be
    // written for (31 Dec 9999) there is none to end before, and no moment is stored later.
    if (const QString end = filter.to ? filter.to->addDays(1).toString(Qt::ISODate) : QString();
        !end.isEmpty())
        onActions << QStringLiteral("ChangedAt < ") + mark(actionValues, end);
    struct Action {
        QString instrumentId, by, how, note;
        QDateTime when;
    };
    QHash<qint64, Action> actions;
    {
        Query q(c, QStringLiteral("SELECT ActionID, InstrumentID, ChangedAt, ChangedBy, How, Note "
                                  "FROM ChangeActions") +
                       (onActions.isEmpty()
                            ? QString()
                            : QStringLiteral(" WHERE ") + onActions.join(QStringLiteral(" AND "))));
        if (!q.prepared().ok()) return q.prepared().error();
        for (int i = 0; i < actionValues.size(); ++i)
            q.bind(i + 1, actionValues.at(i));
        while (q.next())
            actions.insert(q.int64(0), Action{q.text(1), q.text(3), q.text(4), q.text(5),
                                              readDateTime(q.text(2)).value_or(QDateTime())});
        if (!q.status().ok()) return q.status().error();
    }
    if (actions.isEmpty()) return entries;
    // The same conditions, numbered alike, choose the entries' actions.
    if (!onActions.isEmpty())
        onEntries << QStringLiteral("ActionID IN (SELECT ActionID FROM ChangeActions WHERE ") +
                         onActions.join(QStringLiteral(" AND ")) + QStringLiteral(")");
    entryValues = actionValues;
    if (!filter.kinds.isEmpty()) {
        QStringList marks;
        for (const QString& k : filter.kinds)
            marks << mark(entryValues, k);
        onEntries << QStringLiteral("Kind IN (") + marks.join(QStringLiteral(", ")) +
                         QStringLiteral(")");
    }
    if (!filter.key.isEmpty()) {
        const QString m = mark(entryValues, filter.key);
        onEntries << QStringLiteral("(DateTimeKey = ") + m + QStringLiteral(" OR NewKey = ") + m +
                         QStringLiteral(")");
    }
    Query q(c, QStringLiteral("SELECT ChangeID, ActionID, Kind, DateTimeKey, NewKey, Before, "
                              "After, Channel1, ChannelT FROM ReadingChanges") +
                   (onEntries.isEmpty()
                        ? QString()
                        : QStringLiteral(" WHERE ") + onEntries.join(QStringLiteral(" AND "))) +
                   QStringLiteral(" ORDER BY ActionID DESC, ChangeID DESC"));
    if (!q.prepared().ok()) return q.prepared().error();
    for (int i = 0; i < entryValues.size(); ++i)
        q.bind(i + 1, entryValues.at(i));
    // The kinds' texts shared between entries rather than made anew for each.
    const QStringList kinds = changeKinds();
    std::vector<QByteArray> kindBytes;
    for (const QString& k : kinds)
        kindBytes.push_back(k.toUtf8());
    qint64 lastAction = -1;
    const Action* action = nullptr;
    while (q.next()) {
        ChangeEntry e;
        e.id = q.int64(0);
        e.action = q.int64(1);
        if (e.action != lastAction) {
            const auto it = actions.constFind(e.action);
            action = it == actions.constEnd() ? nullptr : &it.value();
            lastAction = e.action;
        }
        if (!action) continue;
        const QByteArrayView kind = q.bytes(2);
        std::size_t k = 0;
        while (k < kindBytes.size() && kindBytes[k] != kind)
            ++k;
        e.kind = k < kindBytes.size() ? kinds[qsizetype(k)] : q.text(2);
        e.instrumentId = action->instrumentId;
        e.when = action->when;
        e.by = action->by;
        e.how = action->how;
        e.note = action->note;
        if (!q.isNull(3)) e.key = q.text(3);
        if (!q.isNull(4)) e.newKey = q.text(4);
        if (!q.isNull(5)) e.before = q.text(5);
        if (!q.isNull(6)) e.after = q.text(6);
        if (removesReading(e.kind)) {
            e.channel1 = q.value(7);
            e.channelT = q.value(8);
        }
        entries.push_back(std::move(e));
    }
    if (!q.status().ok()) return q.status().error();
    return entries;
}

Result<QSet<QString>> changedKeys(Connection& c, const QString& instrumentId) {
    QSet<QString> keys;
    if (!hasChangeTables(c)) return keys;
    // The sensor's entries in the order they were made. A key is marked from a change,
    // re-key or putting back that leaves a reading there, until a reading leaves it (deleted,
    // removed by an undo, re-keyed away) or a new one is typed in: a reading stored there
    // afterwards (typed, imported) is not the one that was changed.
    Query q(c, QStringLiteral("SELECT c.Kind, c.DateTimeKey, c.NewKey FROM ReadingChanges c "
                              "JOIN ChangeActions a ON a.ActionID = c.ActionID WHERE "
                              "a.InstrumentID = ?1 AND c.Kind IN (?2, ?3, ?4, ?5, ?6, ?7) AND ") +
                   sinceSensorDeleted(QStringLiteral("c.ActionID"), QStringLiteral("?1"),
                                      QStringLiteral("?8")) +
                   QStringLiteral(" ORDER BY c.ActionID, c.ChangeID"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, instrumentId);
    q.bindText(8, how::DeleteSensor);
    int slot = 2;
    for (const QString& kind : {change::Changed, change::Rekeyed, change::PutBack, change::Deleted,
                                change::Undone, change::Added})
        q.bindText(slot++, kind);
    // Held as the stored bytes: a deletion's many entries are looked up without a copy.
    QSet<QByteArray> marked;
    const QByteArray changed = change::Changed.toUtf8(), rekeyed = change::Rekeyed.toUtf8(),
                     putBack = change::PutBack.toUtf8();
    while (q.next()) {
        const QByteArrayView kind = q.bytes(0);
        const bool hasKey = q.kind(1) != ValueKind::Null, hasNewKey = q.kind(2) != ValueKind::Null;
        const QByteArrayView key = hasKey ? q.bytes(1) : QByteArrayView();
        const QByteArrayView newKey = hasNewKey ? q.bytes(2) : QByteArrayView();
        if (hasKey && !marked.isEmpty() && (!hasNewKey || key != newKey))
            marked.remove(QByteArray::fromRawData(key.data(), key.size()));
        if (!hasNewKey) continue;
        if (kind == changed || kind == rekeyed || kind == putBack)
            marked.insert(newKey.toByteArray());
        else
            marked.remove(QByteArray::fromRawData(newKey.data(), newKey.size()));
    }
    if (!q.status().ok()) return q.status().error();
    for (const QByteArray& key : marked)
        keys.insert(QString::fromUtf8(key));
    return keys;
}

// ---------------------------------------------------------------------------------
// Putting back

Result<PutBackPlan> planPutBack(Connection& c, qint64 entryId) {
    const auto plan = makePlan(c, entryId);
    if (!plan.ok()) return plan.error();
    return plan.value().shown;
}

Result<qint64> putBack(Connection& c, qint64 entryId, const QString& how) {
    if (Status s = c.begin(); !s.ok()) return s.error();
    // Whatever ends it before its commit leaves the readings and the history as they were.
    bool committed = false;
    const auto rollBack = qScopeGuard([&] {
        if (!committed) c.rollback();
    });
    const auto made = makePlan(c, entryId, true);
    if (!made.ok()) return made.error();
    const Plan& plan = made.value();
    const ChangeEntry& e = plan.entry;
    const QString table = e.instrumentId;
    ChangeAction action(c, table, how,
                        QStringLiteral("Put back the change of ") + momentText(e.when) +
                            (e.by.isEmpty() ? QString() : QStringLiteral(" by ") + e.by));
    if (removesReading(e.kind)) {
        const auto columns = sharedImageColumns(c, table);
        if (!columns.ok()) return columns.error();
        if (Status s = run(c,
                           QStringLiteral("INSERT INTO ") + quoteName(table) +
                               QStringLiteral(" (") + quotedList(columns.value()) +
                               QStringLiteral(") SELECT ") + quotedList(columns.value()) +
                               QStringLiteral(" FROM ReadingChanges WHERE ActionID = ?1 AND "
                                              "Kind = ?2 ORDER BY ChangeID"),
                           {e.action, e.kind});
            !s.ok())
            return s.error();
        const qint64 back = c.changes();
        const auto removed = removedReadings(c, e);
        if (!removed.ok()) return removed.error();
        for (const Removed& r : removed.value())
            if (Status s =
                    action.record(change::PutBack, QVariant(), r.key, {},
                                  {{QStringLiteral("DateTimeKey"), r.key}, {kRestores, r.entry}});
                !s.ok())
                return s.error();
        if (Status s = c.commit(); !s.ok()) return s.error();
        committed = true;
        return back;
    }
    QStringList sets;
    QVariantList values;
    for (auto it = plan.restore.begin(); it != plan.restore.end(); ++it) {
        values << it.value();
        sets << quoteName(it.key()) + QStringLiteral(" = ?") + QString::number(values.size());
    }
    values << *plan.rowid;
    if (Status s = run(c,
                       QStringLiteral("UPDATE ") + quoteName(table) + QStringLiteral(" SET ") +
                           sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE rowid = ?") +
                           QString::number(values.size()),
                       values);
        !s.ok())
        return s.error();
    const QString at = e.newKey.isEmpty() ? e.key : e.newKey;
    const QVariant restoredKey = plan.restore.value(QStringLiteral("DateTimeKey"), at);
    // Only the values the putting back changed are recorded: put back again, it records
    // nothing.
    QVariantMap was, now;
    for (auto it = plan.restore.begin(); it != plan.restore.end(); ++it)
        if (!sameForHistory(plan.current.value(it.key()), it.value())) {
            was.insert(it.key(), plan.current.value(it.key()));
            now.insert(it.key(), it.value());
        }
    if (!now.isEmpty())
        if (Status s = action.record(change::PutBack, at, restoredKey, was, now); !s.ok())
            return s.error();
    if (Status s = c.commit(); !s.ok()) return s.error();
    committed = true;
    return qint64(1);
}

// ---------------------------------------------------------------------------------
// Size and clearing

Result<HistorySize> historySize(Connection& c) {
    HistorySize size;
    if (!hasChangeTables(c)) return size;
    Query a(c, QStringLiteral("SELECT count(*), min(ChangedAt) FROM ChangeActions"));
    if (!a.prepared().ok()) return a.prepared().error();
    if (a.next()) {
        size.actions = a.int64(0);
        if (!a.isNull(1)) size.oldest = readDateTime(a.text(1));
    }
    if (!a.status().ok()) return a.status().error();
    Query e(c, QStringLiteral("SELECT count(*) FROM ReadingChanges"));
    if (!e.prepared().ok()) return e.prepared().error();
    if (e.next()) size.entries = e.int64(0);
    if (!e.status().ok()) return e.status().error();
    return size;
}

Result<qint64> countChangesBefore(Connection& c, const QDate& day) {
    if (!hasChangeTables(c)) return qint64(0);
    Query q(c, QStringLiteral("SELECT count(*) FROM ReadingChanges WHERE ActionID IN (SELECT "
                              "ActionID FROM ChangeActions WHERE ChangedAt < ?1)"));
    if (!q.prepared().ok()) return q.prepared().error();
    q.bindText(1, day.toString(Qt::ISODate));
    const qint64 n = q.next() ? q.int64(0) : 0;
    if (!q.status().ok()) return q.status().error();
    return n;
}

Result<qint64> clearChangesBefore(Connection& c, const QDate& day, const QString& how) {
    if (!hasChangeTables(c)) return noHistory().error();
    if (!day.isValid())
        return Error{err::InvalidArgument, QStringLiteral("No day was given to clear before.")};
    if (Status s = c.begin(); !s.ok()) return s.error();
    // Whatever ends it before its commit leaves the readings and the history as they were.
    bool committed = false;
    const auto rollBack = qScopeGuard([&] {
        if (!committed) c.rollback();
    });
    const QString first = day.toString(Qt::ISODate);
    if (Status s = run(c,
                       QStringLiteral("DELETE FROM ReadingChanges WHERE ActionID IN (SELECT "
                                      "ActionID FROM ChangeActions WHERE ChangedAt < ?1)"),
                       {first});
        !s.ok())
        return s.error();
    const qint64 entries = c.changes();
    if (Status s =
            run(c, QStringLiteral("DELETE FROM ChangeActions WHERE ChangedAt < ?1"), {first});
        !s.ok())
        return s.error();
    const qint64 actions = c.changes();
    ChangeAction action(c, QString(), how,
                        QStringLiteral("Changes made before %1 were cleared: %2 entries of %3 "
                                       "actions.")
                            .arg(dayText(day))
                            .arg(entries)
                            .arg(actions));
    if (Status s = action.record(change::Cleared, {}, {}, {},
                                 {{QStringLiteral("ClearedBefore"), first},
                                  {QStringLiteral("EntriesCleared"), entries}});
        !s.ok())
        return s.error();
    if (Status s = c.commit(); !s.ok()) return s.error();
    committed = true;
    return entries;
}

} // namespace rv
