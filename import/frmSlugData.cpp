#include "import/frmSlugData.h"
#include "alarms/AlarmStore.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "import/ImportFiles.h"
#include "import/SlugAppend.h"
#include "import/StagedChecks.h"
#include "import/StagedRows.h"
#include "import/StagedRowsModel.h"
#include "sensordata/SensorData.h"
#include "store/Module1.h"
#include "store/Session.h"
#include "ui/Pictures.h"
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace rv {

namespace {
const QString kAppendLabel = QStringLiteral(" cmdAppend_Click");
const QStringList kFormatCaptions{QStringLiteral("YYYY/MM/DD"), QStringLiteral("DD/MM/YYYY"),
                                  QStringLiteral("MM/DD/YYYY")};
} // namespace

// Closes rsReadings and opens it again on the current sensor's readings (OpenSensorData).
// When it is open on those readings already it is re-queried instead, which gives the same
// rows, order, position and bookmarks, and costs next to nothing when the table has not
// changed since they were read. A site server out of reach cannot say whether the table is
// there: that failure ends it, rather than OpenSensorData taking it for a missing table.
void reopenReadings(Session& s) {
    Recordset& rs = s.rsReadings;
    const QString id = s.currentSensor.id();
    if (rs.isOpen() && !id.isEmpty() && rs.statement() == sql::readingsByDate(id)) {
        const Status again = rs.requery();
        if (again.ok()) {
            if (rs.recordCount() > 0) need(rs.moveFirst());
            return;
        }
        if (again.error().number == err::ConnectionLost) {
            s.logFailure(again.error(), QStringLiteral(" Module1_OpenSensorData"));
            return;
        }
    }
    rs.close();
    OpenSensorData(s);
}

void showReadingsAgain(Session& s, const ImportHost& host) {
    Recordset& rs = s.rsReadings;
    skip([&] { reopenReadings(s); });
    skip([&] {
        if (rs.recordCount() < 1) return;
        // A remembered reading that is no longer there gives the newest one.
        if (s.gReadingBookmark != 0 && rs.setBookmark(s.gReadingBookmark).ok()) return;
        need(rs.moveLast());
    });
    skip([&] {
        if (host.showReading) host.showReading();
    });
}

frmSlugData::frmSlugData(Session& session, StagedRows& rsImport, const ImportHost& host,
                         QWidget* parent)
    : QDialog(parent), m_s(session), m_rsImport(rsImport), m_host(host) {
    setObjectName(QStringLiteral("frmSlugData"));
    setWindowTitle(QStringLiteral("Import DataFiles"));
    setModal(true);

    lblHeader = new QLabel(this);
    lblHeader->setObjectName(QStringLiteral("lblHeader"));
    QFont bold = lblHeader->font();
    bold.setBold(true);
    lblHeader->setFont(bold);
    lblStored = new QLabel(this);
    lblStored->setObjectName(QStringLiteral("lblStored"));
    lblStored->hide();
    lblBeyond = new QLabel(this);
    lblBeyond->setObjectName(QStringLiteral("lblBeyond"));
    lblBeyond->setWordWrap(true);
    lblBeyond->hide();
    lblFuture = new QLabel(this);
    lblFuture->setObjectName(QStringLiteral("lblFuture"));
    lblFuture->setWordWrap(true);
    {
        QPalette palette = lblFuture->palette();
        palette.setColor(QPalette::WindowText, StagedRowsModel::futureText());
        lblFuture->setPalette(palette);
    }
    lblFuture->hide();
    // On a site server no safety backup is made before the append: said once, here.
    lblNotice = new QLabel(kServerImportNotice, this);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setWordWrap(true);
    lblNotice->setVisible(m_s.gConnection.onServer());
    cmdUntickStored = new QPushButton(QStringLiteral("Untick rows already stored"), this);
    cmdUntickStored->setObjectName(QStringLiteral("cmdUntickStored"));
    cmdUntickStored->setAutoDefault(false);
    cmdUntickStored->setEnabled(false);
    connect(cmdUntickStored, &QPushButton::clicked, this, &frmSlugData::cmdUntickStored_Click);
    fraDateFormat = new QGroupBox(QStringLiteral("Datafile Date Format:"), this);
    fraDateFormat->setObjectName(QStringLiteral("fraDateFormat"));
    for (int i = 0; i < 3; ++i) {
        optDateFormat[std::size_t(i)] = new QRadioButton(kFormatCaptions[i], fraDateFormat);
        optDateFormat[std::size_t(i)]->setObjectName(QStringLiteral("optDateFormat_") +
                                                     QString::number(i));
        connect(optDateFormat[std::size_t(i)], &QRadioButton::clicked, this,
                [this, i] { optDateFormat_Click(i); });
    }
    cmdAppend = new QPushButton(QStringLiteral("append"), this);
    cmdAppend->setObjectName(QStringLiteral("cmdAppend"));
    cmdAppend->setAutoDefault(false);
    connect(cmdAppend, &QPushButton::clicked, this, &frmSlugData::cmdAppend_Click);

    img_x_on = new PictureButton(QStringLiteral("img_x_on"), pictures::boxTicked(), this);
    img_x_off = new PictureButton(QStringLiteral("img_x_off"), pictures::boxEmpty(), this);
    img_x_on->hide();
    img_x_off->hide();

    m_model = new StagedRowsModel(m_rsImport, this);
    m_model->setMarkPictures(img_x_on->pixmap(), img_x_off->pixmap());
    MSFlexGrid1 = new QTableView(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setModel(m_model);
    MSFlexGrid1->setItemDelegateForColumn(StagedRowsModel::kMarkColumn,
                                          new CentredPictureDelegate(MSFlexGrid1));
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->verticalHeader()->hide(); // one fixed row, no fixed column
    // Rows of one height are laid out without measuring any: a file of 100,000 rows
    // scrolls as smoothly as one of ten.
    MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(
        qMax(MSFlexGrid1->fontMetrics().height() + 6, img_x_on->pixmap().height() + 4));
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(false);
    MSFlexGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MSFlexGrid1->installEventFilter(this);
    connect(MSFlexGrid1, &QTableView::clicked, this, &frmSlugData::MSFlexGrid1_Click);

    layOut();
}

frmSlugData::~frmSlugData() = default;

int frmSlugData::twipsToPixels(int twips) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    const int twipsPerPixel = qMax(1, qRound(1440.0 / (dpi > 0 ? dpi : 96.0)));
    return twips / twipsPerPixel;
}

void frmSlugData::layOut() {
    auto* options = new QHBoxLayout(fraDateFormat);
    for (QRadioButton* option : optDateFormat)
        options->addWidget(option);
    auto* controls = new QHBoxLayout;
    controls->addWidget(fraDateFormat);
    controls->addStretch();
    controls->addWidget(cmdUntickStored, 0, Qt::AlignBottom);
    controls->addWidget(cmdAppend, 0, Qt::AlignBottom);
    auto* page = new QVBoxLayout(this);
    page->addWidget(lblHeader);
    page->addWidget(lblNotice);
    page->addWidget(lblStored);
    page->addWidget(lblBeyond);
    page->addWidget(lblFuture);
    page->addLayout(controls);
    page->addWidget(MSFlexGrid1, 1);

    int gridWidth = 0;
    for (int c = 0; c < StagedRowsModel::kColumns; ++c)
        gridWidth += twipsToPixels(StagedRowsModel::widthTwips(c));
    gridWidth +=
        MSFlexGrid1->verticalScrollBar()->sizeHint().width() + 2 * MSFlexGrid1->frameWidth();
    const QMargins margins = page->contentsMargins();
    resize(gridWidth + margins.left() + margins.right(), 520);
}

// ---------------------------------------------------------------------------------
// Opening

void frmSlugData::reviewRows(SlugReview review) {
    m_review = std::move(review);
}

void frmSlugData::Form_Load() {
    Session& s = m_s;
    if (m_review) {
        m_sensorId = m_review->sensorId;
        cmdAppend->hide();
        lblHeader->setText(QStringLiteral("Tick the rows to append to Sensor ") + m_sensorId +
                           QStringLiteral(" and close the window"));
        // The layout is the folder window's choice.
        if (m_review->format) optDateFormat[std::size_t(*m_review->format)]->setChecked(true);
        fraDateFormat->setEnabled(false);
        skip([&] { PopulateSFlexGrid(); });
        readSensorState();
        checkRows();
        return;
    }
    m_sensorId = s.gSensorID;
    // Each step that fails is skipped and the next one runs.
    // The reading shown is remembered; rsReadings itself is refreshed once, as the window
    // closes: until then the window judges the rows by its own snapshot of the keys.
    skip([&] { s.gReadingBookmark = need(s.rsReadings.bookmark()); });
    cmdAppend->setEnabled(false);
    lblHeader->setText(
        QStringLiteral("Select date format and click Append to download data to Sensor ") +
        s.gSensorID);
    skip([&] { PopulateSFlexGrid(); });
    readSensorState();
    checkRows();
}

void frmSlugData::readSensorState() {
    Session& s = m_s;
    m_storedKeys.clear();
    m_keysRead = false;
    m_levels = AlarmLevels();
    m_offset = 0;
    if (m_rsImport.isEmpty()) return;
    if (m_review) {
        m_storedKeys = m_review->storedKeys;
        m_keysRead = true;
        m_levels = m_review->levels;
        m_offset = m_review->offset;
        return;
    }
    // A table that cannot be read leaves every row unmarked: the append then reads the
    // keys itself for its duplicate test.
    skip([&] {
        m_storedKeys = need(storedReadingKeys(s.gConnection, s.gSensorID));
        m_keysRead = true;
    });
    // Without the table of levels (a database that could not gain it) nothing is judged.
    skip([&] {
        if (!hasAlarmTable(s.gConnection)) return;
        const AlarmLevels levels = need(loadAlarmLevels(s.gConnection, s.gSensorID));
        // The offset as the Installation tab shows it, from which the plots compute loads.
        m_offset = installationOffset(
            formatNumberValue(need(s.currentSensor.value(QStringLiteral("Recess"))), 2));
        m_levels = levels;
    });
}

QDate frmSlugData::lastDay() const {
    return m_s.clock.today().addDays(1);
}

void frmSlugData::checkRows() {
    lblStored->hide();
    lblBeyond->hide();
    lblFuture->hide();
    cmdUntickStored->setEnabled(false);
    if (!m_model->populated() || m_rsImport.isEmpty()) return;
    const SlugDateFormat format = dateFormat().value_or(SlugDateFormat::YearMonthDay);
    m_model->setChecks(checkStagedRows(m_rsImport, format, regionalDayOrder(), m_sensorId,
                                       m_storedKeys, m_levels, m_offset, lastDay()));
    const StagedChecks& checks = m_model->checks();
    lblStored->setText(QString::number(checks.stored) + QStringLiteral(" of ") +
                       QString::number(m_rsImport.rowCount()) +
                       QStringLiteral(" rows already stored"));
    lblStored->show();
    cmdUntickStored->setEnabled(checks.stored > 0 && !m_appending);
    const QString beyond = beyondLine(checks);
    if (!beyond.isEmpty()) {
        lblBeyond->setText(beyond);
        lblBeyond->show();
    }
    const QString future = futureLine(checks);
    if (!future.isEmpty()) {
        lblFuture->setText(future);
        lblFuture->show();
    }
}

bool frmSlugData::PopulateSFlexGrid() {
    const double interval =
        slugInterval(m_host.slugIntervalText ? m_host.slugIntervalText() : QString());
    if (m_rsImport.isEmpty()) {
        m_model->showNoReadings();
        MSFlexGrid1->setColumnWidth(0, twipsToPixels(StagedRowsModel::widthTwips(0)));
        return true;
    }
    if (m_review) {
        m_model->populate(m_review->marks);
        for (int c = 0; c < StagedRowsModel::kColumns; ++c)
            MSFlexGrid1->setColumnWidth(c, twipsToPixels(StagedRowsModel::widthTwips(c)));
        return true;
    }
    m_model->populate(proposeMarks(
        m_rsImport.rowCount(), [this](qint64 row) { return m_rsImport.text(row, 0); }, interval,
        regionalDayOrder(), lastDay()));
    for (int c = 0; c < StagedRowsModel::kColumns; ++c)
        MSFlexGrid1->setColumnWidth(c, twipsToPixels(StagedRowsModel::widthTwips(c)));
    return true;
}

// ---------------------------------------------------------------------------------
// The user's choices

void frmSlugData::optDateFormat_Click(int index) {
    (void)index; // the option checked is read when appending
    cmdAppend->setEnabled(true);
    // The keys, and so which rows are stored, follow the layout the dates are read in.
    checkRows();
}

void frmSlugData::cmdUntickStored_Click() {
    if (m_appending) return;
    m_model->untickStored();
}

std::optional<SlugDateFormat> frmSlugData::dateFormat() const {
    for (int i = 0; i < 3; ++i)
        if (optDateFormat[std::size_t(i)]->isChecked()) return SlugDateFormat(i);
    return std::nullopt;
}

void frmSlugData::MSFlexGrid1_Click(const QModelIndex& cell) {
    if (!cell.isValid()) return;
    MSFlexGrid1->setCurrentIndex(cell);
    if (cell.column() == StagedRowsModel::kMarkColumn) m_model->toggle(cell.row());
}

bool frmSlugData::eventFilter(QObject* watched, QEvent* event) {
    // The space bar changes the mark of the current cell, as a click on it does.
    if (watched == MSFlexGrid1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        const QModelIndex current = MSFlexGrid1->currentIndex();
        if (current.isValid() && current.column() == StagedRowsModel::kMarkColumn) {
            MSFlexGrid1_Click(current);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------
// Appending

bool frmSlugData::leaveOutStoredRows() {
    const StagedChecks& checks = m_model->checks();
    const std::vector<char>& marks = m_model->marks();
    qint64 ticked = 0, stored = 0;
    for (std::size_t r = 0; r < marks.size(); ++r) {
        if (!marks[r]) continue;
        ++ticked;
        if (checks.isStored(qint64(r))) ++stored;
    }
    if (stored == 0) return true;
    const QString text =
        QString::number(stored) +
        (stored == 1 ? QStringLiteral(" of the ticked rows is already stored. Untick it")
                     : QStringLiteral(" of the ticked rows are already stored. Untick them")) +
        QStringLiteral(" and append the other ") + QString::number(ticked - stored) +
        QStringLiteral("?");
    Answer answer = Answer::Cancel;
    skip([&] { answer = m_s.dialogs.askOrCancel(text); });
    if (answer == Answer::Cancel) return false;
    // No: they stay ticked, and each is announced as a duplicate when appending.
    if (answer == Answer::Yes) m_model->untickStored();
    return true;
}

void frmSlugData::cmdAppend_Click() {
    Session& s = m_s;
    const std::optional<SlugDateFormat> format = dateFormat();
    if (!format || m_appending) return; // "append" is enabled only once a layout is chosen
    const QString id = s.gSensorID;
    bool yes = false;
    skip([&] {
        yes = s.dialogs.ask(QStringLiteral("All the checked data will be added to sensor:  ") + id +
                            QStringLiteral(" ?"));
    });
    if (yes) {
        // Every question comes before anything is written: the rows already stored, then
        // the safety backup. A cancel leaves the window open with nothing written.
        if (!leaveOutStoredRows()) return;
        // The safety backup comes before anything is written; without it nothing is
        // appended and the window stays open (the backup told the user why).
        const auto& marks = m_model->marks();
        const bool anyTicked =
            std::any_of(marks.begin(), marks.end(), [](char mark) { return mark != 0; });
        if (anyTicked && m_host.safetyBackup) {
            bool backedUp = false;
            skip([&] { backedUp = m_host.safetyBackup(); });
            if (!backedUp) return;
        }
        // The rows dated in the future that stay out of this append, for its summary.
        const QString leftOut =
            futureLeftOutLine(futureLeftOut(m_model->checks(), marks), m_model->checks().lastDay);
        auto withLeftOut = [&](const QString& text) {
            return leftOut.isEmpty() ? text : text + kCrLf + leftOut;
        };
        NoProgress none;
        Progress& progress = m_host.progress ? *m_host.progress : none;
        AppendOutcome outcome;
        m_appending = true;
        cmdAppend->setEnabled(false);
        cmdUntickStored->setEnabled(false);
        MSFlexGrid1->setEnabled(false);
        const auto appended = qScopeGuard([this] {
            m_appending = false;
            MSFlexGrid1->setEnabled(true);
        });
        try {
            outcome =
                appendTicked(s, m_rsImport, m_model->marks(), *format, regionalDayOrder(), progress,
                             m_source ? &*m_source : nullptr, m_keysRead ? &m_storedKeys : nullptr);
        } catch (const Abort& a) {
            outcome = AppendOutcome{AppendOutcome::Kind::Failed, 0, a.error, {}};
        } catch (const std::exception& e) {
            outcome = AppendOutcome{AppendOutcome::Kind::Failed,
                                    0,
                                    Error{err::InvalidArgument, QString::fromLocal8Bit(e.what())},
                                    {}};
        }
        if (outcome.kind == AppendOutcome::Kind::Cancelled) {
            // Nothing was written: the window stays open for another try.
            s.dialogs.inform(QStringLiteral("The append was cancelled: no reading was added to "
                                            "sensor ") +
                             id + u'.');
            cmdAppend->setEnabled(true);
            cmdUntickStored->setEnabled(m_model->checks().stored > 0);
            return;
        }
        if (outcome.kind == AppendOutcome::Kind::Failed) {
            // All or nothing: the readings of this file are not in the database. A lost
            // connection to the site server is told as such (logFailure), not as a refusal.
            s.logFailure(outcome.error, kAppendLabel);
            if (outcome.error.number != err::ConnectionLost)
                s.dialogs.inform(QStringLiteral("No reading was added to sensor ") + id +
                                     QStringLiteral(": the database refused them.") + kCrLf +
                                     outcome.error.description,
                                 kAppTitle, Icon::Critical);
        } else if (outcome.appended == 0) {
            s.dialogs.inform(withLeftOut(QStringLiteral(" No data was found to append")));
        } else {
            // The download is archived before the count is shown, so that a failure of the
            // archive is said in the same message.
            const Status archived = archiveDownload(s.gDownloadFolder, id, s.clock.today());
            QString text = withLeftOut(u' ' + QString::number(outcome.appended) +
                                       QStringLiteral(" records appended to ") + id);
            if (!archived.ok()) {
                s.logFailure(archived.error(), kAppendLabel);
                text += kCrLf + QStringLiteral("The download could not be archived: ") +
                        archived.error().description;
            }
            s.dialogs.inform(text);
            // Then how many of the readings appended crossed the sensor's levels.
            const StagedChecks& checks = m_model->checks();
            const QString summary = appendSummary(countBeyond(checks, outcome.rows), checks.levels,
                                                  outcome.appended, id);
            if (!summary.isEmpty()) s.dialogs.inform(summary, kAppTitle, Icon::Exclamation);
        }
    }
    m_model->clearGrid();
    cmdAppend->setEnabled(false);
    accept();
}

// ---------------------------------------------------------------------------------
// Closing

void frmSlugData::done(int result) {
    if (m_appending) return; // the append's progress dialog is the way to stop it
    Form_Unload();
    QDialog::done(result);
}

void frmSlugData::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    if (m_review) {
        // The staged rows belong to the folder import, which reads the ticks back.
        m_reviewed = m_model->marks();
        m_model->clearGrid();
        return;
    }
    m_model->clearGrid();
    skip([&] { m_rsImport.clear(); });
    showReadingsAgain(m_s, m_host);
}

} // namespace rv
