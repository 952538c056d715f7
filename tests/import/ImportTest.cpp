// The datalogger import from the click on "Import Datafiles:" to the readings in the
// database: choosing and checking the file, staging it, the import window's grid and
// proposal, appending in each date layout, duplicates, the archive step, cancelling,
// failures, and every kind of bad file.
#include "import/ImportDataFiles.h"
#include "import/ImportFiles.h"
#include "import/ImportHost.h"
#include "import/SlugAppend.h"
#include "import/StagedRowsModel.h"
#include "import/frmSlugData.h"
#include "provision/ManualWriter.h"
#include "sensordata/SensorData.h"
#include "store/Module1.h"
#include "tests/TestPaths.h"
#include "tests/support/DataFolder.h"
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200625001");
const QString kQuestion =
    QStringLiteral("All the checked data will be added to sensor:  200625001 ?");
const QString kNothing = QStringLiteral(" No data was found to append");

QString dataFile(const QString& name) {
    return QStringLiteral(ROCKVANE_TEST_DATA "/import/") + name;
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Progress that records, and that cancels only what it is told to: the reading of the
// file or the appending of the readings.
class ScriptedProgress : public RecordingProgress {
public:
    bool cancelReading = false;
    bool cancelAppending = false;
    std::function<void(const QString&)> onBegin;
    void begin(const QString& label, qint64 total) override {
        RecordingProgress::begin(label, total);
        if (onBegin) onBegin(label);
    }
    bool step(qint64 done) override {
        RecordingProgress::step(done);
        const QString& label = labels.back();
        if (label.startsWith(QStringLiteral("Reading"))) return !cancelReading;
        return !cancelAppending;
    }
};

class ImportTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        addSensorRow(kId);
        openStore();
        OpenSensorData(*session); // the Readings tab shows the sensor's readings
        download = tmp.path() + QStringLiteral("/download");
        ASSERT_TRUE(QDir().mkpath(download));
        host.SaveReadings = [this] {
            ++saved;
            return true;
        };
        host.slugIntervalText = [this] { return interval; };
        host.showReading = [this] { ++shown; };
        host.runWindow = [this](frmSlugData& w) {
            ++windows;
            if (user) user(w);
        };
        host.progress = &progress;
    }
    void TearDown() override {
        if (m_immutableFolder)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dataFolder});
        QFile::setPermissions(dataFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        DataFolderTest::TearDown();
    }

    // Copies a test file into the download folder under a name, the sensor's own by default.
    // The sensor's readings opened and anchor.txt staged, as the import window stages it.
    bool stageAnchor(StagedRows& rows) {
        OpenSensorData(*session);
        session->gSensorID = kId;
        setPaths();
        return OpenSlugData(*session, QStringLiteral("x.txt"), put(QStringLiteral("anchor.txt")),
                            rows, progress)
                   .kind == StagingOutcome::Kind::Staged;
    }
    QString put(const QString& name, const QString& as = kId + QStringLiteral(".txt")) {
        const QString path = download + u'/' + as;
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(dataFile(name), path)) << name.toStdString();
        return path;
    }
    QString write(const QByteArray& bytes, const QString& as = kId + QStringLiteral(".txt")) {
        const QString path = download + u'/' + as;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    // The user picks path in the file dialog, then does `drive` in the import window.
    void importFile(const QString& path, std::function<void(frmSlugData&)> drive = {}) {
        dialogs.fileAnswer(path);
        user = std::move(drive);
        imgAddSlugData_Click(*session, host);
    }
    // Picks a date layout, clicks "append" and answers the question.
    std::function<void(frmSlugData&)> append(int option, Answer answer = Answer::Yes) {
        return [this, option, answer](frmSlugData& w) {
            w.optDateFormat[std::size_t(option)]->click();
            dialogs.answer(answer);
            w.cmdAppend->click();
        };
    }
    // The readings stored, oldest first, as "DateTimeKey|ReadingDate|ReadingTime|FullDate|
    // ChannelT|Channel1|IsDirty|DoNotPlot|Plottemporal|Channel2", "~" for Null.
    std::vector<std::string> stored() {
        std::vector<std::string> rows;
        Connection c;
        EXPECT_TRUE(c.open(databasePath, Connection::Mode::ReadOnly).ok());
        Query q(c, QStringLiteral("SELECT DateTimeKey, ReadingDate, ReadingTime, FullDate, "
                                  "ChannelT, Channel1, IsDirty, DoNotPlot, Plottemporal, "
                                  "Channel2 FROM `%1` ORDER BY FullDate, rowid")
                       .arg(kId));
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.columnCount(); ++i)
                cells << (q.value(i).isNull() ? QStringLiteral("~") : q.value(i).toString());
            rows.push_back(cells.join(u'|').toStdString());
        }
        return rows;
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
    static QString cell(frmSlugData& w, int row, int column) {
        return w.grid().data(w.grid().index(row, column)).toString();
    }
    bool makeDataFolderReadOnly() {
        QFile::setPermissions(dataFolder, QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(dataFolder + QStringLiteral("/probe"));
        if (!probe.open(QIODevice::WriteOnly)) return true; // permissions bind this user
        probe.remove();
        m_immutableFolder =
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dataFolder}) == 0;
        return m_immutableFolder;
    }
    // The import of `path` is refused before anything is written, with one message that
    // says why; no window opens, no file or reading is written, nothing is logged.
    void expectRefused(const QString& path, const QString& why) {
        const int entries = logEntries();
        const int before = windows;
        importFile(path);
        dialogs.expect(QStringLiteral("The readings of ") + QFileInfo(path).fileName() +
                           QStringLiteral(" cannot be imported:\r\n") + why,
                       kAppTitle, Icon::Exclamation);
        EXPECT_EQ(windows, before);
        EXPECT_FALSE(schemaIniExists());
        EXPECT_FALSE(workCopyExists());
        EXPECT_EQ(readingCount(), 0);
        EXPECT_EQ(logEntries(), entries);
        EXPECT_TRUE(progress.labels.isEmpty()) << "the file was not even read";
    }
    bool schemaIniExists() const {
        return QFile::exists(dataFolder + QStringLiteral("/Schema.ini"));
    }
    bool workCopyExists() const {
        return QFile::exists(dataFolder + QStringLiteral("/datafile.txt"));
    }

    QString download;
    QString interval = QStringLiteral("24");
    ImportHost host;
    ScriptedProgress progress;
    std::function<void(frmSlugData&)> user;
    int saved = 0, shown = 0, windows = 0;

