#pragma once
// "Rockvane Reporting": what the sensor report holds. The window is made once and hidden,
// never destroyed, after OK or Cancel, so its boxes keep the user's last choice for the
// rest of the run.
#include <QCheckBox>
#include <QDialog>
#include <QPushButton>

namespace rv {

// What the report window hands back: OK pressed, the cover section, the plot section.
struct ReportChoice {
    bool gReportOK = false;
    bool gReportCover = false;
    bool gReportPlot = false;
};

class frmReport : public QDialog {
    Q_OBJECT
public:
    explicit frmReport(QWidget* parent = nullptr);

    // OK: the choice is taken (gReportOK, gReportCover, gReportPlot) and the window hides.
    void cmdOK_Click();
    // Cancel: no report (gReportOK is False) and the window hides.
    void cmdCancel_Click();
    // The choice the window was last closed with.
    const ReportChoice& result() const { return m_result; }

    QCheckBox* chkCover; // "Sensor Information Cover Page"
    QCheckBox* chkTemp;  // "Load v Time", in the frame "Plots:"
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    // Closing the window or pressing Escape is Cancel: a report is only made after OK.
    void reject() override;

private:
    ReportChoice m_result;
};

} // namespace rv
