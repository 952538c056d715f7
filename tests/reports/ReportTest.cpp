// The sensor report: the report window's choices, the document read back from its .odt
// (paragraphs in order, the bold title, the picture and its size), the Readings tab shown
// again, and a clear message with one log entry whenever the document cannot be made.
#include "core/DateText.h"
#include "platform/SingleInstance.h"
#include "readings/ReadingsTab.h"
#include "reports/ReportDocument.h"
#include "reports/SensorReport.h"
#include "reports/frmReport.h"
#include "store/Module1.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include "tests/reports/OdtReader.h"
#include "tests/support/DataFolder.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");

// A chart-like picture written as a JPEG, as the chart page's export writes one.
bool writeChart(const QString& path, QSize size = QSize(800, 500)) {
    QImage chart(size, QImage::Format_RGB32);
    chart.fill(Qt::white);
    QPainter p(&chart);
    p.setPen(QPen(Qt::blue, 2));
    p.drawLine(40, size.height() - 40, size.width() - 20, 30);
    p.end();
    return chart.save(path, "JPG");
}

// The report window answered as a user would, once it shows.
void answerReportWindow(frmReport& form, bool cover, bool plot, bool ok = true,
                        bool changes = false) {
    QTimer::singleShot(0, &form, [&form, cover, plot, ok, changes] {
        form.chkCover->setChecked(cover);
        form.chkTemp->setChecked(plot);
        form.chkChanges->setChecked(changes);
        (ok ? form.cmdOK : form.cmdCancel)->click();
    });
}

QStringList coverTexts(const QString& notes = QStringLiteral("Grouted in 2005")) {
    return {QString(),
            QStringLiteral("REPORT 200525001"),
            QString(),
            QStringLiteral("   Date: ") + shortDateText(QDate(2026, 3, 14)),
            QStringLiteral("   Sensor Number: 200525001"),
            QStringLiteral("   Sensor Type: Load Cell"),
            QStringLiteral("   Date Installed: ") + shortDateText(QDate(2005, 6, 1)),
            QStringLiteral("   Installed By: Crew 4"),
            QStringLiteral("   Level: L12"),
            QStringLiteral("   Location: North drive"),
            QStringLiteral("   Purpose: Pillar load"),
            QStringLiteral("   Notes: ") + notes};
}

const QStringList kThreeEmpty = {QString(), QString(), QString()};
const QStringList kPlotTexts = {QStringLiteral("Load v Time"),
                                QStringLiteral("[picture]   Notes:")};

double points(const QString& length) {
    return QStringView(length).chopped(2).toDouble();
}

// ---------------------------------------------------------------------------------
// Through the main window

class ReportTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kId);
        execSql(QStringLiteral("UPDATE Sensors SET InstallBy = 'Crew 4', Level = 'L12', "
                               "Location = 'North drive', Purpose = 'Pillar load', "
                               "Notes = 'Grouted in 2005'"));
        addReadings(kId, 3);
        reports = tmp.path() + QStringLiteral("/reports");
        ASSERT_TRUE(QDir().mkpath(reports));
        ASSERT_TRUE(start());
        window->report->setDocumentFolder(reports);
        window->loadVsTimeExport = [this](const QString& path) {
            exported << path;
            return writeChart(path);
        };
        window->SSTab1->setCurrentIndex(2);
    }
    // Asks for a report from the Readings tab and reads back the document opened.
    OdtDocument report(bool cover, bool plot, bool changes = false) {
        answerReportWindow(window->report->reportWindow(), cover, plot, true, changes);
        window->readings->imgReport->click();
        if (desktop.openedFiles.isEmpty()) return {};
        return readOdt(desktop.openedFiles.constLast());
    }
    QString reports;
    QStringList exported;
};

// On the database file and on a site server database alike.
using ReportOnEachEngine = OnEachEngine<ReportTest>;

