// The import as the user starts it from the "3. Readings" tab of the real main window:
// the picture button, the interval typed beside it, the modal import window, and the
// Readings tab afterwards.
#include "import/StagedRowsModel.h"
#include "import/frmSlugData.h"
#include "readings/ReadingsTab.h"
#include "tests/TestPaths.h"
#include "tests/support/MainWindow.h"
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200625001");

class ImportWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(kId);
        download = tmp.path() + QStringLiteral("/download");
        ASSERT_TRUE(QDir().mkpath(download));
    }
    void addReading(const char* dateTime, const char* load) {
        addReadings(kId, {ReadingRow::at(kId, QString::fromLatin1(dateTime))
                              .channel1(QString::fromLatin1(load))});
    }
    void startOnReadings() {
        ASSERT_TRUE(start());
        window->show();
        window->SSTab1->setCurrentIndex(2);
    }
    ReadingsTab& tab() { return *window->readings; }
    QString sampleFile(const QString& name) {
        const QString path = download + QStringLiteral("/200625001.txt");
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QStringLiteral(ROCKVANE_TEST_DATA "/import/") + name, path));
        return path;
    }
    // Runs `drive` on the import window as soon as it is shown (modally, by the program).
    void whenShown(std::function<void(frmSlugData&)> drive) {
        auto* timer = new QTimer(window.get());
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, drive] {
            auto* w = window->findChild<frmSlugData*>();
            if (!w || !w->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            drive(*w);
        });
        timer->start();
    }
    // Picks "YYYY/MM/DD" and appends, answering Yes.
    void appendWhenShown() {
        whenShown([this](frmSlugData& w) {
            w.optDateFormat[0]->click();
            dialogs.answerYes();
            w.cmdAppend->click();
        });
    }
    QString download;
};

TEST_F(ImportWindowTest, AnImportFromTheTabShowsTheReadingThatWasShownBefore) {
    addReading("2005/03/20 00:00:00", "50.00");
    addReading("2005/03/21 00:00:00", "51.00");
    startOnReadings();
    EXPECT_EQ(tab().txtRcount->text(), "2 of 2");
    tab().imgFirst->click();
    tab().txtChannel_1->setText(QStringLiteral("55")); // an edit not yet written back
    tab().cboSlugInt->setCurrentText(QStringLiteral("24"));

    dialogs.fileAnswer(sampleFile(QStringLiteral("six-hourly.txt")));
    appendWhenShown();
    tab().imgAddSlugData->click();

    dialogs.expect(QStringLiteral("All the checked data will be added to sensor:  200625001 ?"),
                   kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 3 records appended to 200625001"));
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT Channel1 FROM `%1` WHERE FullDate = '2005-03-20'").arg(kId))
            .toString(),
        "55.00")
        << "the reading shown is written back before the import";
    // The first reading was shown: the first reading is shown again, now an imported one.
    EXPECT_EQ(tab().txtRcount->text(), "1 of 5");
    EXPECT_EQ(tab().txtReadingID->text(), "200625001 2005/03/14 00:00:00");
    EXPECT_EQ(tab().txtChannel_1->text(), "101.55");
    EXPECT_EQ(tab().txtChannelT->text(), "12.4");
    EXPECT_EQ(logEntries(), 0);

    // The working copy stays until the tab is entered again.
    const QString workCopy = dataFolder + QStringLiteral("/datafile.txt");
    EXPECT_TRUE(QFile::exists(workCopy));
    window->SSTab1->setCurrentIndex(1);
    window->SSTab1->setCurrentIndex(2);
    EXPECT_FALSE(QFile::exists(workCopy));
}

TEST_F(ImportWindowTest, ASensorWithoutReadingsShowsTheLastImportedOneWithTheTabsInterval) {
    startOnReadings();
    EXPECT_EQ(tab().txtRcount->text(), "0 of 0");
    tab().cboSlugInt->setCurrentText(QStringLiteral("1"));
    dialogs.fileAnswer(sampleFile(QStringLiteral("six-hourly.txt")));
    appendWhenShown();
    tab().imgAddSlugData->click();
    dialogs.expect(QStringLiteral("All the checked data will be added to sensor:  200625001 ?"),
                   kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 12 records appended to 200625001"));
    EXPECT_EQ(tab().txtRcount->text(), "12 of 12");
    EXPECT_EQ(tab().txtReadingID->text(), "200625001 2005/03/16 18:00:00");
    EXPECT_TRUE(tab().lblError->isHidden());
}

TEST_F(ImportWindowTest, TheReadmesFirstImportOfTheSampleFile) {
    startOnReadings();
    EXPECT_EQ(tab().cboSlugInt->currentText(), "24");
    const QString path = download + QStringLiteral("/200625001.txt");
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(ROCKVANE_TEST_DATA "/../../samples/200625001.txt"), path));
    dialogs.fileAnswer(path);
    whenShown([this](frmSlugData& w) {
        EXPECT_EQ(w.grid().rowCount(), 369);
        w.optDateFormat[0]->click();
        dialogs.answerYes();
        w.cmdAppend->click();
    });
    tab().imgAddSlugData->click();
    dialogs.expect(QStringLiteral("All the checked data will be added to sensor:  200625001 ?"),
                   kAppTitle, Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 92 records appended to 200625001"));
    EXPECT_EQ(tab().txtRcount->text(), "92 of 92");
    EXPECT_EQ(tab().txtReadingID->text(), "200625001 2005/06/13 00:00:00");
}

TEST_F(ImportWindowTest, TheCaptionBesideTheButtonDoesNotStartAnImport) {
    startOnReadings();
    QTest::mouseClick(tab().lblImport, Qt::LeftButton);
    EXPECT_TRUE(dialogs.fileRequests.empty());
    // Closing the import window any other way imports nothing and still refreshes the tab.
    dialogs.fileAnswer(sampleFile(QStringLiteral("six-hourly.txt")));
    whenShown([](frmSlugData& w) { w.close(); });
    tab().imgAddSlugData->click();
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(tab().txtRcount->text(), "0 of 0");
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt(), 0);
}

// On a site server, a reading another engineer changed since it was shown is not saved
// over as an import starts: the values typed stay in the boxes and no import starts.
class ImportWindowOnServer : public ImportWindowTest {
    StoreEngine engine() const override { return StoreEngine::Server; }
};

TEST_F(ImportWindowOnServer, ASaveRefusedForAnotherKeepsTheValuesTypedAndStartsNoImport) {
    addReading("2005/03/20 00:00:00", "50.00");
    startOnReadings();
    Connection other;
    openAsAnotherEngineer(other);
    const std::function<void()> clicks[] = {[this] { tab().imgAddSlugData->click(); },
                                            [this] { tab().cmdImportFolder->click(); }};
    for (const auto& click : clicks) {
        ASSERT_TRUE(other.execute("UPDATE `200625001` SET Channel1 = Channel1 || '1'").ok());
        tab().txtChannel_1->setText(QStringLiteral("3"));
        click();
        EXPECT_EQ(dialogs.take().title.toStdString(), "Site server");
        EXPECT_TRUE(dialogs.fileRequests.empty());
        EXPECT_EQ(tab().txtChannel_1->text().toStdString(), "3");
    }
}

} // namespace
