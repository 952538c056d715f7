// The import window beyond the staged rows themselves: the rows a sensor already holds
// greyed, counted and unticked by one button, the rows beyond the sensor's alarm levels
// coloured and summed up after the append, the safety backup before anything is written,
// and the import history: each append recorded as a batch in its own transaction, and a
// file imported before named before anything is staged.
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "history/ImportHistory.h"
#include "import/ImportDataFiles.h"
#include "import/ImportHost.h"
#include "import/StagedRowsModel.h"
#include "import/frmSlugData.h"
#include "sensordata/SensorData.h"
#include "store/Module1.h"
#include "tests/TestPaths.h"
#include "tests/support/DataFolder.h"
#include <QBrush>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200625001");
const QString kQuestion =
    QStringLiteral("All the checked data will be added to sensor:  200625001 ?");

class ImportOverlapTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kId);
        openStore();
        OpenSensorData(*session);
        download = tmp.path() + QStringLiteral("/download");
        ASSERT_TRUE(QDir().mkpath(download));
        host.slugIntervalText = [this] { return interval; };
        host.progress = &progress;
        host.runWindow = [this](frmSlugData& w) {
            ++windows;
            if (user) user(w);
        };
    }
    QString put(const QString& name) {
        const QString path = download + u'/' + kId + QStringLiteral(".txt");
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QStringLiteral(ROCKVANE_TEST_DATA "/import/") + name, path));
        return path;
    }
    QString write(const QByteArray& bytes) {
        const QString path = download + u'/' + kId + QStringLiteral(".txt");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    void importFile(const QString& path, std::function<void(frmSlugData&)> drive) {
        dialogs.fileAnswer(path);
        user = std::move(drive);
        imgAddSlugData_Click(*session, host);
    }
    void store(const char* dateTime, const char* channel1 = "1.00") {
        addReadings(kId, {ReadingRow::at(kId, QString::fromLatin1(dateTime))
                              .channel1(QString::fromLatin1(channel1))});
    }
    void setLevels(const AlarmLevels& levels, const QString& offset = QStringLiteral("0.5")) {
        ASSERT_TRUE(ensureAlarmTable(session->gConnection).ok());
        ASSERT_TRUE(saveAlarmLevels(session->gConnection, kId, levels).ok());
        execSql(QStringLiteral("UPDATE Sensors SET Recess = %1 WHERE InstrumentID = '%2'")
                    .arg(offset, kId));
        ASSERT_TRUE(session->rsSensors.requery().ok());
    }
    int readingCount() {
        return scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt();
    }
    static std::string marks(frmSlugData& w) {
        std::string m;
        for (int r = 0; r < w.grid().rowCount(); ++r)
            m += w.grid().ticked(r) ? 'x' : '.';
        return m;
    }
    // How each row looks: 's' stored (greyed), 'a' alert, 'A' alarm or rising too fast, 'f'
    // dated in the future, '.' plain; checked on the first and the mark column, which must agree.
    static std::string looks(frmSlugData& w) {
        StagedRowsModel& g = w.grid();
        std::string out;
        for (int r = 0; r < g.rowCount(); ++r) {
            char c = '?';
            const QVariant back = g.data(g.index(r, 0), Qt::BackgroundRole);
            const QVariant text = g.data(g.index(r, 0), Qt::ForegroundRole);
            if (!back.isValid() && !text.isValid())
                c = '.';
            else if (back.value<QColor>() == StagedRowsModel::storedBackground() &&
                     text.value<QColor>() == StagedRowsModel::storedText())
                c = 's';
            else if (back.value<QColor>() == StagedRowsModel::alertBackground() &&
                     text.value<QColor>() == StagedRowsModel::alertText())
                c = 'a';
            else if (back.value<QColor>() == StagedRowsModel::alarmBackground() &&
                     text.value<QColor>() == StagedRowsModel::alarmText())
                c = 'A';
            else if (back.value<QColor>() == StagedRowsModel::futureBackground() &&
                     text.value<QColor>() == StagedRowsModel::futureText())
                c = 'f';
            if (g.data(g.index(r, StagedRowsModel::kMarkColumn), Qt::BackgroundRole) != back)
                c = '!';
            out += c;
        }
        return out;
    }
    static QString tip(frmSlugData& w, int row, int column = 0) {
        return w.grid().data(w.grid().index(row, column), Qt::ToolTipRole).toString();
    }

    // The batches recorded: "file|sha|when|rows" each, newest first.
    std::vector<std::string> batches() {
        std::vector<std::string> out;
        const auto listed = listBatches(session->gConnection, kId);
        EXPECT_TRUE(listed.ok());
        if (!listed.ok()) return out;
        for (const ImportBatch& b : listed.value())
            out.push_back(QStringLiteral("%1|%2|%3|%4")
                              .arg(b.fileName, b.sha256,
                                   b.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                              .arg(b.rows)
                              .toStdString());
        return out;
    }
    // The rows of every batch: "key|ChannelT|Channel1", "~" for Null.
    std::vector<std::string> batchRows() {
        std::vector<std::string> out;
        Query q(session->gConnection,
                QStringLiteral("SELECT DateTimeKey, ChannelT, Channel1 FROM ImportBatchRows "
                               "ORDER BY BatchID, DateTimeKey"));
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < 3; ++i)
                cells << (q.value(i).isNull() ? QStringLiteral("~") : q.value(i).toString());
            out.push_back(cells.join(u'|').toStdString());
        }
        return out;
    }
    static QString sha256Of(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromLatin1(
            QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
    }

    QString download;
    QString interval = QStringLiteral("24");
    RecordingProgress progress;
    ImportHost host;
    std::function<void(frmSlugData&)> user;
    int windows = 0;
};

