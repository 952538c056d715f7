#pragma once
// "Rockvane Reporting": what the sensor report holds. The window is made once and hidden,
// never destroyed, after OK or Cancel, so its boxes keep the user's last choice for the
// rest of the run.
#include <QCheckBox>
#include <QDialog>
#include <QPushButton>

namespace rv {

struct Session;

class frmReport : public QDialog {
    Q_OBJECT
public:
    explicit frmReport(Session& session, QWidget* parent = nullptr);

    // OK: the choice is taken (gReportOK, gReportCover, gReportPlot) and the window hides.
    void cmdOK_Click();
    // Cancel: no report (gReportOK is False) and the window hides.
    void cmdCancel_Click();

    QCheckBox* chkCover; // "Sensor Information Cover Page"
    QCheckBox* chkTemp;  // "Load v Time", in the frame "Plots:"
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    // Closing the window or pressing Escape is Cancel: a report is only made after OK.
    void reject() override;

private:
    Session& m_s;
};

} // namespace rv
