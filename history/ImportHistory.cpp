#include "history/ImportHistory.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "store/Connection.h"
#include "store/Statements.h"
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <sqlite3.h>

namespace rv {

namespace {

const QString kCreateBatches = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS ImportBatches ("
    " BatchID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " InstrumentID TEXT NOT NULL,"
    " FileName TEXT,"
    " Sha256 TEXT,"
    " ImportedAt DATETIME CHECK (ImportedAt IS NULL OR (typeof(ImportedAt) = 'text' AND "
    "ImportedAt GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),"
    " RowsAppended INTEGER)");
const QString kCreateBatchesIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatches_InstrumentID ON ImportBatches (InstrumentID)");
const QString kCreateRows = QStringLiteral("CREATE TABLE IF NOT EXISTS ImportBatchRows ("
                                           " BatchID INTEGER NOT NULL,"
                                           " DateTimeKey TEXT NOT NULL,"
                                           " ChannelT TEXT,"
                                           " Channel1 TEXT)");
const QString kCreateRowsIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatchRows_BatchID ON ImportBatchRows (BatchID)");
// Finds the later imports of a key (see survey).
const QString kCreateRowsKeyIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatchRows_DateTimeKey ON ImportBatchRows (DateTimeKey)");

// How often long work reports its progress, in rows.
constexpr qint64 kProgressEvery = 512;
// The stored form of the moment of an append: ordering by it is chronological.
const QString kStoredMoment = QStringLiteral("yyyy-MM-dd HH:mm:ss");

Status run(Connection& c, const QString& sql, const QVariantList& values) {
    Query q(c, sql);
    if (!q.prepared().ok()) return q.prepared();
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values.at(i));
    return q.run();
}

bool tableExists(Connection& c, const QString& name) {
    Query q(c, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                              "name = ? COLLATE NOCASE"));
    if (!q.prepared().ok()) return false;
    q.bind(1, name);
    return q.next();
}

ImportBatch batchFrom(const Query& q) {
    ImportBatch b;
    b.id = q.value(0).toLongLong();
    b.instrumentId = q.value(1).toString();
    b.fileName = q.value(2).toString();
    b.sha256 = q.value(3).toString();
    b.when = readDateTime(q.value(4).toString()).value_or(QDateTime());
    b.rows = q.value(5).toLongLong();
    return b;
}

const QString kBatchColumns = QStringLiteral(
    "SELECT BatchID, InstrumentID, FileName, Sha256, ImportedAt, RowsAppended FROM ImportBatches ");

