// The Readings tab's "Import history" group: the imports of the current sensor, newest
// first, and "Undo import", which removes the readings of the import chosen after a
// confirmation that counts them and names those edited since the import.
#include "core/DateText.h"
#include "history/ImportHistory.h"
#include "readings/ReadingRules.h"
#include "readings/ReadingsTab.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QLocale>

namespace rv {

namespace {
const QString kUndoImport = QStringLiteral(" cmdUndoImport_Click");
const QString kListImports = QStringLiteral(" ImportHistory_List");
const QString kUndoTitle = QStringLiteral("Undo import");
// How many edited readings the confirmation names before it counts the rest.
constexpr int kNamedEdits = 5;

QString readings(qint64 n) {
    return QString::number(n) + (n == 1 ? QStringLiteral(" reading") : QStringLiteral(" readings"));
}

// The moment of a reading key: its date in the short date form and its time, midnight
// included (a reading at 00:00:00 is a reading like any other, not a date alone); the key
// itself when it holds no moment.
QString keyMoment(const QString& key) {
    const auto date = keyDate(key);
    const auto time = keyTime(key);
    if (!date || !time) return key;
    return shortDateText(*date) + u' ' + QLocale::system().toString(*time, longTimeFormat());
}

// The confirmation of an undo: what goes, what is gone already, what was edited since.
QString confirmation(const QString& sensor, const ImportBatch& batch, const UndoPreview& p) {
    QString text = QStringLiteral("Undo the import of ") + batch.fileName + QStringLiteral(" of ") +
                   generalDateText(batch.when) + QStringLiteral("?") + kCrLf + kCrLf;
    if (p.stored > 0)
        text += readings(p.stored) + QStringLiteral(" will be removed from sensor ") + sensor +
                QStringLiteral(".");
    else
        text += QStringLiteral("None of its readings is stored any more: the import will only "
                               "be removed from the history.");
    if (p.missing > 0)
        text += kCrLf + readings(p.missing) +
                (p.missing == 1 ? QStringLiteral(" of the import was")
                                : QStringLiteral(" of the import were")) +
                QStringLiteral(" already deleted by hand.");
    const qsizetype edited = p.editedKeys.size();
    if (edited > 0) {
        QStringList named;
        for (qsizetype i = 0; i < edited && i < kNamedEdits; ++i)
            named << keyMoment(p.editedKeys.at(i));
        text += kCrLf + readings(edited) +
                (edited == 1 ? QStringLiteral(" to be removed was")
                             : QStringLiteral(" to be removed were")) +
                QStringLiteral(" edited since the import: ") + named.join(QStringLiteral(", "));
        if (edited > kNamedEdits)
            text += QStringLiteral(" and ") + QString::number(edited - kNamedEdits) +
                    QStringLiteral(" more");
        text += QStringLiteral(".");
    }
    return text;
}
} // namespace

void ReadingsTab::refreshImportHistory() {
    if (!m_s) return;
    Session& s = *m_s;
    lstImports->clear();
    m_historyWritable = false;
    cmdUndoImport->setEnabled(false);
    auto say = [&](const QString& why) {
        lblImportHistory->setText(why);
        lblImportHistory->show();
    };
    if (!s.gConnection.isOpen() || !hasHistoryTables(s.gConnection)) {
        lstImports->setEnabled(false);
        say(QStringLiteral("The import history is unavailable: this database keeps no record "
                           "of imports."));
        return;
    }
    lstImports->setEnabled(true);
    if (canUndoImports(s.gConnection)) {
        lblImportHistory->hide();
        m_historyWritable = true;
    } else {
        say(QStringLiteral("The import history is unavailable: the database cannot be "
                           "written, so imports cannot be undone."));
    }
    const Recordset& sensors = s.rsSensors;
    if (!sensors.isOpen() || sensors.recordCount() == 0 || sensors.bof() || sensors.eof()) return;
    logged(s, kListImports, [&] {
        const QString id = sensorId();
        for (const ImportBatch& b : need(listBatches(s.gConnection, id))) {
            auto* item = new QTreeWidgetItem(
                lstImports, {generalDateText(b.when), b.fileName, QString::number(b.rows)});
            item->setData(0, Qt::UserRole, b.id);
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        }
    });
    importChosen();
    // The whole list is drawn again: rows below the last one left must not keep the
    // picture of the rows they held before (an undone import's place).
    lstImports->viewport()->update();
}

void ReadingsTab::importChosen() {
    cmdUndoImport->setEnabled(m_historyWritable && !lstImports->selectedItems().isEmpty());
}

void ReadingsTab::cmdUndoImport_Click() {
    if (!m_s) return;
    Session& s = *m_s;
    const QList<QTreeWidgetItem*> chosen = lstImports->selectedItems();
    if (chosen.isEmpty() || !m_historyWritable) return;
    const qint64 batchId = chosen.front()->data(0, Qt::UserRole).toLongLong();
    logged(s, kUndoImport, [&] {
        const QString id = sensorId();
        std::optional<ImportBatch> batch;
        for (const ImportBatch& b : need(listBatches(s.gConnection, id)))
            if (b.id == batchId) batch = b;
        if (!batch) {
            // The import is no longer the sensor's (the history changed meanwhile).
            refreshImportHistory();
            return;
        }
        // The reading shown is written back first, as moving away from it does: an edit
        // typed into it then counts as an edit made since the import.
        commitPickers();
        SaveReadings();
        const UndoPreview preview = need(previewUndo(s.gConnection, batchId));
        if (s.dialogs.show(Message{confirmation(id, *batch, preview), kUndoTitle, Icon::Exclamation,
                                   Buttons::YesNo, Answer::No}) != Answer::Yes)
            return;

        const Result<qint64> removed = undoBatch(s.gConnection, batchId, progress());
        if (!removed.ok() && removed.error().number == kUndoCancelled) {
            s.dialogs.inform(QStringLiteral("The undo was cancelled: no reading was removed."),
                             kUndoTitle, Icon::Exclamation);
            return;
        }
        if (!removed.ok()) {
            s.dialogs.inform(QStringLiteral("The import could not be undone: no reading was "
                                            "removed.") +
                                 kCrLf + removed.error().description,
                             kUndoTitle, Icon::Critical);
            need(removed); // and the failure goes to the log
        }
        // The readings shown again from the file, on the newest one left.
        Recordset& rs = s.rsReadings;
        m_shown = 0;
        if (rs.isOpen())
            need(rs.requery());
        else
            need(rs.open(s.gConnection, sql::readingsByDate(id)));
        showNewestReading();
        refreshImportHistory();
        s.dialogs.inform(
            readings(removed.value()) + QStringLiteral(" of ") + batch->fileName +
                (removed.value() == 1 ? QStringLiteral(" was") : QStringLiteral(" were")) +
                QStringLiteral(" removed from sensor ") + id + QStringLiteral("."),
            kUndoTitle, Icon::Information);
    });
}

} // namespace rv
