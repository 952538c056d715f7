// The frame of the main window: placing the tab control, help, web site and About.
#include "app/Placement.h"
#include "app/UtilitiesTab.h"
#include "app/frmSplash.h"
#include "maintenance/BackupGroup.h"
#include "sensors/FilterGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Provisioning.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
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

// The manual opens from the data folder; when no program opens it, or it is missing, the
// user is told where it is (or should be) and the log says so.
TEST_F(WindowTest, HelpOpensTheManualOrSaysWhereItIs) {
    const QString manual = dataFolder + QStringLiteral("/RockvaneManual.pdf");
    const QString shown = QDir::toNativeSeparators(manual);
    window->utilities->Label66->click();
    dialogs.expect(QStringLiteral("The Rockvane manual could not be found. It belongs in the data "
                                  "folder, as the file\r\n") +
                       shown,
                   kTitle, Icon::Exclamation);
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #53: There is no file ") + shown +
                                   QStringLiteral(" imgHelp_Click\r\n")))
        << logText().toStdString();

    QFile pdf(manual);
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4");
    pdf.close();
    window->utilities->imgHelp->click();
    EXPECT_EQ(desktop.openedFiles, QStringList{manual});
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(logEntries(), 1);

    desktop.opens = false;
    window->utilities->Label66->click();
    dialogs.expect(QStringLiteral("The Rockvane manual could not be opened.\r\n\r\nThe file "
                                  "is\r\n") +
                       shown + QStringLiteral("\r\nbut no program could be started to open it."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("No program could open ") + shown +
                                   QStringLiteral(" imgHelp_Click\r\n")));
}

// Each filter box on "6. Utilities" is as tall as its text needs, and wide enough for a
// typed criterion.
TEST_F(WindowTest, TheFilterBoxesShowWhatIsTypedInThem) {
    window->show();
    window->SSTab1->setCurrentIndex(5);
    QApplication::processEvents();
    FilterGroup& f = window->registry->filter();
    const std::pair<QWidget*, QString> boxes[] = {{f.txtFilterType, QStringLiteral("25: LODIX")},
                                                  {f.txtFilterLevel, QStringLiteral("L12 Pillar")},
                                                  {f.txtFilterLocation, QStringLiteral("North 4")},
                                                  {f.txtStartDate, QStringLiteral("2026/03/14")},
                                                  {f.txtEndDate, QStringLiteral("2026/12/31")}};
    for (const auto& [box, typed] : boxes) {
        const QFontMetrics metrics(box->font());
        EXPECT_GE(box->height(), box->sizeHint().height()) << box->objectName().toStdString();
        EXPECT_GE(box->height(), metrics.height() + 4) << box->objectName().toStdString();
        EXPECT_GE(box->width(), metrics.horizontalAdvance(typed) + 12)
            << box->objectName().toStdString();
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(window->SSTab1->currentWidget()->rect().contains(
            QRect(box->mapTo(window->SSTab1->currentWidget(), QPoint(0, 0)), box->size())))
            << box->objectName().toStdString() << " lies inside the tab";
    }
    // The backups below the filter keep their place on the tab too.
    QWidget* list = window->backups->lstFiles;
    EXPECT_TRUE(window->SSTab1->currentWidget()->rect().contains(
        QRect(list->mapTo(window->SSTab1->currentWidget(), QPoint(0, 0)), list->size())));
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
