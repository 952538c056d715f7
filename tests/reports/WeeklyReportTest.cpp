// The weekly report: the window driven as a user drives it (the sensors of a Level, the
// period, the site, the Save dialog), the document written where chosen and opened, its
// table read back from the .odt; the figures of a row at the ends of their ranges; the
// page count of a large report; the Utilities tab's button that opens the window.
#include "reports/WeeklyReport.h"
#include "alarms/AlarmStore.h"
#include "app/UtilitiesTab.h"
#include "core/DateText.h"
#include "graphs/GraphData.h"
#include "platform/UserChoices.h"
#include "reports/frmWeeklyReport.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>

using namespace rv;
using namespace rv::test;

namespace {

const QString kA = QStringLiteral("200625001"); // Level 3, offset 0.5, alert 10, alarm 12
const QString kB = QStringLiteral("200625002"); // Level 3, no levels
const QString kC = QStringLiteral("200625003"); // Level 3, no reading in the last 7 days
const QString kD = QStringLiteral("200625004"); // Level 5

// A file inside a zip archive, through the unzip program.
QByteArray unzipped(const QString& archive, const QString& file) {
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, file});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

// The rows of the first table of an .odt's content.xml: each row's style and cell texts.
QStringList tableRows(const QByteArray& contentXml) {
    QStringList rows;
    QXmlStreamReader xml(contentXml);
    QString row;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"table-row") row.clear();
        if (xml.isStartElement() && xml.name() == u"table-cell") {
            if (row.isEmpty())
                row = xml.attributes().value(QStringLiteral("table:style-name")).toString() + u':';
            row += u'|' + xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
        if (xml.isEndElement() && xml.name() == u"table-row") rows << row;
    }
    return rows;
}

// The texts of the paragraphs of an .odt's content.xml outside its table, in order.
QStringList paragraphs(const QByteArray& contentXml) {
    QStringList texts;
    QXmlStreamReader xml(contentXml);
    int inTable = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"table") ++inTable;
        if (xml.isEndElement() && xml.name() == u"table") --inTable;
        if (!inTable && xml.isStartElement() && xml.name() == u"p")
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    return texts;
}

class WeeklyReportTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        sensor(kA, "Level 3", "0.5");
        sensor(kB, "Level 3", "0");
        sensor(kC, "Level 3", "0");
        sensor(kD, "Level 5", "0");
        // The clock says 2026/03/14: the last 7 days start on 2026/03/08 at 00:00.
        reading(kA, "2026/03/01 06:00:00", "8.5");
        reading(kA, "2026/03/08 00:00:00", "10.5");
        reading(kA, "2026/03/12 00:00:00", "13.1", 1);
        reading(kA, "2026/03/13 00:00:00", "13");
        reading(kB, "2026/03/10 06:00:00", "3");
        reading(kB, "2026/03/14 06:00:00", "4.5");
        reading(kC, "2026/03/07 23:59:59", "9");
        reading(kD, "2026/03/13 00:00:00", "1");
        openStore();
        ASSERT_TRUE(ensureAlarmTable(session->gConnection).ok());
        ASSERT_TRUE(saveAlarmLevels(session->gConnection, kA, {10.0, 12.0, std::nullopt}).ok());
        ASSERT_TRUE(saveAlarmLevels(session->gConnection, kC, {5.0, 8.0, std::nullopt}).ok());
    }
    void sensor(const QString& id, const char* level, const char* recess) {
        addSensorRow(id);
        execSql(QStringLiteral("UPDATE Sensors SET Level = '%2', Location = 'North drive', "
                               "Recess = %3 WHERE InstrumentID = '%1'")
                    .arg(id, QLatin1String(level), QLatin1String(recess)));
    }
    void undated(const QString& id, const char* at, const QVariant& fullDate, const char* load) {
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(at))
                             .fullDate(fullDate)
                             .channel1(QString::fromLatin1(load))});
    }
    void reading(const QString& id, const char* at, const char* load, int doNotPlot = 0) {
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(at))
                             .channel1(QString::fromLatin1(load))
                             .doNotPlot(doNotPlot)});
    }
    RecordingProgress progress;
};

