#pragma once
// The first two tabs of the main window: "1. Identification" and "2. Installation".
#include "ui/Controls.h"
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace rv {

class IdentificationTab : public QWidget {
    Q_OBJECT
public:
    explicit IdentificationTab(QWidget* parent = nullptr);

    QComboBox* cboSensors;
    QLineEdit* txtSensor;
    QLineEdit* txtDateID;
    QLineEdit* txtTypeID;
    QLineEdit* txtSensorNo;
    QLineEdit* txtFamily;
    QLineEdit* txtSnav;
    QComboBox* cboDestroyed;
    QLineEdit* txtDestructionDate;
    PictureButton* imgheart;
    PictureButton* imgalive; // hidden picture holders
    PictureButton* imgdead;
    PictureButton* imgPrevious;
    PictureButton* imgNext;
    PictureButton* imgAddSensor;
    PictureButton* imgDelete;
    CaptionLabel* Label56; // "Previous"
    CaptionLabel* Label59; // "Next"
    CaptionLabel* Label57; // "Add New"
    CaptionLabel* Label55; // "Delete"
};

class InstallationTab : public QWidget {
    Q_OBJECT
public:
    explicit InstallationTab(QWidget* parent = nullptr);

    QLineEdit* txtSensor2;
    QLineEdit* txtLevel;
    QLineEdit* txtLocation;
    QLineEdit* txtBorehole;
    QLineEdit* txtInstallDate;
    QLineEdit* txtInstallBy;
    QLineEdit* txtPurpose;
    QLabel* lblNotes;
    QPlainTextEdit* txtNotes;
    QLineEdit* txtOffset;
    QPushButton* cmdSave;

    // The sensor's alarm levels: tons relative to the offset, and tons per day.
    QGroupBox* fraLevels;
    QLineEdit* txtAlertLoad;
    QLineEdit* txtAlarmLoad;
    QLineEdit* txtRateLimit;
};

} // namespace rv
