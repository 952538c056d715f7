#pragma once
// The sensor report, started from the Readings tab ("Report"): the report window asks what
// to include; the current sensor's cover section, its Load v Time plot and, when asked for,
// the table of its recorded changes are written into a new OpenDocument text file in the
// folder the user keeps reports in (the temporary folder unless one is kept), which is then
// opened with the user's word processor, unsaved as far as the program is concerned.
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace rv {

struct Session;
class frmReport;

// Tab indexes of the main window that the report uses.
constexpr int kReadingsTab = 2;
constexpr int kLoadVsTimeTab = 3;

// What the report asks of the main window.
class ReportHost {
public:
    virtual ~ReportHost() = default;
    virtual int currentTab() const = 0;
    // Selects a tab of the main window; its entry steps run (the "4. Load v Time" tab
    // draws its plot, or refuses with its message and the previous tab comes back).
    virtual void selectTab(int index) = 0;
    // Exports the Load v Time chart as a JPEG picture to path; false on failure.
    virtual bool exportLoadVsTime(const QString& path) = 0;
};

inline const QString kPlotPictureName = QStringLiteral("Temporal.jpg");

class SensorReport : public QObject {
    Q_OBJECT
public:
    // window is the report window's owner (the main window).
    SensorReport(Session& session, ReportHost& host, QWidget* window);
    ~SensorReport() override;

    // The folder the report documents are written to when the user keeps none (the
    // system's temporary folder unless set). A folder kept through the report window's
    // "Keep in folder..." comes first.
    void setDocumentFolder(const QString& folder) { m_folder = folder; }
    // The report window, made on first use and kept for the run.
    frmReport& reportWindow();

    void imgReport_Click();
    // The document written by the last report; empty when none was written.
    const QString& lastDocument() const { return m_lastDocument; }

private:
    Session& m_s;
    ReportHost& m_host;
    QPointer<QWidget> m_window;
    QPointer<frmReport> m_form;
    QString m_folder;
    QString m_lastDocument;
};

} // namespace rv
