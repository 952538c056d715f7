#pragma once
// The import history: every append of a datalogger file is recorded as a batch (the
// sensor, the file's name and SHA-256, when, how many rows) with the key and the stored
// values of each reading it appended, so that the batch can be undone later and a file
// imported twice is recognised before anything is staged.
//
// The store keeps the batches (store/ImportHistoryTable.h: the tables, recording, listing
// and finding a batch); this is what undoing one means: which stored readings are the
// batch's, which of them were edited since, and the undo itself.
#include "platform/Progress.h"
#include "platform/Status.h"
#include "store/ImportHistoryTable.h"
#include <QString>
#include <QStringList>

namespace rv {

// Whether batches can be undone: the database can be written, and has the tables of the
// import history and of the history of changes (each reading an undo removes is kept there).
bool canUndoImports(Connection& c);

// The SHA-256 of a file's bytes as 64 lower-case hexadecimal digits.
Result<QString> fileSha256(const QString& path);

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

} // namespace rv
