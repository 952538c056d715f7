#pragma once
// The two plot tabs, one class built twice: "4. Load v Time" (chart ChartT with the
// export button cmdTemp, the print picture imgPrintT and the tips button cmdTHelp) and
// "05. Load v Time with Temp" (chart ChartT2 with the export button cmdExportT2).
//
// Entering the tab counts the plottable readings, refuses the tab when there are fewer
// than two, otherwise recomputes the loads from the installation offset shown at that
// moment and draws the plot.
#include "graphs/Chart.h"
#include "graphs/GraphData.h"
#include "ui/Controls.h"
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;

namespace rv {

struct Session;
class Dialogs;
class Progress;

inline const QString kPlotRefusal =
    QStringLiteral("You must have at least 2 readings to view the plot.\r\nIf you have at least "
                   "2 readings, ensure the Do Not Plot box is unchecked in each case.");

class ChartPage : public QWidget {
    Q_OBJECT
public:
    enum class Kind { LoadVsTime, LoadVsTimeWithTemp };

    ChartPage(Session& session, Kind kind, QWidget* parent = nullptr);
    ~ChartPage() override;

    // What the main window wires: the text of the installation offset as shown on the
    // "2. Installation" tab at the moment it is asked for.
    void setOffsetSource(std::function<QString()> offsetText);
    // Where the progress of recomputing the loads is shown (nothing: a progress dialog
    // over this page). The page does not own it.
    void setProgress(Progress* progress);
    // Asks for the printer to use; false when the user cancels. The program shows the
    // print dialog.
    void setPrinterChoice(std::function<bool(QPrinter&)> choose);

    // The tab is shown. switchBack returns the tab control to the tab that was shown
    // before; it is called when the plot is refused (before the message) or when the
    // user cancels the recomputation.
    void enterTab(const std::function<void()>& switchBack);
    // The run ends: from now on the page no longer touches the run's state.
    void release();

    // The drawing of this page's plot from the current sensor's plottable readings (as
    // stored: enterTab recomputes them first).
    void draw();
    void DrawTgraph() { draw(); }
    void DrawT2graph() { draw(); }

    // Saves the chart as it stands on screen (zoom, scroll, hidden series) as a JPEG
    // picture at path, replacing any picture there only once the new one is complete.
    // Answers false on failure and shows nothing. (The export buttons save the picture
    // and open it; when no program opens it, the user is told where it was written.)
    bool exportPicture(const QString& path);
    // "Temporal.jpg" or "Temporal2.jpg", in the data folder.
    QString picturePath() const;
    // Prints the chart stretched over the page inside 5 % margins; false on failure.
    bool printChart(QPrinter& printer);

    void cmdTemp_Click();
    void cmdExportT2_Click();
    void imgPrintT_Click();
    void cmdTHelp_Click();

    Kind kind() const { return m_kind; }
    Chart* chart;                       // ChartT or ChartT2
    QPushButton* cmdTemp = nullptr;     // "4. Load v Time" only
    QPushButton* cmdExportT2 = nullptr; // "05. Load v Time with Temp" only
    PictureButton* imgPrintT = nullptr; // "4. Load v Time" only
    QPushButton* cmdTHelp = nullptr;    // "4. Load v Time" only

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The drawing: of the values given, or else of those read from rsGraph; with an
    // offset, the loads are computed from the channels rather than read as stored
    // (readPlotData).
    void drawPlot(std::optional<double> computeWithOffset,
                  std::optional<PlotData> read = std::nullopt);
    void exportAndOpen(const QString& label);
    Progress& progress();
    QString sensorId() const;

    Session* m_s;
    Kind m_kind;
    std::function<QString()> m_offsetText;
    Progress* m_progress = nullptr;
    std::unique_ptr<Progress> m_ownProgress;
    std::function<bool(QPrinter&)> m_choosePrinter;
};

// Saves a picture as a JPEG file at path (quality 90), replacing any file there only once
// the new one is written whole. False when it cannot be written.
bool saveJpeg(const QImage& image, const QString& path);

// The graphing tips: four lines under the title "Graphing Tips and Hints".
void ShowGraphTips(Dialogs& dialogs);

} // namespace rv
