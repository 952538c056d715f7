// "Import a folder...": every file of a logger download matched to its sensor, shown in one
// window, and appended file by file, each with its own history record.
#include "import/FolderImport.h"
#include "alarms/AlarmStore.h"
#include "import/StagedRowsModel.h"
#include "import/frmFolderImport.h"
#include "import/frmSlugData.h"
#include "maintenance/Maintenance.h"
#include "platform/UserChoices.h"
#include "readings/ReadingsTab.h"
#include "tests/support/MainWindow.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>

using namespace rv;
using namespace rv::test;

namespace {

class FolderImportTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (const char* id : {"200625001", "200625002", "200625003"})
            addSensorRow(QString::fromLatin1(id));
        folder = tmp.path() + QStringLiteral("/download");
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    // A datalogger file of lines "moment,logger,type,number,temperature,load".
    void writeFile(const QString& name, const QStringList& lines) {
        QFile file(folder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(lines.join(QStringLiteral("\r\n")).toUtf8());
    }
    static QString line(const char* day, const char* number, const char* load = "101.55") {
        return QStringLiteral("2005/03/%1 00:00:00,17,25,%2,12.4,%3")
            .arg(QString::fromLatin1(day), QString::fromLatin1(number), QString::fromLatin1(load));
    }
    qint64 count(const QString& sql) { return scalar(sql).toLongLong(); }
    qint64 readings(const char* id) {
        return count(QStringLiteral("SELECT COUNT(*) FROM `%1`").arg(QString::fromLatin1(id)));
    }
    qint64 batches(const char* id) {
        return count(QStringLiteral("SELECT COUNT(*) FROM ImportBatches WHERE InstrumentID = '%1'")
                         .arg(QString::fromLatin1(id)));
    }
    // What the main window hands the import.
    ImportHost host() {
        ImportHost h;
        h.SaveReadings = [this] { return window->readings->SaveReadings(); };
        h.slugIntervalText = [this] { return window->readings->slugIntervalText(); };
        h.showReading = [this] { window->readings->showCurrentReading(); };
        h.safetyBackup = [this] {
            return window->maintenance->G_SafetyBackup(SafetyReason::Import);
        };
        return h;
    }
    QString folder;
};

// A row of the folder window: file, sensor, ticked, stored, beyond, check box, note.
QString gridRow(const frmFolderImport& w, int r) {
    QStringList cells;
    for (int c = 0; c < frmFolderImport::kColumns; ++c)
        cells << (c == frmFolderImport::kAppend
                      ? (w.grdFiles->item(r, c)->checkState() == Qt::Checked ? "[x]" : "[ ]")
                      : w.grdFiles->item(r, c)->text());
    return cells.join(QStringLiteral(" | "));
}

TEST_F(FolderImportTest, AWeeklyDownloadIsAppendedFileByFileAndSummedUpOnce) {
    addReadings("200625003", {ReadingRow::at("200625003", "2005/03/14 00:00:00")});
    writeFile("200625001.txt", {line("14", "001"), line("15", "001"), line("16", "001")});
    // The second download of sensor 1 repeats two readings of the first.
    writeFile("MS200625001.txt", {line("15", "001"), line("16", "001"), line("17", "001")});
    writeFile("MS200625003.txt", {line("14", "003"), line("15", "003")});
    writeFile("empty.txt", {});
    // Named for no sensor: its rows name the type and number ("2" is sensor number 002).
    writeFile("logger-b.txt", {line("14", "2", "101.55"), line("15", "2", "99.00")});
    writeFile("notes.txt", {QStringLiteral("weekly download notes")});
    ASSERT_TRUE(start());
    ASSERT_TRUE(saveAlarmLevels(s().gConnection, "200625002", AlarmLevels{100.0, {}, {}}).ok());

    ImportHost h = host();
    h.runWindow = [](frmSlugData& rows) {
        rows.grid().toggle(1); // the user unticks the reading of the 15th
        rows.reject();
    };
    h.runFolderWindow = [&](frmFolderImport& w) {
        ASSERT_EQ(w.grdFiles->rowCount(), 6);
        EXPECT_EQ(gridRow(w, 0), "200625001.txt | 200625001 | 3 | 0 | 0 | [x] | ");
        EXPECT_EQ(gridRow(w, 1), "MS200625001.txt | 200625001 | 3 | 2 | 0 | [x] | ");
        EXPECT_EQ(gridRow(w, 2), "MS200625003.txt | 200625003 | 2 | 1 | 0 | [x] | ");
        EXPECT_EQ(gridRow(w, 3), "empty.txt |  |  |  |  | [ ] | it holds no readings");
        EXPECT_EQ(gridRow(w, 4), "logger-b.txt | 200625002 | 2 | 0 | 1 | [x] | ");
        EXPECT_EQ(gridRow(w, 5),
                  "notes.txt |  |  |  |  | [ ] | neither its name nor its rows name a sensor");
        EXPECT_FALSE(w.cmdAppend->isEnabled()) << "no date format chosen yet";
        w.grdFiles->selectRow(3);
        EXPECT_FALSE(w.cmdShowRows->isEnabled()) << "an empty file has no rows to show";
        w.grdFiles->selectRow(4);
        w.cmdShowRows->click();
        EXPECT_EQ(gridRow(w, 4), "logger-b.txt | 200625002 | 1 | 0 | 1 | [x] | ");
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    };
    window->readings->cboSlugInt->setCurrentText(QStringLiteral("24"));
    dialogs.fileAnswer(folder);
    cmdImportFolder_Click(s(), h);

    dialogs.expect("The ticked rows of 4 checked files will be added to their sensors. Go on?",
                   kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect("Import of the folder " + QDir::toNativeSeparators(folder) +
                       ":\r\n"
                       "200625001.txt: 3 readings appended to sensor 200625001.\r\n"
                       "MS200625001.txt: 1 reading appended to sensor 200625001 (left out: 2 rows "
                       "already stored).\r\n"
                       "MS200625003.txt: 1 reading appended to sensor 200625003 (left out: 1 row "
                       "already stored).\r\n"
                       "empty.txt: left alone: it holds no readings.\r\n"
                       "logger-b.txt: 1 reading appended to sensor 200625002.\r\n"
                       "notes.txt: left alone: neither its name nor its rows name a sensor.\r\n"
                       "\r\n"
                       "6 readings appended from 4 files.",
                   kAppTitle, Icon::Information);
    EXPECT_EQ(readings("200625001"), 4) << "each reading stored once";
    EXPECT_EQ(readings("200625002"), 1);
    EXPECT_EQ(readings("200625003"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM `200625002` WHERE Channel1 = '101.55' AND "
                    "ChannelT = '12.4'"),
              1);
    EXPECT_EQ(batches("200625001"), 2);
    EXPECT_EQ(batches("200625002"), 1);
    EXPECT_EQ(batches("200625003"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM ImportBatchRows"), 6);
    // The downloads of sensors 1 and 3 are archived; the other files stay.
    const QString day = s().clock.today().toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(QDir(folder + "/backup").entryList(QDir::Files),
              QStringList({"MS200625001_" + day + ".txt", "MS200625003_" + day + ".txt"}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files),
              QStringList({"200625001.txt", "empty.txt", "logger-b.txt", "notes.txt"}));
    EXPECT_EQ(QDir(dataFolder + "/LODIXbackup").entryList({"LODIXsafety*"}).size(), 1);
    EXPECT_EQ(UserChoices(paths).text("ImportFolder"), folder) << "the next run starts there";
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(FolderImportTest, AReadOnlyDatabaseRefusesTheFolderBeforeAnyFileIsRead) {
    writeFile("200625001.txt", {line("14", "001")});
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    dialogs.expect("The database RockvaneLODIX.mdb can only be read: it is write-protected or on "
                   "a disk that cannot be written.\r\nUntil Rockvane runs on a database it can "
                   "write, alarm levels, the import history and the safety backup before each "
                   "import are not available.\r\nThis database keeps no record of changes to "
                   "readings yet: it gains one the first time Rockvane opens it where it can be "
                   "written.",
                   "Brackwell's Rockvane", Icon::Information);
    ImportHost h = host();
    h.runFolderWindow = [](frmFolderImport&) { ADD_FAILURE() << "no window opens"; };
    dialogs.fileAnswer(folder);
    cmdImportFolder_Click(s(), h);
    dialogs.expect("The readings of the folder " + QDir::toNativeSeparators(folder) +
                       " cannot be imported:\r\nThe file " + databasePath +
                       " is read-only: nothing can be written to it.",
                   kAppTitle, Icon::Exclamation);
    EXPECT_FALSE(QFile::exists(dataFolder + "/datafile.txt"));
    EXPECT_EQ(readings("200625001"), 0);
}

struct MatchCase {
    const char* name;
    QStringList rowNumbers;
    const char* sensor;
    const char* reason;
};

TEST(FolderImportMatch, AFileBelongsToExactlyOneSensorOrToNone) {
    const std::vector<FolderSensor> sensors{{"200525002", 0}, {"200625001", 0}, {"200625002", 0}};
    const MatchCase cases[] = {
        {"200625001.txt", {}, "200625001", ""},
        {"MS200625001.TXT", {"25/001"}, "200625001", ""},
        {"ms200625002.txt", {}, "200625002", ""},
        {"logger.txt", {"25/001"}, "200625001", ""},
        {"logger.txt", {}, "", "neither its name nor its rows name a sensor"},
        {"2006250011.txt", {}, "", "neither its name nor its rows name a sensor"},
        {"20062500.txt", {}, "", "neither its name nor its rows name a sensor"},
        {"200625001.csv", {}, "", "neither its name nor its rows name a sensor"},
        {"logger.txt",
         {"25/007"},
         "",
         "no sensor in the database has the number 25/007 its rows name"},
        {"logger.txt",
         {"25/002"},
         "",
         "its rows name sensor number 25/002, which more than one sensor has: 200525002, "
         "200625002"},
        {"logger.txt",
         {"25/001", "25/003"},
         "",
         "its rows name more than one sensor: 25/001, 25/003"},
        {"200625001.txt",
         {"25/001", "25/003"},
         "",
         "its rows name more than one sensor: 25/001, 25/003"},
        {"200625009.txt",
         {"25/009"},
         "",
         "its name gives sensor 200625009, which is not in the database"},
        {"200625001.txt",
         {"25/002"},
         "",
         "its name gives sensor 200625001 but its rows name sensor number 25/002"},
    };
    for (const MatchCase& c : cases) {
        const FileMatch match =
            matchFileToSensor(QString::fromLatin1(c.name), c.rowNumbers, sensors);
        EXPECT_EQ(match.sensorId, QString::fromLatin1(c.sensor)) << c.name << " " << c.reason;
        EXPECT_EQ(match.reason, QString::fromLatin1(c.reason)) << c.name;
    }
}

TEST_F(FolderImportTest, AFailingFileIsAbsentWholeAndACancelLeavesTheLaterFilesUntouched) {
    writeFile("200625001.txt", {line("14", "001"), line("15", "001")});
    writeFile("200625002.txt", {line("14", "002", "50.00"), line("15", "002", "99.50")});
    writeFile("200625003.txt", {line("14", "003"), line("15", "003")});
    ASSERT_TRUE(start());
    // The database refuses the second reading of sensor 2 after taking its first.
    execSql("CREATE TRIGGER refuse BEFORE INSERT ON `200625002` WHEN CAST(NEW.Channel1 AS REAL) "
            "> 99 BEGIN SELECT RAISE(ABORT, 'load refused'); END");
    NoProgress none;
    FolderStaging staging = stageFolder(s(), folder, 24, DayOrder::DayFirst, none);
    RecordingProgress progress;
    // Steps: 1 before the first file, 3 after its two rows, 4 before the second, 7 before
    // the third.
    progress.cancelAt = 7;
    const auto outcomes =
        appendFolder(s(), staging, SlugDateFormat::YearMonthDay, DayOrder::DayFirst, progress);

    using Kind = FolderFileOutcome::Kind;
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].kind, Kind::Appended);
    EXPECT_EQ(outcomes[1].kind, Kind::Failed);
    EXPECT_EQ(outcomes[2].kind, Kind::Cancelled);
    EXPECT_EQ(readings("200625001"), 2);
    EXPECT_EQ(readings("200625002"), 0) << "the reading taken before the refusal is rolled back";
    EXPECT_EQ(batches("200625002"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM ImportBatchRows"), 2);
    EXPECT_EQ(readings("200625003"), 0);
    EXPECT_EQ(batches("200625003"), 0);
    EXPECT_EQ(folderSummary(staging, outcomes),
              "Import of the folder " + QDir::toNativeSeparators(folder) +
                  ":\r\n"
                  "200625001.txt: 2 readings appended to sensor 200625001.\r\n"
                  "200625002.txt: not appended, the database refused it (nothing of it was "
                  "stored): load refused\r\n"
                  "200625003.txt: not appended, the import was cancelled.\r\n"
                  "\r\n"
                  "2 readings appended from 1 file.");
    EXPECT_EQ(logEntries(), 1);
}

TEST_F(FolderImportTest, ADatabaseThatCannotBeWrittenStopsTheFilesAfterTheOneItRefused) {
    writeFile("200625001.txt", {line("14", "001")});
    writeFile("200625002.txt", {line("14", "002")});
    ASSERT_TRUE(start());
    NoProgress none;
    FolderStaging staging = stageFolder(s(), folder, 24, DayOrder::DayFirst, none);
    if (!makeReadOnly(databasePath)) GTEST_SKIP() << "the database cannot be made read-only here";
    const auto outcomes =
        appendFolder(s(), staging, SlugDateFormat::YearMonthDay, DayOrder::DayFirst, none);
    // Writable again, for the window to close as usual.
    QProcess::execute("chattr", {"-i", databasePath});
    QFile::setPermissions(databasePath, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].kind, FolderFileOutcome::Kind::Failed) << outcomes[0].error.number;
    EXPECT_EQ(outcomes[1].kind, FolderFileOutcome::Kind::Stopped);
    EXPECT_EQ(readings("200625001") + readings("200625002"), 0);
    EXPECT_EQ(logEntries(), 1);
}

// The rows of a datalogger file as the reader stages them.
StagedRows staged(const QByteArray& text) {
    StagedRows rows;
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    NoProgress none;
    readSlugFile(
        buffer, [&](const SlugRecord& r) { rows.append(r); }, none);
    return rows;
}

TEST(FolderImportMatch, TheRowsNameTheirSensorByTypeAndNumberWhateverTheLeadingZeros) {
    const struct {
        const char* file;
        QStringList numbers;
    } cases[] = {
        {"2005/03/14 00:00:00,17,25,001,12.4,1\r\n", {"25/001"}},
        {"2005/03/14 00:00:00,17,25,1\r\n2005/03/15 00:00:00,17,025,0001\r\n", {"25/001"}},
        {"2005/03/14 00:00:00,17,25,0\r\n", {"25/000"}},
        {"2005/03/14 00:00:00,17,25,1000\r\n", {"25/1000"}},
        {"2005/03/14 00:00:00,17, 25 ,abc\r\n", {"25/abc"}},
        {"2005/03/14 00:00:00\r\nweekly notes\r\n", {}},
        {"2005/03/14 00:00:00,17,25,001\r\n2005/03/15 00:00:00,17,25,002\r\n"
         "a,17,25,003\r\nb,17,25,004\r\n",
         {"25/001", "25/002", "25/003"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rowSensorNumbers(staged(c.file)), c.numbers) << c.file;
}

TEST_F(FolderImportTest, AnUncheckedFileNoLongerCountsAsStoredForTheNextFileOfItsSensor) {
    writeFile("200625001.txt", {line("14", "001"), line("15", "001")});
    writeFile("MS200625001.txt", {line("15", "001"), line("16", "001")});
    ASSERT_TRUE(start());
    ImportHost h = host();
    h.runFolderWindow = [&](frmFolderImport& w) {
        EXPECT_EQ(gridRow(w, 1), "MS200625001.txt | 200625001 | 2 | 1 | 0 | [x] | ");
        w.grdFiles->item(0, frmFolderImport::kAppend)->setCheckState(Qt::Unchecked);
        EXPECT_EQ(gridRow(w, 1), "MS200625001.txt | 200625001 | 2 | 0 | 0 | [x] | ");
        w.grdFiles->item(0, frmFolderImport::kAppend)->setCheckState(Qt::Checked);
        EXPECT_EQ(gridRow(w, 1), "MS200625001.txt | 200625001 | 2 | 1 | 0 | [x] | ");
        w.cmdClose->click();
    };
    dialogs.fileAnswer(folder);
    cmdImportFolder_Click(s(), h);
    EXPECT_EQ(readings("200625001"), 0) << "closing the window appends nothing";
}

} // namespace

TEST_F(FolderImportTest, TheReadingsTabButtonAsksForTheFolderAndReadsIt) {
    ASSERT_TRUE(start());
    window->SSTab1->setCurrentIndex(2);
    dialogs.fileAnswer(folder);
    window->readings->cmdImportFolder->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Import a folder");
    dialogs.expect("The folder " + QDir::toNativeSeparators(folder) + " holds no files to import.",
                   kAppTitle, Icon::Information);
}

TEST_F(FolderImportTest, AFileTooLargeForALoggerIsListedAndLeftAlone) {
    writeFile("200625002.txt", {line("14", "002")});
    QFile large(folder + QStringLiteral("/MS200625001.txt"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly));
    ASSERT_TRUE(large.resize(qint64(70) * 1024 * 1024)); // 70 MB, never read
    large.close();
    ASSERT_TRUE(start());
    NoProgress none;
    const FolderStaging staging = stageFolder(s(), folder, 24, DayOrder::DayFirst, none);
    ASSERT_EQ(staging.files.size(), 2u);
    EXPECT_EQ(staging.files[0].fileName, "200625002.txt");
    EXPECT_TRUE(staging.files[0].staged());
    EXPECT_EQ(staging.files[1].fileName, "MS200625001.txt");
    EXPECT_EQ(staging.files[1].refusal, "it is too large to be a datalogger file: it holds 70.0 "
                                        "MB, and a datalogger file at most 64.0 MB");
}
