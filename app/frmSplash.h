#pragma once
// The About window.
#include "ui/Controls.h"
#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace rv {

class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    QLabel* lblProductName;
    QLabel* lblVersion;
    PictureButton* Image1;
    QPushButton* Command1; // "OK": hides the window; the next About shows it again
};

// "Version " + major + "." + minor + "." + revision of the program.
QString versionText();

} // namespace rv
