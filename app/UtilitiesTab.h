#pragma once
// The "6. Utilities" tab: the manual, the web site, About, the sensor count; the filter
// and the backups have their own groups on it.
#include "ui/Controls.h"
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace rv {

class UtilitiesTab : public QWidget {
    Q_OBJECT
public:
    explicit UtilitiesTab(QWidget* parent = nullptr);

    // Places a group (the filter, the backups) in the left column, top to bottom.
    void addGroup(QWidget* group) { groups->insertWidget(groups->count() - 1, group); }
    // Places a group (the backups) in the right column, under the manual and the plots.
    void addSideGroup(QWidget* group) { side->insertWidget(side->count() - 1, group); }
    QVBoxLayout* groups;
    QVBoxLayout* side;

    PictureButton* imgHelp;
    CaptionLabel* Label66; // "View Rockvane Manual"
    PictureButton* imgInternet;
    CaptionLabel* Label40; // "Visit the Brackwell website"
    PictureButton* imgAbout;
    CaptionLabel* Label29; // "About Brackwell's Rockvane"
    QLineEdit* txtSCount;
    QCheckBox* chkTabsGrow;   // "Tabs grow with the window"
    QPushButton* cmdDatabase; // "Database...": the file or a site server
    PictureButton* imgCompare;
    CaptionLabel* lblCompare;     // "Compare sensors on one plot"
    QPushButton* cmdWeeklyReport; // "Weekly report...": the main window opens the report
};

} // namespace rv
