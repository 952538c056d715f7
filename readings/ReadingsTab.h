#pragma once
// The "3. Readings" tab: one reading of the current sensor at a time, with its date and
// time, temperature, load on channel 1 and plot mark, the reading counter, navigation,
// adding a reading, re-keying a reading whose date or time changed, validating the
// values against the sensor type's limits, and writing the reading back.
//
// The reading shown is always the current row of rsReadings, a reading of the current
// sensor (session.currentSensor, whose announcements the tab follows). The controls hold the
// user's edits until SaveReadings writes them; nothing is written while the user types.
// Below the reading, the import history of the sensor (ImportHistoryPanel); under the
// navigation, the level notice of the reading shown (LevelNotice). A reading changed since it
// was first stored is marked, and the history of its changes, or of the whole sensor's,
// opens in the Changes window (changes/frmChanges), whose putting back the tab follows.
#include "platform/Progress.h"
#include "readings/ImportHistoryPanel.h"
#include "readings/LevelNotice.h"
#include "ui/Controls.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTimeEdit>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;

namespace rv {

struct Session;
struct Error;
struct ReadingLimits;
class frmDatasheet;
class frmBatchDel;
class frmChanges;

class ReadingsTab : public QWidget {
    Q_OBJECT
public:
    explicit ReadingsTab(Session& session, QWidget* parent = nullptr);
    ~ReadingsTab() override;

    void hideError() { lblError->hide(); }
    // Enables the load and temperature boxes with a white background.
    void enableChannels();

    // What the main window asks of the tab.
    // The tab is shown: opens the current sensor's readings and shows the remembered
    // reading, or the newest one.
    void enterTab();
    // On a site server, when the engineer comes back to the program: the readings are read
    // again when another engineer changed, added or deleted any since they were opened (the
    // reading shown saved first, and shown again if it is still there), and lblOthers says
    // so. Nothing when none changed, or on a file.
    void takeOthersReadings();
    // The tab is left: remembers the reading shown and writes it back unvalidated.
    void leaveTab();
    // The window closes while the tab is shown: a valid reading is written back, an
    // invalid one is dropped.
    void unloading();
    // The run ends: from now on the tab no longer touches the run's state.
    void release();
    // A window that changed the readings has closed: shows the current reading of
    // rsReadings and its counter.
    void showCurrentReading();
    // The text of "Time Period (hr)": the hours between the readings an import proposes.
    QString slugIntervalText() const { return cboSlugInt->currentText(); }

    // Shows the current reading of rsReadings.
    void fillreadings();
    // Where the installation offset shown on the "2. Installation" tab is read from, for
    // the loads the level notice judges.
    void setOffsetSource(std::function<QString()> offsetText) {
        lblLevels->setOffsetSource(std::move(offsetText));
    }
    // Sets or clears the future-date warning from the date picker.
    void CheckFutureDate();
    // Validates the reading shown as a whole; the first failure shows in lblError.
    bool G_ReadingValid();
    // True when a reading other than the one of ownBookmark (0 for none) already has the
    // key. Leaves rsReadings on the matching row, or at its end.
    bool G_DupID(const QString& key, qint64 ownBookmark);
    // Re-keys the reading shown after its date or time changed.
    void CheckDateTime();
    // Writes the controls into the current reading. False when the reading must not be left:
    // another engineer on the site server changed it since it was shown, and the values
    // typed are still in the boxes (see refusedByAnother).
    bool SaveReadings();
    // Commits a date or time still being typed in a picker, as leaving it would.
    void commitPickers();
    // The level notice of the reading the controls show: none for a reading kept out of
    // the plots.
    void judgeShownReading();

