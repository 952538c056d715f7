#pragma once
// "SensorData Deletion": the small window in which the user chooses one of three
// deletions for the current sensor: the reading shown on the Readings tab, every reading
// dated from one chosen day to another, or every reading. The window only records the
// choice, its result (choice()); the Readings tab carries it out once the window has
// closed. The button pressed is the confirmation: nothing asks again.
#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QKeyEvent;
class QLabel;
class QPushButton;

namespace rv {

struct Session;

// The deletion chosen: at most one of the three, none when the window was cancelled or
// closed. The days are the two calendars' when "BATCH DELETE" was pressed.
struct BatchDeletion {
    bool gDelSingle = false; // the reading shown on the Readings tab
    bool gDelBatch = false;  // the readings dated from gDelStart to gDelEnd, both included
    bool gDelAll = false;    // every reading of the sensor
    QDate gDelStart;
    QDate gDelEnd;
};

class frmBatchDel : public QDialog {
    Q_OBJECT
public:
    explicit frmBatchDel(Session& session, QWidget* parent = nullptr);

    // No choice yet; both calendars on today's date; the line above them says which days
    // the sensor's readings span (readingDaysText).
    void Form_Load(const QString& readingDays = QString());
    void OKButton_Click();
    void cmdSingleDel_Click();
    void Command1_Click();
    void CancelButton_Click();
    const BatchDeletion& choice() const { return m_choice; }

    QLabel* Label9;
    QLabel* lblReadingDays; // "Readings from 14 Mar 2005 to 13 Jun 2005"
    QLabel* Label2;
    QCalendarWidget* DelStart;
    QLabel* Label3;
    QCalendarWidget* DelEnd;
    QLabel* Label1;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLabel* Label8;
    QLabel* Label6;
    QLabel* Label7;
    QPushButton* Command1;
    QLabel* Label5;
    QPushButton* cmdSingleDel;
    QLabel* Label4;

protected:
    // Enter in a calendar (its day grid, its year box) moves that calendar and never
    // closes the window; elsewhere it presses the default button, CANCEL.
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Session& m_s;
    BatchDeletion m_choice;
    bool m_enterInCalendar = false;
};

} // namespace rv
