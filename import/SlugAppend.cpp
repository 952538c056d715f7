#include "import/SlugAppend.h"
#include "core/Values.h"
#include "import/StagedChecks.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/ReadingsAppend.h"
#include "store/Session.h"
#include <QSet>
#include <optional>

namespace rv {

namespace {

constexpr qint64 kProgressEvery = 512;
// The most keys a set is sized for at once; a larger table grows it as it is read.
constexpr qint64 kMaxReserved = 4'000'000;
// How much of a date text that cannot be read its message shows.
constexpr qsizetype kShownDateText = 40;

// A channel value as the bytes written; Null stays a null array.
QByteArray channelBytes(const QVariant& value) {
    return value.isNull() ? QByteArray() : value.toString().toUtf8();
}

} // namespace

PlannedReading plannedReading(const StagedRows& rows, qint64 row, const QDateTime& fullDate) {
    return PlannedReading{fullDate, channelBytes(importedChannel(rows.text(row, 4), 1)),
                          channelBytes(importedChannel(rows.text(row, 5), 2))};
}

bool connectionWritable(const Connection& connection) {
    return connection.isOpen() && !connection.readOnly();
}

Result<QSet<QString>> storedReadingKeys(Connection& connection, const QString& table) {
    QSet<QString> keys;
    const Status read = forEachReadingKey(
        connection, table, [&](const QString& key) { keys.insert(foldedKey(key)); },
        [&](qint64 count) { keys.reserve(qsizetype(qMin<qint64>(count, kMaxReserved))); });
    if (!read.ok()) return read.error();
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
    // Whatever ends the writing before its commit (a failure, a cancel, even an exception)
    // leaves the table as it was.
    ReadingsAppend append(connection, table);
    if (!append.started().ok()) return fail(append.started().error());

    const QByteArray idBytes = sensorId.toUtf8();
    // The key of a reading: the identifier, yyyy/mm/dd and hh:nn:ss.
    QByteArray key = idBytes;
    key.resize(idBytes.size() + 20);
    const auto keyOf = [&](const QDateTime& at) {
        char* k = key.data() + idBytes.size();
        k[0] = ' ';
        writeDateDigits(k + 1, at.date(), '/');
        k[11] = ' ';
        writeTimeDigits(k + 12, at.time());
    };
    // The readings to write: on a server, once the table is this import's alone (the
    // append holds it), those whose keys another engineer stored since they were planned
    // are left out.
    std::vector<qint64> toWrite;
    toWrite.reserve(readings.size());
    if (connection.onServer()) {
        const Result<QSet<QString>> stored = storedReadingKeys(connection, table);
        if (!stored.ok()) return fail(stored.error());
        for (qint64 i = 0; i < qint64(readings.size()); ++i) {
            keyOf(readings[std::size_t(i)].fullDate);
            if (stored.value().contains(foldedKey(QString::fromUtf8(key))))
                outcome.storedMeanwhile.push_back(i);
            else
                toWrite.push_back(i);
        }
    } else {
        for (qint64 i = 0; i < qint64(readings.size()); ++i)
            toWrite.push_back(i);
    }

    progress.begin(QStringLiteral("Appending readings to sensor ") + table, qint64(toWrite.size()));
    struct EndProgress {
        Progress& p;
        ~EndProgress() { p.end(); }
    } endProgress{progress};

    const qint64 total = qint64(toWrite.size());
    // The import history keeps the key of each reading and the channel values as they
    // were stored, written beside the readings in the same transaction.
    std::optional<BatchRowsWrite> recorded;
    if (batch && total > 0) {
        ImportBatch record = *batch;
        record.instrumentId = sensorId;
        record.rows = total;
        const Result<qint64> id = startBatch(connection, record);
        if (!id.ok()) return fail(id.error());
        recorded.emplace(connection, id.value());
        if (!recorded->prepared().ok()) return fail(recorded->prepared().error());
    }
    for (qint64 i = 0; i < total; ++i) {
        const PlannedReading& r = readings[std::size_t(toWrite[std::size_t(i)])];
        const QDate date = r.fullDate.date();
        const QTime time = r.fullDate.time();
        // The key, and the stored moment yyyy-mm-dd hh:nn:ss whose parts are the stored
        // date and time (the date alone at midnight).
        keyOf(r.fullDate);
        char storedDate[19];
        writeDateDigits(storedDate, date, '-');
        storedDate[10] = ' ';
        writeTimeDigits(storedDate + 11, time);
        const ReadingToAppend reading{key.constData(), key.size(),  storedDate, time == QTime(0, 0),
                                      r.fullDate,      &r.channelT, &r.channel1};
        StoredChannels stored;
        if (Status st = append.add(reading, recorded ? &stored : nullptr); !st.ok())
            return fail(st.error());
        if (recorded)
            if (Status st = recorded->add(QByteArrayView(key), stored); !st.ok())
                return fail(st.error());
        if (((i + 1) % kProgressEvery == 0 || i + 1 == total) && !progress.step(i + 1)) {
            append.rollback();
            outcome.kind = WriteOutcome::Kind::Cancelled;
            return outcome;
        }
    }
    // The last rows of the record and of the readings go before the commit: a failure
    // of either appends nothing.
    if (recorded)
        if (Status st = recorded->finish(); !st.ok()) return fail(st.error());
    if (Status st = append.commit(); !st.ok()) return fail(st.error());
    return outcome;
}

AppendOutcome appendTicked(Session& s, const StagedRows& rows, const std::vector<char>& marks,
                           SlugDateFormat format, DayOrder order, Progress& progress,
                           const ImportSource* source, QSet<QString>* storedKeys) {
    AppendOutcome outcome;
    const QString id = s.gSensorID;
    QSet<QString> readKeys;
    if (!storedKeys) {
        auto keys = storedReadingKeys(s.gConnection, id);
        if (!keys.ok()) {
            outcome.kind = AppendOutcome::Kind::Failed;
            outcome.error = keys.error();
            return outcome;
        }
        readKeys = std::move(keys).value();
    }
    const QSet<QString>& known = storedKeys ? *storedKeys : readKeys;
    const qint64 n = qMin(rows.rowCount(), qint64(marks.size()));
    QSet<qint64> inFile;
    inFile.reserve(n);
    std::vector<QString> plannedKeys; // folded, for the snapshot

    // Which way rsReadings ends: each ticked row first goes to the first reading; an
    // appended row then leaves it on the new reading, the last one.
    enum class Last { Untouched, First, Appended } last = Last::Untouched;
    std::vector<PlannedReading> planned;
    std::vector<qint64> written; // the staged row of each planned reading
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
        if (storedKeys) plannedKeys.push_back(foldedKey(moment->key));
        written.push_back(r);
        planned.push_back(plannedReading(rows, r, moment->fullDate));
        last = Last::Appended;
    }