TEST_P(ReportOnEachEngine, BothSectionsInOrderWithTheBoldTitleAndOnePicture) {
    const OdtDocument doc = report(true, true);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts(), coverTexts() + kThreeEmpty + kPlotTexts + QStringList(QString()));
    for (std::size_t i = 0; i < doc.paragraphs.size(); ++i)
        EXPECT_EQ(doc.paragraphs[i].boldText,
                  i == 1 ? QStringLiteral("REPORT 200525001") : QString())
            << "paragraph " << i;
    EXPECT_EQ(doc.pictureCount(), 1);
    EXPECT_TRUE(doc.files.contains(doc.paragraphs[16].pictures[0].target))
        << "the picture travels inside the document";
    EXPECT_EQ(exported, QStringList{dataFolder + QStringLiteral("/Temporal.jpg")});
    EXPECT_EQ(desktop.openedFiles, QStringList{reports + QStringLiteral("/Report 200525001.odt")});
    EXPECT_EQ(window->SSTab1->currentIndex(), 2) << "the Readings tab is shown again";
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, ReportOnEachEngine, bothEngines(), engineName);

TEST_F(ReportTest, TheCoverAloneEndsAfterItsEmptyParagraphs) {
    const OdtDocument doc = report(true, false);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts(), coverTexts() + kThreeEmpty);
    EXPECT_EQ(doc.pictureCount(), 0);
    EXPECT_TRUE(exported.isEmpty()) << "no plot is drawn for a report without one";
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
}

TEST_F(ReportTest, ThePlotAloneStartsWithAnEmptyParagraph) {
    const OdtDocument doc = report(false, true);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts(), QStringList(QString()) + kPlotTexts + QStringList(QString()));
    EXPECT_EQ(doc.pictureCount(), 1);
    EXPECT_TRUE(doc.paragraphs[2].boldText.isEmpty());
}

TEST_F(ReportTest, NeitherSectionOpensAnEmptyDocument) {
    const OdtDocument doc = report(false, false);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts(), QStringList(QString()));
}

// ---------------------------------------------------------------------------------
// The sensor's changes

TEST_F(ReportTest, TheChangesTableListsTheSensorsEntriesNewestFirst) {
    const QString deleted = QStringLiteral("200525001 2020/01/01 08:00:00");
    const QString changed = QStringLiteral("200525001 2020/01/02 08:00:00");
    recordAction(wallClock(QDate(2025, 12, 10), QTime(8, 15)), kId, how::DeleteReadings,
                 [&](ChangeAction& a) {
                     return a.recordLeaving(change::Deleted, kId,
                                            QStringLiteral("DateTimeKey = ?1"), {deleted});
                 });
    for (const QString& id : {QStringLiteral("200525002"), kId}) // the other sensor's first
        recordAction(wallClock(QDate(2026, 2, 20), QTime(9, 5, 30)), id, how::Datasheet,
                     [&](ChangeAction& a) {
                         return a.record(change::Changed, changed, changed,
                                         {{"ChannelT", "20.0"}, {"Channel1", "11.00"}},
                                         {{"ChannelT", "18.0"}, {"Channel1", "12.50"}});
                     });
    const OdtDocument doc = report(false, false, true);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts(), QStringList({"", "Changes to readings", "[table]", ""}));
    EXPECT_EQ(doc.paragraphs[1].boldText, "Changes to readings");
    ASSERT_EQ(doc.tables.size(), 1u);
    const OdtTable& table = doc.tables[0];
    EXPECT_EQ(table.headerRows, 1);
    ASSERT_EQ(table.rows.size(), 3u) << "the other sensor's change is not listed";
    const QString me = currentUserName();
    EXPECT_EQ(table.rows[0],
              QStringList({"When", "Who", "How", "Kind", "Reading", "Before", "After"}));
    EXPECT_EQ(table.rows[1],
              QStringList({"20 Feb 2026 09:05:30", me, "Datasheet", "Changed", changed,
                           "Load 11.00; Temperature 20.0", "Load 12.50; Temperature 18.0"}));
    EXPECT_EQ(table.rows[2], QStringList({"10 Dec 2025 08:15:00", me, "Delete readings", "Deleted",
                                          deleted, "Load 10.00; Temperature 20.0", ""}));
}

