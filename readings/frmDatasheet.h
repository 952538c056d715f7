#pragma once
// "Rockvane DataSheet": every reading of the current sensor in one grid, in FullDate
// order. Only the channel cells take typed characters (digits and "." at the end of the
// cell, as long as the cell still holds a number; backspace to remove the last one,
// delete to empty it); the plot mark of a reading is toggled by a click. Edits live in
// the grid until the window closes; closing then writes the whole grid back if anything
// was changed (there is no cancel). A changed cell that holds no number keeps the window
// open, with a message naming it, until it is corrected: nothing is written before. A
// picture button exports the grid to a spreadsheet, with a second sheet of the sensor's
// particulars and plotted readings, and when ticked beside it a sheet "Changes" of the
// sensor's recorded changes, into the folder kept beside it ("Keep in folder...").
//
// The grid is counted as the datasheet's procedures count it: row 0 is the fixed header
// row, rows 1 and on are the readings; column L (lastColumn) holds the plot marks.
#include "readings/DatasheetModel.h"
#include "ui/Controls.h"
#include <QDialog>
#include <QTableView>

class QCheckBox;
class QLabel;

namespace rv {

struct Session;
class Progress;
class KeptFolderChoice;
struct SensorSheet;

class frmDatasheet : public QDialog {
    Q_OBJECT
public:
    frmDatasheet(Session& session, Progress& progress, QWidget* parent = nullptr);

    // Opens the current sensor's readings and fills the grid. False (with one log entry)
    // when the window cannot be shown.
    bool Form_Load();
    // Lays the grid out over rsReadings; false when the readings are not open.
    bool PopulateFlexGrid();
    // Writes the grid back into rsReadings, then lets the readings go.
    // False when the write-back was refused because another engineer changed readings.
    bool Read_Values_From_Grid();
    // A click on the current cell: a plot mark is toggled.
    void MSFlexGrid1_Click();
    // A character typed into the current cell (8 backspace, 9 tab, 127 delete, any other
    // code).
    void MSFlexGrid1_KeyPress(int keyAscii);
    void Image1_Click();
    // The window closes: a changed grid is written back, then unloaded() is signalled.
    void Form_Unload();

    bool GridChanged() const { return m_gridChanged; }
    // The current cell in grid terms.
    int Row() const;
    int Col() const;
    void setCurrentCell(int row, int col);
    // The width of a grid column in twips.
    int columnTwips(int column) const;

    QLabel* lblHeader;
    QTableView* MSFlexGrid1;
    QLabel* lblHint; // how the cells are edited
    PictureButton* Image1;
    CaptionLabel* lblImage1;      // "Export to spreadsheet"
    QCheckBox* chkChanges;        // "Add the sheet \"Changes\"": off unless ticked
    KeptFolderChoice* keptFolder; // where the workbook is written
    DatasheetModel* model;

signals:
    // The window has closed and its changes are written: the readings may be shown again.
    void unloaded();

public:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyColumnWidths();
    // The sensor's particulars and its plotted readings as the grid shows them.
    SensorSheet sensorSheet() const;
    void showMessage(const QString& text);

    Session& m_s;
    Progress& m_progress;
    // The sensor whose readings the window shows: the current sensor when it was opened.
    QString m_sensor;
    bool m_gridChanged = false;
    bool m_unloaded = false;
    // The current cell is on the fixed row (the view then has no current index).
    bool m_onFixedRow = false;
    int m_fixedCol = 0;
};

} // namespace rv