// ---------------------------------------------------------------------------------
// Rows already stored

TEST_F(ImportOverlapTest, RowsAlreadyStoredAreGreyedCountedAndUntickedByTheButton) {
    // The first and the last staged rows, and one reading the file does not hold.
    store("2005/03/14 00:00:00");
    store("2005/03/16 18:00:00");
    store("2005/03/20 00:00:00");
    OpenSensorData(*session);
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(w.lblHeader->text(),
                  "Select date format and click Append to download data to Sensor 200625001")
            << "the header of the window is as it was";
        EXPECT_FALSE(w.lblStored->isHidden());
        EXPECT_EQ(w.lblStored->text(), "2 of 13 rows already stored");
        EXPECT_TRUE(w.lblBeyond->isHidden()) << "the sensor has no levels";
        EXPECT_EQ(looks(w), "s...........s");
        EXPECT_EQ(tip(w, 12), "Already stored for this sensor");
        EXPECT_EQ(tip(w, 12, StagedRowsModel::kMarkColumn),
                  "Not ticked\nAlready stored for this sensor");
        EXPECT_EQ(tip(w, 1), "");
        EXPECT_EQ(w.cmdUntickStored->text(), "Untick rows already stored");
        EXPECT_TRUE(w.cmdUntickStored->isEnabled());
        // The proposal is as it always was: the stored first row is ticked too.
        EXPECT_EQ(marks(w), "x....x...x...");
        w.grid().setTicked(12, true);
        w.grid().setTicked(11, true);
        w.cmdUntickStored->click();
        EXPECT_EQ(marks(w), ".....x...x.x.") << "only the stored rows lose their marks";
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    EXPECT_EQ(readingCount(), 6);
}

TEST_F(ImportOverlapTest, TickedRowsAlreadyStoredAreAskedAboutOnceBeforeAnythingIsWritten) {
    store("2005/03/14 00:00:00");
    store("2005/03/16 00:00:00");
    OpenSensorData(*session);
    frmSlugData* window = nullptr;
    std::vector<std::string> marksAtBackup;
    std::vector<size_t> messagesAtBackup;
    host.safetyBackup = [&] {
        marksAtBackup.push_back(marks(*window));
        messagesAtBackup.push_back(dialogs.pending().size());
        return true;
    };
    const QString question = QStringLiteral("2 of the ticked rows are already stored. Untick them "
                                            "and append the other 1?");
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        window = &w;
        w.optDateFormat[0]->click();
        EXPECT_EQ(marks(w), "x....x...x...");
        // Cancel: back to the window, nothing written, nothing unticked.
        dialogs.answerYes();
        dialogs.answer(Answer::Cancel);
        w.cmdAppend->click();
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        dialogs.expect(question, kAppTitle, Icon::None, Buttons::YesNoCancel);
        EXPECT_FALSE(w.unloaded());
        EXPECT_TRUE(w.cmdAppend->isEnabled());
        EXPECT_EQ(marks(w), "x....x...x...");
        EXPECT_TRUE(marksAtBackup.empty()) << "no backup before every answer is in";
        EXPECT_EQ(readingCount(), 2);

        // Yes: the stored rows are unticked before the backup, the other one appended.
        dialogs.answerYes();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(question, kAppTitle, Icon::None, Buttons::YesNoCancel);
    dialogs.expect(QStringLiteral(" 1 records appended to 200625001"));
    EXPECT_EQ(marksAtBackup, std::vector<std::string>{".....x......."});
    EXPECT_EQ(messagesAtBackup, std::vector<size_t>{2}) << "the backup comes after both answers";
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(logEntries(), 0);
}

