#include "sensors/SensorTabs.h"
#include "ui/Pictures.h"
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace rv {

namespace {

QLineEdit* box(QWidget* parent, const QString& name, bool readOnly = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(readOnly);
    return edit;
}

// A picture button with its caption label underneath.
QWidget* button(PictureButton* picture, CaptionLabel* label, QWidget* parent) {
    auto* cell = new QWidget(parent);
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    return cell;
}

} // namespace

IdentificationTab::IdentificationTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabIdentification"));
    cboSensors = new QComboBox(this);
    cboSensors->setObjectName(QStringLiteral("cboSensors"));
    cboSensors->setEditable(true);
    cboSensors->setInsertPolicy(QComboBox::NoInsert);
    cboSensors->setMaxVisibleItems(20);
    cboSensors->setMinimumWidth(160);
    // The list keeps its own order; Qt's completer would jump between sensors by itself.
    cboSensors->setCompleter(nullptr);

    txtSensor = box(this, QStringLiteral("txtSensor"), true);
    txtDateID = box(this, QStringLiteral("txtDateID"));
    txtTypeID = box(this, QStringLiteral("txtTypeID"));
    txtSensorNo = box(this, QStringLiteral("txtSensorNo"));
    txtFamily = box(this, QStringLiteral("txtFamily"));
    txtSnav = box(this, QStringLiteral("txtSnav"), true);
    txtSnav->setText(QStringLiteral("?"));
    cboDestroyed = new QComboBox(this);
    cboDestroyed->setObjectName(QStringLiteral("cboDestroyed"));
    cboDestroyed->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    txtDestructionDate = box(this, QStringLiteral("txtDestructionDate"));

    imgalive = new PictureButton(QStringLiteral("imgalive"), pictures::alive(), this);
    imgdead = new PictureButton(QStringLiteral("imgdead"), pictures::dead(), this);
    imgalive->hide();
    imgdead->hide();
    imgheart = new PictureButton(QStringLiteral("imgheart"), pictures::alive(), this);
    imgheart->takePictureOf(*imgalive);
    imgheart->setCursor(Qt::ArrowCursor);

    imgPrevious = new PictureButton(QStringLiteral("imgPrevious"), pictures::arrowLeft(), this);
    imgNext = new PictureButton(QStringLiteral("imgNext"), pictures::arrowRight(), this);
    imgAddSensor = new PictureButton(QStringLiteral("imgAddSensor"), pictures::plus(), this);
    imgDelete = new PictureButton(QStringLiteral("imgDelete"), pictures::cross(), this);
    Label56 = new CaptionLabel(QStringLiteral("Label56"), QStringLiteral("Previous"), this);
    Label59 = new CaptionLabel(QStringLiteral("Label59"), QStringLiteral("Next"), this);
    Label57 = new CaptionLabel(QStringLiteral("Label57"), QStringLiteral("Add New"), this);
    Label55 = new CaptionLabel(QStringLiteral("Label55"), QStringLiteral("Delete"), this);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(captionLabel(QStringLiteral("Add or Select Sensor:"), this), row, 0);
    grid->addWidget(cboSensors, row++, 1);
    grid->addWidget(captionLabel(QStringLiteral("Instrument ID:"), this), row, 0);
    grid->addWidget(txtSensor, row++, 1);

    auto* parts = new QHBoxLayout;
    for (auto [text, edit] : {std::pair{QStringLiteral("Date ID"), txtDateID},
                              std::pair{QStringLiteral("S Type"), txtTypeID},
                              std::pair{QStringLiteral("S Number"), txtSensorNo}}) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(text, this));
        column->addWidget(edit);
        parts->addLayout(column);
    }
    grid->addLayout(parts, row++, 1);
    grid->addWidget(captionLabel(QStringLiteral("Family:"), this), row, 0);
    grid->addWidget(txtFamily, row++, 1);
    grid->addWidget(captionLabel(QStringLiteral("Record Navigation:"), this), row, 0);
    grid->addWidget(txtSnav, row++, 1);

    auto* status = new QGroupBox(this);
    auto* statusLayout = new QGridLayout(status);
    statusLayout->addWidget(captionLabel(QStringLiteral("Destroyed:"), status), 0, 0);
    statusLayout->addWidget(cboDestroyed, 0, 1);
    statusLayout->addWidget(imgheart, 0, 2, 2, 1);
    statusLayout->addWidget(captionLabel(QStringLiteral("Date:"), status), 1, 0);
    statusLayout->addWidget(txtDestructionDate, 1, 1);
    grid->addWidget(status, row++, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button(imgPrevious, Label56, this));
    buttons->addWidget(button(imgNext, Label59, this));
    buttons->addWidget(button(imgAddSensor, Label57, this));
    buttons->addWidget(button(imgDelete, Label55, this));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
}

