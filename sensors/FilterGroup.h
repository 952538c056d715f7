#pragma once
// The sensor filter's group on the "6. Utilities" tab: the criterion boxes, the check box
// for destroyed sensors and the picture button that applies or removes the filter.
#include "ui/Controls.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

namespace rv {

// A text box that tells when it loses the focus to another control of the window
// (not when the whole window loses it, nor to a pop-up menu).
class DateBox : public QLineEdit {
    Q_OBJECT
public:
    DateBox(const QString& name, QWidget* parent = nullptr);

signals:
    void lostFocus();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

class FilterGroup : public QWidget {
    Q_OBJECT
public:
    explicit FilterGroup(QWidget* parent = nullptr);

    QComboBox* txtFilterType; // free text, one list item "25: LODIX"
    QLineEdit* txtFilterLevel;
    QLineEdit* txtFilterLocation;
    DateBox* txtStartDate;
    DateBox* txtEndDate;
    QCheckBox* chkDontShowDestroyed;
    PictureButton* imgFilter;
    CaptionLabel* lblFilterState;  // "Apply Filter" / "Remove Filter"
    QLabel* lblFilter;             // "* Filter Applied *", shown while a filter is applied
    PictureButton* imgApplyFilter; // hidden picture holders
    PictureButton* imgRemoveFilter;
};

} // namespace rv
