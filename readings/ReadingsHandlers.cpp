// The procedures of the Readings tab: showing a reading, moving between readings,
// validating, adding, re-keying and writing a reading back, entering and leaving the tab.
#include "changes/frmChanges.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "readings/ReadingRules.h"
#include "readings/ReadingsTab.h"
#include "readings/frmDatasheet.h"
#include "sensordata/SensorData.h"
#include "store/ChangeHistory.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"
#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QSignalBlocker>

namespace rv {

namespace {
const QString kFillreadings = QStringLiteral(" Module1_fillreadings");
const QString kOpenSensorData = QStringLiteral(" Module1_OpenSensorData");
const QString kFirst = QStringLiteral(" imgFirst_Click");
const QString kPrevious = QStringLiteral(" imgPrevData_Click");
const QString kNext = QStringLiteral(" imgNextData_Click");
const QString kLast = QStringLiteral(" imgLast_Click");
const QString kAddReading = QStringLiteral(" imgAddReading_Click");
const QString kReadingValid = QStringLiteral(" G_ReadingValid");
const QString kDupID = QStringLiteral(" G_DupID");
const QString kSaveReadings = QStringLiteral(" G_SaveReadings");
const QString kChanges = QStringLiteral(" cmdChanges_Click");
const QString kReadingHistory = QStringLiteral(" cmdReadingHistory_Click");
const QString kChangedKeys = QStringLiteral(" G_ChangedKeys");
const QString kPutBackShown = QStringLiteral(" G_ShowPutBack");

const QString kNoReadings = QStringLiteral("0 Readings - Click the Add button to add a reading");
const QString kFutureDate = QStringLiteral("Warning: Reading Date is in the future");
const QString kDuplicateTitle = QStringLiteral("Duplicate Reading");
const QString kImportWorkFile = QStringLiteral("/datafile.txt");

const QString cDateTimeKey = QStringLiteral("DateTimeKey");
const QString cReadingDate = QStringLiteral("ReadingDate");
const QString cReadingTime = QStringLiteral("ReadingTime");
const QString cFullDate = QStringLiteral("FullDate");
const QString cChannelT = QStringLiteral("ChannelT");
const QString cChannel1 = QStringLiteral("Channel1");
const QString cDoNotPlot = QStringLiteral("DoNotPlot");

QString keyCriterion(const QString& key) {
    return QStringLiteral("DateTimeKey = '") + key + QStringLiteral("'");
}

QString counterOf(const Recordset& rs) {
    return readingCounter(rs.absolutePosition(), rs.recordCount());
}

// What the user typed into the reading shown and has not yet written back.
struct Edits {
    QString channelT;
    QString channel1;
    bool doNotPlot = false;
};

// Whether a stored value is certainly the one about to be written (a Null never is: the
// history may take an empty text written over it as a change).
bool sameText(const QVariant& stored, const QString& written) {
    return !stored.isNull() && displayText(stored) == written;
}
bool sameMark(const QVariant& stored, bool written) {
    return stored.typeId() == QMetaType::Bool && stored.toBool() == written;
}
} // namespace

// ---------------------------------------------------------------------------------
// Showing a reading

void ReadingsTab::setPickers(const QDate& date, const QTime& time) {
    // Loading a reading is not an edit by the user: it must not re-key anything.
    const QSignalBlocker dateBlocker(dtpRdate);
    const QSignalBlocker timeBlocker(dtpRtime);
    dtpRdate->setDate(date);
    dtpRtime->setTime(time);
}

void ReadingsTab::clearReading() {
    txtReadingID->clear();
    setPickers(m_s->clock.today(), QTime(12, 0, 0));
    txtChannelT->clear();
    txtChannel_1->clear();
    chkDontPlot->setChecked(false);
}

QDate ReadingsTab::currentReadingDate() const {
    const Recordset& rs = m_s->rsReadings;
    if (const auto d = storedDate(need(rs.value(cReadingDate)))) return *d;
    if (const auto d = storedDate(need(rs.value(cFullDate)))) return *d;
    const QString key = displayText(need(rs.value(cDateTimeKey)));
    if (const auto d = keyDate(key)) return *d;
    throw Abort{Error{err::TypeMismatch, QStringLiteral("Type mismatch: the reading '") + key +
                                             QStringLiteral("' holds no date that can be read")}};
}

QTime ReadingsTab::currentReadingTime() const {
    const Recordset& rs = m_s->rsReadings;
    if (const auto t = storedTime(need(rs.value(cReadingTime)))) return *t;
    if (const auto t = storedTime(need(rs.value(cFullDate)))) return *t;
    const QString key = displayText(need(rs.value(cDateTimeKey)));
    if (const auto t = keyTime(key)) return *t;
    throw Abort{
        Error{err::TypeMismatch, QStringLiteral("Type mismatch: the reading '") + key +
                                     QStringLiteral("' holds no time of day that can be read")}};
}

void ReadingsTab::fillreadings() {
    if (!m_s) return;
    Session& s = *m_s;
    // Until the controls hold this reading, they hold none that may be written back.
    m_shown = 0;
    m_shownKey.clear();
    const bool filled = logged(s, kFillreadings, [&] {
        Recordset& rs = s.rsReadings;
        lblLevels->hide();
        if (rs.recordCount() == 0) {
            clearReading();
            showError(kNoReadings);
            return;
        }
        if (rs.bof() || rs.eof()) {
            clearReading();
            s.dialogs.inform(QStringLiteral("No readings found"), QStringLiteral("Cannot Move"),
                             Icon::Exclamation);
            return;
        }
        // Everything is read before any control changes, so that a reading that cannot
        // be read never shows beside another reading's values.
        const QString key = displayText(need(rs.value(cDateTimeKey)));
        const QDate date = currentReadingDate();
        const QTime time = currentReadingTime();
        const QString channelT = displayText(need(rs.value(cChannelT)));
        const QString channel1 = displayText(need(rs.value(cChannel1)));
        const QVariant doNotPlot = need(rs.value(cDoNotPlot));
        const qint64 bookmark = need(rs.bookmark());

        lblError->hide();
        txtReadingID->setText(key);
        setPickers(date, time);
        txtChannelT->setText(channelT);
        txtChannel_1->setText(channel1);
        // Only a stored No clears the mark; a Null shows ticked.
        chkDontPlot->setChecked(!(doNotPlot.typeId() == QMetaType::Bool && !doNotPlot.toBool()));
        txtRcount->setText(counterOf(rs));
        m_shown = bookmark;
        m_shownKey = key;
        CheckFutureDate();
        judgeShownReading();
    });
    if (!filled) {
        m_shown = 0;
        skip([&] { clearReading(); });
    }
    showChangedMark();
}

void ReadingsTab::CheckFutureDate() {
    if (!m_s) return;
    if (dtpRdate->date() > m_s->clock.today())
        showError(kFutureDate);
    else
        lblError->hide();
}

void ReadingsTab::showError(const QString& text) {
    lblError->setText(text);
    lblError->show();
}

bool ReadingsTab::showsCurrentRow() const {
    const Recordset& rs = m_s->rsReadings;
    if (m_shown == 0 || !rs.isOpen()) return false;
    const Result<qint64> bookmark = rs.bookmark();
    if (!bookmark.ok() || bookmark.value() != m_shown) return false;
    const Result<QVariant> key = rs.value(cDateTimeKey);
    return key.ok() && displayText(key.value()) == m_shownKey;
}

void ReadingsTab::returnToShown() {
    if (!m_s || m_shown == 0 || !m_s->rsReadings.isOpen()) return;
    (void)m_s->rsReadings.setBookmark(m_shown);
}

QString ReadingsTab::sensorId() const {
    return displayText(need(m_s->currentSensor.value(QStringLiteral("InstrumentID"))));
}

void ReadingsTab::commitPickers() {
    dtpRdate->interpretText();
    dtpRtime->interpretText();
}

// ---------------------------------------------------------------------------------
// Entering and leaving the tab

void ReadingsTab::enterTab() {
    if (!m_s) return;
    Session& s = *m_s;
    reopenReadings();
    skip([&] {
        const QString workFile = s.gDataFolder + kImportWorkFile;
        if (FileExists(workFile)) QFile::remove(workFile);
    });
}

void ReadingsTab::takeOthersReadings() {
    if (!m_s || !m_s->gConnection.onServer() || m_datasheet) return;
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    if (!rs.isOpen()) return;
    // A server out of reach leaves the readings as they are: the next action says so.
    const Result<TableMark> mark = tableMark(s.gConnection, rs.table());
    if (!mark.ok() ||
        (mark.value().rows == rs.recordCount() && mark.value().highestRow == rs.highestRowId() &&
         mark.value().othersChanges == m_othersMark))
        return;
    logged(s, QStringLiteral(" G_TakeOthersReadings"), [&] {
        commitPickers();
        if (!SaveReadings()) return;
        // The reading shown stays shown, found by its key; one deleted gives the newest.
        s.gReadingBookmark = 0;
        m_remembered = {0, showsCurrentRow() ? m_shownKey : QString()};
        reopenReadings();
        lblOthers->setText(QStringLiteral("Another engineer changed this sensor's readings on the "
                                          "site server since you opened them: they were read "
                                          "again at ") +
                           QLocale::c().toString(s.clock.now(), QStringLiteral("HH:mm")) +
                           QStringLiteral("."));
        lblOthers->show();
    });
}

void ReadingsTab::reopenReadings() {
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    m_shown = 0;
    lblOthers->hide();
    // Each step that fails is skipped and the next one runs. The previous snapshot goes
    // first, so that a sensor whose readings cannot be opened never shows another's.
    skip([&] { rs.close(); });
    skip([&] {
        // The sensor's readings are opened straight away; only a table that is not there
        // goes to OpenSensorData, which says so and makes it. A site server out of reach
        // cannot say whether the table is there: that is logged, and no table is offered.
        const Status opened = openReadingsAtNewest(s.gConnection, rs, sensorId());
        if (opened.ok()) return;
        if (opened.error().number == err::ConnectionLost) {
            s.logFailure(opened.error(), kOpenSensorData);
            return;
        }
        rs.close();
        OpenSensorData(s);
    });
    m_othersMark.clear();
    if (s.gConnection.onServer() && rs.isOpen())
        skip([&] { m_othersMark = need(tableMark(s.gConnection, rs.table())).othersChanges; });
    readChangedKeys();
    if (rs.recordCount() > 0) {
        skip([&] { returnToRemembered(); });
        skip([&] { fillreadings(); });
        skip([&] { txtRcount->setText(counterOf(rs)); });
    } else {
        skip([&] { txtRcount->setText(readingCounter(0, 0)); });
        skip([&] { fillreadings(); });
        s.gReadingBookmark = 0;
        m_remembered = {};
    }
    fraImportHistory->refresh();
}

void ReadingsTab::rememberShown(qint64 bookmark) {
    m_s->gReadingBookmark = bookmark;
    m_remembered = {bookmark, showsCurrentRow() ? m_shownKey : QString()};
}

// A new snapshot numbers its rows afresh: when another engineer stored or deleted older
// readings meanwhile, the remembered bookmark names another reading. The tab's own
// remembered reading is then found by its key. A bookmark another window remembered is
// taken as it is; a reading no longer there gives the newest one.
void ReadingsTab::returnToRemembered() {
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    const QString key = s.gReadingBookmark == m_remembered.bookmark ? m_remembered.key : QString();
    m_remembered = {};
    const bool marked = s.gReadingBookmark != 0 && rs.setBookmark(s.gReadingBookmark).ok();
    if (marked && (key.isEmpty() || displayText(need(rs.value(cDateTimeKey))) == key)) return;
    if (!key.isEmpty()) {
        need(rs.moveFirst());
        need(rs.find(keyCriterion(key)));
        if (!rs.eof()) return;
        if (marked) {
            need(rs.setBookmark(s.gReadingBookmark));
            return;
        }
    }
    need(rs.moveLast());
}

void ReadingsTab::moveToKeyOrNewest(const QString& key) {
    Recordset& rs = m_s->rsReadings;
    need(rs.moveFirst());
    if (!key.isEmpty()) need(rs.find(keyCriterion(key)));
    if (key.isEmpty() || rs.eof()) need(rs.moveLast());
}

void ReadingsTab::sensorChanged() {
    if (!m_s) return;
    txtSensor3->setText(m_s->currentSensor.id());
    // The reading the controls showed is another sensor's: nothing of it may be written
    // back under this sensor's name. A tab on screen shows this sensor's readings at once,
    // from its newest; a hidden one reads them when it is entered.
    m_shown = 0;
    m_shownKey.clear();
    m_remembered = {};
    m_changedKeys.clear();
    showChangedMark();
    if (!isVisible()) return;
    m_s->gReadingBookmark = 0;
    reopenReadings();
}

void ReadingsTab::readingsReplaced() {
    readReadingsAgain();
    showNewestReading();
}

void ReadingsTab::readReadingsAgain() {
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    m_shown = 0; // the snapshot is rebuilt: the old bookmarks name other rows
    if (rs.isOpen())
        need(rs.requery());
    else
        need(openReadings(s.gConnection, rs, sensorId()));
    readChangedKeys();
}

void ReadingsTab::showCurrentReading() {
    if (!m_s) return;
    skip([&] { fillreadings(); });
    skip([&] { txtRcount->setText(counterOf(m_s->rsReadings)); });
    fraImportHistory->refresh();
}

void ReadingsTab::leaveTab() {
    if (!m_s) return;
    Session& s = *m_s;
    skip([&] { commitPickers(); });
    skip([&] { rememberShown(need(s.rsReadings.bookmark())); });
    SaveReadings();
}

void ReadingsTab::unloading() {
    if (!m_s) return;
    commitPickers();
    if (G_ReadingValid()) SaveReadings();
}

// ---------------------------------------------------------------------------------
// Navigation

void ReadingsTab::imgFirst_Click() {
    navigate(Move::First, kFirst);
}
void ReadingsTab::imgPrevData_Click() {
    navigate(Move::Previous, kPrevious);
}
void ReadingsTab::imgNextData_Click() {
    navigate(Move::Next, kNext);
}
void ReadingsTab::imgLast_Click() {
    navigate(Move::Last, kLast);
}

void ReadingsTab::navigate(Move move, const QString& label) {
    if (!m_s) return;
    Session& s = *m_s;
    logged(s, label, [&] {
        Recordset& rs = s.rsReadings;
        if (rs.recordCount() == 0) return;
        commitPickers();
        if (!G_ReadingValid()) return;
        if (!SaveReadings()) return;

        const qint64 position = rs.absolutePosition();
        const qint64 count = rs.recordCount();
        const QString start = QStringLiteral("Start of readings");
        const QString end = QStringLiteral("End of readings");
        switch (move) {
        case Move::First:
            if (position == 1) return s.dialogs.inform(start);
            need(rs.moveFirst());
            break;
        case Move::Previous:
            if (position == 1 || position == Recordset::PosBOF) return s.dialogs.inform(start);
            need(rs.movePrevious());
            break;
        case Move::Next:
            if (position == count || position == Recordset::PosEOF) return s.dialogs.inform(end);
            need(rs.moveNext());
            break;
        case Move::Last:
            if (position == count) return s.dialogs.inform(end);
            need(rs.moveLast());
            break;
        }
        fillreadings();
        txtRcount->setText(counterOf(rs));
    });
}

// ---------------------------------------------------------------------------------
// Validation

std::optional<ReadingLimits> ReadingsTab::readingLimits() {
    const Recordset& config = m_s->rsConfig;
    QVariant values[5];
    const char* names[5] = {"lowval", "highval", "tempchannel", "templow", "temphigh"};
    for (int i = 0; i < 5; ++i) {
        Result<QVariant> value = config.value(QString::fromLatin1(names[i]));
        if (!value.ok()) {
            noteMissingLimits(value.error());
            return std::nullopt;
        }
        values[i] = value.value();
    }
    ReadingLimits limits;
    limits.load = Limits{limitValue(values[0]), limitValue(values[1])};
    // The temperature is tested unless the type says No; a Null does not say No.
    limits.testTemperature = !(values[2].typeId() == QMetaType::Bool && !values[2].toBool());
    limits.temperature = Limits{limitValue(values[3]), limitValue(values[4])};
    return limits;
}

void ReadingsTab::noteMissingLimits(const Error& error) {
    // Without the type's row there is nothing to test against: the reading is taken as
    // valid, so that it can still be moved from and written back, and the log says why,
    // once for each sensor rather than at every test.
    const QString sensor = m_s->currentSensor.id();
    if (m_limitsNoted && m_limitsNotedFor == sensor) return;
    m_limitsNoted = true;
    m_limitsNotedFor = sensor;
    m_s->logFailure(error, kReadingValid);
}

bool ReadingsTab::G_ReadingValid() {
    if (!m_s) return false;
    bool valid = false;
    logged(*m_s, kReadingValid, [&] {
        if (!dtpRdate->date().isValid()) {
            showError(QStringLiteral("Error: Reading Date cannot be null"));
            focusOn(dtpRdate);
            return;
        }
        if (!dtpRtime->time().isValid()) {
            showError(QStringLiteral("Error: Reading Time cannot be null"));
            focusOn(dtpRtime);
            return;
        }
        if (const auto bad = notNumberBox()) {
            showError(notNumberError(bad->box, m_shownKey, bad->text));
            return;
        }
        const std::optional<ReadingLimits> limits = readingLimits();
        if (!limits) {
            valid = true;
            return;
        }
        if (limits->testTemperature &&
            !limits->temperature.accepts(leadingNumber(txtChannelT->text()))) {
            showError(temperatureLimitMessage(limits->temperature));
            return;
        }
        if (!limits->load.accepts(leadingNumber(txtChannel_1->text()))) {
            showError(loadLimitMessage(1, limits->load));
            return;
        }
        valid = true;
    });
    return valid;
}

std::optional<ReadingsTab::NotNumber> ReadingsTab::notNumberIn(const QLineEdit* box) const {
    const bool temperature = box == txtChannelT;
    // A text the reading already holds is no edit: a logger's "ERR" may stay as it is.
    QString stored;
    if (showsCurrentRow()) {
        const Result<QVariant> v = m_s->rsReadings.value(temperature ? cChannelT : cChannel1);
        if (v.ok()) stored = displayText(v.value());
    }
    if (isReadingValue(box->text(), stored)) return std::nullopt;
    return NotNumber{temperature ? QStringLiteral("Temperature") : QStringLiteral("Load 1"),
                     box->text()};
}

std::optional<ReadingsTab::NotNumber> ReadingsTab::notNumberBox() const {
    if (auto bad = notNumberIn(txtChannelT)) return bad;
    return notNumberIn(txtChannel_1);
}

void ReadingsTab::txtChannel_Validate(int index, bool& cancel) {
    if (!m_s || index != 1) return;
    if (const auto bad = notNumberIn(txtChannel_1)) {
        cancel = true;
        showError(notNumberError(bad->box, m_shownKey, bad->text));
        return;
    }
    const std::optional<ReadingLimits> limits = readingLimits();
    if (!limits) return;
    if (limits->load.accepts(leadingNumber(txtChannel_1->text()))) {
        lblError->hide();
    } else {
        cancel = true;
        showError(loadLimitMessage(index, limits->load));
    }
}

void ReadingsTab::txtChannelT_Validate(bool& cancel) {
    if (!m_s) return;
    if (const auto bad = notNumberIn(txtChannelT)) {
        cancel = true;
        showError(notNumberError(bad->box, m_shownKey, bad->text));
        return;
    }
    const std::optional<ReadingLimits> limits = readingLimits();
    if (!limits || !limits->testTemperature) return;
    if (limits->temperature.accepts(leadingNumber(txtChannelT->text()))) {
        lblError->hide();
    } else {
        cancel = true;
        showError(temperatureLimitMessage(limits->temperature));
    }
}

// ---------------------------------------------------------------------------------
// Adding and re-keying

bool ReadingsTab::G_DupID(const QString& key, qint64 ownBookmark) {
    if (!m_s) return false;
    bool duplicate = false;
    logged(*m_s, kDupID, [&] {
        Recordset& rs = m_s->rsReadings;
        if (rs.recordCount() == 0) return;
        need(rs.moveFirst());
        need(rs.find(keyCriterion(key)));
        if (rs.eof()) return;
        duplicate = need(rs.bookmark()) != ownBookmark;
    });
    return duplicate;
}

void ReadingsTab::imgAddReading_Click() {
    if (!m_s) return;
    Session& s = *m_s;
    const bool finished = logged(s, kAddReading, [&] {
        Recordset& rs = s.rsReadings;
        commitPickers();
        if (rs.recordCount() > 0) {
            // A save refused for another engineer's change keeps the reading shown, with
            // the values typed, as a move does.
            if (!G_ReadingValid() || !SaveReadings()) return;
        }
        const QDateTime clockNow = s.clock.now();
        const QDateTime now = wallClock(clockNow.date(), toSecond(clockNow.time()));
        const QString key = readingKey(sensorId(), now);
        // No reading is being re-keyed here: any reading with this key is a duplicate.
        if (G_DupID(key, 0)) {
            returnToShown();
            s.dialogs.inform(QStringLiteral("There is already a reading with that date and time"),
                             kDuplicateTitle);
            focusOn(dtpRdate);
            return;
        }
        need(rs.addNew());
        need(rs.setValue(cDateTimeKey, key));
        need(rs.setValue(cFullDate, now));
        need(rs.setValue(cReadingDate, wallClock(now.date())));
        need(rs.setValue(cReadingTime, readingTimeText(now.time())));
        need(rs.setValue(QStringLiteral("IsDirty"), true));
        need(rs.setValue(QStringLiteral("Plottemporal"), true));
        need(rs.setValue(QStringLiteral("PlotSpatial"), true));
        need(rs.update());

        m_shown = 0; // the snapshot is rebuilt: the old bookmarks name other rows
        need(rs.requery());
        // The new reading is the one the user goes on to fill in, wherever it sorts
        // (a reading dated later than now stays after it).
        need(rs.find(keyCriterion(key)));
        if (rs.eof()) need(rs.moveLast());
        txtRcount->setText(counterOf(rs));
        fillreadings();
    });
    if (!finished) returnToShown();
}

void ReadingsTab::CheckDateTime() {
    if (!m_s || m_rekeying) return;
    m_rekeying = true;
    const auto done = qScopeGuard([this] { m_rekeying = false; });
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;

    // Puts the stored date and time of the reading back into the pickers.
    auto undo = [&] {
        setPickers(currentReadingDate(), currentReadingTime());
        CheckFutureDate();
    };
    // Ends quietly on any error, without a log entry or a message; the pickers then show
    // what is stored, never a date and time the reading does not have.
    try {
        if (!rs.isOpen() || !showsCurrentRow()) return;
        s.gReadingPosition = rs.absolutePosition();
        // The reading is found again by its bookmark: the search for a duplicate may read
        // the rest of a site server's readings, and another engineer's older readings then
        // move its position.
        const qint64 own = m_shown;
        const QDate date = dtpRdate->date();
        const QTime time = toSecond(dtpRtime->time());
        const QString d = readingDateText(date);
        const QString t = readingTimeText(time);
        const QString key = sensorId() + u' ' + d + u' ' + t;
        if (displayText(need(rs.value(cDateTimeKey))) == key) return;

        if (G_DupID(key, own)) {
            need(rs.setBookmark(own));
            undo();
            txtRcount->setText(counterOf(rs)); // the search may have read more readings
            s.dialogs.inform(QStringLiteral("There is already a reading on ") + d +
                                 QStringLiteral(" at ") + t,
                             kDuplicateTitle);
            focusOn(dtpRdate);
            return;
        }

        need(rs.setBookmark(own));
        if (!showsCurrentRow()) return;
        need(rs.setValue(cDateTimeKey, key));
        need(rs.setValue(cFullDate, wallClock(date, time)));
        need(rs.setValue(cReadingDate, wallClock(date)));
        need(rs.setValue(cReadingTime, t));
        // Another engineer on the site server changed the reading since it was shown: said
        // so, and the date and time typed stay in the pickers.
        if (const Status written = rs.update(); byAnotherEngineer(written.error().number)) {
            refusedByAnother(written.error());
            return;
        } else {
            need(written);
        }

        // Re-showing the reading at its new place must not lose what the user typed into
        // it and has not written back yet.
        const Edits edits{txtChannelT->text(), txtChannel_1->text(), chkDontPlot->isChecked()};
        m_shown = 0; // the snapshot is rebuilt: the old bookmarks name other rows
        need(rs.requery());
        readChangedKeys();
        need(rs.find(keyCriterion(key)));
        if (rs.eof()) {
            s.dialogs.inform(QStringLiteral("error"));
            return;
        }
        fillreadings();
        if (m_shown != 0) {
            txtChannelT->setText(edits.channelT);
            txtChannel_1->setText(edits.channel1);
            chkDontPlot->setChecked(edits.doNotPlot);
        }
    } catch (const Abort&) {
        if (showsCurrentRow()) skip(undo);
    } catch (const std::exception&) {
        if (showsCurrentRow()) skip(undo);
    }
}

void ReadingsTab::dtpRdate_Change() {
    if (!m_s) return;
    CheckFutureDate();
    CheckDateTime();
}

void ReadingsTab::dtpRdate_LostFocus() {
    dtpRdate_Change();
}

void ReadingsTab::dtpRdate_Validate(bool& cancel) {
    // The leave is never refused.
    (void)cancel;
    dtpRdate_Change();
}

void ReadingsTab::dtpRtime_Change() {
    if (!m_s) return;
    CheckDateTime();
}

void ReadingsTab::dtpRtime_LostFocus() {
    dtpRtime_Change();
}

void ReadingsTab::dtpRtime_Validate(bool& cancel) {
    (void)cancel;
    dtpRtime_Change();
}

// ---------------------------------------------------------------------------------
// Writing the reading back

bool ReadingsTab::SaveReadings() {
    if (!m_s) return true;
    Session& s = *m_s;
    bool mayLeave = true;
    logged(s, kSaveReadings, [&] {
        Recordset& rs = s.rsReadings;
        if (!rs.isOpen() || rs.recordCount() == 0 || rs.bof() || rs.eof()) return;
        // The controls are written into the row they were filled from, and into no other.
        if (!showsCurrentRow())
            throw Abort{Error{err::RowNotFound,
                              QStringLiteral("The reading shown is not the current reading; it "
                                             "was not written back.")}};
        // A text that is no number never reaches the reading: nothing of it is written.
        if (const auto bad = notNumberBox()) {
            s.dialogs.inform(notNumberNotSaved(bad->box, m_shownKey, bad->text), kTitle,
                             Icon::Exclamation);
            return;
        }
        const QDate date = dtpRdate->date();
        const QTime time = toSecond(dtpRtime->time());
        const QDateTime moment = wallClock(date, time);
        const QString key = readingKey(sensorId(), moment);
        const QString channelT = formatPattern(txtChannelT->text().trimmed(), 1);
        const QString channel1 = formatPattern(txtChannel_1->text().trimmed(), 2);
        // A save that may change the reading may make it one the history names as changed.
        const bool changes = key != m_shownKey || !sameText(need(rs.value(cChannelT)), channelT) ||
                             !sameText(need(rs.value(cChannel1)), channel1) ||
                             !sameMark(need(rs.value(cDoNotPlot)), chkDontPlot->isChecked());
        need(rs.setValue(cDateTimeKey, key));
        need(rs.setValue(cFullDate, moment));
        need(rs.setValue(cReadingDate, wallClock(date)));
        need(rs.setValue(cReadingTime, readingTimeText(time)));
        need(rs.setValue(cChannelT, channelT));
        need(rs.setValue(cChannel1, channel1));
        need(rs.setValue(cDoNotPlot, chkDontPlot->isChecked()));
        if (Status written = rs.update(); byAnotherEngineer(written.error().number)) {
            mayLeave = false;
            refusedByAnother(written.error());
            return;
        } else {
            need(written);
        }
        m_shownKey = key;
        if (changes && !m_changedKeys.contains(key)) {
            readChangedKeys();
            showChangedMark();
        }
    });
    return mayLeave;
}

void ReadingsTab::refusedByAnother(const Error& refusal) {
    Session& s = *m_s;
    Recordset& rs = s.rsReadings;
    s.LogError(errorText(refusal, kSaveReadings));
    if (rs.absolutePosition() == Recordset::PosUnknown) {
        s.dialogs.inform(refusal.description, QStringLiteral("Site server"), Icon::Exclamation);
        m_shown = 0;
        need(rs.requery());
        showNewestReading();
        return;
    }
    // The boxes keep what was typed; the reading now holds what is stored, so that the
    // next save writes the typed values over it on purpose.
    const QString temperature = displayText(need(rs.value(cChannelT)));
    const QString load = displayText(need(rs.value(cChannel1)));
    m_shownKey = displayText(need(rs.value(cDateTimeKey)));
    s.dialogs.inform(changedMeanwhileText(refusal.description, temperature, load),
                     QStringLiteral("Site server"), Icon::Exclamation);
}

void ReadingsTab::chkDontPlot_MouseUp() {
    if (!m_s) return;
    commitPickers();
    if (G_ReadingValid() && SaveReadings()) skip([&] { judgeShownReading(); });
}

void ReadingsTab::judgeShownReading() {
    // A reading kept out of the plots is kept out of the level checks too.
    if (chkDontPlot->isChecked())
        lblLevels->clearNotice();
    else
        lblLevels->judge(wallClock(dtpRdate->date(), toSecond(dtpRtime->time())),
                         txtChannel_1->text());
}

// ---------------------------------------------------------------------------------
// The history of changes

void ReadingsTab::readChangedKeys() {
    Session& s = *m_s;
    m_changedKeys.clear();
    m_keepsChanges = s.gConnection.isOpen() && hasChangeTables(s.gConnection);
    cmdChanges->setEnabled(m_keepsChanges);
    cmdChanges->setToolTip(
        m_keepsChanges ? QString() : QStringLiteral("This database keeps no record of changes."));
    if (!m_keepsChanges || !s.currentSensor.exists()) return;
    // Without the keys no reading is marked; the readings themselves still show.
    logged(s, kChangedKeys,
           [&] { m_changedKeys = need(changedKeys(s.gConnection, s.currentSensor.id())); });
}

void ReadingsTab::showChangedMark() {
    const bool changed =
        m_s && m_keepsChanges && m_shown != 0 && m_changedKeys.contains(m_shownKey);
    lblChanged->setVisible(changed);
    cmdReadingHistory->setVisible(changed);
}

frmChanges* ReadingsTab::changesWindow() const {
    return m_changes;
}

void ReadingsTab::cmdChanges_Click() {
    if (!m_s || m_changes || !m_keepsChanges) return;
    logged(*m_s, kChanges, [&] {
        commitPickers();
        if (!SaveReadings()) return;
        openChanges(QString());
    });
}

void ReadingsTab::cmdReadingHistory_Click() {
    if (!m_s || m_changes || !m_keepsChanges) return;
    logged(*m_s, kReadingHistory, [&] {
        commitPickers();
        if (!SaveReadings() || m_shown == 0) return;
        openChanges(m_shownKey);
    });
}

void ReadingsTab::openChanges(const QString& key) {
    auto* form = new frmChanges(*m_s, sensorId(), key, window());
    form->setAttribute(Qt::WA_DeleteOnClose);
    connect(form, &frmChanges::readingsChanged, this, &ReadingsTab::readingsPutBack);
    if (!form->Form_Load()) {
        delete form;
        return;
    }
    m_changes = form;
    form->setWindowModality(Qt::ApplicationModal);
    form->show();
}

void ReadingsTab::readingsPutBack(const QString& from, const QString& to) {
    if (!m_s) return;
    Session& s = *m_s;
    // The reading shown stays shown, where the putting back moved it if it did.
    const QString wanted = !from.isEmpty() && m_shownKey == from ? to : m_shownKey;
    logged(s, kPutBackShown, [&] {
        readReadingsAgain();
        Recordset& rs = s.rsReadings;
        if (rs.recordCount() > 0) moveToKeyOrNewest(wanted);
        fillreadings();
        txtRcount->setText(counterOf(rs));
    });
}

} // namespace rv
