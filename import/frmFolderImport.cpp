#include "import/frmFolderImport.h"
#include "import/frmSlugData.h"
#include "store/Session.h"
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace rv {

namespace {
const QString kAppendLabel = QStringLiteral(" cmdImportFolder_Click");
const QStringList kFormatCaptions{QStringLiteral("YYYY/MM/DD"), QStringLiteral("DD/MM/YYYY"),
                                  QStringLiteral("MM/DD/YYYY")};
const QStringList kHeaders{QStringLiteral("File"),          QStringLiteral("Sensor"),
                           QStringLiteral("Rows ticked"),   QStringLiteral("Already stored"),
                           QStringLiteral("Beyond levels"), QStringLiteral("Append"),
                           QStringLiteral("Note")};

QTableWidgetItem* readOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

frmFolderImport::frmFolderImport(Session& session, FolderStaging& staging, const ImportHost& host,
                                 QWidget* parent)
    : QDialog(parent), m_s(session), m_staging(staging), m_host(host) {
    setObjectName(QStringLiteral("frmFolderImport"));
    setWindowTitle(QStringLiteral("Import a Folder"));
    setModal(true);

    lblHeader = new QLabel(this);
    lblHeader->setObjectName(QStringLiteral("lblHeader"));
    lblHeader->setWordWrap(true);
    // On a site server no safety backup is made before the append: said once, here.
    lblNotice = new QLabel(kServerImportNotice, this);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setWordWrap(true);
    lblNotice->setVisible(m_s.gConnection.onServer());
    fraDateFormat = new QGroupBox(QStringLiteral("Datafile Date Format:"), this);
    fraDateFormat->setObjectName(QStringLiteral("fraDateFormat"));
    auto* options = new QHBoxLayout(fraDateFormat);
    for (int i = 0; i < 3; ++i) {
        auto* option = new QRadioButton(kFormatCaptions[i], fraDateFormat);
        option->setObjectName(QStringLiteral("optDateFormat_") + QString::number(i));
        connect(option, &QRadioButton::clicked, this, [this, i] { optDateFormat_Click(i); });
        options->addWidget(option);
        optDateFormat[std::size_t(i)] = option;
    }

    grdFiles = new QTableWidget(0, kColumns, this);
    grdFiles->setObjectName(QStringLiteral("grdFiles"));
    grdFiles->setHorizontalHeaderLabels(kHeaders);
    grdFiles->verticalHeader()->hide();
    grdFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    grdFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdFiles->horizontalHeader()->setStretchLastSection(true);
    connect(grdFiles, &QTableWidget::itemChanged, this, &frmFolderImport::grdFiles_ItemChanged);
    connect(grdFiles, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { grdFiles_DoubleClick(row); });

    cmdShowRows = new QPushButton(QStringLiteral("Show rows..."), this);
    cmdShowRows->setObjectName(QStringLiteral("cmdShowRows"));
    cmdShowRows->setAutoDefault(false);
    connect(cmdShowRows, &QPushButton::clicked, this, &frmFolderImport::cmdShowRows_Click);
    // Only the rows of a file matched to its sensor can be shown.
    connect(grdFiles, &QTableWidget::itemSelectionChanged, this, [this] {
        const QList<QTableWidgetItem*> selected = grdFiles->selectedItems();
        cmdShowRows->setEnabled(!m_appending && !selected.isEmpty() &&
                                m_staging.files[std::size_t(selected.front()->row())].staged());
    });
    cmdAppend = new QPushButton(QStringLiteral("Append"), this);
    cmdAppend->setObjectName(QStringLiteral("cmdAppend"));
    cmdAppend->setAutoDefault(false);
    connect(cmdAppend, &QPushButton::clicked, this, &frmFolderImport::cmdAppend_Click);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAutoDefault(false);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* controls = new QHBoxLayout;
    controls->addWidget(fraDateFormat);
    controls->addStretch();
    controls->addWidget(cmdShowRows, 0, Qt::AlignBottom);
    controls->addWidget(cmdAppend, 0, Qt::AlignBottom);
    controls->addWidget(cmdClose, 0, Qt::AlignBottom);
    auto* page = new QVBoxLayout(this);
    page->addWidget(lblHeader);
    page->addWidget(lblNotice);
    page->addLayout(controls);
    page->addWidget(grdFiles, 1);
    resize(900, 480);
}

void frmFolderImport::Form_Load() {
    Session& s = m_s;
    skip([&] { s.gReadingBookmark = need(s.rsReadings.bookmark()); });
    lblHeader->setText(QStringLiteral("Files of ") + QDir::toNativeSeparators(m_staging.folder) +
                       QStringLiteral(": select the date format, check the files and click "
                                      "Append to download their data to their sensors"));
    cmdAppend->setEnabled(false);
    const QSignalBlocker quiet(grdFiles);
    grdFiles->setRowCount(int(m_staging.files.size()));
    for (int r = 0; r < grdFiles->rowCount(); ++r) {
        const FolderFile& f = m_staging.files[std::size_t(r)];
        grdFiles->setItem(r, kFile, readOnlyItem(f.fileName));
        grdFiles->setItem(r, kSensor, readOnlyItem(f.sensorId));
        for (int c : {int(kTicked), int(kStored), int(kBeyond)}) {
            QTableWidgetItem* item = readOnlyItem(QString());
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grdFiles->setItem(r, c, item);
        }
        auto* check = readOnlyItem(QString());
        // Only a file matched to its sensor can be appended.
        if (f.staged()) check->setFlags(check->flags() | Qt::ItemIsUserCheckable);
        check->setCheckState(f.checked ? Qt::Checked : Qt::Unchecked);
        grdFiles->setItem(r, kAppend, check);
        grdFiles->setItem(r, kNote, readOnlyItem(f.refusal));
    }
    showCounts();
    grdFiles->resizeColumnsToContents();
    if (grdFiles->rowCount() > 0) grdFiles->selectRow(0);
}

std::optional<SlugDateFormat> frmFolderImport::dateFormat() const {
    for (int i = 0; i < 3; ++i)
        if (optDateFormat[std::size_t(i)]->isChecked()) return SlugDateFormat(i);
    return std::nullopt;
}

void frmFolderImport::refresh() {
    checkFolder(m_staging, dateFormat().value_or(SlugDateFormat::YearMonthDay), regionalDayOrder(),
                m_s.clock.today().addDays(1));
    showCounts();
}

void frmFolderImport::showCounts() {
    const QSignalBlocker quiet(grdFiles);
    for (int r = 0; r < grdFiles->rowCount(); ++r) {
        const FolderFile& f = m_staging.files[std::size_t(r)];
        if (!f.staged()) continue;
        grdFiles->item(r, kTicked)->setText(QString::number(f.ticked()));
        grdFiles->item(r, kStored)->setText(QString::number(f.checks.stored));
        grdFiles->item(r, kBeyond)->setText(QString::number(f.checks.alarm + f.checks.alert));
        grdFiles->item(r, kAppend)->setCheckState(f.checked ? Qt::Checked : Qt::Unchecked);
    }
}

void frmFolderImport::optDateFormat_Click(int index) {
    (void)index; // the option checked is read when judging and appending
    cmdAppend->setEnabled(!m_appending);
    refresh();
}

void frmFolderImport::grdFiles_ItemChanged(QTableWidgetItem* item) {
    if (!item || item->column() != kAppend || m_appending) return;
    FolderFile& f = m_staging.files[std::size_t(item->row())];
    if (!f.staged()) return;
    f.checked = item->checkState() == Qt::Checked;
    // The files of the same sensor after it count its ticked rows as stored, or no longer.
    refresh();
}

void frmFolderImport::cmdShowRows_Click() {
    const QList<QTableWidgetItem*> selected = grdFiles->selectedItems();
    if (!selected.isEmpty()) showRows(selected.front()->row());
}

void frmFolderImport::grdFiles_DoubleClick(int row) {
    showRows(row);
}

void frmFolderImport::showRows(int row) {
    if (m_appending || row < 0 || row >= int(m_staging.files.size())) return;
    FolderFile& f = m_staging.files[std::size_t(row)];
    if (!f.staged()) return;
    const SlugDateFormat format = dateFormat().value_or(SlugDateFormat::YearMonthDay);
    const FolderSensorState& state = m_staging.sensors[f.sensorId];
    SlugReview review{f.sensorId,
                      f.marks,
                      keysBefore(m_staging, std::size_t(row), format, regionalDayOrder()),
                      state.levels,
                      state.offset,
                      dateFormat()};
    frmSlugData window(m_s, f.rows, m_host, this);
    window.setWindowTitle(QStringLiteral("Import DataFiles - ") + f.fileName);
    window.reviewRows(std::move(review));
    window.Form_Load();
    if (m_host.runWindow)
        m_host.runWindow(window);
    else
        window.exec();
    if (!window.unloaded()) window.reject();
    if (window.reviewedMarks().size() == f.marks.size()) f.marks = window.reviewedMarks();
    refresh();
}

void frmFolderImport::cmdAppend_Click() {
    Session& s = m_s;
    const std::optional<SlugDateFormat> format = dateFormat();
    if (!format || m_appending) return; // enabled only once a layout is chosen
    qint64 files = 0;
    for (const FolderFile& f : m_staging.files)
        if (f.staged() && f.checked) ++files;
    if (files == 0) {
        s.dialogs.inform(QStringLiteral("No file is checked: nothing was appended."));
        return;
    }
    bool yes = false;
    skip([&] {
        yes = s.dialogs.ask(
            QStringLiteral("The ticked rows of ") + QString::number(files) +
            (files == 1 ? QStringLiteral(" checked file") : QStringLiteral(" checked files")) +
            QStringLiteral(" will be added to their sensors. Go on?"));
    });
    if (!yes) return;
    // One safety backup before anything is written; without it nothing is appended and the
    // window stays open (the backup told the user why).
    if (m_host.safetyBackup) {
        bool backedUp = false;
        skip([&] { backedUp = m_host.safetyBackup(); });
        if (!backedUp) return;
    }
    NoProgress none;
    Progress& progress = m_host.progress ? *m_host.progress : none;
    m_appending = true;
    cmdAppend->setEnabled(false);
    cmdShowRows->setEnabled(false);
    grdFiles->setEnabled(false);
    std::vector<FolderFileOutcome> outcomes;
    {
        const auto appended = qScopeGuard([this] { m_appending = false; });
        try {
            outcomes = appendFolder(s, m_staging, *format, regionalDayOrder(), progress);
        } catch (const Abort& a) {
            s.logFailure(a.error, kAppendLabel);
        } catch (const std::exception& e) {
            s.logFailure(Error{err::InvalidArgument, QString::fromLocal8Bit(e.what())},
                         kAppendLabel);
        }
    }
    const bool failed = std::any_of(outcomes.begin(), outcomes.end(), [](const auto& o) {
        return o.kind == FolderFileOutcome::Kind::Failed ||
               o.kind == FolderFileOutcome::Kind::Stopped;
    });
    s.dialogs.inform(folderSummary(m_staging, outcomes), kAppTitle,
                     failed ? Icon::Exclamation : Icon::Information);
    accept();
}

void frmFolderImport::done(int result) {
    if (m_appending) return; // the append's progress dialog is the way to stop it
    Form_Unload();
    QDialog::done(result);
}

void frmFolderImport::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    showReadingsAgain(m_s, m_host);
}

} // namespace rv
