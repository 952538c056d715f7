// The frame of the main window: placing the tab control, help, web site and About.
#include "app/Placement.h"
#include "app/UtilitiesTab.h"
#include "app/frmSplash.h"
#include "sensors/SensorTabs.h"
#include "store/Provisioning.h"
#include "tests/support/MainWindow.h"
#include <QFile>
#include <QTabWidget>

using namespace rv;
using namespace rv::test;

namespace {

TEST(Placement, LoadAndResizeRules) {
    // 1024 x 768 pixels at 15 twips a pixel.
    const QSize screen(15360, 11520);
    EXPECT_EQ(formLoadTabPosition(screen, QSize(12000, 9000)), QPoint(1680, 1135));
    EXPECT_EQ(formLoadTabPosition(QSize(1001, 1001), QSize(0, 0)), QPoint(500, 375))
        << "halved toward zero";
    EXPECT_EQ(formLoadTabPosition(QSize(100, 100), QSize(201, 201)), QPoint(-50, -175))
        << "negative halves truncate toward zero";
    EXPECT_FALSE(resizeTabPosition(WindowState::Minimized, screen, QSize(100, 100)));
    EXPECT_EQ(resizeTabPosition(WindowState::Maximized, screen, QSize(11700, 8400)),
              QPoint(1830, 1560));
    EXPECT_EQ(resizeTabPosition(WindowState::Normal, screen, QSize(11700, 8400)), QPoint(120, 120));
}

class WindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(QStringLiteral("200525001"));
        ASSERT_TRUE(start());
    }
};

TEST_F(WindowTest, RestoredWindowPutsTheTabsAt120Twips) {
    window->show();
    window->resize(900, 700);
    const int px = 120 / frmRockvane::twipsPerPixel();
    EXPECT_EQ(window->SSTab1->pos(), QPoint(px, px));
}

TEST_F(WindowTest, HelpOpensTheManualInTheDataFolderAndAMissingOneFailsSilently) {
    window->utilities->Label66->click();
    ASSERT_EQ(desktop.openedFiles.size(), 1);
    EXPECT_EQ(desktop.openedFiles[0], dataFolder + QStringLiteral("/") + kManualFileName);
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(WindowTest, WebSiteAndAbout) {
    window->utilities->imgInternet->click();
    window->utilities->Label40->click();
    EXPECT_EQ(desktop.openedAddresses, QStringList({kWebSite, kWebSite}));

    window->utilities->Label29->click();
    ASSERT_TRUE(window->splash->isVisible());
    EXPECT_EQ(window->splash->lblVersion->text(),
              QStringLiteral("Version ") + QStringLiteral(ROCKVANE_TEST_VERSION));
    EXPECT_EQ(window->splash->Command1->text(), "OK");
    window->splash->Command1->click();
    EXPECT_FALSE(window->splash->isVisible());
    window->utilities->imgAbout->click();
    EXPECT_TRUE(window->splash->isVisible()) << "the next About shows it again";
    window->splash->Command1->click();
}

TEST_F(WindowTest, ClosingSavesTheSensorAndClosesTheDatabase) {
    window->installation->txtLevel->setText(QStringLiteral("  L12  "));
    window->close();
    window->Form_Terminate();
    EXPECT_FALSE(s().gConnection.isOpen());
    EXPECT_FALSE(s().rsSensors.isOpen());
    EXPECT_EQ(scalar(QStringLiteral("SELECT Level FROM Sensors")).toString(), "L12");
}

} // namespace