Result<std::optional<ImportBatch>> batchById(Connection& c, qint64 batchId) {
    Query q(c, kBatchColumns + QStringLiteral("WHERE BatchID = ?"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, batchId);
    std::optional<ImportBatch> found;
    if (q.next()) found = batchFrom(q);
    if (!q.status().ok()) return q.status();
    return found;
}

// Two channel values hold the same reading when both are empty, or both show the same
// text (a number kept as a number by a column of another type shows as its text).
bool sameValue(const QVariant& stored, const QVariant& appended) {
    const bool storedNull = !stored.isValid() || stored.isNull();
    const bool appendedNull = !appended.isValid() || appended.isNull();
    if (storedNull || appendedNull) return storedNull == appendedNull;
    return displayText(stored) == displayText(appended);
}

// "Do not plot" is No when the column holds 0, Null (its default), or a text that says no.
bool plotted(const QVariant& doNotPlot) {
    if (!doNotPlot.isValid() || doNotPlot.isNull()) return true;
    if (doNotPlot.typeId() == QMetaType::QString) {
        const QString t = doNotPlot.toString().trimmed();
        return t.isEmpty() || t == QLatin1String("0") ||
               t.compare(QLatin1String("No"), Qt::CaseInsensitive) == 0 ||
               t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0;
    }
    return doNotPlot.toDouble() == 0;
}

// The batch's readings as the sensor's table holds them now: for each row of the batch,
// the stored reading under its key (the row id, or none when it was deleted), and
// whether that reading was changed since the append.
struct Survey {
    std::vector<qint64> storedRowIds; // one per batch row still stored, in batch order
    QStringList editedKeys;           // in batch order
    qint64 missing = 0;
};

Result<Survey> survey(Connection& c, qint64 batchId, const QString& table) {
    // A key names one reading of a sensor: the reading stored under a batch's key is the
    // batch's reading, edited or not (one the user deleted and typed in again at the same
    // moment cannot be told from it; a changed value shows it as edited). Where a table
    // holds one key twice, one reading per batch row is taken: the first that still
    // holds the appended values, else the first; another row is never touched.
    //
    // A reading the user deleted by hand and a later import of the same sensor appended
    // again belongs to that later import: it is not this batch's reading (the row counts
    // as gone), so undoing the earlier import never takes it.
    Query q(c, QStringLiteral("SELECT b.rowid, b.DateTimeKey, b.ChannelT, b.Channel1, r.rowid, "
                              "r.ChannelT, r.Channel1, r.DoNotPlot FROM ImportBatchRows b "
                              "LEFT JOIN ") +
                   quoteName(table) +
                   QStringLiteral(
                       " r ON r.DateTimeKey = b.DateTimeKey AND NOT EXISTS (SELECT 1 FROM "
                       "ImportBatchRows n JOIN ImportBatches nb ON nb.BatchID = n.BatchID "
                       "WHERE n.DateTimeKey = b.DateTimeKey AND n.BatchID > b.BatchID AND "
                       "nb.InstrumentID = ?2) WHERE b.BatchID = ?1 ORDER BY b.rowid, r.rowid"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, batchId);
    q.bind(2, table);
    Survey s;
    QSet<qint64> taken;
    qint64 current = -1; // the batch row being gathered
    QString currentKey;
    qint64 firstRowId = -1, unchangedRowId = -1;
    bool edited = false;
    auto close = [&] {
        if (current < 0) return;
        const qint64 chosen = unchangedRowId >= 0 ? unchangedRowId : firstRowId;
        if (chosen < 0) {
            ++s.missing;
        } else {
            taken.insert(chosen);
            s.storedRowIds.push_back(chosen);
            if (unchangedRowId < 0 && edited) s.editedKeys << currentKey;
        }
    };
    while (q.next()) {
        const qint64 batchRow = q.value(0).toLongLong();
        if (batchRow != current) {
            close();
            current = batchRow;
            currentKey = q.value(1).toString();
            firstRowId = unchangedRowId = -1;
            edited = false;
        }
        const QVariant rowId = q.value(4);
        if (rowId.isNull()) continue;
        const qint64 id = rowId.toLongLong();
        if (taken.contains(id)) continue;
        const bool unchanged = sameValue(q.value(5), q.value(2)) &&
                               sameValue(q.value(6), q.value(3)) && plotted(q.value(7));
        if (firstRowId < 0) {
            firstRowId = id;
            edited = !unchanged;
        }
        if (unchanged && unchangedRowId < 0) unchangedRowId = id;
    }
    close();
    if (!q.status().ok()) return q.status();
    return s;
}

qint64 batchRowCount(Connection& c, qint64 batchId) {
    Query q(c, QStringLiteral("SELECT count(*) FROM ImportBatchRows WHERE BatchID = ?"));
    if (!q.prepared().ok()) return 0;
    q.bind(1, batchId);
    return q.next() ? q.value(0).toLongLong() : 0;
}

Status forget(Connection& c, qint64 batchId) {
    if (Status s =
            run(c, QStringLiteral("DELETE FROM ImportBatchRows WHERE BatchID = ?"), {batchId});
        !s.ok())
        return s;
    return run(c, QStringLiteral("DELETE FROM ImportBatches WHERE BatchID = ?"), {batchId});
}

Error noBatch(qint64 batchId) {
    return Error{err::ItemNotFound, QStringLiteral("There is no import ") +
                                        QString::number(batchId) +
                                        QStringLiteral(" in the import history.")};
}

} // namespace

bool hasHistoryTables(Connection& c) {
    return tableExists(c, kImportBatchesTable) && tableExists(c, kImportBatchRowsTable);
}

bool canUndoImports(Connection& c) {
    return c.isOpen() && sqlite3_db_readonly(c.handle(), "main") == 0 && hasHistoryTables(c);
}

Status ensureHistoryTables(Connection& c) {
    if (hasHistoryTables(c)) return {};
    // Inside the caller's transaction when there is one (the new tables of a database are
    // made together); in one of its own otherwise.
    const bool own = sqlite3_get_autocommit(c.handle()) != 0;
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    for (const QString& sql :
         {kCreateBatches, kCreateBatchesIndex, kCreateRows, kCreateRowsIndex, kCreateRowsKeyIndex})
        if (Status s = c.execute(sql); !s.ok()) {
            if (own) c.rollback();
            return s;
        }
    return own ? c.commit() : Status();
}

Result<QString> fileSha256(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{err::FileError, QStringLiteral("Could not read the file ") + path +
                                         QStringLiteral(": ") + file.errorString()};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return Error{err::FileError, QStringLiteral("Could not read the file ") + path +
                                         QStringLiteral(": ") + file.errorString()};
    return QString::fromLatin1(hash.result().toHex());
}

Result<qint64> recordBatch(Connection& c, const ImportBatch& batch,
                           const std::vector<AppendedRow>& rows) {
    // Nothing appended, nothing to undo: no batch is recorded.
    if (rows.empty()) return qint64(0);
    const QString when = batch.when.isValid() ? batch.when.toString(kStoredMoment) : QString();
    if (Status s =
            run(c,
                QStringLiteral("INSERT INTO ImportBatches (InstrumentID, FileName, Sha256, "
                               "ImportedAt, RowsAppended) VALUES (?, ?, ?, ?, ?)"),
                {batch.instrumentId, QFileInfo(batch.fileName).fileName(), batch.sha256.toLower(),
                 when.isEmpty() ? QVariant() : QVariant(when), qint64(rows.size())});
        !s.ok())
        return s;
    const qint64 id = sqlite3_last_insert_rowid(c.handle());

    Query insert(c, QStringLiteral("INSERT INTO ImportBatchRows (BatchID, DateTimeKey, ChannelT, "
                                   "Channel1) VALUES (?1, ?2, ?3, ?4)"));
    if (!insert.prepared().ok()) return insert.prepared();
    sqlite3_stmt* stmt = insert.statement();
    sqlite3_bind_int64(stmt, 1, id);
    for (const AppendedRow& r : rows) {
        insert.bind(2, r.key);
        insert.bind(3, r.channelT);
        insert.bind(4, r.channel1);
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            const Error e = c.lastError();
            sqlite3_reset(stmt);
            return e;
        }
        sqlite3_reset(stmt);
    }
    return id;
}

