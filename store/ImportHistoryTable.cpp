#include "store/ImportHistoryTable.h"
#include "core/DateText.h"
#include "store/ChangeHistory.h"
#include "store/Statements.h"
#include <QFileInfo>

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
    " RowsAppended INTEGER,"
    " ImportedBy TEXT)");
// Who appended a batch: a column the history gained after its first release.
const QString kImportedBy = QStringLiteral("ImportedBy");
const QString kCreateBatchesIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatches_InstrumentID ON ImportBatches (InstrumentID)");
const QString kCreateRows = QStringLiteral("CREATE TABLE IF NOT EXISTS ImportBatchRows ("
                                           " BatchID INTEGER NOT NULL,"
                                           " DateTimeKey TEXT NOT NULL,"
                                           " ChannelT TEXT,"
                                           " Channel1 TEXT)");
const QString kCreateRowsIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatchRows_BatchID ON ImportBatchRows (BatchID)");
// Finds the later imports of a key (see matchBatchRows).
const QString kCreateRowsKeyIndex = QStringLiteral(
    "CREATE INDEX IF NOT EXISTS ImportBatchRows_DateTimeKey ON ImportBatchRows (DateTimeKey)");

// The stored form of the moment of an append: ordering by it is chronological.
const QString kStoredMoment = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool recordsWho(Connection& c) {
    const auto cols = c.columns(kImportBatchesTable);
    if (!cols.ok()) return false;
    for (const ColumnInfo& col : cols.value())
        if (col.name.compare(kImportedBy, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// The batches' columns; who appended is nothing where the table does not keep it yet.
QString batchColumns(Connection& c) {
    return QStringLiteral("SELECT BatchID, InstrumentID, FileName, Sha256, ImportedAt, "
                          "RowsAppended, ") +
           (recordsWho(c) ? kImportedBy : QStringLiteral("NULL")) +
           QStringLiteral(" FROM ImportBatches ");
}

Status run(Connection& c, const QString& sql, const QVariantList& values) {
    Query q(c, sql);
    if (!q.prepared().ok()) return q.prepared();
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values.at(i));
    return q.run();
}

// Whether the connection is outside any transaction (its statements commit one by one).
bool autocommit(Connection& c) {
    return !c.inTransaction();
}

ImportBatch batchFrom(const Query& q) {
    ImportBatch b;
    b.id = q.value(0).toLongLong();
    b.instrumentId = q.value(1).toString();
    b.fileName = q.value(2).toString();
    b.sha256 = q.value(3).toString();
    b.when = readDateTime(q.value(4).toString()).value_or(QDateTime());
    b.rows = q.value(5).toLongLong();
    b.by = q.isNull(6) ? QString() : q.text(6);
    return b;
}

} // namespace

bool hasTable(Connection& c, const QString& name) {
    const auto names = c.tables();
    return names.ok() && names.value().contains(name, Qt::CaseInsensitive);
}

bool hasHistoryTables(Connection& c) {
    return hasTable(c, kImportBatchesTable) && hasTable(c, kImportBatchRowsTable);
}

Status ensureHistoryTables(Connection& c) {
    if (hasHistoryTables(c)) return {};
    // Inside the caller's transaction when there is one (the new tables of a database are
    // made together); in one of its own otherwise.
    const bool own = autocommit(c);
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

Result<qint64> startBatch(Connection& c, const ImportBatch& batch) {
    const QString when = batch.when.isValid() ? batch.when.toString(kStoredMoment) : QString();
    // A history made before it kept who appended gains the column with the first batch
    // that records it, in the same transaction.
    if (!recordsWho(c)) {
        if (Status s = c.execute(QStringLiteral("ALTER TABLE ImportBatches ADD COLUMN ") +
                                 kImportedBy + QStringLiteral(" TEXT"));
            !s.ok())
            return s;
    }
    const QString by = batch.by.isEmpty() ? c.userName() : batch.by;
    if (Status s =
            run(c,
                QStringLiteral("INSERT INTO ImportBatches (InstrumentID, FileName, Sha256, "
                               "ImportedAt, RowsAppended, ImportedBy) VALUES (?, ?, ?, ?, ?, ?)"),
                {batch.instrumentId, QFileInfo(batch.fileName).fileName(), batch.sha256.toLower(),
                 when.isEmpty() ? QVariant() : QVariant(when), batch.rows,
                 by.isEmpty() ? QVariant() : QVariant(by)});
        !s.ok())
        return s;
    const qint64 id = c.lastInsertId();
    // The import itself is one entry of the history of changes: its readings are the
    // batch's rows.
    ChangeAction action(c, batch.instrumentId, how::Import, QFileInfo(batch.fileName).fileName());
    if (Status s = action.record(change::Imported, {}, {}, {},
                                 {{QStringLiteral("File"), QFileInfo(batch.fileName).fileName()},
                                  {QStringLiteral("Readings"), batch.rows}});
        !s.ok())
        return s;
    return id;
}

Result<qint64> recordBatch(Connection& c, const ImportBatch& batch,
                           const std::vector<AppendedRow>& rows) {
    // Nothing appended, nothing to undo: no batch is recorded.
    if (rows.empty()) return qint64(0);
    ImportBatch counted = batch;
    counted.rows = qint64(rows.size());
    const Result<qint64> id = startBatch(c, counted);
    if (!id.ok()) return id;
    BatchRowsWrite write(c, id.value());
    if (!write.prepared().ok()) return write.prepared();
    for (const AppendedRow& r : rows)
        if (Status s = write.add(r); !s.ok()) return s;
    if (Status s = write.finish(); !s.ok()) return s;
    return id;
}

BatchRowsWrite::BatchRowsWrite(Connection& c, qint64 batchId)
    : m_batchId(batchId),
      m_insert(c,
               QStringLiteral("INSERT INTO ImportBatchRows (BatchID, DateTimeKey, ChannelT, "
                              "Channel1)"),
               4) {}

void BatchRowsWrite::channel(int column, const StoredChannel& value) {
    if (!value.given)
        m_insert.value(column, value.converted);
    else if (value.given->isNull())
        m_insert.null(column);
    else
        m_insert.text(column, value.given->constData(), value.given->size());
}

Status BatchRowsWrite::add(QByteArrayView key, const StoredChannels& stored) {
    m_insert.integer(0, m_batchId);
    m_insert.text(1, key.data(), key.size());
    channel(2, stored.channelT);
    channel(3, stored.channel1);
    return m_insert.endRow();
}

Status BatchRowsWrite::add(const AppendedRow& row) {
    m_insert.integer(0, m_batchId);
    m_insert.value(1, row.key);
    m_insert.value(2, row.channelT);
    m_insert.value(3, row.channel1);
    return m_insert.endRow();
}

Result<std::vector<ImportBatch>> listBatches(Connection& c, const QString& instrumentId) {
    // The batch id grows with every append, so it orders the batches even when the
    // clock was set back between two imports.
    Query q(c, batchColumns(c) + QStringLiteral("WHERE InstrumentID = ? ORDER BY BatchID DESC"));
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
    Query q(c, batchColumns(c) + QStringLiteral("WHERE InstrumentID = ? AND Sha256 = ? "
                                                "ORDER BY BatchID DESC LIMIT 1"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, instrumentId);
    q.bind(2, sha256.toLower());
    std::optional<ImportBatch> found;
    if (q.next()) found = batchFrom(q);
    if (!q.status().ok()) return q.status();
    return found;
}

Result<std::optional<ImportBatch>> findBatch(Connection& c, qint64 batchId) {
    Query q(c, batchColumns(c) + QStringLiteral("WHERE BatchID = ?"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, batchId);
    std::optional<ImportBatch> found;
    if (q.next()) found = batchFrom(q);
    if (!q.status().ok()) return q.status();
    return found;
}

qint64 batchRowCount(Connection& c, qint64 batchId) {
    Query q(c, QStringLiteral("SELECT count(*) FROM ImportBatchRows WHERE BatchID = ?"));
    if (!q.prepared().ok()) return 0;
    q.bind(1, batchId);
    return q.next() ? q.value(0).toLongLong() : 0;
}

Status matchBatchRows(Connection& c, qint64 batchId, const QString& table,
                      const std::function<void(const BatchRowMatch&)>& visit) {
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
    // Most readings are as the append stored them: their channels are compared as the
    // engine holds them, and only a reading that differs is read into values.
    auto sameText = [&q](int appended, int stored) {
        const ValueKind a = q.kind(appended), s = q.kind(stored);
        if (a == ValueKind::Null || s == ValueKind::Null)
            return a == ValueKind::Null && s == ValueKind::Null;
        return a == ValueKind::Text && s == ValueKind::Text && q.bytes(appended) == q.bytes(stored);
    };
    BatchRowMatch m;
    while (q.next()) {
        m.batchRow = q.int64(0);
        const QByteArrayView key = q.bytes(1);
        m.key = q.kind(1) == ValueKind::Text ? QString::fromUtf8(key.data(), key.size())
                                             : q.value(1).toString();
        if (q.kind(4) == ValueKind::Null) {
            m.storedRowId.reset();
            m.channelsAsAppended = false;
            m.appendedT = q.value(2);
            m.appended1 = q.value(3);
            m.storedT = m.stored1 = m.doNotPlot = QVariant();
        } else {
            m.storedRowId = q.int64(4);
            m.channelsAsAppended = sameText(2, 5) && sameText(3, 6);
            if (m.channelsAsAppended) {
                m.appendedT = m.appended1 = m.storedT = m.stored1 = QVariant();
            } else {
                m.appendedT = q.value(2);
                m.appended1 = q.value(3);
                m.storedT = q.value(5);
                m.stored1 = q.value(6);
            }
            m.doNotPlot = q.kind(7) == ValueKind::Null ? QVariant() : q.value(7);
        }
        visit(m);
    }
    return q.status();
}

Status forgetBatch(Connection& c, qint64 batchId) {
    if (Status s =
            run(c, QStringLiteral("DELETE FROM ImportBatchRows WHERE BatchID = ?"), {batchId});
        !s.ok())
        return s;
    return run(c, QStringLiteral("DELETE FROM ImportBatches WHERE BatchID = ?"), {batchId});
}

Status deleteBatchesOf(Connection& c, const QString& instrumentId) {
    // Inside the caller's transaction when there is one; in one of its own otherwise, so
    // no batch is left without its rows.
    const bool own = autocommit(c);
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
