// The comparison window driven as a user drives it: ticking sensors, taking every sensor
// on a Level or at a Location, what the plot then shows (one curve per sensor with the
// loads of "4. Load v Time", the legend, each sensor's level lines in its colour), the
// sensors left out and why, zooming and hiding, the export, and the Utilities tab's
// button that opens it.
#include "alarms/AlarmStore.h"
#include "app/UtilitiesTab.h"
#include "compare/ComparePlot.h"
#include "compare/frmCompare.h"
#include "core/DateText.h"
#include "graphs/GraphData.h"
#include "tests/support/DataFolder.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace rv {
// Level lines in a failed comparison, readable.
inline void PrintTo(const LevelLine& l, std::ostream* os) {
    *os << "{" << l.value << ", " << l.colour.name().toStdString() << ", " << int(l.style) << ", "
        << l.width << ", \"" << l.label.toStdString() << "\"}";
}
} // namespace rv

using namespace rv;
using namespace rv::test;

namespace {

const QString kA = QStringLiteral("200625001"); // Level 12, Crusher chamber, offset 0.1
const QString kB = QStringLiteral("200625002"); // "Level 12 ", North drive, offset 0
const QString kC = QStringLiteral("200625003"); // Level 2, Crusher chamber, no offset
const QString kD = QStringLiteral("200625004"); // Level 14, North drive, no readings table

double at(const char* dateTime) {
    return timeAxisValue(*readDateTime(QLatin1String(dateTime)));
}

class CompareTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        sensor(kA, "Level 12", "Crusher chamber", "0.1");
        sensor(kB, "Level 12 ", "North drive", "0");
        sensor(kC, "Level 2", "Crusher chamber", "NULL");
        sensor(kD, "Level 14", "North drive", "NULL");
        execSql(QStringLiteral("DROP TABLE `%1`").arg(kD));
        addReading(kA, "2026/01/05 06:00:00", "12.50");
        addReading(kA, "2026/01/06 06:00:00", "13.00", 1);
        addReading(kA, "2026/01/07 06:00:00", "11.00");
        addReading(kB, "2026/01/08 00:00:00", "3.5");
        addReading(kB, "2026/01/04 00:00:00", "2.5");
        addReading(kC, "2026/01/05 00:00:00", "1");
        addReading(kC, "2026/01/06 00:00:00", "2");
        openStore();
        ASSERT_TRUE(ensureAlarmTable(session->gConnection).ok());
        ASSERT_TRUE(saveAlarmLevels(session->gConnection, kA, {10.0, 14.0, 1.5}).ok());
        ASSERT_TRUE(
            saveAlarmLevels(session->gConnection, kB, {5.0, std::nullopt, std::nullopt}).ok());
    }
    void sensor(const QString& id, const char* level, const char* location, const char* recess) {
        addSensorRow(id);
        execSql(QStringLiteral("UPDATE Sensors SET Level = '%2', Location = '%3', Recess = %4 "
                               "WHERE InstrumentID = '%1'")
                    .arg(id, QLatin1String(level), QLatin1String(location), QLatin1String(recess)));
    }
    void addReading(const QString& id, const char* dateTime, const char* load, int doNotPlot = 0) {
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(dateTime))
                             .channel1(QString::fromLatin1(load))
                             .doNotPlot(doNotPlot)});
    }
    frmCompare& window() {
        if (!m_window) {
            m_window = std::make_unique<frmCompare>(*session);
            m_window->setProgress(&progress);
            m_window->show();
        }
        return *m_window;
    }
    ComparePlot& plot() { return *window().ChartCompare; }
    void tick(const QStringList& ids) {
        for (int i = 0; i < window().lstSensors->count(); ++i) {
            QListWidgetItem* item = window().lstSensors->item(i);
            if (ids.contains(item->data(Qt::UserRole).toString())) item->setCheckState(Qt::Checked);
        }
    }
    void choose(QComboBox* box, const QString& text) {
        const int index = box->findText(text);
        ASSERT_GE(index, 1) << text.toStdString();
        box->setCurrentIndex(index);
    }
    QVector<double> keys(int n) {
        QVector<double> v;
        for (auto it = plot().curve(n)->data()->constBegin();
             it != plot().curve(n)->data()->constEnd(); ++it)
            v << it->key;
        return v;
    }
    QVector<double> values(int n) {
        QVector<double> v;
        for (auto it = plot().curve(n)->data()->constBegin();
             it != plot().curve(n)->data()->constEnd(); ++it)
            v << it->value;
        return v;
    }
    int tables(const QString& id) {
        return scalar(
                   QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = '%1'").arg(id))
            .toInt();
    }

    RecordingProgress progress;
    std::unique_ptr<frmCompare> m_window;
};

