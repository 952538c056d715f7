#include "app/UtilitiesTab.h"
#include "compare/frmCompare.h"
#include "ui/Pictures.h"
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

namespace rv {

UtilitiesTab::UtilitiesTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabUtilities"));
    imgHelp = new PictureButton(QStringLiteral("imgHelp"), pictures::book(), this);
    Label66 =
        new CaptionLabel(QStringLiteral("Label66"), QStringLiteral("View Rockvane Manual"), this);
    imgInternet = new PictureButton(QStringLiteral("imgInternet"), pictures::globe(), this);
    Label40 = new CaptionLabel(QStringLiteral("Label40"),
                               QStringLiteral("Visit the Brackwell website"), this);
    imgAbout = new PictureButton(QStringLiteral("imgAbout"), pictures::info(), this);
    Label29 = new CaptionLabel(QStringLiteral("Label29"),
                               QStringLiteral("About Brackwell's Rockvane"), this);
    txtSCount = new QLineEdit(this);
    txtSCount->setObjectName(QStringLiteral("txtSCount"));
    txtSCount->setReadOnly(true);
    txtSCount->setMaximumWidth(80);

    imgCompare = new PictureButton(QStringLiteral("imgCompare"), comparePicture(), this);
    lblCompare = new CaptionLabel(QStringLiteral("lblCompare"),
                                  QStringLiteral("Compare sensors on one plot..."), this);
    cmdWeeklyReport = new QPushButton(QStringLiteral("Weekly report..."), this);
    cmdWeeklyReport->setObjectName(QStringLiteral("cmdWeeklyReport"));

    auto* help = new QGroupBox(this);
    auto* helpLayout = new QGridLayout(help);
    int row = 0;
    for (auto [picture, label] : {std::pair<PictureButton*, CaptionLabel*>{imgHelp, Label66},
                                  {imgInternet, Label40},
                                  {imgAbout, Label29}}) {
        helpLayout->addWidget(picture, row, 0);
        helpLayout->addWidget(label, row++, 1);
    }
    auto* count = new QHBoxLayout;
    count->addWidget(new QLabel(QStringLiteral("# of Instruments:"), this));
    count->addWidget(txtSCount);
    count->addStretch();
    helpLayout->addLayout(count, row++, 0, 1, 2);
    chkTabsGrow = new QCheckBox(QStringLiteral("Tabs grow with the window"), help);
    chkTabsGrow->setObjectName(QStringLiteral("chkTabsGrow"));
    helpLayout->addWidget(chkTabsGrow, row++, 0, 1, 2);
    cmdDatabase = new QPushButton(QStringLiteral("Database..."), help);
    cmdDatabase->setObjectName(QStringLiteral("cmdDatabase"));
    cmdDatabase->setToolTip(QStringLiteral("This computer's database file or a site server"));
    helpLayout->addWidget(cmdDatabase, row, 0, 1, 2, Qt::AlignLeft);

    groups = new QVBoxLayout;
    groups->addStretch();
    // Two columns, each with room for its groups at their full height: the filter's boxes
    // must show what is typed in them.
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(groups, 3);
    side = new QVBoxLayout;
    side->addWidget(help);
    auto* plots = new QGroupBox(this);
    auto* plotsLayout = new QGridLayout(plots);
    plotsLayout->addWidget(imgCompare, 0, 0);
    plotsLayout->addWidget(lblCompare, 0, 1);
    plotsLayout->addWidget(cmdWeeklyReport, 1, 0, 1, 2, Qt::AlignLeft);
    plotsLayout->setColumnStretch(1, 1);
    side->addWidget(plots);
    side->addStretch();
    layout->addLayout(side, 2);
}

} // namespace rv
