#pragma once
// The comparison window, opened from the "6. Utilities" tab: the user ticks sensors in
// the list of all sensors, or takes every sensor on one Level or at one Location, and
// sees their loads on one plot, each with its alarm levels; "Export as JPG" saves the
// plot as a picture wherever the user chooses.
#include "compare/CompareData.h"
#include <QDialog>
#include <QPixmap>
#include <memory>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace rv {

struct Session;
class Progress;
class ComparePlot;

// The picture of the Utilities tab's button: three curves on a small plot.
QPixmap comparePicture();

class frmCompare : public QDialog {
    Q_OBJECT
public:
    explicit frmCompare(Session& session, QWidget* parent = nullptr);
    ~frmCompare() override;

    // Where the progress of reading the loads is shown (nothing: a progress dialog over
    // this window). The window does not own it.
    void setProgress(Progress* progress);

    // Ticks exactly the sensors named (the others are unticked).
    void tickSensors(const QStringList& ids);
    QStringList tickedSensors() const;

    void cmdPlot_Click();
    void cboLevel_Click();
    void cboLocation_Click();
    void cmdUntick_Click();
    void cmdWhole_Click();
    void cmdExport_Click();

    QListWidget* lstSensors;
    QComboBox* cboLevel;    // "All sensors on Level"
    QComboBox* cboLocation; // "All sensors at Location"
    QPushButton* cmdUntick;
    QPushButton* cmdPlot;
    QLabel* lblNote; // what was left out, and why
    ComparePlot* ChartCompare;
    QPushButton* cmdWhole;
    QPushButton* cmdExport;
    QPushButton* cmdClose;

private:
    void fillChoices();
    void plot(const QStringList& ids, const QString& title);
    Progress& progress();

    Session& m_s;
    std::vector<ComparedSensor> m_sensors;
    Progress* m_progress = nullptr;
    std::unique_ptr<Progress> m_ownProgress;
};

} // namespace rv
