#include "history/ImportHistory.h"
#include "core/Values.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/ReadingsTable.h"
#include "store/Statements.h"
#include <QCryptographicHash>
#include <QFile>
#include <QScopeGuard>
#include <QSet>

namespace rv {

namespace {

// Two channel values hold the same reading when both are empty (no value, or an empty text
// as the Readings tab writes an empty box back), or both show the same text (a number kept
// as a number by a column of another type shows as its text).
bool sameValue(const QVariant& stored, const QVariant& appended) {
    const auto empty = [](const QVariant& v) {
        return !v.isValid() || v.isNull() ||
               (v.typeId() == QMetaType::QString && v.toString().isEmpty());
    };
    const bool storedNull = empty(stored);
    const bool appendedNull = empty(appended);
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
    const Status matched = matchBatchRows(c, batchId, table, [&](const BatchRowMatch& m) {
        if (m.batchRow != current) {
            close();
            current = m.batchRow;
            currentKey = m.key;
            firstRowId = unchangedRowId = -1;
            edited = false;
        }
        if (!m.storedRowId) return;
        const qint64 id = *m.storedRowId;
        if (taken.contains(id)) return;
        const bool unchanged = (m.channelsAsAppended || (sameValue(m.storedT, m.appendedT) &&
                                                         sameValue(m.stored1, m.appended1))) &&
                               plotted(m.doNotPlot);
        if (firstRowId < 0) {
            firstRowId = id;
            edited = !unchanged;
        }
        if (unchanged && unchangedRowId < 0) unchangedRowId = id;
    });
    close();
    if (!matched.ok()) return matched;
    return s;
}

Error noBatch(qint64 batchId) {
    return Error{err::ItemNotFound, QStringLiteral("There is no import ") +
                                        QString::number(batchId) +
                                        QStringLiteral(" in the import history.")};
}

} // namespace

bool canUndoImports(Connection& c) {
    return c.isOpen() && !c.readOnly() && hasHistoryTables(c) && hasChangeTables(c);
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

Result<UndoPreview> previewUndo(Connection& c, qint64 batchId) {
    auto batch = findBatch(c, batchId);
    if (!batch.ok()) return batch.error();
    if (!batch.value()) return noBatch(batchId);
    UndoPreview preview;
    if (!hasTable(c, batch.value()->instrumentId)) {
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
    auto batch = findBatch(c, batchId);
    if (!batch.ok()) return batch.error();
    if (!batch.value()) return noBatch(batchId);
    const QString table = batch.value()->instrumentId;

    qint64 removed = 0;
    if (hasTable(c, table)) {
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
        if (Status st = lockRowsInOrder(c, quoteName(table), rowIds); !st.ok()) return st;
        // Every reading the undo removes is kept in the history of changes, so that it can
        // be put back.
        ChangeAction action(c, table, how::ImportUndo,
                            QStringLiteral("Import of ") + batch.value()->fileName +
                                QStringLiteral(" undone"));
        if (Status st = action.recordLeavingRows(change::Undone, table, rowIds); !st.ok())
            return st;
        const auto gone = removeRows(c, table, rowIds, [&](qint64 soFar) -> Status {
            if (progress.step(soFar)) return {};
            return Error{kUndoCancelled,
                         QStringLiteral("The undo was cancelled: every reading is kept.")};
        });
        if (!gone.ok()) return gone.error();
        removed = gone.value();
    }
    if (Status s = forgetBatch(c, batchId); !s.ok()) return s;
    if (Status s = c.commit(); !s.ok()) return s;
    committed = true;
    return removed;
}

} // namespace rv
