#pragma once
// "Rockvane Reporting": what the sensor report holds. The window is made once and hidden,
// never destroyed, after OK or Cancel, so its boxes keep the user's last choice for the
// rest of the run.
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace rv {

struct Session;

// The per-user choice of where reports and workbooks are kept.
inline const QString kKeptFolderKey = QStringLiteral("Reports/KeptFolder");

// "Keep in folder...": shows the folder where reports and workbooks are written and lets
// the user choose another, remembered for that user from run to run. None kept means the
// system's temporary folder.
class KeptFolderChoice : public QWidget {
    Q_OBJECT
public:
    KeptFolderChoice(Session& session, QWidget* parent = nullptr);

    // The folder kept; empty when none is (the temporary folder is used).
    const QString& kept() const { return m_kept; }
    // The folder to write into: the kept one, else the temporary folder.
    QString folder() const;
    // Why nothing can be written into the kept folder (one sentence naming it, then what to
    // do), shown to the user; empty when it can be written or none is kept. `what` names
    // the file ("The workbook", "The report").
    QString whyNotKept(const QString& what, qint64 needBytes) const;

    void cmdKeptFolder_Click();

    QLabel* lblKeptFolder;
    QPushButton* cmdKeptFolder; // "Keep in folder..."

private:
    void showFolder();

    Session& m_s;
    QString m_kept;
};

// What the report window hands back: OK pressed, the cover section, the plot section, the
// table of the sensor's changes.
struct ReportChoice {
    bool gReportOK = false;
    bool gReportCover = false;
    bool gReportPlot = false;
    bool gReportChanges = false;
};

class frmReport : public QDialog {
    Q_OBJECT
public:
    // With a session, the window also shows where the report is kept (keptFolder).
    explicit frmReport(QWidget* parent = nullptr, Session* session = nullptr);

    // OK: the choice is taken (gReportOK, gReportCover, gReportPlot, gReportChanges) and the
    // window hides.
    void cmdOK_Click();
    // Cancel: no report (gReportOK is False) and the window hides.
    void cmdCancel_Click();
    // The choice the window was last closed with.
    const ReportChoice& result() const { return m_result; }

    QCheckBox* chkCover;   // "Sensor Information Cover Page"
    QCheckBox* chkTemp;    // "Load v Time", in the frame "Plots:"
    QCheckBox* chkChanges; // "Add the sensor's changes": off unless the user ticks it
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    KeptFolderChoice* keptFolder = nullptr;

protected:
    // Closing the window or pressing Escape is Cancel: a report is only made after OK.
    void reject() override;

private:
    ReportChoice m_result;
};

} // namespace rv