private:
    bool m_immutableFolder = false;
};

// ---------------------------------------------------------------------------------
// Choosing the file

TEST_F(ImportTest, TheDialogAsksForTextFilesAndACancelDoesNothing) {
    importFile(QString());
    EXPECT_EQ(saved, 1) << "the reading shown is written back first";
    EXPECT_EQ(session->gSensorID, kId);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Text (*.txt) | *.txt");
    EXPECT_EQ(dialogs.fileRequests[0].folder, "") << "no file was chosen yet";
    EXPECT_EQ(windows, 0);
    EXPECT_FALSE(schemaIniExists());
    EXPECT_FALSE(workCopyExists());

    // Once a file came from a folder, the next dialog opens there.
    importFile(put(QStringLiteral("empty.txt")), append(0, Answer::No));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    importFile(QString());
    EXPECT_EQ(dialogs.fileRequests.back().folder, download);
}

TEST_F(ImportTest, AFileNotNamedAfterTheSensorIsWarnedAboutWithNoPreselected) {
    const QString warning =
        QStringLiteral("WARNING:\r\n%1 is not a match for the current sensor of 200625001\r\n"
                       "Are you sure you want to append this data to the database?\r\n\r\n"
                       "This may cause undesirable results including corruption and loss of "
                       "database");
    for (const QString& name : {QStringLiteral("200625002.txt"), QStringLiteral("200625001.TXT"),
                                QStringLiteral("200625001.txt.txt")}) {
        dialogs.answerNo();
        importFile(put(QStringLiteral("six-hourly.txt"), name));
        const Message m = dialogs.take();
        EXPECT_EQ(m.text, warning.arg(name));
        EXPECT_EQ(m.title, kTitleCaps);
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.buttons, Buttons::YesNo);
        EXPECT_EQ(m.defaultAnswer, Answer::No);
        EXPECT_EQ(windows, 0);
        EXPECT_FALSE(schemaIniExists()) << "nothing is written on No";
        EXPECT_FALSE(workCopyExists());
    }
    dialogs.answerYes();
    importFile(put(QStringLiteral("six-hourly.txt"), QStringLiteral("other.txt")));
    EXPECT_EQ(dialogs.take().text, warning.arg(QStringLiteral("other.txt")));
    EXPECT_EQ(windows, 1) << "Yes goes on with the import";
    // The sensor's own file opens the window without a warning.
    importFile(put(QStringLiteral("six-hourly.txt")));
    EXPECT_EQ(windows, 2);
}

