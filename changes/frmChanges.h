#pragma once
// "Changes - Sensor <id>": every entry of the history of one sensor, newest first (or of one
// of its readings, when opened for it), narrowed by a range of days and by kind, with the
// values before and after; the entry chosen in full below the list; and "Put back", which
// restores the values a change overwrote, or the readings a deletion took, after a
// confirmation that says what will change. A putting back is recorded like any change, and
// the window says so to whoever shows the readings (readingsChanged).
#include "changes/ChangesModel.h"
#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;

namespace rv {

struct Session;

class frmChanges : public QDialog {
    Q_OBJECT
public:
    // The window of sensor instrumentId; of its reading `key` alone when one is given.
    frmChanges(Session& session, QString instrumentId, QString key = {}, QWidget* parent = nullptr);

    // Lists the entries; false when they could not be read (logged), and the window is
    // then not to be shown.
    bool Form_Load();
    // Lists the entries passing the filters again and chooses the newest.
    void listChanges();
    // Chooses a row of the list (0 is the newest entry listed).
    void choose(int row);
    // The entry chosen in the list; nullptr when none is.
    const ChangeEntry* chosenEntry() const;

    void cmdPutBack_Click();
    void cmdAllReadings_Click();
    void cmdClose_Click();

    QLabel* lblReading;          // "Reading 200625001 2026/03/10 06:00:00"
    QPushButton* cmdAllReadings; // "Show all readings"
    QCheckBox* chkFrom;          // "From"
    QDateEdit* dtpFrom;          // the first day listed, when chkFrom is ticked
    QCheckBox* chkTo;            // "To"
    QDateEdit* dtpTo;            // the last day listed, when chkTo is ticked
    QComboBox* cboKind;          // "All kinds", then each kind
    QLabel* lblCount;            // "12 changes"
    QTableView* grdChanges;
    ChangesModel* model;
    QLabel* lblEntry;        // the entry chosen: what, when, who, how, its note
    QTableWidget* grdEntry;  // its values: Column, Before, After
    QPushButton* cmdPutBack; // "Put back"
    QPushButton* cmdClose;   // "Close"

signals:
    // A putting back changed the sensor's readings. The reading that was at key `from` is
    // at key `to` now (the same key unless its date and time were put back); both are
    // empty when readings came back.
    void readingsChanged(const QString& from, const QString& to);

private:
    void buildControls();
    void layOut();
    void wire();
    // The filter the controls describe.
    ChangeFilter filter() const;
    // The entry chosen changed: its values in full below the list, and Put back enabled
    // when it can be put back.
    void entryChosen();
    // Offers the days of the entries listed as the range's ends.
    void setRangeFromList();

    Session& m_s;
    QString m_instrumentId;
    QString m_key;
};

} // namespace rv