Result<std::vector<ImportBatch>> listBatches(Connection& c, const QString& instrumentId) {
    // The batch id grows with every append, so it orders the batches even when the
    // clock was set back between two imports.
    Query q(c, kBatchColumns + QStringLiteral("WHERE InstrumentID = ? ORDER BY BatchID DESC"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, instrumentId);
    std::vector<ImportBatch> batches;
    while (q.next())
        batches.push_back(batchFrom(q));
    if (!q.status().ok()) return q.status();
    return batches;
}

Result<std::optional<ImportBatch>> findBatchBySha(Connection& c, const QString& instrumentId,
                                                  const QString& sha256) {
    Query q(c, kBatchColumns + QStringLiteral("WHERE InstrumentID = ? AND Sha256 = ? "
                                              "ORDER BY BatchID DESC LIMIT 1"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, instrumentId);
    q.bind(2, sha256.toLower());
    std::optional<ImportBatch> found;
    if (q.next()) found = batchFrom(q);
    if (!q.status().ok()) return q.status();
    return found;
}

Result<UndoPreview> previewUndo(Connection& c, qint64 batchId) {
    auto batch = batchById(c, batchId);
    if (!batch.ok()) return batch.error();
    if (!batch.value()) return noBatch(batchId);
    UndoPreview preview;
    if (!tableExists(c, batch.value()->instrumentId)) {
        // The sensor was deleted: every reading of the batch went with it.
        preview.missing = batchRowCount(c, batchId);
        return preview;
    }
    auto s = survey(c, batchId, batch.value()->instrumentId);
    if (!s.ok()) return s.error();
    preview.stored = qint64(s.value().storedRowIds.size());
    preview.editedKeys = s.value().editedKeys;
    preview.missing = s.value().missing;
    return preview;
}

Result<qint64> undoBatch(Connection& c, qint64 batchId, Progress& progress) {
    if (Status s = c.begin(); !s.ok()) return s;
    // Whatever ends the undo before its commit (a failure, a cancel, an exception) leaves
    // every reading and the record as they were.
    bool committed = false;
    const auto rollBack = qScopeGuard([&] {
        if (!committed) c.rollback();
    });
    auto batch = batchById(c, batchId);
    if (!batch.ok()) return batch.error();
    if (!batch.value()) return noBatch(batchId);
    const QString table = batch.value()->instrumentId;

    qint64 removed = 0;
    if (tableExists(c, table)) {
        auto s = survey(c, batchId, table);
        if (!s.ok()) return s.error();
        const std::vector<qint64>& rowIds = s.value().storedRowIds;
        const qint64 total = qint64(rowIds.size());
        progress.begin(QStringLiteral("Undoing the import of ") + batch.value()->fileName +
                           QStringLiteral(" into sensor ") + table,
                       total);
        struct EndProgress {
            Progress& p;
            ~EndProgress() { p.end(); }
        } endProgress{progress};
        Query del(c, QStringLiteral("DELETE FROM ") + quoteName(table) +
                         QStringLiteral(" WHERE rowid = ?"));
        if (!del.prepared().ok()) return del.prepared();
        sqlite3_stmt* stmt = del.statement();
        for (qint64 i = 0; i < total; ++i) {
            sqlite3_bind_int64(stmt, 1, rowIds[std::size_t(i)]);
            if (sqlite3_step(stmt) != SQLITE_DONE) {
                const Error e = c.lastError();
                sqlite3_reset(stmt);
                return e;
            }
            sqlite3_reset(stmt);
            if (((i + 1) % kProgressEvery == 0 || i + 1 == total) && !progress.step(i + 1))
                return Error{kUndoCancelled, QStringLiteral("The undo was cancelled: every "
                                                            "reading is kept.")};
        }
        removed = total;
    }
    if (Status s = forget(c, batchId); !s.ok()) return s;
    if (Status s = c.commit(); !s.ok()) return s;
    committed = true;
    return removed;
}

Status deleteBatchesOf(Connection& c, const QString& instrumentId) {
    // Inside the caller's transaction when there is one; in one of its own otherwise, so
    // no batch is left without its rows.
    const bool own = sqlite3_get_autocommit(c.handle()) != 0;
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    auto fail = [&](const Status& s) {
        if (own) c.rollback();
        return s;
    };
    if (Status s = run(c,
                       QStringLiteral("DELETE FROM ImportBatchRows WHERE BatchID IN (SELECT "
                                      "BatchID FROM ImportBatches WHERE InstrumentID = ?)"),
                       {instrumentId});
        !s.ok())
        return fail(s);
    if (Status s = run(c, QStringLiteral("DELETE FROM ImportBatches WHERE InstrumentID = ?"),
                       {instrumentId});
        !s.ok())
        return fail(s);
    return own ? c.commit() : Status();
}

} // namespace rv