TEST_F(ReportTest, TheChangesAreOffByDefaultAndNoneRecordedIsSaid) {
    EXPECT_FALSE(window->report->reportWindow().chkChanges->isChecked());
    const OdtDocument none = report(false, false, true);
    EXPECT_EQ(none.texts(),
              QStringList({"", "Changes to readings",
                           "No changes to this sensor's readings are recorded.", ""}));
    EXPECT_TRUE(none.tables.empty());

    recordAction(wallClock(QDate(2026, 2, 20)), kId, how::ReadingsTab, [](ChangeAction& a) {
        return a.record(change::Added, {}, QStringLiteral("200525001 2026/02/20 00:00:00"), {},
                        {{"Channel1", "9.00"}});
    });
    const OdtDocument without = report(true, false);
    EXPECT_EQ(without.texts(), coverTexts() + kThreeEmpty) << "unticked: the report as ever";
    EXPECT_TRUE(without.tables.empty());
}

TEST_F(ReportTest, TheCaptionLabelAsksTooAndEachReportIsANewFile) {
    answerReportWindow(window->report->reportWindow(), true, false);
    window->readings->Label46->click();
    answerReportWindow(window->report->reportWindow(), true, false);
    window->readings->imgReport->click();
    EXPECT_EQ(desktop.openedFiles,
              QStringList({reports + QStringLiteral("/Report 200525001.odt"),
                           reports + QStringLiteral("/Report 200525001 (2).odt")}));
    EXPECT_TRUE(readOdt(desktop.openedFiles[0]).ok) << "the first report is not overwritten";
}

TEST_F(ReportTest, ASensorWithoutNotesEndsItsNotesLineWithTheBlank) {
    execSql(QStringLiteral("UPDATE Sensors SET Notes = NULL"));
    window.reset();
    ASSERT_TRUE(start());
    window->report->setDocumentFolder(reports);
    window->SSTab1->setCurrentIndex(2);
    const OdtDocument doc = report(true, false);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.texts().value(11), QStringLiteral("   Notes: "));
}

TEST_F(ReportTest, TheWindowKeepsTheLastChoiceAndCancelMakesNothing) {
    frmReport& form = window->report->reportWindow();
    EXPECT_EQ(form.windowTitle(), "Rockvane Reporting");
    EXPECT_TRUE(form.chkCover->isChecked());
    EXPECT_TRUE(form.chkTemp->isChecked());
    EXPECT_EQ(form.chkCover->text(), "Sensor Information Cover Page");
    EXPECT_EQ(form.chkTemp->text(), "Load v Time");
    report(true, false);
    ASSERT_EQ(desktop.openedFiles.size(), 1);

    bool tempShownTicked = true;
    QTimer::singleShot(0, &form, [&] {
        tempShownTicked = form.chkTemp->isChecked();
        form.cmdCancel->click();
    });
    window->readings->imgReport->click();
    EXPECT_FALSE(tempShownTicked) << "the box cleared last time stays cleared";
    EXPECT_TRUE(form.chkCover->isChecked());
    EXPECT_EQ(desktop.openedFiles.size(), 1) << "Cancel makes no report";
    EXPECT_FALSE(form.result().gReportOK);

    // Closing the window after an earlier OK is no OK.
    QTimer::singleShot(0, &form, [&] { form.close(); });
    window->readings->imgReport->click();
    EXPECT_EQ(desktop.openedFiles.size(), 1);
    EXPECT_EQ(QDir(reports).entryList(QDir::Files).size(), 1);
}

