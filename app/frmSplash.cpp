#include "app/frmSplash.h"
#include "ui/Pictures.h"
#include <QHBoxLayout>
#include <QVBoxLayout>

// ROCKVANE_VERSION comes from the project's version in the top CMakeLists.txt, the one
// place the version is set; the package and the manual take it from there too.

namespace rv {

QString versionText() {
    return QStringLiteral("Version ") + QStringLiteral(ROCKVANE_VERSION);
}

frmSplash::frmSplash(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("About Brackwell's Rockvane"));
    setModal(true);
    lblProductName = new QLabel(QStringLiteral("Brackwell's Rockvane LODIX"), this);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont big = lblProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblProductName->setFont(big);
    lblVersion = new QLabel(versionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    Image1 = new PictureButton(QStringLiteral("Image1"), pictures::logo().scaled(64, 64), this);
    Image1->setCursor(Qt::ArrowCursor);
    auto* about = new QLabel(QStringLiteral("Load-cell sensor database for ground support "
                                            "monitoring."),
                             this);
    about->setWordWrap(true);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);

    auto* text = new QVBoxLayout;
    text->addWidget(lblProductName);
    text->addWidget(lblVersion);
    text->addWidget(about);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Command1, 0, Qt::AlignRight);
}

} // namespace rv