// Rows dated after tomorrow (the clock stands at 14 Mar 2026): the 9999/12/31 row of a
// logger whose clock went wrong, and one of the day after tomorrow.
const QByteArray kFutureFile = "2005/03/14 00:00:00,17,25,001,12,101.00\r\n"
                               "9999/12/31 00:00:00,17,25,001,12,50.00\r\n"
                               "2005/03/15 00:00:00,17,25,001,12,102.00\r\n"
                               "2026/03/16 00:00:00,17,25,001,12,103.00\r\n"
                               "2026/03/15 23:59:59,17,25,001,12,104.00\r\n";

TEST_F(ImportOverlapTest, RowsDatedInTheFutureAreMarkedNeverProposedAndCountedWhenLeftOut) {
    if (shortDateText(QDate(2026, 3, 15)) != QStringLiteral("15 Mar 2026"))
        GTEST_SKIP() << "the texts below are written in the C locale's date form";
    importFile(write(kFutureFile), [&](frmSlugData& w) {
        EXPECT_EQ(marks(w), "x.x.x") << "the proposal goes on from the row before the future";
        EXPECT_EQ(looks(w), ".f.f.");
        EXPECT_FALSE(w.lblFuture->isHidden());
        EXPECT_EQ(w.lblFuture->text(),
                  "2 rows are dated after 15 Mar 2026, later than today allows (shown in violet): "
                  "a date in the future is never proposed. Tick such a row by hand to append it "
                  "all the same.");
        EXPECT_EQ(tip(w, 1), "Dated after 15 Mar 2026: a date in the future is never proposed");
        EXPECT_EQ(tip(w, 3, StagedRowsModel::kMarkColumn),
                  "Not ticked\nDated after 15 Mar 2026: a date in the future is never proposed");
        EXPECT_EQ(tip(w, 4), "");
        w.grid().setTicked(3, true); // on purpose
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 4 records appended to 200625001\r\n"
                                  "1 row dated after 15 Mar 2026 was left out."));
    EXPECT_EQ(readingCount(), 4);
    EXPECT_EQ(
        scalar(
            QStringLiteral("SELECT count(*) FROM `%1` WHERE DateTimeKey LIKE '%9999/%'").arg(kId))
            .toInt(),
        0);

    // Nothing appended: the count still says what was left out.
    importFile(write(kFutureFile), [&](frmSlugData& w) {
        EXPECT_FALSE(w.lblFuture->isHidden());
        for (int r = 0; r < w.grid().rowCount(); ++r)
            w.grid().setTicked(r, false);
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" No data was found to append\r\n"
                                  "2 rows dated after 15 Mar 2026 were left out."));
}

TEST_F(ImportOverlapTest, ADuplicateLeftTickedIsStillAnnouncedAsBefore) {
    store("2005/03/15 00:00:00");
    OpenSensorData(*session);
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(w.lblStored->text(), "1 of 13 rows already stored");
        EXPECT_EQ(looks(w), ".....s.......");
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        dialogs.answerNo(); // keep the stored row ticked
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("1 of the ticked rows is already stored. Untick it and append "
                                  "the other 2?"),
                   kAppTitle, Icon::None, Buttons::YesNoCancel);
    dialogs.expect(
        QStringLiteral("200625001 2005/03/15 00:00:00 is a duplicate reading and cannot be "
                       "appended."));
    dialogs.expect(QStringLiteral(" 2 records appended to 200625001"));
}