TEST_F(WeeklyReportTest, TheReportOfALevelIsWrittenWhereChosenAndOpened) {
    const QString path = tmp.filePath(QStringLiteral("Week 11.odt"));
    {
        frmWeeklyReport window(*session);
        window.setProgress(&progress);
        EXPECT_EQ(window.cboLevel->count(), 2);
        EXPECT_EQ(window.cboLevel->currentText(), "Level 3");
        EXPECT_TRUE(window.optLevel->isChecked());
        EXPECT_EQ(window.cboPeriod->currentText(), "Last 7 days");
        window.txtSite->setText(QStringLiteral("North Mine"));
        dialogs.fileAnswer(path);
        window.cmdOK->click();
        EXPECT_EQ(window.result(), QDialog::Accepted);
        EXPECT_EQ(window.lastDocument(), path);
    }
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_TRUE(dialogs.fileRequests[0].save);
    EXPECT_EQ(dialogs.fileRequests[0].folder,
              QDir::tempPath() + "/Weekly report Level 3 2026-03-14.pdf");
    EXPECT_EQ(desktop.openedFiles, QStringList{path});

    const QByteArray content = unzipped(path, QStringLiteral("content.xml"));
    EXPECT_EQ(tableRows(content),
              (QStringList{
                  "Head:|Sensor|Latest load (t)|Alert load (t)|Alarm load (t)|% of alarm "
                  "load|Change (t)|Rise per day (t)",
                  // 13 - 0.5 after 10.5 - 0.5 five days before; the 13.1 is not plotted.
                  "Alarm:|200625001|12.50|10|12|104.2 %|2.50|0.50",
                  "Plain:|200625002|4.50||||1.50|0.38",
                  "Plain:|200625003|No readings in the period|5|8|||",
              }));
    EXPECT_TRUE(content.contains("<text:p text:style-name=\"Title\">Weekly report - North "
                                 "Mine</text:p><text:p>Level: Level 3</text:p><text:p>Date: "
                                 "2026/03/14</text:p><text:p>Period: Last 7 days, from "
                                 "2026/03/08 to 2026/03/14</text:p>"));
    // A plot for each sensor with readings in the period.
    EXPECT_FALSE(unzipped(path, QStringLiteral("Pictures/Plot2.png")).isEmpty());
    EXPECT_TRUE(unzipped(path, QStringLiteral("Pictures/Plot3.png")).isEmpty());
    EXPECT_EQ(progress.labels, QStringList{"Writing the weekly report of 3 sensors"});

    // The site is kept for the next report.
    frmWeeklyReport again(*session);
    EXPECT_EQ(again.txtSite->text(), "North Mine");
}

TEST_F(WeeklyReportTest, TheSensorsBeyondTheirLevelsGoIntoAPdfInTheKeptFolder) {
    const QString kept = tmp.filePath(QStringLiteral("kept"));
    ASSERT_TRUE(QDir().mkpath(kept));
    ASSERT_TRUE(UserChoices(paths).setText(QStringLiteral("Reports/KeptFolder"), kept));
    const QString path = kept + QStringLiteral("/Beyond.pdf");
    frmWeeklyReport window(*session);
    window.setProgress(&progress);
    window.optBeyond->setChecked(true);
    window.cboPeriod->setCurrentText(QStringLiteral("All readings"));
    dialogs.fileAnswer(path);
    desktop.opens = false;
    window.cmdOK->click();
    dialogs.expect("The file was written to\r\n" + QDir::toNativeSeparators(path) +
                       "\r\nbut no program could be started to open it.",
                   "Brackwell's Rockvane", Icon::Exclamation);
    EXPECT_EQ(dialogs.fileRequests.at(0).folder,
              kept + "/Weekly report beyond levels 2026-03-14.pdf");
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_EQ(progress.labels, QStringList{"Writing the weekly report of 2 sensors"})
        << "A at its alarm load and C, whose latest reading is beyond its alarm load";
    EXPECT_EQ(logEntries(), 1) << "the file that no program opened";
}

