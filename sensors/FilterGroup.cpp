#include "sensors/FilterGroup.h"
#include "ui/Controls.h"
#include "ui/Pictures.h"
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace rv {

DateBox::DateBox(const QString& name, QWidget* parent) : QLineEdit(parent) {
    setObjectName(name);
    setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
}

void DateBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Switching to another program or opening the box's context menu leaves the box
    // where it is: only a move to another control of the window counts.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit lostFocus();
}

FilterGroup::FilterGroup(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraFilter"));

    txtFilterType = new QComboBox(this);
    txtFilterType->setObjectName(QStringLiteral("txtFilterType"));
    txtFilterType->setEditable(true);
    txtFilterType->setInsertPolicy(QComboBox::NoInsert);
    txtFilterType->addItem(QStringLiteral("25: LODIX"));
    txtFilterType->setCurrentIndex(-1);
    txtFilterType->setEditText(QString());

    txtFilterLevel = new QLineEdit(this);
    txtFilterLevel->setObjectName(QStringLiteral("txtFilterLevel"));
    txtFilterLocation = new QLineEdit(this);
    txtFilterLocation->setObjectName(QStringLiteral("txtFilterLocation"));
    txtStartDate = new DateBox(QStringLiteral("txtStartDate"), this);
    txtEndDate = new DateBox(QStringLiteral("txtEndDate"), this);
    chkDontShowDestroyed = new QCheckBox(QStringLiteral("Do Not Show Destroyed Sensors"), this);
    chkDontShowDestroyed->setObjectName(QStringLiteral("chkDontShowDestroyed"));

    imgApplyFilter = new PictureButton(QStringLiteral("imgApplyFilter"), pictures::funnel(), this);
    imgRemoveFilter =
        new PictureButton(QStringLiteral("imgRemoveFilter"), pictures::funnelOff(), this);
    imgApplyFilter->hide();
    imgRemoveFilter->hide();
    imgFilter = new PictureButton(QStringLiteral("imgFilter"), pictures::funnel(), this);
    imgFilter->takePictureOf(*imgApplyFilter);
    lblFilterState =
        new CaptionLabel(QStringLiteral("lblFilterState"), QStringLiteral("Apply Filter"), this);
    lblFilter = new QLabel(QStringLiteral("* Filter Applied *"), this);
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    lblFilter->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    lblFilter->hide();

    // A box is never squeezed below the height its text needs.
    for (QWidget* box : std::initializer_list<QWidget*>{
             txtFilterType, txtFilterLevel, txtFilterLocation, txtStartDate, txtEndDate})
        box->setMinimumHeight(box->sizeHint().height());

    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    int row = 0;
    auto* heading = new QLabel(QStringLiteral("Filter Installed Sensors:"), frame);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addWidget(heading, row++, 0, 1, 4);
    grid->addWidget(captionLabel(QStringLiteral("Filter by Sensor Type:"), frame), row, 0);
    grid->addWidget(txtFilterType, row++, 1, 1, 3);
    grid->addWidget(captionLabel(QStringLiteral("Filter by Level:"), frame), row, 0);
    grid->addWidget(txtFilterLevel, row++, 1, 1, 3);
    grid->addWidget(captionLabel(QStringLiteral("Filter by Location:"), frame), row, 0);
    grid->addWidget(txtFilterLocation, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Filter by Install Date: (yyyy/mm/dd)"), frame),
                    row++, 0, 1, 4);
    grid->addWidget(captionLabel(QStringLiteral("Start Date:"), frame), row, 0);
    grid->addWidget(txtStartDate, row, 1);
    grid->addWidget(captionLabel(QStringLiteral("End Date:"), frame), row, 2);
    grid->addWidget(txtEndDate, row++, 3);
    grid->addWidget(chkDontShowDestroyed, row++, 1, 1, 3);

    auto* button = new QHBoxLayout;
    button->addWidget(imgFilter);
    button->addWidget(lblFilterState);
    button->addStretch();
    button->addWidget(lblFilter);
    grid->addLayout(button, row++, 0, 1, 4);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
}

} // namespace rv