TEST_F(ImportOverlapTest, TheStoredRowsFollowTheDateLayoutChosen) {
    // 14/03/2005 read day first, and 01/04/2005 read month first.
    store("2005/03/14 13:05:00");
    store("2005/01/04 07:00:00");
    OpenSensorData(*session);
    importFile(put(QStringLiteral("day-first.txt")), [&](frmSlugData& w) {
        w.optDateFormat[1]->click();
        EXPECT_EQ(w.lblStored->text(), "1 of 3 rows already stored");
        EXPECT_EQ(looks(w), "s..");
        w.optDateFormat[2]->click();
        EXPECT_EQ(w.lblStored->text(), "1 of 3 rows already stored");
        EXPECT_EQ(looks(w), "..s");
        for (int r = 0; r < 3; ++r)
            w.grid().setTicked(r, true);
        w.cmdUntickStored->click();
        EXPECT_EQ(marks(w), "xx.");
        w.optDateFormat[1]->click();
        EXPECT_EQ(looks(w), "s..");
        w.reject();
    });
}

TEST_F(ImportOverlapTest, NothingStoredLeavesTheButtonDisabledAndAnEmptyFileShowsNoCount) {
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(w.lblStored->text(), "0 of 13 rows already stored");
        EXPECT_FALSE(w.cmdUntickStored->isEnabled());
        EXPECT_EQ(looks(w), ".............");
        w.reject();
    });
    importFile(put(QStringLiteral("empty.txt")), [&](frmSlugData& w) {
        EXPECT_TRUE(w.lblStored->isHidden());
        EXPECT_FALSE(w.cmdUntickStored->isEnabled());
        w.reject();
    });
    EXPECT_EQ(windows, 2);
}