TEST_F(WeeklyReportTest, ANameThatIsNeitherPdfNorOdtOrACancelWritesNothing) {
    frmWeeklyReport window(*session);
    window.setProgress(&progress);
    dialogs.fileAnswer(QString());
    window.cmdOK->click();
    dialogs.fileAnswer(tmp.filePath(QStringLiteral("Week.docx")));
    window.cmdOK->click();
    dialogs.expect("A weekly report is written as a PDF document (.pdf) or an OpenDocument text "
                   "(.odt).\r\nPlease choose a name that ends in .pdf or .odt.",
                   "Brackwell's Rockvane", Icon::Exclamation);
    paths.free = 3 * 1024 * 1024;
    dialogs.fileAnswer(tmp.filePath(QStringLiteral("Week.odt")));
    window.cmdOK->click();
    dialogs.expect("The weekly report could not be written:\r\nThe disk that holds " +
                       QDir::toNativeSeparators(tmp.path()) +
                       " is full: 20 MB are needed and 3 MB are free.",
                   "Brackwell's Rockvane", Icon::Exclamation);
    EXPECT_TRUE(progress.labels.isEmpty());
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("Week.docx"))));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("Week.odt"))));
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_NE(window.result(), QDialog::Accepted);
}

TEST_F(WeeklyReportTest, UnreadableReadingsAreSaidInTheirRowAndACancelWritesNothing) {
    execSql(QStringLiteral("ALTER TABLE `200625002` RENAME COLUMN Channel1 TO RenamedChannel"));
    const QString path = tmp.filePath(QStringLiteral("Week.odt"));
    frmWeeklyReport window(*session);
    window.setProgress(&progress);
    progress.cancelAt = 2;
    dialogs.fileAnswer(path);
    window.cmdOK->click();
    EXPECT_FALSE(QFile::exists(path)) << "stopped after two sensors of three";
    EXPECT_NE(window.result(), QDialog::Accepted);
    EXPECT_EQ(progress.ended, 1);

    progress.cancelAt = -1;
    dialogs.fileAnswer(path);
    window.cmdOK->click();
    const QStringList rows = tableRows(unzipped(path, QStringLiteral("content.xml")));
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[2], "Plain:|200625002|Its readings could not be read|||||");
    EXPECT_EQ(logEntries(), 2) << "once in each run that reached the sensor";
    EXPECT_TRUE(logText().contains(" G_WeeklyReport"));
    EXPECT_EQ(desktop.openedFiles, QStringList{path});
}

// A load too large for any number ("1e999" reads as infinity) cannot be used: the figures
// and the plot stay those of the usable readings, and the report says, under the table,
// which sensor had a reading in the period left out, how many, and the latest of them.
TEST_F(WeeklyReportTest, ALoadThatCannotBeUsedIsSaidUnderTheTableNeverLeftOutSilently) {
    reading(kA, "2026/03/13 12:00:00", "1e999");    // A's latest reading in the period
    reading(kB, "2026/03/01 06:00:00", "-1e999");   // before the period: not this report's
    reading(kB, "2026/03/12 06:00:00", "1e999", 1); // not plotted: not this report's either
    reading(kB, "2026/03/13 06:00:00", "ERR");      // no load at all, as on tab 4
    reading(kC, "2026/03/09 06:00:00", "1e999");    // C's only readings in the period
    reading(kC, "2026/03/10 06:00:00", "2e999 t");
    // A date and time that cannot be read puts a reading in no period: said whatever it is.
    undated(kA, "2026/03/11 01:00:00", QVariant(), "11");
    undated(kA, "2026/03/11 02:00:00", QStringLiteral("2026-02-30 02:00:00"), "1e999");
    undated(kB, "2026/03/11 03:00:00", QVariant(), "ERR"); // no load: as on tab 4
    undated(kC, "2026/03/11 04:00:00", QStringLiteral("2026-13-45"), "7");
    const QString path = tmp.filePath(QStringLiteral("Week.odt"));
    frmWeeklyReport window(*session);
    window.setProgress(&progress);
    dialogs.fileAnswer(path);
    window.cmdOK->click();
    ASSERT_EQ(window.result(), QDialog::Accepted);

    const QByteArray content = unzipped(path, QStringLiteral("content.xml"));
    EXPECT_EQ(tableRows(content),
              (QStringList{
                  "Head:|Sensor|Latest load (t)|Alert load (t)|Alarm load (t)|% of alarm "
                  "load|Change (t)|Rise per day (t)",
                  "Alarm:|200625001|12.50|10|12|104.2 %|2.50|0.50",
                  "Plain:|200625002|4.50||||1.50|0.38",
                  "Plain:|200625003|No usable readings in the period|5|8|||",
              }));
    const QStringList texts = paragraphs(content);
    const qsizetype legend = texts.indexOf(QStringLiteral(
        "Red: at or above the alarm load. Amber: at or above the alert load. Green: below both. "
        "No colour: no alert or alarm load."));
    ASSERT_GE(legend, 4) << texts.join(u'\n').toStdString();
    EXPECT_EQ(texts.mid(legend - 4, 4),
              (QStringList{
                  "200625001: 1 reading in the period has a load that cannot be used (\"1e999\" "
                  "on 2026/03/13 12:00:00); it is left out of the figures and the plot.",
                  "200625001: 2 readings hold a load but have a date and time that cannot be "
                  "read; they are in no period and are left out of the figures and the plot.",
                  "200625003: 2 readings in the period have a load that cannot be used (the "
                  "latest: \"2e999 t\" on 2026/03/10 06:00:00); they are left out of the "
                  "figures and the plot.",
                  "200625003: 1 reading holds a load but has a date and time that cannot be "
                  "read; it is in no period and is left out of the figures and the plot.",
              }))
        << texts.join(u'\n').toStdString();
    EXPECT_FALSE(content.contains("200625002:"))
        << "B's is before the period or not plotted, and an ERR holds no load";
    // Plots for A and B only: C has no usable reading to draw.
    EXPECT_FALSE(unzipped(path, QStringLiteral("Pictures/Plot2.png")).isEmpty());
    EXPECT_TRUE(unzipped(path, QStringLiteral("Pictures/Plot3.png")).isEmpty());

    // The PDF says the same under its table.
    const auto built = buildWeeklyReport(*session, window.choice(), progress);
    ASSERT_TRUE(built.ok());
    EXPECT_EQ(weeklyNotes(built.value().report), texts.mid(legend - 4, 4));
}