TEST_F(ImportTest, AFileThatIsNotThereAnyMoreHasNoData) {
    const QString path = put(QStringLiteral("six-hourly.txt"));
    QFile::remove(path); // gone between the dialog and the copy
    QByteArray schemaSeen;
    progress.onBegin = [&](const QString&) { schemaSeen = "read"; };
    importFile(path);
    dialogs.expect(QStringLiteral("There was no data found for this sensor."), kAppTitle,
                   Icon::Information);
    EXPECT_TRUE(session->gNoImportData);
    EXPECT_EQ(windows, 0);
    EXPECT_FALSE(schemaIniExists()) << "the schema file is written and removed again";
    EXPECT_FALSE(workCopyExists());
    EXPECT_TRUE(schemaSeen.isEmpty());
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// Staging

TEST_F(ImportTest, StagingCopiesTheFileAndReadsItThroughTheSchemaFileThenRemovesIt) {
    setPaths();
    const QString path = put(QStringLiteral("quoted.txt"));
    QByteArray schemaWhileReading;
    progress.onBegin = [&](const QString&) {
        schemaWhileReading = bytesOf(dataFolder + QStringLiteral("/Schema.ini"));
    };
    StagedRows rows;
    const StagingOutcome outcome =
        OpenSlugData(*session, QStringLiteral("200625001.txt"), path, rows, progress);
    ASSERT_EQ(outcome.kind, StagingOutcome::Kind::Staged);
    EXPECT_FALSE(session->gNoImportData);
    EXPECT_EQ(schemaWhileReading, schemaIniBytes());
    EXPECT_FALSE(schemaIniExists());
    EXPECT_EQ(bytesOf(dataFolder + QStringLiteral("/datafile.txt")), bytesOf(path))
        << "the working copy is the file byte for byte";
    EXPECT_EQ(progress.labels, QStringList{QStringLiteral("Reading 200625001.txt")});
    EXPECT_EQ(progress.ended, 1);

    ASSERT_EQ(rows.rowCount(), 4);
    auto row = [&](int r) {
        QStringList cells;
        for (int c = 0; c < 16; ++c)
            cells << (rows.isNull(r, c) ? QStringLiteral("~") : rows.text(r, c));
        return cells.join(u'|').toStdString();
    };
    EXPECT_EQ(row(0), "2005/03/14 13:00:00|17|25|001|12.4|101.55|~|~|~|~|~|~|~|~|~|~");
    EXPECT_EQ(row(1), "2005/03/14 14:00:00|a, b|say \"hi\"|two\r\nlines|001|~|~|~|~|~|~|~|~|~|~|~");
    EXPECT_EQ(row(2), "2005/03/14 15:00:00|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~");
    EXPECT_EQ(row(3), "2005/03/14 16:00:00|v1|v2|v3|v4|v5|v6|v7|v8|v9|v10|v11|v12|v13|v14|v15");
    EXPECT_EQ(StagedRows::columnNames().first(), "SlugDate");
    EXPECT_EQ(StagedRows::columnNames().last(), "C15");

    // A second staging replaces the working copy.
    const QString other = put(QStringLiteral("one-line.txt"));
    ASSERT_EQ(OpenSlugData(*session, QStringLiteral("200625001.txt"), other, rows, progress).kind,
              StagingOutcome::Kind::Staged);
    EXPECT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(bytesOf(dataFolder + QStringLiteral("/datafile.txt")), bytesOf(other));
}

TEST_F(ImportTest, AClickOnThePictureDuringAnImportStartsNoSecondOne) {
    int nested = 0;
    progress.onBegin = [&](const QString&) {
        // The user clicks the picture again while the file is read.
        ++nested;
        imgAddSlugData_Click(*session, host);
    };
    importFile(put(QStringLiteral("six-hourly.txt")), [](frmSlugData& w) { w.reject(); });
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(dialogs.fileRequests.size(), 1u) << "no second file dialog";
    EXPECT_EQ(windows, 1);
}

TEST_F(ImportTest, ACancelWhileReadingOpensNoWindow) {
    progress.cancelReading = true;
    importFile(put(QStringLiteral("six-hourly.txt")));
    EXPECT_EQ(windows, 0);
    EXPECT_FALSE(schemaIniExists());
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// Imports that cannot write what they write

TEST_F(ImportTest, AReadOnlyDatabaseRefusesTheImportInOneMessage) {
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    expectRefused(put(QStringLiteral("six-hourly.txt")),
                  QStringLiteral("The file ") + databasePath +
                      QStringLiteral(" is read-only: nothing can be written to it."));
}

TEST_F(ImportTest, AReadOnlyDataFolderRefusesTheImportInOneMessage) {
    if (!makeDataFolderReadOnly()) GTEST_SKIP() << "the data folder cannot be made read-only here";
    expectRefused(put(QStringLiteral("six-hourly.txt")),
                  QStringLiteral("The folder ") + dataFolder +
                      QStringLiteral(" is read-only: nothing can be written to it."));
}

TEST_F(ImportTest, ADiskWithoutRoomForTwiceTheFileRefusesTheImport) {
    // six-hourly.txt holds 535 bytes, its working copy as many, the readings it may add
    // about as many again, and the schema file 303: 1373 bytes are needed.
    const QString path = put(QStringLiteral("six-hourly.txt"));
    paths.free = 1372;
    expectRefused(path, QStringLiteral("The disk that holds ") + dataFolder +
                            QStringLiteral(" is full: 1 MB are needed and 1 MB are free."));
    paths.free = 3 * 1024 * 1024;
    QByteArray bytes;
    for (int i = 0; bytes.size() < 1600 * 1024; ++i)
        bytes += "2005/03/14 00:00:00,17,25,001,12.36,101.55\r\n";
    expectRefused(write(bytes), QStringLiteral("The disk that holds ") + dataFolder +
                                    QStringLiteral(" is full: 4 MB are needed and 3 MB are free."));

    paths.free = 1373;
    importFile(put(QStringLiteral("six-hourly.txt")), [](frmSlugData& w) { w.reject(); });
    EXPECT_EQ(windows, 1) << "exactly the room needed is enough";
}

TEST_F(ImportTest, ADownloadThatCouldNotBeArchivedRefusesTheImport) {
    const QString downloaded = write("the only copy", QStringLiteral("MS200625001.txt"));
    const QString path = put(QStringLiteral("six-hourly.txt"));
    // A file where the backup folder should be.
    {
        QFile f(download + QStringLiteral("/backup"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    expectRefused(path, QStringLiteral("The folder ") + download +
                            QStringLiteral("/backup does not exist."));
    QFile::remove(download + QStringLiteral("/backup"));
    if (!makeReadOnly(download)) GTEST_SKIP() << "the folder cannot be made read-only here";
    expectRefused(path, QStringLiteral("The folder ") + download +
                            QStringLiteral(" is read-only: nothing can be written to it."));
    EXPECT_EQ(bytesOf(downloaded), "the only copy");
}

TEST_F(ImportTest, AWriteThatFailsAllTheSameEndsInOneMessageAndChangesNothing) {
    // The working copy cannot be made (a folder stands in the way of its copy).
    ASSERT_TRUE(QDir().mkpath(dataFolder + QStringLiteral("/datafile.txt.part/x")));
    importFile(put(QStringLiteral("six-hourly.txt")));
    Message staged = dialogs.take();
    EXPECT_TRUE(staged.text.startsWith(QStringLiteral(
        "The readings of 200625001.txt could not be staged in the data folder:\r\nPath/File "
        "access error: cannot copy ")));
    EXPECT_TRUE(staged.text.endsWith(QStringLiteral("\r\nNothing was imported.")));
    EXPECT_EQ(staged.icon, Icon::Critical);
    EXPECT_EQ(windows, 0);
    EXPECT_FALSE(schemaIniExists());
    EXPECT_FALSE(workCopyExists());
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" imgAddSlugData_Click\r\n")));
    QDir(dataFolder + QStringLiteral("/datafile.txt.part")).removeRecursively();

    // The database's disk fills up while the readings are written: the database may not
    // grow by a single page.
    Query(session->gConnection, QStringLiteral("PRAGMA max_page_count = 1")).run().ok();
    QByteArray bytes;
    QDateTime t = wallClock(QDate(2005, 1, 1));
    for (int i = 0; i < 2000; ++i, t = t.addSecs(3600))
        bytes += readingKey(QString(), t).mid(1).toLatin1() + ",17,25,001,12.5,100.25\r\n";
    interval = QStringLiteral("1");
    importFile(write(bytes), append(0));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("No reading was added to sensor 200625001: the database refused "
                                  "them.\r\ndatabase or disk is full"),
                   kAppTitle, Icon::Critical);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(logEntries(), 2);
}

// ---------------------------------------------------------------------------------
// The import window and its proposal

TEST_F(ImportTest, TheWindowShowsTheStagedRowsWithTheirProposedMarks) {
    std::string proposed;
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(w.windowTitle(), "Import DataFiles");
        EXPECT_EQ(w.lblHeader->text(),
                  "Select date format and click Append to download data to Sensor 200625001");
        EXPECT_EQ(w.fraDateFormat->title(), "Datafile Date Format:");
        const char* captions[] = {"YYYY/MM/DD", "DD/MM/YYYY", "MM/DD/YYYY"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(w.optDateFormat[std::size_t(i)]->text(), captions[i]);
            EXPECT_FALSE(w.optDateFormat[std::size_t(i)]->isChecked()) << "no option at first";
        }
        EXPECT_EQ(w.cmdAppend->text(), "append");
        EXPECT_FALSE(w.cmdAppend->isEnabled());

        StagedRowsModel& g = w.grid();
        ASSERT_EQ(g.rowCount(), 13);
        ASSERT_EQ(g.columnCount(), 7);
        const char* headers[] = {"Reading Date & Time",
                                 "SLUG ID",
                                 "Type ID",
                                 "SensorNo",
                                 "ChannelT",
                                 "Channel1",
                                 "Append"};
        const int twips[] = {2280, 840, 840, 960, 960, 960, 720};
        const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
        const int twipsPerPixel = qMax(1, qRound(1440.0 / dpi));
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(g.headerData(c, Qt::Horizontal).toString(), headers[c]);
            EXPECT_EQ(w.MSFlexGrid1->columnWidth(c), twips[c] / twipsPerPixel) << c;
            EXPECT_EQ(twips[c], 120 * int(strlen(headers[c]))) << "120 twips per character";
        }
        // Staged values as written, first and last rows.
        EXPECT_EQ(cell(w, 0, 0), "2005/03/14 00:00:00");
        EXPECT_EQ(cell(w, 0, 3), "001");
        EXPECT_EQ(cell(w, 0, 4), "12.36");
        EXPECT_EQ(cell(w, 0, 5), "101.55");
        EXPECT_EQ(cell(w, 4, 0), "2000/01/01 00:00:80");
        EXPECT_EQ(cell(w, 11, 5), "") << "an empty staged value leaves its cell empty";
        EXPECT_EQ(cell(w, 12, 0), "2005/03/16 18:00:00");
        EXPECT_EQ(cell(w, 12, 5), "-1.005");
        // The mark cells show the two pictures of the window.
        auto picture = [&](int r) {
            return qvariant_cast<QPixmap>(g.data(g.index(r, 6), Qt::DecorationRole)).toImage();
        };
        EXPECT_EQ(picture(0), w.img_x_on->pixmap().toImage());
        EXPECT_EQ(picture(1), w.img_x_off->pixmap().toImage());
        EXPECT_TRUE(g.data(g.index(0, 0), Qt::DecorationRole).isNull());
        proposed = marks(w);
        w.reject();
    });
    // Interval 24: each day's 00:00 reading; the marker row (the fifth) is never proposed.
    EXPECT_EQ(proposed, "x...."
                        "x...x...");
    EXPECT_EQ(shown, 1) << "closing the window shows the Readings tab again";
    EXPECT_EQ(readingCount(), 0);
} // namespace

