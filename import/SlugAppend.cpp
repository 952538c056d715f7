#include "import/SlugAppend.h"
#include "core/Values.h"
#include "import/StagedChecks.h"
#include "store/ColumnType.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"
#include "store/Statements.h"
#include <QScopeGuard>
#include <QSet>
#include <array>
#include <sqlite3.h>

namespace rv {

namespace {

// The columns an appended reading writes, in the order of the statement.
enum Written { Key, ReadingDate, ReadingTime, FullDate, ChannelT, Channel1, IsDirty, DoNotPlot };
const std::array<QString, 8> kWrittenColumns = {
    QStringLiteral("DateTimeKey"), QStringLiteral("ReadingDate"), QStringLiteral("ReadingTime"),
    QStringLiteral("FullDate"),    QStringLiteral("ChannelT"),    QStringLiteral("Channel1"),
    QStringLiteral("IsDirty"),     QStringLiteral("DoNotPlot")};

constexpr qint64 kProgressEvery = 512;
// How much of a date text that cannot be read its message shows.
constexpr qsizetype kShownDateText = 40;

// A channel value as the bytes written; Null stays a null array.
QByteArray channelBytes(const QVariant& value) {
    return value.isNull() ? QByteArray() : value.toString().toUtf8();
}

} // namespace

bool connectionWritable(const Connection& connection) {
    return connection.isOpen() && sqlite3_db_readonly(connection.handle(), "main") == 0;
}

Result<QSet<QString>> storedReadingKeys(Connection& connection, const QString& table) {
    QSet<QString> keys;
    Query q(connection, QStringLiteral("SELECT DateTimeKey FROM ") + sql::quoted(table));
    if (!q.prepared().ok()) return q.prepared().error();
    while (q.next()) {
        const QVariant key = q.value(0);
        if (!key.isNull()) keys.insert(foldedKey(displayText(key)));
    }
    if (!q.status().ok()) return q.status().error();
    return keys;
}

WriteOutcome writeReadings(Connection& connection, const QString& sensorId,
                           const std::vector<PlannedReading>& readings, Progress& progress,
                           const ImportBatch* batch) {
    const QString& table = sensorId;
    WriteOutcome outcome;
    auto fail = [&](const Error& e) {
        connection.rollback();
        outcome.kind = WriteOutcome::Kind::Failed;
        outcome.error = e;
        return outcome;
    };
    auto tableColumns = connection.columns(table);
    if (!tableColumns.ok()) return fail(tableColumns.error());

    // The columns of the eight that the table has, with their types.
    struct Target {
        Written what;
        ColumnInfo column;
    };
    std::vector<Target> targets;
    for (int w = Key; w <= DoNotPlot; ++w)
        for (const ColumnInfo& c : tableColumns.value())
            if (c.name.compare(kWrittenColumns[std::size_t(w)], Qt::CaseInsensitive) == 0) {
                targets.push_back({Written(w), c});
                break;
            }
    if (targets.empty())
        return fail(Error{err::ItemNotFound, QStringLiteral("The table ") + table +
                                                 QStringLiteral(" has no column of a reading.")});
    QStringList names, marks;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        names << quoteName(targets[i].column.name);
        marks << QStringLiteral("?") + QString::number(i + 1);
    }