    Recordset& rs = s.rsReadings;
    if (!planned.empty()) {
        std::optional<ImportBatch> batch;
        if (source && hasHistoryTables(s.gConnection))
            batch = ImportBatch{
                0, id, source->fileName, source->sha256, s.clock.now(), qint64(planned.size()), {}};
        const WriteOutcome result =
            writeReadings(s.gConnection, id, planned, progress, batch ? &*batch : nullptr);
        if (result.kind != WriteOutcome::Kind::Written) {
            outcome.kind = result.kind == WriteOutcome::Kind::Cancelled
                               ? AppendOutcome::Kind::Cancelled
                               : AppendOutcome::Kind::Failed;
            outcome.error = result.error;
            return outcome;
        }
        if (const std::size_t meanwhile = result.storedMeanwhile.size(); meanwhile > 0) {
            std::vector<char> left(planned.size(), 0);
            for (const qint64 i : result.storedMeanwhile)
                left[std::size_t(i)] = 1;
            std::vector<qint64> kept;
            for (std::size_t i = 0; i < written.size(); ++i)
                if (!left[i]) kept.push_back(written[i]);
            written = std::move(kept);
            s.dialogs.inform(QString::number(meanwhile) +
                             QStringLiteral(" of the readings to append were stored by another "
                                            "engineer on the site server while this import "
                                            "ran. They were not appended again."));
        }
        outcome.appended = qint64(written.size());
        outcome.rows = std::move(written);
        if (storedKeys) {
            // The snapshot now knows the readings written; rsReadings is the caller's to
            // refresh once.
            storedKeys->reserve(storedKeys->size() + qsizetype(plannedKeys.size()));
            for (QString& key : plannedKeys)
                storedKeys->insert(std::move(key));
            return outcome;
        }
        // One re-query gives what a re-query after each appended row would have given.
        skip([&] {
            if (rs.isOpen())
                need(rs.requery());
            else
                need(rs.open(s.gConnection, sql::readingsByDate(id)));
        });
    }
    skip([&] {
        if (last == Last::Appended) need(rs.moveLast());
        if (last == Last::First && rs.recordCount() > 0) need(rs.moveFirst());
    });
    return outcome;
}

} // namespace rv