TEST_F(ImportTest, TheIntervalComesFromTimePeriod) {
    const std::vector<std::pair<QString, std::string>> cases = {
        {"1", "xxxx.xxxxxxxx"},  {"", "xxxx.xxxxxxxx"},     {"abc", "xxxx.xxxxxxxx"},
        {"12", "x.x..x.x.x.x."}, {"12.5", "x.x..x.x.x.x."}, {"13.5", "x..x...x..x.."},
        {"8", "x.x..x.x.x.x."},  {"48", "x........x..."},
    };
    for (const auto& [text, expected] : cases) {
        interval = text;
        std::string proposed;
        importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
            proposed = marks(w);
            w.reject();
        });
        EXPECT_EQ(proposed, expected) << "interval " << text.toStdString();
    }
}

TEST_F(ImportTest, TheAnchorMovesOnlyToTickedRows) {
    std::string proposed;
    importFile(put(QStringLiteral("anchor.txt")), [&](frmSlugData& w) {
        proposed = marks(w);
        w.reject();
    });
    EXPECT_EQ(proposed, "x..x");
}

TEST_F(ImportTest, AClickOnAMarkCellTurnsItOverAndOtherCellsStayAsTheyAre) {
    std::string before, after;
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTableView* grid = w.MSFlexGrid1;
        auto click = [&](int row, int column) {
            const QModelIndex index = w.grid().index(row, column);
            grid->scrollTo(index);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(index).center());
        };
        before = marks(w);
        click(0, 6);  // ticked -> unticked
        click(1, 6);  // unticked -> ticked
        click(4, 6);  // the marker may still be ticked by hand
        click(2, 0);  // not a mark cell
        click(12, 5); // the last row, not a mark cell
        EXPECT_EQ(grid->currentIndex(), w.grid().index(12, 5)) << "the clicked cell is current";
        click(12, 6);
        click(12, 6); // twice: back as it was
        // The space bar turns over the mark of the current cell.
        grid->setCurrentIndex(w.grid().index(3, 6));
        QTest::keyClick(grid, Qt::Key_Space);
        grid->setCurrentIndex(w.grid().index(3, 5));
        QTest::keyClick(grid, Qt::Key_Space);
        after = marks(w);
        w.reject();
    });
    EXPECT_EQ(before, "x...."
                      "x...x...");
    EXPECT_EQ(after, ".x.xx"
                     "x...x...");
}

TEST_F(ImportTest, AppendStaysDisabledUntilADateFormatIsClicked) {
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        w.cmdAppend->click();
        EXPECT_TRUE(dialogs.pending().empty()) << "a disabled append asks nothing";
        EXPECT_FALSE(w.unloaded());
        for (int i : {2, 0, 1}) {
            w.optDateFormat[std::size_t(i)]->click();
            EXPECT_TRUE(w.cmdAppend->isEnabled());
            EXPECT_EQ(w.dateFormat(), SlugDateFormat(i));
        }
        w.reject();
    });
    EXPECT_EQ(readingCount(), 0);
}