TEST_F(ImportOverlapTest, ALargeDownloadRepeatingEveryStoredReadingIsUntickedWhole) {
    // A download that repeats every reading of the last one, hourly, plus one new reading.
    const int rows = 20000;
    execSql(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i + 1 < %1) INSERT INTO `%2` (DateTimeKey, ReadingDate, "
                           "ReadingTime, FullDate, Channel1) SELECT '%2 ' || strftime('%Y/%m/%d "
                           "%H:%M:%S', '1990-01-01', '+' || i || ' hours'), strftime('%Y-%m-%d', "
                           "'1990-01-01', '+' || i || ' hours'), strftime('%H:%M:%S', "
                           "'1990-01-01', '+' || i || ' hours'), strftime('%Y-%m-%d %H:%M:%S', "
                           "'1990-01-01', '+' || i || ' hours'), '100.25' FROM n")
                .arg(rows)
                .arg(kId));
    ASSERT_EQ(readingCount(), rows);
    QByteArray bytes;
    QDateTime t = wallClock(QDate(1990, 1, 1));
    for (int i = 0; i <= rows; ++i, t = t.addSecs(3600))
        bytes += readingKey(QString(), t).mid(1).toLatin1() + ",17,25,001,12.5,100.25\r\n";
    OpenSensorData(*session);
    interval = QStringLiteral("1");
    importFile(write(bytes), [&](frmSlugData& w) {
        EXPECT_EQ(w.lblStored->text(), "20000 of 20001 rows already stored");
        w.cmdUntickStored->click();
        EXPECT_FALSE(w.grid().ticked(0));
        EXPECT_FALSE(w.grid().ticked(rows - 1));
        EXPECT_TRUE(w.grid().ticked(rows));
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 1 records appended to 200625001"));
    EXPECT_EQ(readingCount(), rows + 1);
}

// ---------------------------------------------------------------------------------
// Rows beyond the levels

// Six-hourly loads (channel 1 less the offset of 0.5) against alert 10, alarm 12 and a
// rate limit of 4 tons a day (1 ton in six hours).
const QByteArray kLevelFile = "2005/03/14 00:00:00,17,25,001,12,10.00\r\n"  // 9.5
                              "2005/03/14 06:00:00,17,25,001,12,10.50\r\n"  // 10.0 alert
                              "2005/03/14 12:00:00,17,25,001,12,12.50\r\n"  // 12.0 alarm, 8/day
                              "2005/03/14 18:00:00,17,25,001,12,12.00\r\n"  // 11.5 alert
                              "2000/01/01 00:00:80,17,25,001,12,99.00\r\n"  // the marker
                              "2005/03/15 00:00:00,17,25,001,12,\r\n"       // no value
                              "2005/03/15 06:00:00,17,25,001,12,11.00\r\n"  // 10.5 alert
                              "2005/03/15 12:00:00,17,25,001,12,11.90\r\n"  // 11.4 alert, stored
                              "2005/03/15 18:00:00,17,25,001,12,9.00\r\n"   // 8.5
                              "2005/03/16 00:00:00,17,25,001,12,10.00\r\n"  // 9.5, 4/day exactly
                              "2005/03/16 06:00:00,17,25,001,12,13.00\r\n"; // 12.5 alarm, 12/day

TEST_F(ImportOverlapTest, RowsBeyondTheLevelsAreColouredAndSummedUpAfterTheAppend) {
    setLevels(AlarmLevels{10.0, 12.0, 4.0});
    store("2005/03/15 12:00:00");
    OpenSensorData(*session);
    interval = QStringLiteral("1");
    importFile(write(kLevelFile), [&](frmSlugData& w) {
        EXPECT_EQ(looks(w), ".aAa..as..A");
        EXPECT_EQ(w.lblStored->text(), "1 of 11 rows already stored");
        EXPECT_FALSE(w.lblBeyond->isHidden());
        EXPECT_EQ(w.lblBeyond->text(),
                  "Rows beyond the sensor's levels: 2 at or above the alarm load, 3 at or above "
                  "the alert load, 2 rising faster than the rate limit");
        EXPECT_EQ(tip(w, 1), "ALERT: load 10.00 tons is at or above the alert load of 10 tons");
        EXPECT_EQ(tip(w, 10), "ALARM: load 12.50 tons is at or above the alarm load of 12 tons; "
                              "RISING FAST: 12.00 tons/day since the previous reading (limit 4 "
                              "tons/day)");
        EXPECT_EQ(tip(w, 0), "");
        EXPECT_EQ(marks(w), "xxxx.xxxxxx");
        w.cmdUntickStored->click();
        w.grid().setTicked(3, false); // the user leaves one alert row out
        w.optDateFormat[0]->click();
        EXPECT_EQ(looks(w), ".aAa..as..A") << "the same dates in the layout chosen";
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 8 records appended to 200625001"));
    dialogs.expect(QStringLiteral("Of the 8 readings appended to sensor 200625001:\r\n"
                                  "2 readings reached the alarm load of 12 tons\r\n"
                                  "2 readings reached the alert load of 10 tons\r\n"
                                  "2 readings rose faster than the rate limit of 4 tons/day"),
                   kAppTitle, Icon::Exclamation);
    EXPECT_EQ(readingCount(), 9);
}

TEST_F(ImportOverlapTest, TheSummarySaysOnlyWhatWasCrossedAndNothingWithoutACrossing) {
    struct Case {
        const char* what;
        AlarmLevels levels;
        bool table;
        std::string looks;
        QString summary; // empty: no summary message
    };
    const std::vector<Case> cases = {
        {"the alarm load alone",
         {std::nullopt, 12.0, std::nullopt},
         true,
         "..A.......A",
         "Of the 10 readings appended to sensor 200625001:\r\n"
         "2 readings reached the alarm load of 12 tons"},
        {"the rate alone",
         {std::nullopt, std::nullopt, 10.0},
         true,
         "..........A",
         "Of the 10 readings appended to sensor 200625001:\r\n"
         "1 reading rose faster than the rate limit of 10 tons/day"},
        {"levels no row reaches", {20.0, 30.0, 50.0}, true, "...........", {}},
        {"no levels", {}, true, "...........", {}},
        {"no table of levels", {10.0, 12.0, 4.0}, false, "...........", {}},
    };
    interval = QStringLiteral("1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
        OpenSensorData(*session);
        execSql(QStringLiteral("DROP TABLE IF EXISTS AlarmLevels"));
        if (c.table) setLevels(c.levels);
        importFile(write(kLevelFile), [&](frmSlugData& w) {
            w.optDateFormat[0]->click();
            EXPECT_EQ(looks(w), c.looks);
            EXPECT_EQ(w.lblBeyond->isHidden(), c.summary.isEmpty());
            dialogs.answerYes();
            w.cmdAppend->click();
        });
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        dialogs.expect(QStringLiteral(" 10 records appended to 200625001"));
        if (!c.summary.isEmpty()) dialogs.expect(c.summary, kAppTitle, Icon::Exclamation);
        EXPECT_TRUE(dialogs.pending().empty());
        dialogs.clear();
    }
}

// ---------------------------------------------------------------------------------
// The safety backup

TEST_F(ImportOverlapTest, TheSafetyBackupComesBeforeAnythingIsWrittenAndCanStopTheAppend) {
    std::vector<int> readingsAtBackup;
    std::vector<size_t> questionsAtBackup;
    bool answer = false;
    host.safetyBackup = [&] {
        readingsAtBackup.push_back(readingCount());
        questionsAtBackup.push_back(dialogs.pending().size());
        return answer;
    };
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        // No to the question: no backup is made.
        dialogs.answerNo();
        w.cmdAppend->click();
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        EXPECT_TRUE(readingsAtBackup.empty());
    });
    // The window closed on No, as it always did.
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click(); // the backup fails
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        EXPECT_FALSE(w.unloaded()) << "the window stays open";
        EXPECT_TRUE(w.cmdAppend->isEnabled());
        EXPECT_EQ(readingCount(), 0);
        EXPECT_EQ(marks(w), "x....x...x...") << "the marks are kept for another try";
        answer = true;
        dialogs.answerYes();
        w.cmdAppend->click();
        EXPECT_TRUE(w.unloaded());
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    EXPECT_EQ(readingsAtBackup, (std::vector<int>{0, 0}));
    EXPECT_EQ(questionsAtBackup, (std::vector<size_t>{1, 1})) << "after the question";
    EXPECT_EQ(readingCount(), 3);
}

TEST_F(ImportOverlapTest, NoBackupIsMadeWhenNoRowIsTicked) {
    int backups = 0;
    host.safetyBackup = [&] {
        ++backups;
        return true;
    };
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        for (int r = 0; r < w.grid().rowCount(); ++r)
            w.grid().setTicked(r, false);
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" No data was found to append"));
    EXPECT_EQ(backups, 0);
}

