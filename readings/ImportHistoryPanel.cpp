// The imports of the current sensor and the undo of one of them.
#include "readings/ImportHistoryPanel.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "history/ImportHistory.h"
#include "readings/ReadingRules.h"
#include "store/Connection.h"
#include "store/Session.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QVBoxLayout>

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
        text += QStringLiteral("None of its readings is stored under its date and time any more: "
                               "the import will only "
                               "be removed from the history.");
    if (p.missing > 0)
        text += kCrLf + readings(p.missing) +
                (p.missing == 1 ? QStringLiteral(" of the import was")
                                : QStringLiteral(" of the import were")) +
                QStringLiteral(" already deleted or given another date and time by hand.");
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
// The current sensor's identifier; a failure to read it is thrown to the caller's log.
QString sensorId(const Session& s) {
    return displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID"))));
}
} // namespace

ImportHistoryPanel::ImportHistoryPanel(Session& session, Host host, QWidget* parent)
    : QGroupBox(QStringLiteral("Import history"), parent), m_s(&session), m_host(std::move(host)) {
    setObjectName(QStringLiteral("fraImportHistory"));
    lstImports = new QTreeWidget(this);
    lstImports->setObjectName(QStringLiteral("lstImports"));
    lstImports->setColumnCount(3);
    lstImports->setHeaderLabels({QStringLiteral("Imported"), QStringLiteral("File"),
                                 QStringLiteral("Rows"), QStringLiteral("By")});
    lstImports->setRootIsDecorated(false);
    lstImports->setUniformRowHeights(true);
    lstImports->setSelectionMode(QAbstractItemView::SingleSelection);
    lstImports->setAllColumnsShowFocus(true);
    lstImports->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    lblImportHistory = new QLabel(this);
    lblImportHistory->setObjectName(QStringLiteral("lblImportHistory"));
    lblImportHistory->setWordWrap(true);
    lblImportHistory->hide();
    cmdUndoImport = new QPushButton(QStringLiteral("Undo import"), this);
    cmdUndoImport->setObjectName(QStringLiteral("cmdUndoImport"));
    cmdUndoImport->setEnabled(false);

    auto* rows = new QVBoxLayout(this);
    rows->addWidget(lstImports, 1);
    rows->addWidget(lblImportHistory);
    auto* undoRow = new QHBoxLayout;
    undoRow->addStretch();
    undoRow->addWidget(cmdUndoImport);
    rows->addLayout(undoRow);
    lstImports->header()->setStretchLastSection(false);
    lstImports->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lstImports->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    lstImports->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    lstImports->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);

    connect(lstImports, &QTreeWidget::itemSelectionChanged, this,
            &ImportHistoryPanel::importChosen);
    connect(cmdUndoImport, &QPushButton::clicked, this, &ImportHistoryPanel::cmdUndoImport_Click);
}

ImportHistoryPanel::~ImportHistoryPanel() {
    // The list outlives this part of the object by a moment: its last signals must find
    // nothing to act on.
    m_s = nullptr;
}

void ImportHistoryPanel::refresh() {
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
    } else if (s.gConnection.readOnly()) {
        say(QStringLiteral("The import history is unavailable: the database cannot be "
                           "written, so imports cannot be undone."));
    } else {
        say(QStringLiteral("Imports cannot be undone: this database keeps no history of "
                           "changes, where the readings an undo removes are kept."));
    }
    if (!s.currentSensor.exists()) return;
    logged(s, kListImports, [&] {
        const QString id = sensorId(s);
        for (const ImportBatch& b : need(listBatches(s.gConnection, id))) {
            auto* item = new QTreeWidgetItem(
                lstImports, {generalDateText(b.when), b.fileName, QString::number(b.rows), b.by});
            item->setData(0, Qt::UserRole, b.id);
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        }
    });
    importChosen();
    // The whole list is drawn again: rows below the last one left must not keep the
    // picture of the rows they held before (an undone import's place).
    lstImports->viewport()->update();
}

void ImportHistoryPanel::importChosen() {
    if (!m_s) return;
    cmdUndoImport->setEnabled(m_historyWritable && !lstImports->selectedItems().isEmpty());
}

void ImportHistoryPanel::cmdUndoImport_Click() {
    if (!m_s) return;
    Session& s = *m_s;
    const QList<QTreeWidgetItem*> chosen = lstImports->selectedItems();
    if (chosen.isEmpty() || !m_historyWritable) return;
    const qint64 batchId = chosen.front()->data(0, Qt::UserRole).toLongLong();
    logged(s, kUndoImport, [&] {
        const QString id = sensorId(s);
        std::optional<ImportBatch> batch;
        for (const ImportBatch& b : need(listBatches(s.gConnection, id)))
            if (b.id == batchId) batch = b;
        if (!batch) {
            // The import is no longer the sensor's (the history changed meanwhile).
            refresh();
            return;
        }
        // The reading shown is written back first, as moving away from it does: an edit
        // typed into it then counts as an edit made since the import.
        // Refused for another engineer's change, the undo stops: reading the readings again
        // after it would drop what was typed.
        if (!m_host.writeBackShown()) return;
        const UndoPreview preview = need(previewUndo(s.gConnection, batchId));
        if (s.dialogs.show(Message{confirmation(id, *batch, preview), kUndoTitle, Icon::Exclamation,
                                   Buttons::YesNo, Answer::No}) != Answer::Yes)
            return;

        const Result<qint64> removed = undoBatch(s.gConnection, batchId, m_host.progress());
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
        m_host.showReadingsAgain();
        refresh();
        s.dialogs.inform(
            readings(removed.value()) + QStringLiteral(" of ") + batch->fileName +
                (removed.value() == 1 ? QStringLiteral(" was") : QStringLiteral(" were")) +
                QStringLiteral(" removed from sensor ") + id + QStringLiteral("."),
            kUndoTitle, Icon::Information);
    });
}

} // namespace rv