// On the database file and on a site server database alike.
using CompareOnEachEngine = OnEachEngine<CompareTest>;

TEST_P(CompareOnEachEngine, TwoTickedSensorsAreDrawnWithTheLoadsOfTheirPlotsAndTheirLevels) {
    EXPECT_EQ(window().lstSensors->count(), 4) << "every sensor is offered";
    EXPECT_FALSE(window().cmdExport->isEnabled()) << "nothing to export yet";
    tick({kA, kB});
    window().cmdPlot->click();

    EXPECT_EQ(plot().sensorNames(), (QStringList{kA, kB}));
    EXPECT_EQ(plot().legend->itemCount(), 2);
    EXPECT_EQ(plot().titleText(), "2 sensors");
    // The plot's own loads: channel 1 less the stored offset as the offset box shows it
    // (0.10, narrowed as the plot narrows it); the reading marked "do not plot" left out.
    EXPECT_EQ(keys(0), (QVector<double>{at("2026/01/05 06:00:00"), at("2026/01/07 06:00:00")}));
    EXPECT_EQ(values(0), (QVector<double>{12.50 - double(0.10f), 11.00 - double(0.10f)}));
    EXPECT_EQ(keys(1), (QVector<double>{at("2026/01/04 00:00:00"), at("2026/01/08 00:00:00")}))
        << "in time order";
    EXPECT_EQ(values(1), (QVector<double>{2.5, 3.5}));
    EXPECT_EQ(plot().curve(0)->pen().color(), ComparePlot::sensorColour(0));
    EXPECT_EQ(plot().curve(1)->pen().color(), ComparePlot::sensorColour(1));
    EXPECT_NE(ComparePlot::sensorColour(0), ComparePlot::sensorColour(1));

    const QColor a = ComparePlot::sensorColour(0), b = ComparePlot::sensorColour(1);
    EXPECT_EQ(plot().levelLinesOf(0),
              (std::vector<LevelLine>{{10, a, Qt::DashLine, 1.5, kA + ": Alert 10 t"},
                                      {14, a, Qt::DashLine, 2.0, kA + ": Alarm 14 t"}}));
    EXPECT_EQ(plot().levelLinesOf(1),
              (std::vector<LevelLine>{{5, b, Qt::DashLine, 1.5, kB + ": Alert 5 t"}}));
    // The axes: the whole time span; loads from 0 to a little above the highest, the
    // alarm line at 14 tons above them is not let widen the scale.
    EXPECT_EQ(plot().xAxis->range(),
              QCPRange(at("2026/01/04 00:00:00"), at("2026/01/08 00:00:00")));
    EXPECT_EQ(plot().yAxis->range().lower, 0);
    EXPECT_NEAR(plot().yAxis->range().upper, 12.4 + 12.4 / 20, 1e-6);
    const QVector<QString> dates = plot().xAxis->tickVectorLabels();
    EXPECT_GE(dates.size(), 2) << "the days are labelled from the first drawing";
    for (const QString& date : dates)
        EXPECT_TRUE(readDate(date).has_value()) << date.toStdString();
    EXPECT_EQ(window().lblNote->text(), "");
    EXPECT_TRUE(window().cmdExport->isEnabled());
    EXPECT_EQ(progress.labels, QStringList{"Reading the loads of 2 sensors"});
    EXPECT_EQ(progress.lastDone, 2);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, CompareOnEachEngine, bothEngines(), engineName);