TEST_F(ReportTest, TheReportIsWrittenIntoTheKeptFolderAndNotWhenItCannotTakeIt) {
    const QString kept = tmp.path() + QStringLiteral("/kept");
    ASSERT_TRUE(QDir().mkpath(kept));
    KeptFolderChoice* choice = window->report->reportWindow().keptFolder;
    ASSERT_NE(choice, nullptr);
    dialogs.fileAnswer(kept);
    choice->cmdKeptFolder->click();
    const OdtDocument doc = report(true, false);
    EXPECT_TRUE(doc.ok);
    EXPECT_EQ(desktop.openedFiles, QStringList{kept + QStringLiteral("/Report 200525001.odt")});
    EXPECT_TRUE(QDir(reports).isEmpty());

    if (!makeReadOnly(kept)) GTEST_SKIP() << "cannot make a folder read-only here";
    report(true, true);
    dialogs.expect(QStringLiteral("The folder ") + QDir::toNativeSeparators(kept) +
                       QStringLiteral(" is read-only: nothing can be written to it.\r\nThe report "
                                      "was not written: choose another folder with \"Keep in "
                                      "folder...\"."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(desktop.openedFiles.size(), 1);
    EXPECT_TRUE(exported.isEmpty()) << "no plot drawn for a report that cannot be written";
    EXPECT_EQ(QDir(kept).entryList(QDir::Files).size(), 1);
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// With a stand-in for the main window

class FakeReportHost : public ReportHost {
public:
    int tab = kReadingsTab;
    bool refusePlot = false; // fewer than two plottable readings
    bool exportWorks = true;
    QSize chartSize{800, 500};
    QStringList steps;
    Dialogs* dialogs = nullptr;

    int currentTab() const override { return tab; }
    void selectTab(int index) override {
        steps << QStringLiteral("tab %1").arg(index);
        if (index == kLoadVsTimeTab && refusePlot) {
            dialogs->inform(QStringLiteral("You must have at least 2 readings to view the plot."),
                            kTitle, Icon::Information);
            return; // the previous tab comes back
        }
        tab = index;
    }
    bool exportLoadVsTime(const QString& path) override {
        steps << QStringLiteral("export");
        if (!exportWorks) return false;
        return writeChart(path, chartSize);
    }
};

class NoWordProcessor : public Desktop {
public:
    bool openFile(const QString&) override { return false; }
    bool openAddress(const QString&) override { return false; }
};

class SensorReportTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        addSensorRow(kId);
        execSql(QStringLiteral("UPDATE Sensors SET InstallBy = 'Crew 4', Level = 'L12', "
                               "Location = 'North drive', Purpose = 'Pillar load', "
                               "Notes = 'Grouted in 2005'"));
        openStore();
        reports = tmp.path() + QStringLiteral("/reports");
        ASSERT_TRUE(QDir().mkpath(reports));
        host.dialogs = &dialogs;
        makeReport(*session);
    }
    void makeReport(Session& s) {
        report = std::make_unique<SensorReport>(s, host, nullptr);
        report->setDocumentFolder(reports);
    }
    OdtDocument run(bool cover, bool plot) {
        answerReportWindow(report->reportWindow(), cover, plot);
        report->imgReport_Click();
        return report->lastDocument().isEmpty() ? OdtDocument{} : readOdt(report->lastDocument());
    }
    QString picturePath() const { return dataFolder + QStringLiteral("/Temporal.jpg"); }

    FakeReportHost host;
    std::unique_ptr<SensorReport> report;
    QString reports;
};

TEST(ReportDocumentText, EveryBlankIsReadBackAsTyped) {
    // The paragraph after the picture and texts whose blanks a reader could lose.
    ReportDocument doc;
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    writePlotSection(doc, &picture);
    // "|" stands for a line break inside a paragraph.
    for (const char* text :
         {"a  b", " lead", "trail ", "x \t y", "bold  run", "line|two", "pasted\vline"}) {
        doc.setBold(QLatin1String(text).startsWith(u"bold"));
        doc.typeText(QString::fromUtf8(text).replace(u'|', QChar::LineSeparator));
        doc.typeParagraph();
    }
    QTemporaryDir folder;
    const auto bytes = doc.odt();
    ASSERT_TRUE(bytes.ok());
    const auto path = saveNewDocument(bytes.value(), folder.path(), QStringLiteral("Blanks"));
    ASSERT_TRUE(path.ok());
    const OdtDocument read = readOdt(path.value());
    ASSERT_TRUE(read.ok) << read.problem.toStdString();
    EXPECT_EQ(read.texts(),
              QStringList({"", "Load v Time", "[picture]   Notes:", "a  b", " lead", "trail ",
                           "x \t y", "bold  run", "line\ntwo", "pasted\nline", ""}));
    EXPECT_EQ(read.paragraphs[7].boldText, "bold  run");
    EXPECT_EQ(read.files.value(0), "mimetype") << "the package's type comes first";
    EXPECT_TRUE(read.files.contains(read.paragraphs[2].pictures[0].target));
}

TEST_F(SensorReportTest, APictureIsShownAtItsSizeOrNarrowedToThePage) {
    const struct {
        QSize chart;
        double width, height; // in points
    } cases[] = {{QSize(400, 300), 300, 225},
                 {QSize(604, 200), 453, 150},
                 {QSize(1000, 500), 16 / 2.54 * 72, 16 / 2.54 * 72 / 2}};
    for (const auto& c : cases) {
        host.chartSize = c.chart;
        const OdtDocument doc = run(false, true);
        ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
        ASSERT_EQ(doc.pictureCount(), 1);
        const OdtPicture& picture = doc.paragraphs[2].pictures[0];
        EXPECT_NEAR(points(picture.width), c.width, 0.01) << c.chart.width();
        EXPECT_NEAR(points(picture.height), c.height, 0.01) << c.chart.width();
    }
    EXPECT_EQ(host.steps, QStringList({"tab 3", "export", "tab 2", "tab 3", "export", "tab 2",
                                       "tab 3", "export", "tab 2"}));
}

TEST_F(SensorReportTest, ARefusedPlotTabGivesNoPictureNotEvenAnOldOne) {
    ASSERT_TRUE(writeChart(picturePath())); // another sensor's plot, exported earlier
    host.refusePlot = true;
    const OdtDocument doc = run(true, true);
    dialogs.expect(QStringLiteral("You must have at least 2 readings to view the plot."), kTitle,
                   Icon::Information);
    ASSERT_TRUE(doc.ok) << doc.problem.toStdString();
    EXPECT_EQ(doc.pictureCount(), 0);
    EXPECT_EQ(doc.texts().mid(12), QStringList({"", "", "", "Load v Time", "   Notes:", ""}));
    EXPECT_EQ(host.steps, QStringList{"tab 3"}) << "nothing exported, the tab never left";
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorReportTest, AFailedExportIsToldAndTheReportWrittenWithoutThePicture) {
    host.exportWorks = false;
    const OdtDocument doc = run(false, true);
    dialogs.expect(QStringLiteral("The Load v Time plot could not be saved as a picture in ") +
                       QDir::toNativeSeparators(picturePath()) +
                       QStringLiteral("\r\nThe report is written without it."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" imgReport_Click\r\n")));
    ASSERT_TRUE(doc.ok);
    EXPECT_EQ(doc.texts(), QStringList({"", "Load v Time", "   Notes:", ""}));
    EXPECT_EQ(desktop.openedFiles.size(), 1);
}

