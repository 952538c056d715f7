#pragma once
// The tables of the import history: ImportBatches (one row per append of a datalogger
// file: the sensor, the file's name and SHA-256, when, how many rows) and ImportBatchRows
// (one row per appended reading: its key and the channel values stored). Databases made
// before the history existed gain them when the program opens them.
//
// These are the history's statements; what a batch's reading is, and whether it was
// edited, is decided by the history itself (history/ImportHistory.h).
#include "platform/Status.h"
#include "store/Connection.h"
#include "store/ReadingsAppend.h"
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace rv {

inline const QString kImportBatchesTable = QStringLiteral("ImportBatches");
inline const QString kImportBatchRowsTable = QStringLiteral("ImportBatchRows");

struct ImportBatch {
    qint64 id = 0; // given by recordBatch
    QString instrumentId;
    QString fileName; // the file's name without its folder
    QString sha256;
    QDateTime when; // wall-clock time of the append
    qint64 rows = 0;
    // Who appended: the database user on a server, the login name on a file (empty for a
    // batch recorded before the history kept it). Filled by the store when left empty.
    QString by;
};

// A reading as the append wrote it: its DateTimeKey and the channel values stored.
struct AppendedRow {
    QString key;
    QVariant channelT;
    QVariant channel1;
};

// Creates both history tables when either is missing: inside the caller's transaction
// when there is one, in one of its own otherwise. Fails on a database that cannot be
// written and lacks them.
Status ensureHistoryTables(Connection& c);
// Whether the database holds both history tables.
bool hasHistoryTables(Connection& c);
// Whether the database holds a table of this name (letter case ignored): a sensor's
// readings table is gone once the sensor was deleted.
bool hasTable(Connection& c, const QString& name);

// Records a batch and its rows. Runs inside the append's own transaction (it begins and
// commits none), so the batch exists exactly when its readings do. Answers the batch id.
// The file name is kept without its folder, the moment as "yyyy-MM-dd HH:mm:ss", and the
// row count is the number of rows given; no rows record no batch (answers 0).
Result<qint64> recordBatch(Connection& c, const ImportBatch& batch,
                           const std::vector<AppendedRow>& rows);

// Records the batch itself (its rows go through BatchRowsWrite) with batch.rows as its row
// count, inside the caller's transaction, as recordBatch does; answers its id.
Result<qint64> startBatch(Connection& c, const ImportBatch& batch);

// Writes the rows of one batch as the append stores its readings, a chunk at a time
// (ChunkedInsert), inside the caller's transaction: the key and the channel values as they
// were stored, without making a text of them first.
class BatchRowsWrite {
public:
    BatchRowsWrite(Connection& c, qint64 batchId);
    const Status& prepared() const { return m_insert.prepared(); }
    Status add(QByteArrayView key, const StoredChannels& stored);
    Status add(const AppendedRow& row);
    // Writes the rows still pending.
    Status finish() { return m_insert.flush(); }

private:
    void channel(int column, const StoredChannel& value);
    qint64 m_batchId;
    ChunkedInsert m_insert;
};

// The batches of one sensor, newest first (by batch id, which grows with every append).
Result<std::vector<ImportBatch>> listBatches(Connection& c, const QString& instrumentId);

// The newest batch of the sensor made from a file with this SHA-256, if any.
Result<std::optional<ImportBatch>> findBatchBySha(Connection& c, const QString& instrumentId,
                                                  const QString& sha256);

// The batch of this id, if there is one.
Result<std::optional<ImportBatch>> findBatch(Connection& c, qint64 batchId);

// How many readings the batch recorded (0 when it cannot be read).
qint64 batchRowCount(Connection& c, qint64 batchId);

// One row of a batch beside a reading of the sensor's table stored under its key.
struct BatchRowMatch {
    qint64 batchRow = 0; // the batch row (its rowid); the rows come in its order
    QString key;
    QVariant appendedT, appended1;     // the channel values the append stored
    std::optional<qint64> storedRowId; // none when no reading holds the key
    // Whether both stored channels hold what the append stored, byte for byte (both
    // texts or both empty); the channel values above and below are then not filled in.
    bool channelsAsAppended = false;
    QVariant storedT, stored1, doNotPlot; // the reading as it is stored now
};
// Visits every row of the batch in the order it was recorded, once per reading of the
// sensor's table `table` stored under its key (in the table's order), or once with no
// reading when none is. A key that a later batch of the same sensor recorded again is
// matched with no reading: the reading stored under it now belongs to that later batch.
Status matchBatchRows(Connection& c, qint64 batchId, const QString& table,
                      const std::function<void(const BatchRowMatch&)>& visit);

// Forgets one batch: its rows and its record (inside the caller's transaction).
Status forgetBatch(Connection& c, qint64 batchId);

// Forgets every batch of a sensor (the sensor is deleted): inside the caller's transaction
// when there is one; in one of its own otherwise, so no batch is left without its rows.
Status deleteBatchesOf(Connection& c, const QString& instrumentId);

} // namespace rv