TEST_F(ImportTest, AnEmptyFileShowsNoReadingsAndAppendsNothing) {
    importFile(put(QStringLiteral("empty.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(w.grid().rowCount(), 0);
        EXPECT_EQ(w.grid().headerData(0, Qt::Horizontal).toString(), "No Readings");
        append(0)(w);
        EXPECT_TRUE(w.unloaded());
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(kNothing);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// Appending

TEST_F(ImportTest, TheTickedRowsAreAppendedWithExactlyTheirColumns) {
    interval = QStringLiteral("1");
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(marks(w), "xxxx.xxxxxxxx");
        w.grid().setTicked(2, false); // the user leaves one out
        append(0)(w);
        EXPECT_TRUE(w.unloaded());
        EXPECT_EQ(w.grid().rowCount(), 0) << "the grid is cleared";
        EXPECT_FALSE(w.cmdAppend->isEnabled());
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 11 records appended to 200625001"));
    const std::vector<std::string> expected = {
        "200625001 2005/03/14 00:00:00|2005-03-14|00:00:00|2005-03-14|12.4|101.55|1|0|0|~",
        "200625001 2005/03/14 06:00:00|2005-03-14|06:00:00|2005-03-14 06:00:00|12.4|101.60|1|0|0|~",
        "200625001 2005/03/14 18:00:00|2005-03-14|18:00:00|2005-03-14 18:00:00|12.9|~|1|0|0|~",
        "200625001 2005/03/15 00:00:00|2005-03-15|00:00:00|2005-03-15|12.0|102.00|1|0|0|~",
        "200625001 2005/03/15 06:00:00|2005-03-15|06:00:00|2005-03-15 06:00:00|12.0|102.13|1|0|0|~",
        "200625001 2005/03/15 12:00:00|2005-03-15|12:00:00|2005-03-15 12:00:00|12.3|5.00|1|0|0|~",
        "200625001 2005/03/15 18:00:00|2005-03-15|18:00:00|2005-03-15 18:00:00|12.5|0.50|1|0|0|~",
        "200625001 2005/03/16 00:00:00|2005-03-16|00:00:00|2005-03-16|12.8|103.40|1|0|0|~",
        "200625001 2005/03/16 06:00:00|2005-03-16|06:00:00|2005-03-16 06:00:00|13.0|103.45|1|0|0|~",
        "200625001 2005/03/16 12:00:00|2005-03-16|12:00:00|2005-03-16 12:00:00|13.3|~|1|0|0|~",
        "200625001 2005/03/16 18:00:00|2005-03-16|18:00:00|2005-03-16 18:00:00|13.5|-1.01|1|0|0|~",
    };
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(logEntries(), 0);
    EXPECT_TRUE(workCopyExists()) << "the working copy stays until the tab is entered again";
}

TEST_F(ImportTest, EachDateLayoutGivesTheSameReadings) {
    const std::vector<std::string> expected = {
        "200625001 2005/03/14 13:05:00",
        "200625001 2005/03/15 13:05:00",
        "200625001 2005/04/01 07:00:00",
    };
    auto keys = [&] {
        std::vector<std::string> k;
        for (const std::string& row : stored())
            k.push_back(row.substr(0, 29));
        return k;
    };
    // The proposal reads these dates in the machine's regional order: every row is ticked
    // here whatever that order is.
    auto appendAll = [&](int option) {
        return [&, option](frmSlugData& w) {
            for (int r = 0; r < w.grid().rowCount(); ++r)
                w.grid().setTicked(r, true);
            append(option)(w);
        };
    };
    importFile(put(QStringLiteral("day-first.txt")), appendAll(1));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    EXPECT_EQ(keys(), expected);
    EXPECT_EQ(stored()[0], "200625001 2005/03/14 13:05:00|2005-03-14|13:05:00|2005-03-14 "
                           "13:05:00|12.4|101.55|1|0|0|~");

    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    importFile(put(QStringLiteral("month-first.txt")), appendAll(2));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    EXPECT_EQ(keys(), expected);

    // A day-first file appended as month-first: 14 and 15 are no months, so only the third
    // row (1 April read as 4 January) has a date that way.
    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    importFile(put(QStringLiteral("day-first.txt")), appendAll(2));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("Row 1 (14/03/2005 13:05:00) has no valid date and time and "
                                  "cannot be appended."));
    dialogs.expect(QStringLiteral("Row 2 (15/03/2005 13:05:00) has no valid date and time and "
                                  "cannot be appended."));
    dialogs.expect(QStringLiteral(" 1 records appended to 200625001"));
    EXPECT_EQ(keys(), std::vector<std::string>{"200625001 2005/01/04 07:00:00"});
}

TEST_F(ImportTest, ImportingTheSameFileTwiceAppendsNothingTheSecondTime) {
    importFile(put(QStringLiteral("six-hourly.txt")), append(0));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    const std::vector<std::string> first = stored();

    // Asked whether to leave the stored rows out, the user keeps them ticked.
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        dialogs.answerYes();
        dialogs.answerNo();
        w.optDateFormat[0]->click();
        w.cmdAppend->click();
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("3 of the ticked rows are already stored. Untick them and "
                                  "append the other 0?"),
                   kAppTitle, Icon::None, Buttons::YesNoCancel);
    for (const char* key : {"200625001 2005/03/14 00:00:00", "200625001 2005/03/15 00:00:00",
                            "200625001 2005/03/16 00:00:00"})
        dialogs.expect(QLatin1String(key) +
                       QStringLiteral(" is a duplicate reading and cannot be appended."));
    dialogs.expect(kNothing);
    EXPECT_EQ(stored(), first);
}

TEST_F(ImportTest, ADuplicateInsideTheFileIsAnnouncedAndTheRestAppended) {
    importFile(put(QStringLiteral("same-moment-twice.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(marks(w), "x..") << "going back in time is never proposed";
        for (int r = 0; r < 3; ++r)
            w.grid().setTicked(r, true);
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(
        "200625001 2005/03/14 00:00:00 is a duplicate reading and cannot be appended."));
    dialogs.expect(QStringLiteral(" 2 records appended to 200625001"));
    const std::vector<std::string> rows = stored();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[0].find("|1.00|"), std::string::npos) << "the first of the two is kept";
}

TEST_F(ImportTest, NoTickedRowAndAnswerNoAppendNothing) {
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        for (int r = 0; r < w.grid().rowCount(); ++r)
            w.grid().setTicked(r, false);
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(kNothing);

    importFile(put(QStringLiteral("six-hourly.txt")), append(0, Answer::No));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(shown, 2) << "every way of closing refreshes the Readings tab";
}

TEST_F(ImportTest, ARowWithoutARealDateTickedByHandIsSkippedWithAMessage) {
    importFile(put(QStringLiteral("bad-dates.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(marks(w), "x....") << "dates that cannot be read are not proposed";
        for (int r = 0; r < 5; ++r)
            w.grid().setTicked(r, true);
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    for (const char* row : {"Row 2 (31/02/2005 06:00:00)", "Row 3 (abc)", "Row 4 (2005/3/4 7:5:0)",
                            "Row 5 (2005/02/31 12:00:00)"})
        dialogs.expect(QLatin1String(row) +
                       QStringLiteral(" has no valid date and time and cannot be appended."));
    dialogs.expect(QStringLiteral(" 1 records appended to 200625001"));
    EXPECT_EQ(readingCount(), 1);

    // The marker ticked by hand, in each layout.
    for (int option : {0, 1, 2}) {
        importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
            for (int r = 0; r < w.grid().rowCount(); ++r)
                w.grid().setTicked(r, r == 4);
            append(option)(w);
        });
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        dialogs.expect(QStringLiteral("Row 5 (2000/01/01 00:00:80) has no valid date and time and "
                                      "cannot be appended."));
        dialogs.expect(kNothing);
    }
    // A long or many-line date text is shown by its start, on one line.
    importFile(write("\"2005/03/14\n\n13h\",1\r\n" + QByteArray(60, 'x') + ",2\r\n"),
               [&](frmSlugData& w) {
                   w.grid().setTicked(0, true);
                   w.grid().setTicked(1, true);
                   append(0)(w);
               });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("Row 1 (2005/03/14 13h) has no valid date and time and cannot "
                                  "be appended."));
    dialogs.expect(QStringLiteral("Row 2 (") + QString(40, u'x') +
                   QStringLiteral("...) has no valid date and time and cannot be appended."));
    dialogs.expect(kNothing);
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT count(*) FROM `%1` WHERE FullDate IS NULL").arg(kId)).toInt(),
        0);
}

TEST_F(ImportTest, ACancelWhileAppendingLeavesTheDatabaseAsItWasAndTheWindowOpen) {
    interval = QStringLiteral("1");
    bool stillOpen = false;
    progress.cancelAppending = true;
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        append(0)(w);
        stillOpen = !w.unloaded();
        EXPECT_EQ(marks(w), "xxxx.xxxxxxxx") << "the marks are kept for another try";
        EXPECT_TRUE(w.cmdAppend->isEnabled());
        // A second try without a cancel appends them all.
        progress.cancelAppending = false;
        dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
        dialogs.expect(
            QStringLiteral("The append was cancelled: no reading was added to sensor 200625001."));
        EXPECT_EQ(readingCount(), 0);
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    EXPECT_TRUE(stillOpen);
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 12 records appended to 200625001"));
    EXPECT_EQ(readingCount(), 12);
    EXPECT_TRUE(progress.labels.contains(QStringLiteral("Appending readings to sensor 200625001")));
}

TEST_F(ImportTest, AReadingTheDatabaseRefusesUndoesTheWholeAppend) {
    // The ninth reading is refused by the database: none of the eleven others may stay.
    execSql(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON `%1` WHEN NEW.Channel1 = "
                           "'103.40' BEGIN SELECT RAISE(ABORT, 'refused by a test'); END")
                .arg(kId));
    interval = QStringLiteral("1");
    importFile(put(QStringLiteral("six-hourly.txt")), append(0));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("No reading was added to sensor 200625001: the database refused "
                                  "them.\r\nrefused by a test"),
                   kAppTitle, Icon::Critical);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("refused by a test cmdAppend_Click\r\n")));
    QDir backup(download + QStringLiteral("/backup"));
    EXPECT_FALSE(backup.exists()) << "nothing appended: nothing archived";
}

