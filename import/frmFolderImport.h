#pragma once
// The folder import window "Import a Folder": a row per file of the folder with its
// sensor, the rows ticked, the rows already stored, the rows beyond the sensor's levels
// and whether it is to be appended; "Show rows..." (or a double click) opens a file's rows
// in the import window to change their ticks; "Append" appends every checked file, each in
// its own transaction, after one safety backup, and says in one message what became of
// each file.
#include "import/FolderImport.h"
#include "import/ImportHost.h"
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <array>
#include <optional>

namespace rv {

struct Session;

class frmFolderImport : public QDialog {
    Q_OBJECT
public:
    // The grid's columns.
    enum Column { kFile, kSensor, kTicked, kStored, kBeyond, kAppend, kNote, kColumns };

    frmFolderImport(Session& session, FolderStaging& staging, const ImportHost& host,
                    QWidget* parent = nullptr);

    // The window opens: remembers the reading shown and fills the grid.
    void Form_Load();
    void optDateFormat_Click(int index);
    // "Show rows...": the rows of the selected file in the import window.
    void cmdShowRows_Click();
    void grdFiles_DoubleClick(int row);
    void cmdAppend_Click();
    // The window closes, whichever way: the Readings tab shows the refreshed readings.
    void Form_Unload();
    bool unloaded() const { return m_unloaded; }

    std::optional<SlugDateFormat> dateFormat() const;

    QLabel* lblHeader;
    QLabel* lblNotice;        // on a site server: no safety backup is made before the append
    QGroupBox* fraDateFormat; // "Datafile Date Format:"
    std::array<QRadioButton*, 3> optDateFormat{};
    QTableWidget* grdFiles;
    QPushButton* cmdShowRows;
    QPushButton* cmdAppend;
    QPushButton* cmdClose;

    void done(int result) override;

private:
    // Judges the files again (the layout, the ticks or the checked files changed) and shows
    // the counts.
    void refresh();
    void showCounts();
    void grdFiles_ItemChanged(QTableWidgetItem* item);
    void showRows(int row);

    Session& m_s;
    FolderStaging& m_staging;
    ImportHost m_host;
    bool m_filling = false;
    bool m_appending = false;
    bool m_unloaded = false;
};

} // namespace rv