// The figures of one row: a sensor's loads over the last 7 days of 2026/03/14 (from
// 2026/03/08 00:00), judged against its levels.
TEST(WeeklyFigures, AtTheEndsOfTheirRanges) {
    const double from = *periodStart(WeeklyPeriod::Last7Days, QDate(2026, 3, 14));
    auto t = [](const char* at) { return timeAxisValue(*readDateTime(QLatin1String(at))); };
    const std::optional<double> none;
    struct Case {
        const char* what;
        QVector<double> times, loads;
        AlarmLevels levels;
        QStringList cells;
        LoadState state;
    } cases[] = {
        {"at the alarm load",
         {t("2026/03/08 00:00:00"), t("2026/03/12 00:00:00")},
         {10, 12},
         {10.0, 12.0, none},
         {"s", "12.00", "10", "12", "100.0 %", "2.00", "0.50"},
         LoadState::Alarm},
        {"just below the alarm load",
         {t("2026/03/13 00:00:00")},
         {11.99},
         {10.0, 12.0, none},
         {"s", "11.99", "10", "12", "99.9 %", "0.00", ""},
         LoadState::Alert},
        {"a hair below the alarm load: never 100.0 %",
         {t("2026/03/13 00:00:00")},
         {11.996},
         {10.0, 12.0, none},
         {"s", "12.00", "10", "12", "99.9 %", "0.00", ""},
         LoadState::Alert},
        {"at the alert load",
         {t("2026/03/13 00:00:00")},
         {10},
         {10.0, 12.0, none},
         {"s", "10.00", "10", "12", "83.3 %", "0.00", ""},
         LoadState::Alert},
        {"just below the alert load",
         {t("2026/03/13 00:00:00")},
         {9.99},
         {10.0, 12.0, none},
         {"s", "9.99", "10", "12", "83.3 %", "0.00", ""},
         LoadState::Within},
        {"an alert load alone: no percentage",
         {t("2026/03/13 00:00:00")},
         {3},
         {10.0, none, none},
         {"s", "3.00", "10", "", "", "0.00", ""},
         LoadState::Within},
        {"an alarm load of 0: no percentage",
         {t("2026/03/13 00:00:00")},
         {0.5},
         {none, 0.0, none},
         {"s", "0.50", "", "0", "", "0.00", ""},
         LoadState::Alarm},
        {"a rate limit alone is no level",
         {t("2026/03/13 00:00:00")},
         {30},
         {none, none, 1.0},
         {"s", "30.00", "", "", "", "0.00", ""},
         LoadState::NoLevels},
        {"the first moment of the period is in it, the second before is not",
         {t("2026/03/07 23:59:59"), t("2026/03/08 00:00:00"), t("2026/03/14 00:00:00")},
         {1, 5, 2},
         {},
         {"s", "2.00", "", "", "", "-3.00", "-0.50"},
         LoadState::NoLevels},
        {"only before the period",
         {t("2026/03/07 23:59:59")},
         {20},
         {10.0, 12.0, none},
         {"s", "No readings in the period", "10", "12", "", "", ""},
         LoadState::NoLevels},
        {"no readings at all",
         {},
         {},
         {},
         {"s", "No readings in the period", "", "", "", "", ""},
         LoadState::NoLevels},
    };
    for (const Case& c : cases) {
        WeeklyRow row;
        row.sensor = QStringLiteral("s");
        row.levels = c.levels;
        row.figures = sensorFigures(c.times, c.loads, c.levels, from);
        EXPECT_EQ(weeklyCells(row), c.cells) << c.what;
        EXPECT_EQ(row.figures.state, c.state) << c.what;
    }
    // All readings: the first reading ever starts the change.
    const auto all = sensorFigures({t("2001/01/01 00:00:00"), t("2001/01/03 00:00:00")}, {1, 2}, {},
                                   periodStart(WeeklyPeriod::AllReadings, QDate(2026, 3, 14)));
    EXPECT_EQ(all.change, 1.0);
    EXPECT_EQ(all.risePerDay, 0.5);
}

