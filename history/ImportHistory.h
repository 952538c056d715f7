#pragma once
// The import history: every append of a datalogger file is recorded as a batch (the
// sensor, the file's name and SHA-256, when, how many rows) with the key and the stored
// values of each reading it appended, so that the batch can be undone later and a file
// imported twice is recognised before anything is staged.
//
// Two tables hold it, which databases made before the history existed gain when the
// program opens them: ImportBatches (one row per append) and ImportBatchRows (one row per
// appended reading).
#include "platform/Progress.h"
#include "platform/Status.h"
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

namespace rv {

class Connection;

inline const QString kImportBatchesTable = QStringLiteral("ImportBatches");
inline const QString kImportBatchRowsTable = QStringLiteral("ImportBatchRows");

// Creates both history tables when either is missing, in one transaction. Fails on a
// database that cannot be written and lacks them.
Status ensureHistoryTables(Connection& c);
// Whether the database holds both history tables.
bool hasHistoryTables(Connection& c);
// Whether batches can be undone: the tables are there and the database can be written.
bool canUndoImports(Connection& c);

// The SHA-256 of a file's bytes as 64 lower-case hexadecimal digits.
Result<QString> fileSha256(const QString& path);

struct ImportBatch {
    qint64 id = 0; // given by recordBatch
    QString instrumentId;
    QString fileName; // the file's name without its folder
    QString sha256;
    QDateTime when; // wall-clock time of the append
    qint64 rows = 0;
};

// A reading as the append wrote it: its DateTimeKey and the channel values stored.
struct AppendedRow {
    QString key;
    QVariant channelT;
    QVariant channel1;
};

// Records a batch and its rows. Runs inside the append's own transaction (it begins and
// commits none), so the batch exists exactly when its readings do. Answers the batch id.
// The file name is kept without its folder, the moment as "yyyy-MM-dd HH:mm:ss", and the
// row count is the number of rows given; no rows record no batch (answers 0).
Result<qint64> recordBatch(Connection& c, const ImportBatch& batch,
                           const std::vector<AppendedRow>& rows);

// The batches of one sensor, newest first.
Result<std::vector<ImportBatch>> listBatches(Connection& c, const QString& instrumentId);

// The newest batch of the sensor made from a file with this SHA-256, if any.
Result<std::optional<ImportBatch>> findBatchBySha(Connection& c, const QString& instrumentId,
                                                  const QString& sha256);

// What undoing a batch would do: how many of its readings are still stored (and will be
// removed), the keys of those whose values were changed since the append, and how many
// are gone already (deleted by hand).
// A reading counts as edited when its temperature or load text (ChannelT, Channel1)
// differs from what the append wrote, or when it is marked "Do not plot".
struct UndoPreview {
    qint64 stored = 0;
    QStringList editedKeys;
    qint64 missing = 0;
};
Result<UndoPreview> previewUndo(Connection& c, qint64 batchId);

// Removes the batch's readings that are still stored, and the batch's record, in one
// transaction: a failure or a cancel leaves every reading and the record as they were.
// No reading outside the batch is touched. Answers the number of readings removed; a
// cancel answers the error kUndoCancelled. A reading is known by its key: the reading
// stored under one of the batch's keys is the batch's reading and is removed, whether it
// was edited since (previewUndo names those) or deleted and typed in again at the same
// moment (which cannot be told from an edit). The record of a batch whose sensor's
// readings table is gone (the sensor was deleted) is simply forgotten.
inline constexpr long long kUndoCancelled = 3059;
Result<qint64> undoBatch(Connection& c, qint64 batchId, Progress& progress);

// Forgets every batch of a sensor (the sensor is deleted).
Status deleteBatchesOf(Connection& c, const QString& instrumentId);

} // namespace rv
