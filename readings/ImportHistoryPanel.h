#pragma once
// The Readings tab's "Import history" group (fraImportHistory): the imports of the current
// sensor, newest first (when, the file's name, the rows appended), and "Undo import", which
// removes the readings of the import chosen after a confirmation that counts them and names
// those edited since the import. The tab refreshes it whenever it shows the readings again;
// an undo asks the tab, through Host, to write back and show its reading.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>

namespace rv {

struct Session;
class Progress;

class ImportHistoryPanel : public QGroupBox {
    Q_OBJECT
public:
    // What an undo asks of the tab that shows the readings.
    struct Host {
        // Writes the reading shown back, as moving away from it does: an edit typed into
        // it then counts as an edit made since the import. False when the write was
        // refused for another engineer's change (said so; what was typed stays shown).
        std::function<bool()> writeBackShown;
        // The readings were changed under the tab: they are read again and the newest one
        // left is shown. A failure is thrown (Abort).
        std::function<void()> showReadingsAgain;
        // Where the undo shows its progress.
        std::function<Progress&()> progress;
    };

    ImportHistoryPanel(Session& session, Host host, QWidget* parent = nullptr);
    ~ImportHistoryPanel() override;

    // Lists the imports of the current sensor, newest first, and says when the history is
    // unavailable.
    void refresh();
    // "Undo import": removes the readings of the import chosen in the list, after a
    // confirmation that counts them and names those edited since.
    void cmdUndoImport_Click();
    // The run ends: from now on the panel no longer touches the run's state.
    void release() { m_s = nullptr; }

    // Each item holds its batch id (Qt::UserRole of column 0).
    QTreeWidget* lstImports;
    QLabel* lblImportHistory; // why the history is unavailable, when it is
    QPushButton* cmdUndoImport;

private:
    // Enables "Undo import" when an import is chosen and the history can be changed.
    void importChosen();

    Session* m_s;
    Host m_host;
    bool m_historyWritable = false;
};

} // namespace rv