TEST_F(SensorReportTest, AnUnwritableFolderIsToldAndNothingOpened) {
    const Immutable locked(reports);
    ASSERT_TRUE(locked.ok());
    run(true, false);
    const Message m = dialogs.take();
    EXPECT_TRUE(m.text.startsWith(QStringLiteral("The report could not be written:\r\nCould not "
                                                 "create ")))
        << m.text.toStdString();
    EXPECT_EQ(m.title, kTitle);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" imgReport_Click\r\n")));
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_TRUE(QDir(reports).entryList(QDir::Files).isEmpty());
}

TEST_F(SensorReportTest, NoWordProcessorIsToldAndTheDocumentKept) {
    NoWordProcessor none;
    Session other(dialogs, clock, paths, none);
    other.gDataFolder = dataFolder;
    ASSERT_TRUE(other.gConnection.open(databasePath).ok());
    ASSERT_TRUE(other.rsSensors.open(other.gConnection, sql::SensorsByNumber).ok());
    makeReport(other);
    run(true, false);
    const QString written = reports + QStringLiteral("/Report 200525001.odt");
    dialogs.expect(QStringLiteral("The report was written to ") +
                       QDir::toNativeSeparators(written) +
                       QStringLiteral("\r\nbut no word processor could be started to open it."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(QFile::exists(written));
    report.reset();
}

} // namespace