TEST_F(CompareTest, ChoosingALevelTicksAndDrawsEverySensorOnIt) {
    QStringList levels;
    for (int i = 0; i < window().cboLevel->count(); ++i)
        levels << window().cboLevel->itemText(i);
    EXPECT_EQ(levels, (QStringList{"(choose)", "Level 2", "Level 12", "Level 14"}))
        << "in natural order, blanks at the ends ignored";
    tick({kC});
    choose(window().cboLevel, QStringLiteral("Level 12"));
    EXPECT_EQ(window().tickedSensors(), (QStringList{kA, kB})) << "exactly the Level's sensors";
    EXPECT_EQ(plot().sensorNames(), (QStringList{kA, kB}));
    EXPECT_EQ(plot().titleText(), "All sensors on Level 12");

    // The one sensor on Level 14 has no readings table: it is left out, noted, and its
    // table is not made.
    choose(window().cboLevel, QStringLiteral("Level 14"));
    EXPECT_EQ(window().tickedSensors(), QStringList{kD});
    EXPECT_EQ(plot().sensorNames(), QStringList());
    EXPECT_EQ(window().lblNote->text(), "Left out: 200625004 (no readings table).");
    EXPECT_EQ(tables(kD), 0);
    EXPECT_FALSE(window().cmdExport->isEnabled());
}

TEST_F(CompareTest, ChoosingALocationTicksAndDrawsEverySensorThere) {
    choose(window().cboLevel, QStringLiteral("Level 2"));
    choose(window().cboLocation, QStringLiteral("Crusher chamber"));
    EXPECT_EQ(window().cboLevel->currentIndex(), 0) << "one choice at a time";
    EXPECT_EQ(window().tickedSensors(), (QStringList{kA, kC}));
    EXPECT_EQ(plot().sensorNames(), (QStringList{kA, kC}));
    EXPECT_EQ(plot().titleText(), "All sensors at Crusher chamber");
    EXPECT_EQ(values(1), (QVector<double>{1, 2})) << "no offset stored: none subtracted";
    EXPECT_TRUE(plot().levelLinesOf(1).empty()) << "a sensor without levels has no lines";
    EXPECT_EQ(plot().levelLinesOf(0).size(), 2u);

    choose(window().cboLocation, QStringLiteral("North drive"));
    EXPECT_EQ(plot().sensorNames(), QStringList{kB});
    EXPECT_EQ(window().lblNote->text(), "Left out: 200625004 (no readings table).");
}

TEST_F(CompareTest, SensorsThatCannotBeDrawnAreLeftOutAndNoted) {
    const QString broken = QStringLiteral("200625005"), empty = QStringLiteral("200625006");
    addSensorRow(broken);
    addSensorRow(empty);
    execSql(QStringLiteral("DROP TABLE `%1`; CREATE TABLE `%1` (Something TEXT)").arg(broken));
    addReading(empty, "2026/01/05 00:00:00", "4", 1);
    session->gConnection.forgetColumns();
    tick({kA, kD, broken, empty, kC});
    window().cmdPlot->click();
    EXPECT_EQ(plot().sensorNames(), (QStringList{kA, kC}));
    EXPECT_EQ(window().lblNote->text(),
              "Left out: 200625004 (no readings table), 200625005 (its readings could not be "
              "read), 200625006 (no plottable readings).");
    EXPECT_EQ(logEntries(), 1) << "the unreadable table is logged";
    EXPECT_TRUE(logText().contains(" G_CompareSensors"));
    EXPECT_EQ(tables(kD), 0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(broken)).toInt(), 0);
}

TEST_F(CompareTest, DatesInOtherFormsArePlacedAsThePlotPlacesThemAndUnreadableOnesLeftOut) {
    // Written by another program: a time without its leading zero, and a month that does
    // not exist; the readings table's checks let both through.
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, FullDate, Channel1, DoNotPlot) "
                           "VALUES ('k1', '2026-01-05 7:05', '1.5', 0), ('k2', '2026-13-45', "
                           "'9', 0)")
                .arg(kC));
    tick({kC});
    window().cmdPlot->click();
    EXPECT_EQ(keys(0), (QVector<double>{at("2026/01/05 00:00:00"), at("2026/01/05 07:05:00"),
                                        at("2026/01/06 00:00:00")}));
    EXPECT_EQ(values(0), (QVector<double>{1, 1.5, 2}));
    EXPECT_EQ(plot().titleText(), "Sensor 200625003");
}