    // Event handlers.
    void imgFirst_Click();
    void imgPrevData_Click();
    void imgNextData_Click();
    void imgLast_Click();
    void imgAddReading_Click();
    void chkDontPlot_MouseUp();
    // The datasheet window and the deletions (DatasheetHandlers.cpp, DeleteReadings.cpp).
    void imgDatasheet_Click();
    void imgDeleteReading_Click();
    // The deletion chosen in frmBatchDel, carried out once the window has closed.
    void DeleteChosenReadings();
    // The windows while they are open (none when closed).
    frmDatasheet* datasheetWindow() const;
    frmBatchDel* batchDeleteWindow() const;
    // "Changes...": the Changes window of the current sensor; "History...": the same for
    // the reading shown alone. The reading shown is written back first.
    void cmdChanges_Click();
    void cmdReadingHistory_Click();
    // The Changes window while it is open (none when closed).
    frmChanges* changesWindow() const;
    // Where long work started from the tab (the spreadsheet export, an undo) shows its
    // progress; a progress dialog unless set.
    void setProgress(Progress* progress) { m_progress = progress; }

    void txtChannel_Validate(int index, bool& cancel);
    void txtChannelT_Validate(bool& cancel);
    void dtpRdate_Change();
    void dtpRdate_LostFocus();
    void dtpRdate_Validate(bool& cancel);
    void dtpRtime_Change();
    void dtpRtime_LostFocus();
    void dtpRtime_Validate(bool& cancel);

    QLineEdit* txtSensor3;
    QLineEdit* txtReadingID;
    QDateEdit* dtpRdate;
    QTimeEdit* dtpRtime;
    QLabel* Label47; // "Temperature:"
    QLineEdit* txtChannelT;
    QLabel* lblTemp; // "deg C"
    QLabel* lbln_1;  // "Load 1:"
    QLineEdit* txtChannel_1;
    QLabel* lblmm_1; // "tons"
    // The channel captions by index, 1 to 10: lbln[1] is lbln_1; 2 to 10 have no caption.
    std::array<QLabel*, 11> lbln{};
    QCheckBox* chkDontPlot;
    // "Changed since first stored", beside the reading when the history names it as changed
    // (its values, its date and time, or put back), with "History..." beside it.
    QLabel* lblChanged;
    QPushButton* cmdReadingHistory;
    // A coloured notice when the reading shown is at or beyond one of the sensor's alarm
    // levels, or rose faster than its rate limit since the previous plotted reading.
    LevelNotice* lblLevels;
    QLineEdit* txtRcount;
    QLabel* lblError;
    // On a site server: says that the sensor's readings were changed by another engineer
    // since they were opened, and were read again.
    QLabel* lblOthers;

    PictureButton* imgFirst;
    PictureButton* imgPrevData;
    PictureButton* imgNextData;
    PictureButton* imgLast;
    PictureButton* imgAddReading;
    PictureButton* imgDeleteReading;
    PictureButton* imgDatasheet;
    PictureButton* imgReport;
    CaptionLabel* Label61; // "First"
    CaptionLabel* Label62; // "Previous"
    CaptionLabel* Label60; // "Next"
    CaptionLabel* Label64; // "Last"
    CaptionLabel* Label63; // "Add New"
    CaptionLabel* Label65; // "Delete/Batch"
    CaptionLabel* Label45; // "Datasheet"
    CaptionLabel* Label46; // "Report"
    // "Changes...": every recorded change of the sensor's readings (greyed, with a tooltip
    // that says why, on a database that keeps no record of changes).
    QPushButton* cmdChanges;

    // The frames of the reading shown and of the buttons that work on the readings.
    QGroupBox* fraReading;
    QGroupBox* fraActions;
    // The imports of the current sensor, newest first, and "Undo import".
    ImportHistoryPanel* fraImportHistory;

    PictureButton* imgAddSlugData;
    QLabel* lblImport;            // "Import Datafiles:" (does not react to clicks)
    QPushButton* cmdImportFolder; // "Import a folder...": every file of a download folder
    QComboBox* cboSlugInt;
    QLabel* lblSlugInt; // "Time Period (hr)"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void layOut();
    void wire();

    // Navigation: the shared steps of the four handlers.
    enum class Move { First, Previous, Next, Last };
    void navigate(Move move, const QString& label);