// ---------------------------------------------------------------------------------
// The import history

// On the database file and on a site server database alike.
using ImportOverlapOnEachEngine = OnEachEngine<ImportOverlapTest>;

TEST_P(ImportOverlapOnEachEngine, EachAppendRecordsItsBatchWithExactlyTheReadingsAppended) {
    ASSERT_TRUE(ensureHistoryTables(session->gConnection).ok());
    store("2005/03/15 00:00:00"); // the second ticked row is a duplicate
    OpenSensorData(*session);
    const QString path = put(QStringLiteral("six-hourly.txt"));
    const QString sha = sha256Of(path);
    importFile(path, [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        dialogs.answerNo(); // the stored row stays ticked
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.take();
    dialogs.expect(
        QStringLiteral("200625001 2005/03/15 00:00:00 is a duplicate reading and cannot be "
                       "appended."));
    dialogs.expect(QStringLiteral(" 2 records appended to 200625001"));
    EXPECT_EQ(batches(), std::vector<std::string>{
                             ("200625001.txt|" + sha + "|2026-03-14 09:30:15|2").toStdString()});
    EXPECT_EQ(batchRows(), (std::vector<std::string>{"200625001 2005/03/14 00:00:00|12.4|101.55",
                                                     "200625001 2005/03/16 00:00:00|12.8|103.40"}));
    // What was recorded is what was stored: nothing counts as edited since.
    const auto listed = listBatches(session->gConnection, kId);
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed.value().size(), 1u);
    const auto preview = previewUndo(session->gConnection, listed.value()[0].id);
    ASSERT_TRUE(preview.ok());
    EXPECT_EQ(preview.value().stored, 2);
    EXPECT_TRUE(preview.value().editedKeys.isEmpty());

    // Empty channel values are recorded as the Null they were stored as, every row ticked.
    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    interval = QStringLiteral("1");
    dialogs.answerYes(); // import the same file anyway
    importFile(path, [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    EXPECT_EQ(dialogs.take().icon, Icon::Exclamation);
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 12 records appended to 200625001"));
    const std::vector<std::string> rows = batchRows();
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows[5], "200625001 2005/03/14 18:00:00|12.9|~");
    EXPECT_EQ(rows.back(), "200625001 2005/03/16 18:00:00|13.5|-1.01");
}
INSTANTIATE_TEST_SUITE_P(BothEngines, ImportOverlapOnEachEngine, bothEngines(), engineName);

TEST_F(ImportOverlapTest, AFileImportedBeforeIsNamedBeforeAnythingIsStaged) {
    ASSERT_TRUE(ensureHistoryTables(session->gConnection).ok());
    const QString path = put(QStringLiteral("six-hourly.txt"));
    importFile(path, [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.clear();
    ASSERT_EQ(windows, 1);
    progress.labels.clear();

    const QString warning = QStringLiteral("This file was already imported on ") +
                            generalDateText(clock.now()) +
                            QStringLiteral(": 3 rows appended to sensor 200625001.\r\n\r\n"
                                           "Do you want to import it anyway?");
    // No, the default: nothing is staged and no window opens.
    clock.set(clock.now().addDays(1));
    dialogs.answerNo();
    importFile(path, [](frmSlugData& w) { w.reject(); });
    const Message m = dialogs.take();
    EXPECT_EQ(m.text, warning);
    EXPECT_EQ(m.icon, Icon::Exclamation);
    EXPECT_EQ(m.buttons, Buttons::YesNo);
    EXPECT_EQ(m.defaultAnswer, Answer::No);
    EXPECT_EQ(windows, 1);
    EXPECT_TRUE(progress.labels.isEmpty()) << "the file was not read";

    // Yes goes on as before.
    dialogs.answerYes();
    importFile(path, [](frmSlugData& w) { w.reject(); });
    EXPECT_EQ(dialogs.take().text, warning);
    EXPECT_EQ(windows, 2);
    EXPECT_EQ(progress.labels, QStringList{QStringLiteral("Reading 200625001.txt")});

    // The same file changed by one byte, or chosen for another sensor, is not the same.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\r\n");
    f.close();
    importFile(path, [](frmSlugData& w) { w.reject(); });
    EXPECT_EQ(windows, 3);
    addSensorRow(QStringLiteral("200625002"));
    ASSERT_TRUE(session->rsSensors.requery().ok());
    ASSERT_TRUE(session->rsSensors.moveLast().ok());
    dialogs.answerYes(); // the name that does not match
    importFile(put(QStringLiteral("six-hourly.txt")), [](frmSlugData& w) { w.reject(); });
    EXPECT_TRUE(dialogs.take().text.startsWith(QStringLiteral("WARNING:")));
    EXPECT_EQ(windows, 4);
}

TEST_F(ImportOverlapTest, ACancelledOrRefusedAppendLeavesNoBatchAndNoReading) {
    ASSERT_TRUE(ensureHistoryTables(session->gConnection).ok());
    const QString path = put(QStringLiteral("six-hourly.txt"));
    importFile(path, [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        progress.cancelAt = 1; // the file is read; the append is cancelled
        dialogs.answerYes();
        w.cmdAppend->click();
        EXPECT_FALSE(w.unloaded());
        w.reject();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("The append was cancelled: no reading was added to sensor "
                                  "200625001."));
    EXPECT_TRUE(batches().empty());
    EXPECT_EQ(readingCount(), 0);

    // The record refused after every reading was written: the readings go with it.
    progress.cancelAt = -1;
    execSql(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON ImportBatchRows "
                           "WHEN NEW.DateTimeKey LIKE '%2005/03/16%' BEGIN "
                           "SELECT RAISE(ABORT, 'no room for the record'); END"));
    importFile(path, [&](frmSlugData& w) {
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    const Message refused = dialogs.take();
    EXPECT_TRUE(refused.text.startsWith(
        QStringLiteral("No reading was added to sensor 200625001: the database refused them.")));
    EXPECT_TRUE(refused.text.contains(QStringLiteral("no room for the record")));
    EXPECT_EQ(readingCount(), 0);
    EXPECT_TRUE(batches().empty());
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM ImportBatchRows")).toInt(), 0);
    EXPECT_EQ(logEntries(), 1);
}

TEST_F(ImportOverlapTest, WithoutTheHistoryTablesTheAppendGoesOnUnrecorded) {
    const QString path = put(QStringLiteral("six-hourly.txt"));
    for (int i = 0; i < 2; ++i) {
        importFile(path, [&](frmSlugData& w) {
            w.optDateFormat[0]->click();
            dialogs.answerYes();
            if (i == 1) dialogs.answerNo(); // the stored rows stay ticked
            w.cmdAppend->click();
        });
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        if (i == 1) dialogs.take();
        if (i == 1)
            for (const char* day : {"14", "15", "16"})
                dialogs.expect(QStringLiteral("200625001 2005/03/%1 00:00:00 is a duplicate "
                                              "reading and cannot be appended.")
                                   .arg(QLatin1String(day)));
        dialogs.expect(i == 0 ? QStringLiteral(" 3 records appended to 200625001")
                              : QStringLiteral(" No data was found to append"));
    }
    EXPECT_FALSE(hasHistoryTables(session->gConnection));
    EXPECT_EQ(readingCount(), 3);
}

} // namespace