TEST_F(CompareTest, ReadingsWithoutALoadAreLeftOutAndAMidnightReadingPlacedAtMidnight) {
    // Empty, Null, a logger's "ERR" and a reading added today without a load; the
    // midnight reading is stored with its date alone.
    addReading(kC, "2026/01/05 12:00:00", "");
    addReading(kC, "2026/01/06 12:00:00", "ERR");
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, FullDate, DoNotPlot) VALUES ('n', "
                           "'2026-01-06 18:00:00', 0)")
                .arg(kC));
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, FullDate, Channel1, "
                           "DoNotPlot) VALUES ('m', '2026-01-07', '2026-01-07', '4', 0)")
                .arg(kC));
    addReading(kC, "2026/03/14 10:00:00", "");
    tick({kC});
    window().cmdPlot->click();
    EXPECT_EQ(keys(0), (QVector<double>{at("2026/01/05 00:00:00"), at("2026/01/06 00:00:00"),
                                        at("2026/01/07 00:00:00")}));
    EXPECT_EQ(values(0), (QVector<double>{1, 2, 4})) << "no load of 0 among them";
    EXPECT_EQ(plot().xAxis->range().upper, at("2026/01/07 00:00:00"));
    EXPECT_EQ(plot().yAxis->range().lower, 0);

    // A sensor whose every reading lacks a load has nothing to plot.
    execSql(QStringLiteral("UPDATE `%1` SET Channel1 = 'ERR'").arg(kB));
    tick({kB});
    window().cmdPlot->click();
    EXPECT_EQ(plot().sensorNames(), QStringList{kC});
    EXPECT_EQ(window().lblNote->text(), "Left out: 200625002 (no plottable readings).");
}