    if (Status st = connection.begin(); !st.ok()) return fail(st.error());
    // Whatever ends the writing before its commit (a failure, a cancel, even an exception)
    // leaves the table as it was.
    bool committed = false;
    const auto undo = qScopeGuard([&] {
        if (!committed) connection.rollback();
    });
    Query insert(connection, QStringLiteral("INSERT INTO ") + sql::quoted(table) +
                                 QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                                 QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) +
                                 QStringLiteral(")"));
    if (!insert.prepared().ok()) return fail(insert.prepared().error());

    progress.begin(QStringLiteral("Appending readings to sensor ") + table,
                   qint64(readings.size()));
    struct EndProgress {
        Progress& p;
        ~EndProgress() { p.end(); }
    } endProgress{progress};

    // The usual readings table takes each value in the form written here directly; a
    // column of another type gets the store's own conversion.
    auto direct = [](const Target& t) {
        const ColumnType type = t.column.type;
        switch (t.what) {
        case ReadingDate:
        case FullDate:
            return type == ColumnType::Date || type == ColumnType::Any;
        case IsDirty:
        case DoNotPlot:
            return type == ColumnType::YesNo || type == ColumnType::Any;
        default:
            return type == ColumnType::Text || type == ColumnType::Any;
        }
    };
    const QByteArray idBytes = sensorId.toUtf8();
    sqlite3_stmt* stmt = insert.statement();
    const qint64 total = qint64(readings.size());
    // What the import history keeps of each reading: its key and the channel values as
    // they were stored.
    std::vector<AppendedRow> recorded;
    if (batch) recorded.reserve(readings.size());
    for (qint64 i = 0; i < total; ++i) {
        const PlannedReading& r = readings[std::size_t(i)];
        const QDate date = r.fullDate.date();
        const QTime time = r.fullDate.time();
        // The key (identifier, yyyy/mm/dd, hh:nn:ss), the stored date yyyy-mm-dd, the time,
        // and the stored moment (the date alone at midnight), as the store writes them.
        QByteArray key = idBytes;
        key.resize(idBytes.size() + 20);
        char* k = key.data() + idBytes.size();
        k[0] = ' ';
        writeDateDigits(k + 1, date, '/');
        k[11] = ' ';
        writeTimeDigits(k + 12, time);
        char storedDate[19];
        writeDateDigits(storedDate, date, '-');
        storedDate[10] = ' ';
        writeTimeDigits(storedDate + 11, time);
        const int fullLength = time == QTime(0, 0) ? 10 : 19;
        AppendedRow* kept = nullptr;
        if (batch) {
            recorded.push_back(AppendedRow{QString::fromUtf8(key), QVariant(), QVariant()});
            kept = &recorded.back();
        }

        for (std::size_t t = 0; t < targets.size(); ++t) {
            const int slot = int(t) + 1;
            if (direct(targets[t])) {
                auto text = [&](const char* bytes, qsizetype length) {
                    sqlite3_bind_text(stmt, slot, bytes, int(length), SQLITE_STATIC);
                };
                auto channel = [&](const QByteArray& value, QVariant* keptValue) {
                    if (value.isNull()) {
                        sqlite3_bind_null(stmt, slot);
                        return;
                    }
                    text(value.constData(), value.size());
                    if (kept) *keptValue = QString::fromLatin1(value);
                };
                switch (targets[t].what) {
                case Key:
                    text(key.constData(), key.size());
                    break;
                case ReadingDate:
                    text(storedDate, 10);
                    break;
                case ReadingTime:
                    text(storedDate + 11, 8);
                    break;
                case FullDate:
                    text(storedDate, fullLength);
                    break;
                case ChannelT:
                    channel(r.channelT, kept ? &kept->channelT : nullptr);
                    break;
                case Channel1:
                    channel(r.channel1, kept ? &kept->channel1 : nullptr);
                    break;
                case IsDirty:
                    sqlite3_bind_int(stmt, slot, 1);
                    break;
                case DoNotPlot:
                    sqlite3_bind_int(stmt, slot, 0);
                    break;
                }
                continue;
            }
            QVariant value;
            switch (targets[t].what) {
            case Key:
                value = QString::fromUtf8(key);
                break;
            case ReadingDate:
                value = wallClock(date);
                break;
            case ReadingTime:
                value = QString::fromLatin1(storedDate + 11, 8);
                break;
            case FullDate:
                value = r.fullDate;
                break;
            case ChannelT:
                if (!r.channelT.isNull()) value = QString::fromLatin1(r.channelT);
                break;
            case Channel1:
                if (!r.channel1.isNull()) value = QString::fromLatin1(r.channel1);
                break;
            case IsDirty:
                value = true;
                break;
            case DoNotPlot:
                value = false;
                break;
            }
            Result<QVariant> stored =
                toStored(value, targets[t].column.type, targets[t].column.name);
            if (!stored.ok()) {
                // A channel value the column refuses leaves the column empty; the reading
                // is still written.
                if (targets[t].what != ChannelT && targets[t].what != Channel1)
                    return fail(stored.error());
                stored = QVariant();
            }
            insert.bind(slot, stored.value());
            if (kept && targets[t].what == ChannelT) kept->channelT = stored.value();
            if (kept && targets[t].what == Channel1) kept->channel1 = stored.value();
        }
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            const Error error = connection.lastError();
            sqlite3_reset(stmt);
            return fail(error);
        }
        sqlite3_reset(stmt);
        if (((i + 1) % kProgressEvery == 0 || i + 1 == total) && !progress.step(i + 1)) {
            connection.rollback();
            outcome.kind = WriteOutcome::Kind::Cancelled;
            return outcome;
        }
    }
    if (batch) {
        // Recorded before the commit: a failure here appends nothing either.
        ImportBatch record = *batch;
        record.instrumentId = sensorId;
        record.rows = total;
        const Result<qint64> id = recordBatch(connection, record, recorded);
        if (!id.ok()) return fail(id.error());
    }
    if (Status st = connection.commit(); !st.ok()) return fail(st.error());
    committed = true;
    return outcome;
}