    // Empties the reading controls: no key, today, 12:00:00, empty boxes.
    void clearReading();
    // Puts a date and a time of day into the pickers; never taken as the user's edit.
    void setPickers(const QDate& date, const QTime& time);
    // The date and time of the current reading, from its columns or, failing those, from
    // the other columns that hold them.
    QDate currentReadingDate() const;
    QTime currentReadingTime() const;
    // The current sensor's identifier; a failure to read it is thrown (Abort).
    QString sensorId() const;
    // The current sensor changed, or the whole database was replaced.
    void sensorChanged();
    // The readings were changed under the tab (an import undone): they are read again and
    // the newest one left is shown.
    void readingsReplaced();
    // Whether the current row of rsReadings is the reading the controls show.
    bool showsCurrentRow() const;
    // Puts rsReadings back on the reading the controls show, after a step that moved it.
    void returnToShown();
    void showError(const QString& text);
    // Opens the current sensor's readings afresh and shows the remembered reading, or the
    // newest one.
    void reopenReadings();
    // Remembers the reading shown (its bookmark as gReadingBookmark, and its key) as the
    // one the tab comes back to after its readings are opened again.
    void rememberShown(qint64 bookmark);
    // Moves to the remembered reading (see reopenReadings).
    void returnToRemembered();
    // Moves to the reading of this key, or to the newest when there is none.
    void moveToKeyOrNewest(const QString& key);
    // After the datasheet has closed: the readings opened again and the remembered reading,
    // or the newest, shown.
    void datasheetClosed();
    // After a deletion: the newest remaining reading shown and remembered.
    void showNewestReading();
    // The history of changes: whether the database keeps one (cmdChanges follows), and the
    // keys of the sensor's readings it names as changed, read again.
    void readChangedKeys();
    // The sensor's readings read again (rsReadings requeried, or opened when closed) with
    // the keys of those changed; no reading is shown until the caller shows one.
    void readReadingsAgain();
    // Shows or hides the mark of the reading shown.
    void showChangedMark();
    // Opens the Changes window of the sensor, of the one reading `key` when given.
    void openChanges(const QString& key);
    // A putting back in the Changes window changed the readings: they are read again, on
    // the reading shown (followed to `to` when it was the one at `from`), or the newest.
    void readingsPutBack(const QString& from, const QString& to);
    Progress& progress();

    // The limits of the sensor's type from the current row of rsConfig; nothing when
    // there is no such row (then the reading is taken as valid, logged once per sensor).
    std::optional<ReadingLimits> readingLimits();
    void noteMissingLimits(const Error& error);

    // The first of the temperature and load boxes whose text may not be written into the
    // reading shown (isReadingValue): its caption and its text.
    struct NotNumber {
        QString box;
        QString text;
    };
    std::optional<NotNumber> notNumberBox() const;
    // The same for one of the two boxes.
    std::optional<NotNumber> notNumberIn(const QLineEdit* box) const;

    // A key typed into a load or temperature box: true when it is discarded.
    static bool discardsKey(const QKeyEvent& key);
    // Whether a focus change leaves a control for another control of this tab.
    bool focusStaysInTab(Qt::FocusReason reason) const;
    // Puts the focus on a control of the tab.
    void focusOn(QWidget* control);

    Session* m_s;
    // Tells the engineer what another engineer did to the reading shown, after a save
    // refused for it: a reading changed stays shown with the values typed; one deleted
    // gives way to the newest reading.
    void refusedByAnother(const Error& refusal);
    // The mark of the sensor's readings table when its readings were opened (on a site
    // server): what others had changed by then.
    QString m_othersMark;
    // The bookmark of the reading the controls show; 0 when they show none.
    qint64 m_shown = 0;
    // The key of that reading as stored; with the bookmark it names the row for certain.
    QString m_shownKey;
    // The reading the tab remembered for its return: gReadingBookmark as the tab set it,
    // and the key of the reading it named then.
    struct Remembered {
        qint64 bookmark = 0;
        QString key;
    } m_remembered;
    bool m_refocusing = false;
    bool m_rekeying = false;
    bool m_limitsNoted = false;
    QString m_limitsNotedFor;
    QPointer<frmDatasheet> m_datasheet;
    QPointer<frmBatchDel> m_batchDel;
    QPointer<frmChanges> m_changes;
    // The database keeps a history of changes; the keys it names as changed (readChangedKeys).
    bool m_keepsChanges = false;
    QSet<QString> m_changedKeys;
    Progress* m_progress = nullptr;
    std::unique_ptr<Progress> m_ownProgress;
};

} // namespace rv
