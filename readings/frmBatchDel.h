#pragma once
// "SensorData Deletion": the small window in which the user chooses one of three
// deletions for the current sensor: the reading shown on the Readings tab, every reading
// dated from one chosen day to another, or every reading. The window only records the
// choice in the run's state (gDelSingle, gDelBatch, gDelAll, gDelStart, gDelEnd); the
// Readings tab carries it out once the window has closed. The button pressed is the
// confirmation: nothing asks again.
#include <QDialog>

class QCalendarWidget;
class QKeyEvent;
class QLabel;
class QPushButton;

namespace rv {

struct Session;

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
    bool m_enterInCalendar = false;
};

} // namespace rv