TEST(WeeklyFileName, NamesTheChoiceAndTheDayWithoutCharactersAFileNameCannotHold) {
    using Kind = WeeklyChoice::Kind;
    auto named = [](Kind kind, const char* name) {
        WeeklyChoice choice;
        choice.kind = kind;
        choice.name = QString::fromUtf8(name);
        return weeklyFileName(choice, QDate(2026, 12, 8));
    };
    EXPECT_EQ(named(Kind::Level, " Level 3 "), "Weekly report Level 3 2026-12-08");
    EXPECT_EQ(named(Kind::Location, "Drive 4/5: \"N\" *?<>|\\"),
              "Weekly report Drive 4-5- -N- ------ 2026-12-08");
    EXPECT_EQ(named(Kind::BeyondLevels, "Level 3"), "Weekly report beyond levels 2026-12-08");
}

TEST(WeeklyDocument, ThreeHundredSensorsTakeFewerThanSixtyPages) {
    QImage plot(700, 430, QImage::Format_RGB32);
    plot.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && plot.save(&buffer, "PNG"));
    WeeklyReport report;
    report.title = QStringLiteral("Weekly report");
    report.heading << QStringLiteral("Level: Level 3");
    for (int n = 1; n <= 300; ++n) {
        WeeklyRow row;
        row.sensor = QString::number(200625000 + n);
        row.levels = {10.0, 12.0, std::nullopt};
        row.figures = sensorFigures({0, 86400}, {n / 30.0, n / 25.0}, row.levels, std::nullopt);
        report.rows.push_back(row);
        report.plots.push_back({row.sensor, png});
    }
    QTemporaryDir dir;
    const auto pages = writeWeeklyReport(report, dir.filePath(QStringLiteral("300.pdf")));
    ASSERT_TRUE(pages.ok());
    EXPECT_LT(pages.value(), 60);
    // Eight plots to a page after the table's pages.
    EXPECT_GE(pages.value(), 38 + 1);
}

class WeeklyReportButtonTest : public MainWindowTest {};

TEST_F(WeeklyReportButtonTest, TheUtilitiesButtonOpensTheWindow) {
    addSensorRow(kA);
    ASSERT_TRUE(start());
    window->SSTab1->setCurrentIndex(5);
    EXPECT_EQ(window->utilities->cmdWeeklyReport->text(), "Weekly report...");
    QString title;
    bool beyond = false;
    QTimer::singleShot(0, [&] {
        if (auto* w = qobject_cast<frmWeeklyReport*>(QApplication::activeModalWidget())) {
            title = w->windowTitle();
            beyond = w->optBeyond->isChecked() && !w->optLevel->isEnabled();
            w->cmdCancel->click();
        }
    });
    window->utilities->cmdWeeklyReport->click();
    EXPECT_EQ(title, "Weekly report");
    EXPECT_TRUE(beyond) << "without Levels, the sensors beyond their levels are chosen";
}

} // namespace