InstallationTab::InstallationTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabInstallation"));
    txtSensor2 = box(this, QStringLiteral("txtSensor2"), true);
    txtLevel = box(this, QStringLiteral("txtLevel"));
    txtLocation = box(this, QStringLiteral("txtLocation"));
    txtBorehole = box(this, QStringLiteral("txtBorehole"));
    txtInstallDate = box(this, QStringLiteral("txtInstallDate"));
    txtInstallDate->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    txtInstallBy = box(this, QStringLiteral("txtInstallBy"));
    txtPurpose = box(this, QStringLiteral("txtPurpose"));
    lblNotes = new QLabel(QStringLiteral("Notes:"), this);
    lblNotes->setObjectName(QStringLiteral("lblNotes"));
    lblNotes->setAlignment(Qt::AlignRight | Qt::AlignTop);
    txtNotes = new QPlainTextEdit(this);
    txtNotes->setObjectName(QStringLiteral("txtNotes"));
    txtNotes->setTabChangesFocus(true);
    txtOffset = box(this, QStringLiteral("txtOffset"));
    cmdSave = new QPushButton(QStringLiteral("Save Updates"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));

    auto* grid = new QGridLayout(this);
    int row = 0;
    const std::pair<QString, QWidget*> rows[] = {
        {QStringLiteral("Instrument ID:"), txtSensor2},
        {QStringLiteral("Level:"), txtLevel},
        {QStringLiteral("Location:"), txtLocation},
        {QStringLiteral("Borehole:"), txtBorehole},
        {QStringLiteral("Install Date:"), txtInstallDate},
        {QStringLiteral("Installed By:"), txtInstallBy},
        {QStringLiteral("Purpose:"), txtPurpose},
    };
    for (const auto& [text, widget] : rows) {
        grid->addWidget(captionLabel(text, this), row, 0);
        grid->addWidget(widget, row++, 1);
    }
    grid->addWidget(lblNotes, row, 0);
    grid->addWidget(txtNotes, row++, 1);
    grid->addWidget(captionLabel(QStringLiteral("Installation Offset:"), this), row, 0);
    grid->addWidget(txtOffset, row++, 1);
    grid->addWidget(cmdSave, row++, 1, Qt::AlignRight);

    fraLevels = new QGroupBox(QStringLiteral("Alarm levels"), this);
    fraLevels->setObjectName(QStringLiteral("fraLevels"));
    txtAlertLoad = box(fraLevels, QStringLiteral("txtAlertLoad"));
    txtAlarmLoad = box(fraLevels, QStringLiteral("txtAlarmLoad"));
    txtRateLimit = box(fraLevels, QStringLiteral("txtRateLimit"));
    auto* levels = new QGridLayout(fraLevels);
    int column = 0;
    const std::tuple<QString, QLineEdit*, QString> boxes[] = {
        {QStringLiteral("Alert load:"), txtAlertLoad, QStringLiteral("tons")},
        {QStringLiteral("Alarm load:"), txtAlarmLoad, QStringLiteral("tons")},
        {QStringLiteral("Rate limit:"), txtRateLimit, QStringLiteral("tons/day")},
    };
    for (const auto& [caption, edit, unit] : boxes) {
        edit->setPlaceholderText(QStringLiteral("none"));
        edit->setMaximumWidth(90);
        levels->addWidget(captionLabel(caption, fraLevels), 0, column++);
        levels->addWidget(edit, 0, column++);
        levels->addWidget(new QLabel(unit, fraLevels), 0, column++);
    }
    levels->setColumnStretch(column, 1);
    grid->addWidget(fraLevels, row++, 0, 1, 2);
}

} // namespace rv