TEST_F(ImportTest, AProgramKilledWhileAppendingLeavesNoRow) {
    setPaths();
    std::vector<PlannedReading> readings;
    for (int i = 0; i < 5000; ++i)
        readings.push_back(PlannedReading{wallClock(QDate(2005, 1, 1)).addSecs(qint64(i) * 3600),
                                          QByteArray("12.0"), QByteArray("100.00")});
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The child writes until the first progress report, half way through its rows, and
        // is killed there, inside the transaction.
        class Killer : public NoProgress {
        public:
            bool step(qint64) override {
                std::raise(SIGKILL);
                return true;
            }
        } killer;
        Connection c;
        if (c.open(databasePath).ok()) (void)writeReadings(c, kId, readings, killer);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(scalar(QStringLiteral("PRAGMA integrity_check")).toString(), "ok");
    // The same rows written to the end are all there.
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    NoProgress none;
    EXPECT_EQ(writeReadings(c, kId, readings, none).kind, WriteOutcome::Kind::Written);
    EXPECT_EQ(readingCount(), 5000);
}

TEST_F(ImportTest, AReadingsTableOfAnotherShapeGetsTheStoresOwnConversions) {
    // An older table: numbers in numeric columns, no ReadingDate, ReadingTime or marks.
    execSql(QStringLiteral("CREATE TABLE `200625009` (DateTimeKey TEXT, FullDate DATETIME, "
                           "Channel1 DOUBLE, ChannelT INTEGER)"));
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    NoProgress none;
    const std::vector<PlannedReading> readings = {
        {wallClock(QDate(2005, 3, 14), QTime(6, 0)), QByteArray("12.4"), QByteArray("101.55")},
        {wallClock(QDate(2005, 3, 15)), QByteArray(), QByteArray("7.13")},
    };
    ASSERT_EQ(writeReadings(c, QStringLiteral("200625009"), readings, none).kind,
              WriteOutcome::Kind::Written);
    Query q(c, QStringLiteral("SELECT DateTimeKey, FullDate, typeof(Channel1), Channel1, "
                              "ChannelT FROM `200625009` ORDER BY rowid"));
    QStringList rows;
    while (q.next())
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                         q.value(3).toString(),
                         q.value(4).isNull() ? QStringLiteral("~") : q.value(4).toString());
    EXPECT_EQ(rows,
              QStringList({"200625009 2005/03/14 06:00:00|2005-03-14 06:00:00|real|101.55|12.4",
                           "200625009 2005/03/15 00:00:00|2005-03-15|real|7.13|~"}));
    // A table with none of the columns of a reading takes nothing.
    execSql(QStringLiteral("CREATE TABLE `200625008` (Other TEXT)"));
    const WriteOutcome none8 = writeReadings(c, QStringLiteral("200625008"), readings, none);
    EXPECT_EQ(none8.kind, WriteOutcome::Kind::Failed);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200625008`")).toInt(), 0);
}

TEST_F(ImportTest, ClosingTheWindowShowsTheRememberedReadingOrTheLast) {
    importFile(put(QStringLiteral("six-hourly.txt")), append(0));
    dialogs.clear();
    Recordset& rs = session->rsReadings;
    ASSERT_EQ(rs.recordCount(), 3);
    EXPECT_EQ(rs.absolutePosition(), 3) << "no bookmark was remembered: the last reading";
    EXPECT_EQ(session->gReadingBookmark, 0);

    // On the second reading when the window opens: it is shown again afterwards.
    ASSERT_TRUE(rs.setAbsolutePosition(2).ok());
    interval = QStringLiteral("1");
    importFile(put(QStringLiteral("six-hourly.txt")), [&](frmSlugData& w) {
        EXPECT_EQ(session->gReadingBookmark, 2);
        w.reject();
    });
    EXPECT_EQ(rs.absolutePosition(), 2);
    // A bookmark that names no reading any more gives the last one.
    session->gReadingBookmark = 99;
    interval = QStringLiteral("24");
    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    ASSERT_TRUE(rs.requery().ok());
    importFile(put(QStringLiteral("anchor.txt")), append(0));
    dialogs.clear();
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.absolutePosition(), 2);
    EXPECT_EQ(shown, 3);
}

TEST_F(ImportTest, AppendingLeavesTheReadingsAsOneRequeryAfterEachRowWould) {
    // Readings already there, before and after the file's.
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, ReadingTime, FullDate) "
                           "VALUES ('200625001 2005/03/13 00:00:00', '2005-03-13', '00:00:00', "
                           "'2005-03-13'), ('200625001 2005/03/20 00:00:00', '2005-03-20', "
                           "'00:00:00', '2005-03-20')")
                .arg(kId));
    StagedRows rows;
    ASSERT_TRUE(stageAnchor(rows));
    Recordset& rs = session->rsReadings;
    // The last ticked row appended: the readings in order, on the last one.
    AppendOutcome o = appendTicked(*session, rows, {1, 0, 1, 0}, SlugDateFormat::YearMonthDay,
                                   DayOrder::DayFirst, progress);
    EXPECT_EQ(o.kind, AppendOutcome::Kind::Appended);
    EXPECT_EQ(o.appended, 2);
    ASSERT_EQ(rs.recordCount(), 4);
    EXPECT_EQ(rs.absolutePosition(), 4);
    QStringList order;
    ASSERT_TRUE(rs.moveFirst().ok());
    while (!rs.eof()) {
        order << rs.value(QStringLiteral("DateTimeKey")).value().toString().mid(10);
        ASSERT_TRUE(rs.moveNext().ok());
    }
    EXPECT_EQ(order, QStringList({"2005/03/13 00:00:00", "2005/03/14 00:00:00",
                                  "2005/03/14 23:00:00", "2005/03/20 00:00:00"}));
    // The last ticked row a duplicate: on the first reading.
    ASSERT_TRUE(rs.moveLast().ok());
    o = appendTicked(*session, rows, {0, 1, 1, 0}, SlugDateFormat::YearMonthDay, DayOrder::DayFirst,
                     progress);
    dialogs.expect(QStringLiteral(
        "200625001 2005/03/14 23:00:00 is a duplicate reading and cannot be appended."));
    EXPECT_EQ(o.appended, 1);
    EXPECT_EQ(rs.recordCount(), 5);
    EXPECT_EQ(rs.absolutePosition(), 1);
    // No row ticked: rsReadings is left where it was.
    ASSERT_TRUE(rs.setAbsolutePosition(3).ok());
    o = appendTicked(*session, rows, {0, 0, 0, 0}, SlugDateFormat::YearMonthDay, DayOrder::DayFirst,
                     progress);
    EXPECT_EQ(o.appended, 0);
    EXPECT_EQ(rs.absolutePosition(), 3);
}

// The import window's snapshot of the stored keys: the append judges duplicates by it
// alone, adds the keys it wrote, and leaves rsReadings for the window to refresh.
TEST_F(ImportTest, AnAppendGivenTheWindowsSnapshotOfKeysKeepsItTrue) {
    StagedRows rows;
    ASSERT_TRUE(stageAnchor(rows));
    QSet<QString> snapshot{QStringLiteral("200625001 2005/03/14 23:00:00")};
    const AppendOutcome o = appendTicked(*session, rows, {1, 1, 1, 1}, SlugDateFormat::YearMonthDay,
                                         DayOrder::DayFirst, progress, nullptr, &snapshot);
    dialogs.expect(QStringLiteral(
        "200625001 2005/03/14 23:00:00 is a duplicate reading and cannot be appended."));
    ASSERT_EQ(o.kind, AppendOutcome::Kind::Appended);
    EXPECT_EQ(o.appended, 3);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt(), 3)
        << "the key in the snapshot alone made its row a duplicate";
    EXPECT_EQ(snapshot.size(), 4);
    EXPECT_TRUE(snapshot.contains(QStringLiteral("200625001 2005/03/14 00:00:00")));
    EXPECT_EQ(session->rsReadings.recordCount(), 0) << "refreshed by the window, not here";
}

// ---------------------------------------------------------------------------------
// The archive of the datalogger's download

TEST_F(ImportTest, AfterAnAppendTheDownloadIsMovedIntoTheBackupFolderOfItsOwnFolder) {
    const QString downloaded =
        write("downloaded by the datalogger", QStringLiteral("MS200625001.txt"));
    importFile(put(QStringLiteral("six-hourly.txt")), append(0));
    dialogs.clear();
    const QString archived = download + QStringLiteral("/backup/MS200625001_2026-03-14.txt");
    EXPECT_EQ(bytesOf(archived), "downloaded by the datalogger");
    EXPECT_FALSE(QFile::exists(downloaded));
    EXPECT_TRUE(QFile::exists(download + QStringLiteral("/200625001.txt")))
        << "the file imported is not the download";
    EXPECT_EQ(session->gDownloadFolder, download);

    // A later download of the same day replaces the archive of that day.
    write("a second download", QStringLiteral("MS200625001.txt"));
    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    importFile(put(QStringLiteral("six-hourly.txt")), append(0));
    dialogs.clear();
    EXPECT_EQ(bytesOf(archived), "a second download");
    EXPECT_FALSE(QFile::exists(downloaded));
}

TEST_F(ImportTest, WithoutAnAppendNothingIsArchived) {
    const QString downloaded = write("downloaded", QStringLiteral("MS200625001.txt"));
    importFile(put(QStringLiteral("six-hourly.txt")), append(0, Answer::No));
    dialogs.clear();
    EXPECT_TRUE(QFile::exists(downloaded));
    EXPECT_FALSE(QDir(download + QStringLiteral("/backup")).exists());
}

TEST_F(ImportTest, TheBackupFolderIsMadeEvenWithoutADownloadAndAFailedArchiveIsSaid) {
    importFile(put(QStringLiteral("anchor.txt")), append(0));
    dialogs.clear();
    EXPECT_TRUE(QDir(download + QStringLiteral("/backup")).exists());

    // A file takes the place of the backup folder while the window is open: the readings
    // are appended, the download stays, and the one message says so.
    const QString other = tmp.path() + QStringLiteral("/other");
    ASSERT_TRUE(QDir().mkpath(other));
    QFile::copy(dataFile(QStringLiteral("six-hourly.txt")),
                other + QStringLiteral("/200625001.txt"));
    QFile downloaded(other + QStringLiteral("/MS200625001.txt"));
    ASSERT_TRUE(downloaded.open(QIODevice::WriteOnly));
    downloaded.write("the only copy");
    downloaded.close();
    execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
    importFile(other + QStringLiteral("/200625001.txt"), [&](frmSlugData& w) {
        QFile f(other + QStringLiteral("/backup"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001\r\nThe download could not be "
                                  "archived: Path/File access error: cannot make the folder ") +
                   other + QStringLiteral("/backup: it cannot be created"));
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(bytesOf(downloaded.fileName()), "the only copy");
    EXPECT_EQ(logEntries(), 1);
}

// ---------------------------------------------------------------------------------
// Bad files

TEST_F(ImportTest, FilesThatAreNoDataloggerFilesAreRefusedNamingTheReason) {
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 37) % 256);
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {binary, "The file 200625001.txt is not a datalogger text file: line 1 holds binary data."},
        {QByteArray("2005/03/14 00:00:00,1\r\n2005/03/14 06:00:00,\0", 44),
         "The file 200625001.txt is not a "
         "datalogger text file: line 2 holds "
         "binary data."},
        {bytesOf(dataFile(QStringLiteral("unclosed-quote.txt"))),
         "The file 200625001.txt is damaged: the quoted value that begins on line 2 is never "
         "closed."},
        {"a\n" + QByteArray(5000, 'x'),
         "The file 200625001.txt is not a datalogger file: line 2 holds a value longer than 4096 "
         "characters."},
    };
    for (const auto& [bytes, message] : cases) {
        importFile(write(QByteArray(bytes.constData(), bytes.size())));
        dialogs.expect(message + QStringLiteral("\r\nNothing was imported."), kAppTitle,
                       Icon::Exclamation);
        EXPECT_EQ(windows, 0);
        EXPECT_FALSE(schemaIniExists());
    }
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ImportTest, AFileOfTwoHundredMegabytesIsRefusedBeforeItIsCopied) {
    const QString path = download + QStringLiteral("/200625001.txt");
    QFile big(path);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(qint64(200) * 1024 * 1024)); // sparse: costs no disk
    big.close();
    importFile(path);
    dialogs.expect(QStringLiteral("The file 200625001.txt is too large to be a datalogger file: it "
                                  "holds 200.0 MB, and a datalogger file at most 64.0 MB.\r\n"
                                  "Nothing was imported."),
                   kAppTitle, Icon::Exclamation);
    EXPECT_FALSE(workCopyExists());
    EXPECT_EQ(windows, 0);
}

TEST_F(ImportTest, OddButReadableFilesAreStagedAsTheyAre) {
    std::vector<std::string> seen;
    auto firstRow = [&](frmSlugData& w) {
        QStringList cells;
        for (int c = 0; c < 6; ++c)
            cells << cell(w, 0, c);
        seen.push_back(cells.join(u'|').toStdString() + " rows " +
                       std::to_string(w.grid().rowCount()));
        w.reject();
    };
    importFile(put(QStringLiteral("one-line.txt")), firstRow);
    importFile(put(QStringLiteral("forty-values.txt")), firstRow);
    importFile(put(QStringLiteral("latin1.txt")), firstRow);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "2005/03/14 13:00:00|17|25|001|12.4|101.55 rows 1",
                        "2005/03/14 13:00:00|17|25|001|12.4|101.55 rows 1",
                        "2005/03/14 13:00:00|17|25|001|12.4\u00B0C|101.55 rows 2",
                    }));
    // The temperature that is not a number stays empty; the reading is written.
    interval = QStringLiteral("1");
    importFile(put(QStringLiteral("latin1.txt")), append(0));
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 2 records appended to 200625001"));
    EXPECT_EQ(stored()[0], "200625001 2005/03/14 13:00:00|2005-03-14|13:00:00|2005-03-14 "
                           "13:00:00|~|101.55|1|0|0|~");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ImportTest, ALargeFileIsStagedProposedAndAppendedWhole) {
    QByteArray bytes;
    const int rows = 20000;
    QDateTime t = wallClock(QDate(2000, 1, 1));
    for (int i = 0; i < rows; ++i, t = t.addSecs(6 * 3600))
        bytes += readingKey(QString(), t).mid(1).toLatin1() + ",17,25,001,12.5," +
                 QByteArray::number(100 + i % 100) + ".25\r\n";
    importFile(write(bytes), [&](frmSlugData& w) {
        ASSERT_EQ(w.grid().rowCount(), rows);
        EXPECT_EQ(cell(w, rows - 1, 0), readingKey(QString(), t.addSecs(-6 * 3600)).mid(1));
        int ticked = 0;
        for (int r = 0; r < rows; ++r)
            ticked += w.grid().ticked(r);
        EXPECT_EQ(ticked, rows / 4);
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 5000 records appended to 200625001"));
    EXPECT_EQ(readingCount(), rows / 4);
    EXPECT_EQ(session->rsReadings.recordCount(), rows / 4);
}

} // namespace

// ---------------------------------------------------------------------------------
// The sample files and the manual's picture

namespace {

QString sample(const QString& name) {
    return QStringLiteral(ROCKVANE_TEST_DATA "/../../samples/") + name;
}

TEST_F(ImportTest, TheSampleFileOfSensor200625001ImportsItsDailyReadings) {
    const QString path = download + QStringLiteral("/200625001.txt");
    ASSERT_TRUE(QFile::copy(sample(QStringLiteral("200625001.txt")), path));
    importFile(path, [&](frmSlugData& w) {
        ASSERT_EQ(w.grid().rowCount(), 92 * 4 + 1);
        const std::string m = marks(w);
        EXPECT_EQ(std::count(m.begin(), m.end(), 'x'), 92) << "one reading a day";
        append(0)(w);
    });
    dialogs.expect(kQuestion, kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 92 records appended to 200625001"));
    const std::vector<std::string> rows = stored();
    EXPECT_EQ(rows.front().substr(0, 29), "200625001 2005/03/14 00:00:00");
    EXPECT_EQ(rows.back().substr(0, 29), "200625001 2005/06/13 00:00:00");
} // namespace

TEST_F(ImportTest, TheDayFirstSampleFileReadsAsEvenlySpacedReadings) {
    setPaths();
    StagedRows rows;
    ASSERT_EQ(OpenSlugData(*session, QStringLiteral("200625002.txt"),
                           sample(QStringLiteral("200625002.txt")), rows, progress)
                  .kind,
              StagingOutcome::Kind::Staged);
    ASSERT_EQ(rows.rowCount(), 120);
    QDateTime previous;
    for (qint64 r = 0; r < rows.rowCount(); ++r) {
        const auto m = slugMoment(rows.text(r, 0), SlugDateFormat::DayMonthYear,
                                  QStringLiteral("200625002"), DayOrder::MonthFirst);
        ASSERT_TRUE(m.has_value()) << r;
        if (r > 0) {
            EXPECT_EQ(previous.secsTo(m->fullDate), 6 * 3600) << r;
        }
        previous = m->fullDate;
        EXPECT_TRUE(importedChannel(rows.text(r, 5), 2).isValid()) << r;
    }
    EXPECT_EQ(previous, wallClock(QDate(2005, 4, 30), QTime(18, 0)));
}

} // namespace
