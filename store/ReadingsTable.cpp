#include "store/ReadingsTable.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "platform/Progress.h"
#include "store/ColumnType.h"
#include "store/DatabaseFile.h"
#include "store/Module1.h"
#include "store/Statements.h"
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QTime>
#include <cmath>
#include <map>

namespace rv {

namespace {

// Engine instructions between two reports of progress (a few hundred readings).
constexpr int kProgressInstructions = 20000;

Error goneError() {
    return Error{err::RowNotFound, QStringLiteral("Row cannot be located for updating. Some "
                                                  "values may have been changed since it was "
                                                  "last read.")};
}

// One transaction: committed by commit(), rolled back when left any other way. Inside
// the caller's transaction the work is part of it, which the caller ends.
class Transaction {
public:
    explicit Transaction(Connection& c)
        : m_c(c), m_own(!c.inTransaction()), m_status(m_own ? c.begin() : Status()) {}
    ~Transaction() {
        if (m_own && m_status.ok() && !m_done) m_c.rollback();
    }
    const Status& started() const { return m_status; }
    Status commit() {
        m_done = true;
        if (!m_own) return {};
        Status s = m_c.commit();
        if (!s.ok()) m_c.rollback();
        return s;
    }

private:
    Connection& m_c;
    bool m_own;
    Status m_status;
    bool m_done = false;
};

// An argument of a function call as text, as the engine hands it: nothing for Null.
std::optional<QString> textOf(const FunctionCall& call, int argument) {
    if (call.kind(argument) == ValueKind::Null) return std::nullopt;
    return call.text(argument);
}

std::optional<QString> columnText(const Query& row, int i) {
    if (row.isNull(i)) return std::nullopt;
    return row.text(i);
}

std::optional<QStringView> view(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    return QStringView(*text);
}

bool holdsLoad(const std::optional<QString>& channel1) {
    return channel1 && hasLeadingNumber(*channel1);
}

// While it lives, condition() is the engine's SQL for "Channel1 holds a load". The file
// asks the program's own rv_holds_load. The server cannot call it and matches the same rule
// as a pattern: any white space the program skips (the C0 spaces, NEL and the Unicode
// separators), a sign, a point, then a digit.
class HoldsLoadCondition {
public:
    explicit HoldsLoadCondition(Connection& c) : m_c(c) {
        if (c.isOpen() && c.runsProgramFunctions())
            (void)c.defineFunction(
                QStringLiteral("rv_holds_load"), 1, true,
                [](FunctionCall& call) { call.answerInt64(holdsLoad(textOf(call, 0)) ? 1 : 0); });
    }
    ~HoldsLoadCondition() {
        if (m_c.isOpen() && m_c.runsProgramFunctions())
            (void)m_c.defineFunction(QStringLiteral("rv_holds_load"), 1, true, {});
    }
    HoldsLoadCondition(const HoldsLoadCondition&) = delete;
    HoldsLoadCondition& operator=(const HoldsLoadCondition&) = delete;

