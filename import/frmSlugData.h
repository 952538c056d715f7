#pragma once
// The import window "Import DataFiles": the staged rows of a datalogger file in a grid,
// a proposed mark on each (ticked: to be appended), the layout of the file's date column,
// and "append", which appends the ticked rows to the current sensor and closes the window.
// The rows the sensor already holds are greyed and counted, with a button that unticks
// them, and "append" asks once whether to leave out those still ticked; rows beyond the
// sensor's alarm levels are coloured, and after an append a summary says how many of the
// appended readings crossed each level. Rows dated after tomorrow are coloured, never
// proposed, and counted after the append when they were left out.
#include "alarms/AlarmLevels.h"
#include "import/ImportHost.h"
#include "import/SlugAppend.h"
#include "import/SlugRules.h"
#include "ui/Controls.h"
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTableView>
#include <array>
#include <optional>

namespace rv {

struct Session;
class StagedRows;
class StagedRowsModel;

// Opens rsReadings again on the current sensor's readings (OpenSensorData), or re-queries
// it when it is open on them already.
void reopenReadings(Session& s);
// After an import window closes: the readings opened again, on the reading the user was
// on (the newest when it is gone), and shown on the Readings tab.
void showReadingsAgain(Session& s, const ImportHost& host);

// The rows of one file of a folder import, shown for the user to change their ticks: the
// sensor they belong to, the ticks so far, and what they are judged against.
struct SlugReview {
    QString sensorId;
    std::vector<char> marks;
    QSet<QString> storedKeys; // folded
    AlarmLevels levels;
    double offset = 0;
    std::optional<SlugDateFormat> format;
};

class frmSlugData : public QDialog {
    Q_OBJECT
public:
    frmSlugData(Session& session, StagedRows& rsImport, const ImportHost& host,
                QWidget* parent = nullptr);
    ~frmSlugData() override;

    // The window opens: remembers the reading shown, reads the keys the sensor holds, and
    // fills the grid.
    void Form_Load();
    // Fills the grid from the staged rows and proposes the marks; true when it walked
    // every staged row.
    bool PopulateSFlexGrid();
    void optDateFormat_Click(int index);
    // A click on a cell of the grid: a mark cell changes from ticked to unticked or back.
    void MSFlexGrid1_Click(const QModelIndex& cell);
    void cmdAppend_Click();
    // "Untick rows already stored": unticks exactly the rows the sensor holds already.
    void cmdUntickStored_Click();
    // The window closes, whichever way: the Readings tab shows the refreshed readings.
    void Form_Unload();
    bool unloaded() const { return m_unloaded; }

    // Before Form_Load: the window only shows the rows for their ticks to be changed. It
    // appends nothing, leaves the staged rows and rsReadings as they are, and hands the
    // ticks back as it closes (reviewedMarks).
    void reviewRows(SlugReview review);
    const std::vector<char>& reviewedMarks() const { return m_reviewed; }

    // The file the staged rows came from: an append records it in the import history.
    void setSource(const ImportSource& source) { m_source = source; }

    // The layout chosen for the date column; nothing until an option is clicked.
    std::optional<SlugDateFormat> dateFormat() const;
    StagedRowsModel& grid() { return *m_model; }

    QLabel* lblHeader;
    QLabel* lblStored; // "N of M rows already stored"
    QLabel* lblBeyond; // the rows beyond the sensor's levels, when there are any
    QLabel* lblFuture; // the rows dated after tomorrow, when there are any
    QLabel* lblNotice; // on a site server: no safety backup is made before the append
    QPushButton* cmdUntickStored;
    QGroupBox* fraDateFormat; // "Datafile Date Format:"
    std::array<QRadioButton*, 3> optDateFormat{};
    QPushButton* cmdAppend;
    QTableView* MSFlexGrid1;
    PictureButton* img_x_on;  // the ticked mark
    PictureButton* img_x_off; // the unticked mark

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layOut();
    // Reads once what the rows are judged against: the keys the sensor's readings hold,
    // its levels and its offset.
    void readSensorState();
    // Judges every staged row in the date layout in force (the proposal's reading of the
    // dates until an option is clicked) and shows the result.
    void checkRows();
    // The last day a reading may be dated: tomorrow by the program's clock.
    QDate lastDay() const;
    // Asks once about the ticked rows the sensor holds already: false when the user
    // cancelled (nothing is to be written); Yes unticks them first.
    bool leaveOutStoredRows();
    // Column widths in pixels of this screen for the widths in twips.
    static int twipsToPixels(int twips);

    Session& m_s;
    StagedRows& m_rsImport;
    ImportHost m_host;
    StagedRowsModel* m_model;
    // The keys the sensor's readings hold (folded), read once when the window opens and
    // kept up to date by the append: whether they could be read.
    QSet<QString> m_storedKeys;
    bool m_keysRead = false;
    AlarmLevels m_levels;
    double m_offset = 0;
    std::optional<ImportSource> m_source;
    bool m_unloaded = false;
    std::optional<SlugReview> m_review;
    std::vector<char> m_reviewed;
    QString m_sensorId; // the sensor the rows are judged for
    // An append is under way: its progress lets events through, and neither a second
    // append nor closing the window may start until it ends.
    bool m_appending = false;
};

} // namespace rv