TEST_F(CompareTest, OnADatabaseThatCanOnlyBeReadTheSensorsAreComparedAsEver) {
    session->gConnection.close();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(session->gConnection.open(databasePath).ok());
    tick({kA, kB});
    window().cmdPlot->click();
    EXPECT_EQ(plot().sensorNames(), (QStringList{kA, kB}));
    EXPECT_EQ(values(0), (QVector<double>{12.50 - double(0.10f), 11.00 - double(0.10f)}));
    EXPECT_EQ(plot().levelLinesOf(1).size(), 1u) << "the levels stored before are read";
    EXPECT_EQ(window().lblNote->text(), "");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(CompareTest, BeforeAnythingIsPlottedThePlotIsEmptyWithAHint) {
    const QString hint = "Tick sensors in the list, then click \"Plot ticked sensors\",\nor "
                         "choose one in \"All sensors on Level\" or \"All sensors at "
                         "Location\".";
    EXPECT_EQ(plot().hint(), hint);
    EXPECT_EQ(window().cmdPlot->text(), "Plot ticked sensors") << "the caption the hint names";
    plot().replot();
    EXPECT_TRUE(plot().xAxis->tickVectorLabels().isEmpty()) << "no date of 1970";
    EXPECT_FALSE(plot().xAxis->tickLabels());
    EXPECT_FALSE(plot().yAxis->tickLabels());
    EXPECT_EQ(plot().xAxis->label(), "");

    tick({kC});
    window().cmdPlot->click();
    EXPECT_EQ(plot().hint(), "");
    EXPECT_TRUE(plot().xAxis->tickLabels());
    choose(window().cboLevel, QStringLiteral("Level 14")); // its one sensor has no table
    EXPECT_EQ(plot().hint(),
              "None of the chosen sensors could be plotted:\nthe note under the list says why.");
    window().cmdUntick->click();
    window().cmdPlot->click();
    EXPECT_EQ(plot().hint(), hint);
}

TEST_F(CompareTest, NothingTickedSaysWhatToDo) {
    window().cmdPlot->click();
    EXPECT_EQ(window().lblNote->text(),
              "Tick the sensors to compare, or choose a Level or a Location.");
    EXPECT_EQ(plot().graphCount(), 0);
    EXPECT_TRUE(progress.labels.isEmpty());
    tick({kA});
    window().cmdUntick->click();
    EXPECT_TRUE(window().tickedSensors().isEmpty());
}

TEST_F(CompareTest, ACancelKeepsTheSensorsReadSoFar) {
    progress.cancelAt = 1;
    tick({kA, kB, kC});
    window().cmdPlot->click();
    EXPECT_EQ(plot().sensorNames(), QStringList{kA});
    EXPECT_EQ(window().lblNote->text(), "Stopped after 1 of 3 sensors: only those are drawn.");
}

TEST_F(CompareTest, TheWheelZoomsADragMovesAndTheLegendHidesASensor) {
    tick({kA, kB});
    window().cmdPlot->click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    ComparePlot& p = plot();
    p.replot();
    const QCPRange whole = p.xAxis->range();
    const QPoint centre = p.axisRect()->rect().center();
    QWheelEvent wheel(centre, p.mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&p, &wheel);
    EXPECT_LT(p.xAxis->range().size(), whole.size()) << "the wheel zooms in";

    const QCPRange zoomed = p.xAxis->range();
    QTest::mousePress(&p, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(&p, centre + QPoint(60, 0));
    QTest::mouseRelease(&p, Qt::LeftButton, Qt::NoModifier, centre + QPoint(60, 0));
    EXPECT_LT(p.xAxis->range().lower, zoomed.lower) << "dragging right shows earlier times";

    window().cmdWhole->click();
    EXPECT_EQ(p.xAxis->range(), whole);

    p.replot();
    const QRect entry = p.legend->itemWithPlottable(p.curve(0))->outerRect();
    QTest::mouseClick(&p, Qt::LeftButton, Qt::NoModifier, entry.center());
    EXPECT_FALSE(p.curve(0)->visible());
    EXPECT_TRUE(p.curve(1)->visible());
    p.setSensorShown(0, true);
    EXPECT_TRUE(p.curve(0)->visible());
}

TEST_F(CompareTest, ExportWritesAJpegWhereTheUserSaysAndAFailureSaysSo) {
    tick({kA, kB});
    window().cmdPlot->click();
    const QString path = tmp.path() + QStringLiteral("/pictures/levels 12");
    ASSERT_TRUE(QDir().mkpath(tmp.path() + QStringLiteral("/pictures")));
    dialogs.fileAnswer(path);
    window().cmdExport->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_TRUE(dialogs.fileRequests[0].save);
    EXPECT_EQ(dialogs.fileRequests[0].folder, dataFolder + "/Comparison.jpg");
    const QString written = path + ".jpg";
    QImageReader reader(written);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_GT(reader.size().width(), 400);
    EXPECT_EQ(desktop.openedFiles, QStringList{written});

    const QString nowhere = tmp.path() + QStringLiteral("/no such folder/comparison.jpg");
    dialogs.fileAnswer(nowhere);
    window().cmdExport->click();
    dialogs.expect("The comparison could not be saved as " + nowhere +
                       "\r\nCheck that the folder can be written to and that the picture is "
                       "not open in another program.",
                   kTitle, Icon::Exclamation);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_EQ(desktop.openedFiles.size(), 1);

    dialogs.fileAnswer(QString()); // cancelled
    window().cmdExport->click();
    EXPECT_EQ(desktop.openedFiles.size(), 1);
}

TEST_F(CompareTest, TheExportedPictureHoldsTheWholeLegend) {
    QStringList ids;
    for (int i = 5; i < 30; ++i) {
        const QString id = QStringLiteral("2006250%1").arg(i, 2, 10, QLatin1Char('0'));
        addSensorRow(id);
        addReading(id, "2026/01/05 06:00:00", "1");
        addReading(id, "2026/01/06 06:00:00", "2");
        ids << id;
    }
    for (const int width : {1150, 800}) {
        m_window.reset();
        window().resize(width, 680);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        tick(ids);
        window().cmdPlot->click();
        ComparePlot& p = plot();
        const QImage picture = p.picture();
        // The legend as it was laid out for the picture: every line whole inside it.
        const QRect whole(QPoint(0, 0), picture.size());
        int lines = 0;
        for (int i = 0; i < p.legend->itemCount(); ++i)
            if (const QCPAbstractLegendItem* line = p.legend->item(i)) {
                ++lines;
                EXPECT_TRUE(whole.contains(line->outerRect()))
                    << "line " << i << " at width " << width;
            }
        EXPECT_EQ(lines, 25);
        EXPECT_TRUE(whole.adjusted(1, 1, -1, -1).contains(p.legend->outerRect()))
            << "its frame off the edges, at width " << width;
    }
}

TEST_F(CompareTest, WithoutAPictureViewerTheExportSaysWhereThePictureWasWritten) {
    tick({kA});
    window().cmdPlot->click();
    desktop.opens = false;
    const QString path = tmp.path() + QStringLiteral("/comparison.jpg");
    dialogs.fileAnswer(path);
    window().cmdExport->click();
    dialogs.expect("The file was written to\r\n" + QDir::toNativeSeparators(path) +
                       "\r\nbut no program could be started to open it.",
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(QImageReader(path).format(), "jpeg");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains("No program could open " + QDir::toNativeSeparators(path) +
                                   " cmdExport_Click"));
}

TEST(CompareChoices, LevelsAndLocationsAreOfferedOnceEachInNaturalOrder) {
    std::vector<ComparedSensor> sensors;
    const char* levels[] = {"Level 12", "Level 2", "", "Level 2", "B1", "a10", "A9", "Level 012"};
    int n = 0;
    for (const char* level : levels)
        sensors.push_back({QString::number(200625001 + n++), QLatin1String(level),
                           QStringLiteral("Stope %1").arg(10 - n), QString(), false});
    EXPECT_EQ(levelsOf(sensors),
              (QStringList{"A9", "a10", "B1", "Level 2", "Level 012", "Level 12"}));
    EXPECT_EQ(locationsOf(sensors).first(), "Stope 2");
    EXPECT_EQ(locationsOf(sensors).last(), "Stope 9");
    EXPECT_EQ(sensorsOnLevel(sensors, QStringLiteral(" Level 2 ")),
              (QStringList{"200625002", "200625004"}));
    EXPECT_EQ(sensorsOnLevel(sensors, QString()), QStringList()) << "no Level is no choice";
    EXPECT_EQ(sensorsAtLocation(sensors, QStringLiteral("Stope 9")), QStringList{"200625001"});
}

TEST(CompareChoices, ALevelOrLocationIsOneWhateverItsLetterCase) {
    // As the sensor filter takes them: "level 12" and "LEVEL 12 " are Level 12.
    const std::vector<ComparedSensor> sensors{{"200625001", "Level 12", "North drive", {}, false},
                                              {"200625002", "LEVEL 12", "north Drive", {}, false},
                                              {"200625003", "level 12", "Crusher", {}, false},
                                              {"200625004", "Level 2", "NORTH DRIVE", {}, false}};
    const auto text = [](const QStringList& l) { return l.join(u'|').toStdString(); };
    EXPECT_EQ(text(levelsOf(sensors)), "Level 2|Level 12");
    EXPECT_EQ(text(locationsOf(sensors)), "Crusher|North drive");
    EXPECT_EQ(text(sensorsOnLevel(sensors, QStringLiteral("level 12 "))),
              "200625001|200625002|200625003");
    EXPECT_EQ(text(sensorsAtLocation(sensors, QStringLiteral("North Drive"))),
              "200625001|200625002|200625004");
}

TEST(CompareColours, FiftySensorsEachHaveAColourOfTheirOwn) {
    QSet<QRgb> seen;
    for (int n = 0; n < 50; ++n) {
        const QColor c = ComparePlot::sensorColour(n);
        EXPECT_TRUE(c.isValid());
        EXPECT_LT(c.lightness(), 200) << "visible on white: sensor " << n;
        seen.insert(c.rgb());
    }
    EXPECT_EQ(seen.size(), 50);
}

TEST(CompareScale, TheLoadAxisHoldsEveryOrdinaryLoadBesideAnAbsurdOne) {
    // A logger's absurd reading on one sensor must not push the others' loads off the view.
    for (const double absurd : {1e300, -1e300}) {
        ComparePlot plot;
        plot.draw({SensorCurve{QStringLiteral("A"), {0, 3600}, {5, absurd}, {}},
                   SensorCurve{QStringLiteral("B"), {0, 3600}, {12, 14}, {}}},
                  QStringLiteral("2 sensors"));
        for (const double load : {5.0, 12.0, 14.0})
            EXPECT_TRUE(plot.yAxis->range().contains(load)) << absurd << " " << load;
    }
}

class CompareFromUtilitiesTest : public MainWindowTest {};

TEST_F(CompareFromUtilitiesTest, TheUtilitiesTabOpensTheWindowOnEverySensor) {
    addSensorRow(kA);
    addSensorRow(kB);
    ASSERT_TRUE(start());
    window->show();
    window->SSTab1->setCurrentIndex(5);
    int listed = -1;
    QString title;
    QTimer::singleShot(0, [&] {
        if (frmCompare* w = window->compareWindow()) {
            listed = w->lstSensors->count();
            title = w->windowTitle();
            w->cmdClose->click();
        }
    });
    window->utilities->lblCompare->click();
    EXPECT_EQ(listed, 2);
    EXPECT_EQ(title, "Compare sensors");
    EXPECT_EQ(window->compareWindow(), nullptr) << "closed";
    EXPECT_EQ(window->utilities->lblCompare->text(), "Compare sensors on one plot...");
}

} // namespace