    QString condition() const {
        if (m_c.runsProgramFunctions()) return QStringLiteral("rv_holds_load(Channel1)");
        // A leading digit, the usual reading, is answered without the pattern.
        return QStringLiteral(
            "(left(Channel1, 1) BETWEEN '0' AND '9' OR Channel1 ~ '^[\\t\\n\\v\\f\\r "
            "\\u0085\\u00a0\\u1680\\u2000-\\u200a\\u2028\\u2029"
            "\\u202f\\u205f\\u3000]*[-+]{0,1}[.]{0,1}[0-9]')");
    }

private:
    Connection& m_c;
};

// What the recomputation's SQL functions share while its one statement runs.
struct Recomputation {
    double offset = 0;
    Progress* progress = nullptr;
    qint64 done = 0;                  // readings whose values have been computed
    std::map<qint64, Error> failures; // per reading (rowid), its first value not stored
    bool cancelled = false;
    // The two values rv_stale computed last and the reading they belong to: the UPDATE
    // then stores them as they are rather than computing them a second time.
    qint64 lastRow = 0;
    bool haveLast = false;
    std::optional<double> zero1, numTemp;
};

// A computed value as the number column stores it: nothing (Null) for one it cannot hold.
std::optional<double> storable(double value) {
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The same, remembering a value that cannot be stored for the reading's log entry.
std::optional<double> storable(Recomputation& r, qint64 rowid, double value, const char* column) {
    if (std::isfinite(value)) return value;
    const Result<QVariant> refused =
        toStored(QVariant(value), ColumnType::Number, QLatin1String(column));
    r.failures.try_emplace(rowid,
                           refused.ok() ? Error{err::TypeMismatch, QString()} : refused.error());
    return std::nullopt;
}

// Whether a stored value is other than the computed one (nothing: Null). A number equal
// to it, whether the engine holds it as a real or as an integer, is the same value.
bool differs(const FunctionCall& call, int argument, const std::optional<double>& computed) {
    switch (call.kind(argument)) {
    case ValueKind::Null:
        return computed.has_value();
    case ValueKind::Real:
        return !computed || call.real(argument) != *computed;
    case ValueKind::Integer: {
        if (!computed) return true;
        const double d = *computed;
        const qint64 i = call.int64(argument);
        // Compared exactly: a large integer and its nearest double are not the same value.
        return !(d >= -9223372036854775808.0 && d < 9223372036854775808.0 && qint64(d) == i &&
                 d == std::trunc(d));
    }
    default: // a text: the number replaces it
        return true;
    }
}

void answerNumber(FunctionCall& call, const std::optional<double>& value) {
    if (value)
        call.answerDouble(*value);
    else
        call.answerNull();
}

// rv_stale(rowid, Channel1, ChannelT, zero1, NumTemp): computes the reading's two values
// (SetZeros) and answers whether either differs from what is stored. The one place that
// counts the readings and remembers the values that cannot be stored.
void staleCall(Recomputation& r, FunctionCall& call) {
    ++r.done;
    const qint64 rowid = call.int64(0);
    const auto channel1 = textOf(call, 1);
    const auto channelT = textOf(call, 2);
    r.zero1 = storable(r, rowid, loadAfterOffset(view(channel1), r.offset), "zero1");
    r.numTemp = storable(r, rowid, temperatureValue(view(channelT)), "NumTemp");
    r.lastRow = rowid;
    r.haveLast = true;
    call.answerInt64(differs(call, 3, r.zero1) || differs(call, 4, r.numTemp) ? 1 : 0);
}

// rv_zero1(rowid, Channel1): the load after the offset, as stored; the one rv_stale has
// just computed for the same reading.
void zero1Call(const Recomputation& r, FunctionCall& call) {
    if (r.haveLast && r.lastRow == call.int64(0)) return answerNumber(call, r.zero1);
    answerNumber(call, storable(loadAfterOffset(view(textOf(call, 1)), r.offset)));
}

// rv_numtemp(rowid, ChannelT): the temperature, as stored; likewise.
void numTempCall(const Recomputation& r, FunctionCall& call) {
    if (r.haveLast && r.lastRow == call.int64(0)) return answerNumber(call, r.numTemp);
    answerNumber(call, storable(temperatureValue(view(textOf(call, 1)))));
}

// The functions and the progress callback live exactly as long as one recomputation; the
// callback reports progress, and stops the statement when the user cancels.
class RecomputeFunctions {
public:
    RecomputeFunctions(Connection& c, Recomputation& r) : m_c(c) {
        (void)c.defineFunction(QStringLiteral("rv_stale"), 5, false,
                               [&r](FunctionCall& call) { staleCall(r, call); });
        (void)c.defineFunction(QStringLiteral("rv_zero1"), 2, false,
                               [&r](FunctionCall& call) { zero1Call(r, call); });
        (void)c.defineFunction(QStringLiteral("rv_numtemp"), 2, false,
                               [&r](FunctionCall& call) { numTempCall(r, call); });
        c.setProgressHandler(kProgressInstructions, [&r] {
            if (r.progress->step(r.done)) return true;
            r.cancelled = true;
            return false;
        });
    }
    ~RecomputeFunctions() {
        m_c.setProgressHandler(0, {});
        for (const auto& [name, args] :
             {std::pair{"rv_stale", 5}, std::pair{"rv_zero1", 2}, std::pair{"rv_numtemp", 2}})
            (void)m_c.defineFunction(QLatin1String(name), args, false, {});
    }
    RecomputeFunctions(const RecomputeFunctions&) = delete;
    RecomputeFunctions& operator=(const RecomputeFunctions&) = delete;

private:
    Connection& m_c;
};

// The arguments of rv_stale (rowid, Channel1, ChannelT, zero1, NumTemp) of one reading
// the program holds, for an engine that cannot call the program's functions; the answer
// kept.
class StaleArguments : public FunctionCall {
public:
    int argumentCount() const override { return 5; }
    void answerNull() override { answer = 0; }
    void answerInt64(qint64 value) override { answer = value; }
    void answerDouble(double value) override { answer = qint64(value); }
    void answerText(const QString&) override { answer = 0; }
    qint64 answer = 0;
};

// Those arguments as one row read with them.
class RowArguments final : public StaleArguments {
public:
    explicit RowArguments(const Query& row) : m_row(row) {}
    ValueKind kind(int argument) const override { return m_row.kind(argument); }
    qint64 int64(int argument) const override { return m_row.int64(argument); }
    double real(int argument) const override { return m_row.real(argument); }
    QString text(int argument) const override { return m_row.text(argument); }

private:
    const Query& m_row;
};

// The wall-clock seconds of a FullDate as the readings' recordset reads it; the form the
// store writes is read straight from the engine's bytes. Nothing for a moment that cannot
// be read.
std::optional<double> momentOf(const Query& q, int column);

// The plotted readings read from the table, each handed to onRow with its rv_stale
// arguments (false: stop). With a plot to fill, ReadingDate and FullDate come along.
Status readPlotted(Connection& c, const QString& instrumentId, bool forPlot,
                   const std::function<bool(StaleArguments&, const Query&)>& onRow) {
    Query read(c, QStringLiteral("SELECT rowid, Channel1, ChannelT, zero1, NumTemp") +
                      (forPlot ? QStringLiteral(", ReadingDate, FullDate FROM ")
                               : QStringLiteral(" FROM ")) +
                      sql::quoted(instrumentId) + QStringLiteral(" WHERE DoNotPlot = False"));
    if (!read.prepared().ok()) return read.prepared();
    while (read.next()) {
        RowArguments call(read);
        if (!onRow(call, read)) break;
    }
    return read.status();
}

// A reading's place in the plot's order (ORDER BY FullDate; equal ones by row number), by
// which the first and the last day are taken: Null first, then by the stored bytes.
struct PlotOrder {
    bool null = true;
    QByteArray fullDate;
    qint64 rowid = 0;
    bool operator<(const PlotOrder& o) const {
        if (null != o.null) return null;
        if (fullDate != o.fullDate) return fullDate < o.fullDate;
        return rowid < o.rowid;
    }
};

// The day of a reading as the plot takes it: ReadingDate's, else FullDate's.
std::optional<QDate> dayOfReading(const Query& q) {
    for (int column : {5, 6}) {
        if (const auto t = momentOf(q, column))
            return QDate::fromJulianDay(2440588 + qint64(std::floor(*t / 86400.0)));
    }
    return std::nullopt;
}

// Adds one plotted reading, its loads as now stored, to the plot.
void addToPlot(PlotReadings& plot, std::optional<PlotOrder>& first, std::optional<PlotOrder>& last,
               const Query& q, const std::optional<double>& load,
               const std::optional<double>& temperature) {
    ++plot.readings;
    if (!holdsLoad(columnText(q, 1))) return;
    if (const auto day = dayOfReading(q)) {
        PlotOrder at;
        at.null = q.isNull(6);
        if (!at.null) at.fullDate = q.bytes(6).toByteArray();
        at.rowid = q.int64(0);
        if (!first || at < *first) {
            first = at;
            plot.firstDay = day;
        }
        if (!last || *last < at) {
            last = std::move(at);
            plot.lastDay = day;
        }
    }
    const auto t = momentOf(q, 6);
    if (!t) return;
    plot.points.push_back(PlotReadings::Point{*t, q.int64(0), load, temperature});
}

// SetZeros on every plotted reading where the engine cannot call rv_stale: the readings are
// read, computed with the same arithmetic, and those whose stored values differ written
// back by their row numbers. The caller's transaction holds it all.
LoadsRecomputed recomputeInProgram(Connection& c, const QString& instrumentId, Recomputation& r,
                                   PlotReadings* plot) {
    LoadsRecomputed result;
    struct Stale {
        qint64 rowid;
        std::optional<double> zero1, numTemp;
    };
    std::vector<Stale> stale;
    std::optional<PlotOrder> first, last;
    if (plot) *plot = PlotReadings{};
    result.status =
        readPlotted(c, instrumentId, plot != nullptr, [&](StaleArguments& call, const Query& row) {
            staleCall(r, call);
            if (call.answer != 0) stale.push_back(Stale{call.int64(0), r.zero1, r.numTemp});
            if (plot) addToPlot(*plot, first, last, row, r.zero1, r.numTemp);
            if (r.done % 256 == 0 && !r.progress->step(r.done)) {
                r.cancelled = true;
                return false;
            }
            return true;
        });
    result.computed = r.done;
    for (auto& [rowid, error] : r.failures)
        result.notStored.push_back(std::move(error));
    if (r.cancelled || !result.status.ok()) {
        result.cancelled = r.cancelled;
        return result;
    }
    if (plot) plot->complete = true;
    Query write(c, QStringLiteral("UPDATE ") + sql::quoted(instrumentId) +
                       QStringLiteral(" SET zero1 = ?1, NumTemp = ?2 WHERE rowid = ?3"));
    if (!write.prepared().ok()) {
        result.status = write.prepared();
        return result;
    }
    for (std::size_t i = 0; i < stale.size(); ++i) {
        const Stale& row = stale[i];
        write.reset();
        if (row.zero1)
            write.bindDouble(1, *row.zero1);
        else
            write.bindNull(1);
        if (row.numTemp)
            write.bindDouble(2, *row.numTemp);
        else
            write.bindNull(2);
        write.bindInt64(3, row.rowid);
        if (Status s = write.run(); !s.ok()) {
            result.status = s;
            return result;
        }
        if (i % 256 == 255 && !r.progress->step(r.done)) {
            result.cancelled = true;
            return result;
        }
    }
    result.written = qint64(stale.size());
    return result;
}

// The wall-clock seconds since 1970 of a stored date and time (a QDateTime that carries
// Qt::UTC): the same under every time zone.
double wallClockSeconds(const QDateTime& wallClock) {
    return double(wallClock.toMSecsSinceEpoch()) / 1000.0;
}

// The wall-clock seconds of a FullDate stored as "yyyy-MM-dd HH:mm:ss" (or "yyyy-MM-dd"),
// from its bytes: what wallClockSeconds gives for the same moment. Nothing for any other
// text, which the general reading then handles.
std::optional<double> storedMomentSeconds(const char* text, int n) {
    if (!text || (n != 10 && n != 19)) return std::nullopt;
    auto digits = [&](int from, int count, int& out) {
        out = 0;
        for (int i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (!digits(0, 4, y) || text[4] != '-' || !digits(5, 2, mo) || text[7] != '-' ||
        !digits(8, 2, d))
        return std::nullopt;
    if (n == 19 && (text[10] != ' ' || !digits(11, 2, h) || text[13] != ':' || !digits(14, 2, mi) ||
                    text[16] != ':' || !digits(17, 2, se)))
        return std::nullopt;
    const QDate date(y, mo, d);
    if (!date.isValid() || h > 23 || mi > 59 || se > 59) return std::nullopt;
    constexpr qint64 kEpochDay = 2440588; // the Julian day of 1970-01-01
    return double((date.toJulianDay() - kEpochDay) * 86400 + h * 3600 + mi * 60 + se);
}

std::optional<double> momentOf(const Query& q, int column) {
    if (q.kind(column) == ValueKind::Text) {
        const QByteArrayView bytes = q.bytes(column);
        if (const auto t = storedMomentSeconds(bytes.data(), int(bytes.size()))) return t;
    }
    const QVariant when = fromStored(q.value(column), ColumnType::Date);
    if (when.typeId() != QMetaType::QDateTime || !when.toDateTime().isValid()) return std::nullopt;
    return wallClockSeconds(when.toDateTime());
}

} // namespace

std::optional<Error> unusableReadingsTableName(const QString& instrumentId) {
    if (!instrumentId.isEmpty() && !instrumentId.contains(QLatin1Char('`')) &&
        !isOwnTable(instrumentId))
        return std::nullopt;
    return Error{err::ItemNotFound,
                 QStringLiteral("No readings table can have the name ") + instrumentId};
}

Result<qint64> countPlottableReadings(Connection& c, const QString& instrumentId) {
    if (const auto refused = unusableReadingsTableName(instrumentId)) return *refused;
    const HoldsLoadCondition holdsLoadInSql(c);
    Query q(c, QStringLiteral("SELECT count(*) FROM ") + sql::quoted(instrumentId) +
                   QStringLiteral(" WHERE DoNotPlot = False AND ") + holdsLoadInSql.condition());
    if (!q.prepared().ok()) return q.prepared();
    qint64 count = 0;
    // A table dropped by another program may only show when the statement runs.
    if (q.next()) count = q.value(0).toLongLong();
    if (!q.status().ok()) return q.status();
    return count;
}

Result<std::optional<LatestReading>>
previousPlottedReading(Connection& c, const QString& instrumentId, const QDateTime& at) {
    if (const auto refused = unusableReadingsTableName(instrumentId)) return *refused;
    const Result<QVariant> moment =
        toStored(QVariant(at), ColumnType::Date, QStringLiteral("FullDate"));
    if (!moment.ok()) return moment.error();
    const HoldsLoadCondition holdsLoadInSql(c);
    Query q(c, QStringLiteral("SELECT Channel1, FullDate FROM ") + sql::quoted(instrumentId) +
                   QStringLiteral(" WHERE DoNotPlot = False AND FullDate < ?1 AND ") +
                   holdsLoadInSql.condition() +
                   QStringLiteral(" ORDER BY FullDate DESC, rowid DESC LIMIT 1"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, moment.value());
    std::optional<LatestReading> previous;
    if (q.next()) previous = LatestReading{displayText(q.value(0)), q.value(1).toString()};
    if (!q.status().ok()) return q.status();
    return previous;
}

LoadsRecomputed recomputeLoads(Connection& c, const QString& instrumentId, double offset,
                               Progress& progress, PlotReadings* plot) {
    LoadsRecomputed result;
    if (const auto refused = unusableReadingsTableName(instrumentId)) {
        result.status = *refused;
        return result;
    }
    Recomputation r;
    r.offset = offset;
    r.progress = &progress;
    Transaction transaction(c);
    if (!transaction.started().ok()) {
        result.status = transaction.started();
        return result;
    }
    if (!c.runsProgramFunctions()) {
        result = recomputeInProgram(c, instrumentId, r, plot);
        if (!result.status.ok() || result.cancelled) {
            result.written = 0;
            return result;
        }
        result.status = transaction.commit();
        if (!result.status.ok()) result.written = 0;
        return result;
    }
    // SetZeros on every plotted reading, in one statement: rv_stale computes both values
    // and lets through only the readings whose stored values differ, which rv_zero1 and
    // rv_numtemp then write with the same arithmetic.
    Status ran;
    {
        const RecomputeFunctions functions(c, r);
        Query update(c, QStringLiteral("UPDATE ") + sql::quoted(instrumentId) +
                            QStringLiteral(" SET zero1 = rv_zero1(rowid, Channel1), NumTemp = "
                                           "rv_numtemp(rowid, ChannelT) WHERE DoNotPlot = False "
                                           "AND rv_stale(rowid, Channel1, ChannelT, zero1, "
                                           "NumTemp)"));
        ran = update.prepared().ok() ? update.run() : update.prepared();
        if (ran.ok()) result.written = c.changes();
    }
    result.computed = r.done;
    for (auto& [rowid, error] : r.failures)
        result.notStored.push_back(std::move(error));
    if (r.cancelled) {
        result.cancelled = true;
        result.written = 0;
        return result;
    }
    if (!ran.ok()) {
        result.status = ran;
        result.written = 0;
        return result;
    }
    result.status = transaction.commit();
    if (!result.status.ok()) result.written = 0;
    return result;
}

Result<PlottedLoads> readPlottedLoads(Connection& c, const QString& instrumentId, double offset) {
    if (const auto refused = unusableReadingsTableName(instrumentId)) return *refused;
    // The rows of the plot's own query (sql::plottableReadingsByDate), two columns only, read in
    // the table's own order: walking the FullDate index instead seeks every row in the table again,
    // and took twice as long. The caller puts them in time order.
    Query q(c, QStringLiteral("SELECT FullDate, Channel1 FROM ") + sql::quoted(instrumentId) +
                   QStringLiteral(" WHERE DoNotPlot = False"));
    if (!q.prepared().ok()) return q.prepared();
    PlottedLoads result;
    while (q.next()) {
        ++result.readings;
        // FullDate read as the readings' recordset reads it.
        const std::optional<double> t = momentOf(q, 0);
        const std::optional<QString> channel1 = columnText(q, 1);
        if (!t) {
            if (holdsLoad(channel1)) ++result.undated;
            continue;
        }
        // A channel without a load is no load of zero: the reading is left out.
        if (!holdsLoad(channel1)) continue;
        // The recomputation would store this load as Null, which the plot leaves out.
        const auto load = storable(loadAfterOffset(view(channel1), offset));
        if (!load) {
            result.unusableTimes << *t;
            result.unusableTexts << *channel1;
            continue;
        }
        result.times << *t;
        result.loads << *load;
    }
    if (!q.status().ok()) return q.status();
    return result;
}

Result<std::vector<std::optional<LatestReading>>> latestPlottedReadings(Connection& c,
                                                                        const QStringList& ids) {
    std::vector<std::optional<LatestReading>> latest(std::size_t(ids.size()));
    if (ids.isEmpty()) return latest;
    // One read of the database for every sensor: a statement outside a transaction takes
    // and lets go of the engine's read lock on the file each time. Nothing is written, so
    // the transaction is let go unfinished.
    std::optional<Transaction> oneRead;
    if (!c.inTransaction()) oneRead.emplace(c);
    // The readings tables there are, read once: asking the schema table about each sensor
    // in turn scans it once per sensor (a thousand sensors: a million rows looked at).
    QSet<QString> tables;
    {
        const Result<QStringList> names = c.tables();
        if (!names.ok()) return names.error();
        for (const QString& name : names.value())
            tables.insert(name);
    }
    const HoldsLoadCondition holdsLoadInSql(c);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const QString& id = ids.at(i);
        if (!tables.contains(id)) continue;
        if (unusableReadingsTableName(id)) continue;
        Query q(c, QStringLiteral("SELECT Channel1, FullDate FROM ") + sql::quoted(id) +
                       QStringLiteral(" WHERE DoNotPlot = 0 AND ") + holdsLoadInSql.condition() +
                       QStringLiteral(" ORDER BY FullDate DESC, rowid DESC LIMIT 1"));
        if (!q.prepared().ok()) return q.prepared();
        if (q.next())
            latest[std::size_t(i)] = LatestReading{displayText(q.value(0)), q.value(1).toString()};
        if (!q.status().ok()) return q.status();
    }
    return latest;
}

Result<TableMark> tableMark(Connection& c, const QString& table) {
    TableMark mark;
    Query q(c, QStringLiteral("SELECT count(*), coalesce(max(rowid), 0) FROM ") + quoteName(table));
    if (!q.next()) return q.status().ok() ? Result<TableMark>(mark) : q.status();
    mark.rows = q.int64(0);
    mark.highestRow = q.int64(1);
    if (!c.onServer()) return mark;
    const Result<bool> kept = c.engine()->keepsRowChanges();
    if (!kept.ok()) return kept.error();
    if (!kept.value()) return mark;
    Query others(c, QStringLiteral("SELECT count(*) || ' ' || coalesce(max(changed_at)::text, "
                                   "'') FROM rv_row_changes WHERE table_name = ?1 AND "
                                   "changed_by <> session_user"));
    others.bindText(1, table);
    if (!others.next()) return others.status();
    mark.othersChanges = others.text(0);
    return mark;
}

namespace {

// The values of the readings with these row numbers before a write: DateTimeKey, DoNotPlot
// and the channel columns, in that order.
Result<QHash<qint64, std::vector<QVariant>>> valuesBefore(Connection& c, const QString& table,
                                                          const QStringList& channelColumns,
                                                          const std::vector<ReadingValues>& rows) {
    QHash<qint64, std::vector<QVariant>> held;
    QString columns = QStringLiteral("rowid, DateTimeKey, DoNotPlot");
    for (const QString& name : channelColumns)
        columns += QStringLiteral(", ") + quoteName(name);
    std::vector<qint64> rowids;
    rowids.reserve(rows.size());
    for (const ReadingValues& row : rows)
        rowids.push_back(row.rowid);
    const Status read = forRowChunks(
        c, rowids, 1,
        [&](int n) {
            return QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") +
                   quoteName(table) + QStringLiteral(" WHERE ") + rowNumbersIn(1, n);
        },
        [&](Query& q) {
            while (q.next()) {
                std::vector<QVariant> values;
                for (int i = 1; i < q.columnCount(); ++i)
                    values.push_back(q.value(i));
                held.insert(q.int64(0), std::move(values));
            }
            return q.status();
        });
    if (!read.ok()) return read.error();
    return held;
}

} // namespace

Status writeReadingValues(Connection& c, const QString& table, const QStringList& channelColumns,
                          const std::vector<ReadingValues>& readings,
                          const std::function<Status()>& beforeWriting, const QString& how) {
    // A cell left unchanged keeps its stored value: "SET c = CASE WHEN changed THEN value
    // ELSE c END".
    QStringList sets;
    int parameter = 0;
    for (const QString& name : channelColumns) {
        const QString column = quoteName(name);
        sets << column + QStringLiteral(" = CASE WHEN ?%1 THEN ?%2 ELSE %3 END")
                             .arg(parameter + 1)
                             .arg(parameter + 2)
                             .arg(column);
        parameter += 2;
    }
    const int markParameter = ++parameter;
    const int rowParameter = ++parameter;
    sets << quoteName(QStringLiteral("DoNotPlot")) + QStringLiteral(" = ?") +
                QString::number(markParameter);

    Transaction transaction(c);
    if (!transaction.started().ok()) return transaction.started();
    if (beforeWriting)
        if (Status s = beforeWriting(); !s.ok()) return s;
    Query update(c, QStringLiteral("UPDATE ") + quoteName(table) + QStringLiteral(" SET ") +
                        sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE rowid = ?") +
                        QString::number(rowParameter));
    if (!update.prepared().ok()) return update.prepared();
    ChangeAction action(c, table, how);
    action.gather();
    QHash<qint64, std::vector<QVariant>> before;
    if (action.keeps()) {
        auto held = valuesBefore(c, table, channelColumns, readings);
        if (!held.ok()) return held.error();
        before = std::move(held.value());
    }
    for (const ReadingValues& reading : readings) {
        update.reset();
        for (int p = 0; p < channelColumns.size(); ++p)
            update.bind(2 * p + 1, false);
        for (const auto& [column, value] : reading.changed) {
            update.bind(2 * column + 1, true);
            update.bind(2 * column + 2, value);
        }
        update.bind(markParameter, reading.doNotPlot);
        update.bind(rowParameter, reading.rowid);
        if (Status s = update.run(); !s.ok()) return s;
        if (c.changes() != 1) return goneError();
        const auto was = before.constFind(reading.rowid);
        if (was == before.constEnd()) continue;
        // Only the columns whose stored value the write changed are recorded.
        QVariantMap old, now;
        const std::vector<QVariant>& held = was.value();
        for (const auto& [column, value] : reading.changed)
            if (!sameForHistory(held[std::size_t(column) + 2], value)) {
                old.insert(channelColumns[column], held[std::size_t(column) + 2]);
                now.insert(channelColumns[column], value);
            }
        if (!sameForHistory(held[1], reading.doNotPlot)) {
            old.insert(QStringLiteral("DoNotPlot"), held[1]);
            now.insert(QStringLiteral("DoNotPlot"), reading.doNotPlot);
        }
        if (old.isEmpty()) continue;
        if (Status s = action.record(change::Changed, held[0], held[0], old, now); !s.ok())
            return s;
    }
    if (Status s = action.finish(); !s.ok()) return s;
    return transaction.commit();
}

namespace {

// The day of a date column's text when it is in a form the store writes (storedMomentForm):
// exactly the texts the store reads back without its general date reader.
std::optional<QDate> storedDayForm(QStringView t) {
    const auto moment = storedMomentForm(t);
    if (!moment) return std::nullopt;
    return moment->date;
}

// rv_dated_by_day(ReadingDate, FullDate): whether one statement on FullDate can date the
// reading: its ReadingDate a day in the stored form, and its FullDate a text of that same
// day followed by nothing or by a blank (so that it sorts among that day's texts).
bool datedByDay(const QString& readingDate, const QString& fullDate) {
    return storedDayForm(readingDate) && fullDate.size() >= 10 &&
           QStringView(fullDate).first(10) == QStringView(readingDate).first(10) &&
           (fullDate.size() == 10 || fullDate[10] == u' ');
}

void datedByDayCall(FunctionCall& call) {
    const bool dated = call.kind(0) == ValueKind::Text && call.kind(1) == ValueKind::Text &&
                       datedByDay(call.text(0), call.text(1));
    call.answerInt64(dated ? 1 : 0);
}

// The readings of the table with these row numbers deleted, each kept in the history of
// changes; the count deleted. On a site server they are locked first, in the order of their
// rows.
Result<qint64> deleteRows(Connection& c, const QString& name, const std::vector<qint64>& rowids,
                          ChangeAction& action, const QString& table) {
    if (Status s = lockRowsInOrder(c, name, rowids); !s.ok()) return s.error();
    if (Status s = action.recordLeavingRows(change::Deleted, table, rowids); !s.ok())
        return s.error();
    return removeRows(c, table, rowids);
}

// While it lives, statements on the connection can ask rv_dated_by_day.
class DatedByDayFunction {
public:
    explicit DatedByDayFunction(Connection& c) : m_c(c) {
        (void)c.defineFunction(QStringLiteral("rv_dated_by_day"), 2, true, datedByDayCall);
    }
    ~DatedByDayFunction() {
        (void)m_c.defineFunction(QStringLiteral("rv_dated_by_day"), 2, true, {});
    }
    DatedByDayFunction(const DatedByDayFunction&) = delete;
    DatedByDayFunction& operator=(const DatedByDayFunction&) = delete;

private:
    Connection& m_c;
};

} // namespace

Result<qint64> deleteAllReadings(Connection& c, const QString& table, const QString& how) {
    if (const auto refused = unusableReadingsTableName(table)) return *refused;
    Transaction transaction(c);
    if (!transaction.started().ok()) return transaction.started().error();
    ChangeAction action(c, table, how, QStringLiteral("Every reading deleted"));
    if (c.onServer()) {
        // Another engineer may store a reading between two statements: the readings deleted
        // are those read here, each locked in row order and recorded before it goes, and a
        // reading stored meanwhile stays.
        std::vector<qint64> all;
        Query rows(c, QStringLiteral("SELECT rowid FROM ") + quoteName(table));
        while (rows.next())
            all.push_back(rows.int64(0));
        if (!rows.status().ok()) return rows.status().error();
        const Result<qint64> deleted = deleteRows(c, quoteName(table), all, action, table);
        if (!deleted.ok()) return deleted;
        if (Status s = transaction.commit(); !s.ok()) return s.error();
        return deleted;
    }
    if (Status s = action.recordLeaving(change::Deleted, table, QStringLiteral("1 = 1")); !s.ok())
        return s.error();
    if (Status s = c.execute(QStringLiteral("DELETE FROM ") + quoteName(table)); !s.ok())
        return s.error();
    const qint64 deleted = c.changes();
    if (Status s = transaction.commit(); !s.ok()) return s.error();
    return deleted;
}

Result<qint64> deleteReadingsOnDays(Connection& c, const QString& table, const QDate& first,
                                    const QDate& last, const ReadingDayRule& dayOf,
                                    const QString& how) {
    if (!first.isValid() || !last.isValid() || first > last) return qint64(0);
    Transaction transaction(c);
    if (!transaction.started().ok()) return transaction.started().error();
    ChangeAction action(
        c, table, how,
        QStringLiteral("Readings from %1 to %2 deleted").arg(dayText(first), dayText(last)));
    const QString name = quoteName(table);
    const QString form = QStringLiteral("yyyy-MM-dd");
    if (!c.runsProgramFunctions()) {
        // Every reading read and judged here by the same rules as the statements below.
        const QString from = first.toString(form), to = last.toString(form) + QLatin1Char('~');
        std::vector<qint64> chosen;
        Query all(c,
                  QStringLiteral("SELECT rowid, ReadingDate, FullDate, DateTimeKey FROM ") + name);
        if (!all.prepared().ok()) return all.prepared().error();
        while (all.next()) {
            const bool dated = all.kind(1) == ValueKind::Text && all.kind(2) == ValueKind::Text &&
                               datedByDay(all.text(1), all.text(2));
            if (dated) {
                const QString fullDate = all.text(2);
                if (fullDate >= from && fullDate < to) chosen.push_back(all.int64(0));
                continue;
            }
            const std::optional<QDate> day =
                dayOf(fromStored(all.value(1), ColumnType::Date),
                      fromStored(all.value(2), ColumnType::Date), all.value(3));
            if (day && *day >= first && *day <= last) chosen.push_back(all.int64(0));
        }
        if (!all.status().ok()) return all.status().error();
        const Result<qint64> deleted = deleteRows(c, name, chosen, action, table);
        if (!deleted.ok()) return deleted;
        if (Status s = transaction.commit(); !s.ok()) return s.error();
        return deleted;
    }
    const DatedByDayFunction datedByDay(c);
    // The readings the statement cannot date, chosen first (seldom any: a reading written
    // by another program).
    std::vector<qint64> others;
    {
        Query odd(c, QStringLiteral("SELECT rowid, ReadingDate, FullDate, DateTimeKey FROM ") +
                         name +
                         QStringLiteral(" WHERE NOT rv_dated_by_day(ReadingDate, FullDate)"));
        if (!odd.prepared().ok()) return odd.prepared().error();
        while (odd.next()) {
            const std::optional<QDate> day =
                dayOf(fromStored(odd.value(1), ColumnType::Date),
                      fromStored(odd.value(2), ColumnType::Date), odd.value(3));
            if (day && *day >= first && *day <= last) others.push_back(odd.value(0).toLongLong());
        }
        if (!odd.status().ok()) return odd.status().error();
    }
    // A FullDate on a day from first to last sorts from "first" up to "last~": every text of
    // the last day that rv_dated_by_day lets through ("yyyy-MM-dd" or "yyyy-MM-dd ...")
    // sorts below it, every later day above it.
    const QString onDays = QStringLiteral(
        "FullDate >= ?1 AND FullDate < ?2 AND rv_dated_by_day(ReadingDate, FullDate)");
    if (Status s = action.recordLeaving(change::Deleted, table, onDays,
                                        {first.toString(form), last.toString(form) + u'~'});
        !s.ok())
        return s.error();
    Query chosen(c, QStringLiteral("DELETE FROM ") + name + QStringLiteral(" WHERE ") + onDays);
    if (!chosen.prepared().ok()) return chosen.prepared().error();
    chosen.bind(1, first.toString(form));
    chosen.bind(2, last.toString(form) + QLatin1Char('~'));
    if (Status s = chosen.run(); !s.ok()) return s.error();
    const qint64 deleted = c.changes();
    const Result<qint64> deletedOthers = deleteRows(c, name, others, action, table);
    if (!deletedOthers.ok()) return deletedOthers;
    if (Status s = transaction.commit(); !s.ok()) return s.error();
    return deleted + deletedOthers.value();
}

Result<qint64> removeRows(Connection& c, const QString& table, const std::vector<qint64>& rowids,
                          const std::function<Status(qint64 removedSoFar)>& removedSoFar) {
    qint64 removed = 0;
    const Status s = forRowChunks(
        c, rowids, 1,
        [&](int rows) {
            return QStringLiteral("DELETE FROM ") + quoteName(table) + QStringLiteral(" WHERE ") +
                   rowNumbersIn(1, rows);
        },
        [&](Query& q) {
            if (Status ran = q.run(); !ran.ok()) return ran;
            removed += c.changes();
            return removedSoFar ? removedSoFar(removed) : Status{};
        });
    if (!s.ok()) return s.error();
    return removed;
}

Status lockRowsInOrder(Connection& c, const QString& quotedTable, std::vector<qint64> rowids) {
    if (!c.onServer() || rowids.empty()) return {};
    std::sort(rowids.begin(), rowids.end());
    return forRowChunks(
        c, rowids, 1,
        [&](int rows) {
            return QStringLiteral("SELECT rowid FROM ") + quotedTable + QStringLiteral(" WHERE ") +
                   rowNumbersIn(1, rows) + QStringLiteral(" ORDER BY rowid FOR UPDATE");
        },
        [](Query& q) {
            while (q.next()) {
            }
            return q.status();
        });
}

qint64 rowsWrittenSinceOpen(const Connection& c) {
    return c.isOpen() ? c.totalChanges() : 0;
}

} // namespace rv
