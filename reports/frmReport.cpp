#include "reports/frmReport.h"
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace rv {

frmReport::frmReport(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Rockvane Reporting"));
    setModal(true);

    auto* heading =
        new QLabel(QStringLiteral("Select the contents to include in the report:"), this);
    chkCover = new QCheckBox(QStringLiteral("Sensor Information Cover Page"), this);
    chkCover->setObjectName(QStringLiteral("chkCover"));
    chkCover->setChecked(true);
    auto* plots = new QGroupBox(QStringLiteral("Plots:"), this);
    plots->setObjectName(QStringLiteral("Frame1"));
    chkTemp = new QCheckBox(QStringLiteral("Load v Time"), plots);
    chkTemp->setObjectName(QStringLiteral("chkTemp"));
    chkTemp->setChecked(true);
    auto* plotsLayout = new QVBoxLayout(plots);
    plotsLayout->addWidget(chkTemp);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(chkCover);
    layout->addWidget(plots);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmReport::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmReport::cmdCancel_Click);
}

void frmReport::cmdOK_Click() {
    m_result.gReportOK = true;
    m_result.gReportCover = chkCover->isChecked();
    m_result.gReportPlot = chkTemp->isChecked();
    // Hides the window and ends the modal wait; the window itself stays.
    QDialog::done(QDialog::Accepted);
}

void frmReport::cmdCancel_Click() {
    m_result.gReportOK = false;
    QDialog::done(QDialog::Rejected);
}

void frmReport::reject() {
    cmdCancel_Click();
}

} // namespace rv