AppendOutcome appendTicked(Session& s, const StagedRows& rows, const std::vector<char>& marks,
                           SlugDateFormat format, DayOrder order, Progress& progress,
                           const ImportSource* source) {
    AppendOutcome outcome;
    const QString id = s.gSensorID;
    auto keys = storedReadingKeys(s.gConnection, id);
    if (!keys.ok()) {
        outcome.kind = AppendOutcome::Kind::Failed;
        outcome.error = keys.error();
        return outcome;
    }
    const QSet<QString> known = std::move(keys).value();
    QSet<qint64> inFile;

    // Which way rsReadings ends: each ticked row first goes to the first reading; an
    // appended row then leaves it on the new reading, the last one.
    enum class Last { Untouched, First, Appended } last = Last::Untouched;
    std::vector<PlannedReading> planned;
    std::vector<qint64> written; // the staged row of each planned reading
    const qint64 n = qMin(rows.rowCount(), qint64(marks.size()));
    for (qint64 r = 0; r < n; ++r) {
        if (!marks[std::size_t(r)]) continue;
        last = Last::First;
        const QString slugDate = rows.text(r, 0);
        const std::optional<SlugMoment> moment = slugMoment(slugDate, format, id, order);
        if (!moment) {
            // The row is named by its number and the start of its date text, on one line.
            QString shown = slugDate.left(kShownDateText).simplified();
            if (slugDate.size() > kShownDateText) shown += QStringLiteral("...");
            s.dialogs.inform(QStringLiteral("Row ") + QString::number(r + 1) +
                             QStringLiteral(" (") + shown +
                             QStringLiteral(") has no valid date and time and cannot be "
                                            "appended."));
            continue;
        }
        // A key made here is the identifier and the moment written out, so two rows of the
        // file share a key exactly when they share a moment.
        const qint64 second = moment->fullDate.toSecsSinceEpoch();
        if (inFile.contains(second) ||
            (!known.isEmpty() && known.contains(foldedKey(moment->key)))) {
            s.dialogs.inform(moment->key +
                             QStringLiteral(" is a duplicate reading and cannot be appended."));
            continue;
        }
        inFile.insert(second);
        written.push_back(r);
        planned.push_back(PlannedReading{moment->fullDate,
                                         channelBytes(importedChannel(rows.text(r, 4), 1)),
                                         channelBytes(importedChannel(rows.text(r, 5), 2))});
        last = Last::Appended;
    }

    Recordset& rs = s.rsReadings;
    if (!planned.empty()) {
        std::optional<ImportBatch> batch;
        if (source && hasHistoryTables(s.gConnection))
            batch = ImportBatch{
                0, id, source->fileName, source->sha256, s.clock.now(), qint64(planned.size())};
        const WriteOutcome result =
            writeReadings(s.gConnection, id, planned, progress, batch ? &*batch : nullptr);
        if (result.kind != WriteOutcome::Kind::Written) {
            outcome.kind = result.kind == WriteOutcome::Kind::Cancelled
                               ? AppendOutcome::Kind::Cancelled
                               : AppendOutcome::Kind::Failed;
            outcome.error = result.error;
            return outcome;
        }
        outcome.appended = qint64(planned.size());
        outcome.rows = std::move(written);
        // One re-query gives what a re-query after each appended row would have given.
        skip([&] {
            if (rs.isOpen())
                need(rs.requery());
            else
                need(rs.open(s.gConnection, sql::S8(id)));
        });
    }
    skip([&] {
        if (last == Last::Appended) need(rs.moveLast());
        if (last == Last::First && rs.recordCount() > 0) need(rs.moveFirst());
    });
    return outcome;
}

} // namespace rv
