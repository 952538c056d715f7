#include "maintenance/BackupGroup.h"
#include "ui/Pictures.h"
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace rv {

BackupGroup::BackupGroup(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fraBackup"));
    imgBackup = new PictureButton(QStringLiteral("imgBackup"), pictures::disk(), this);
    Label42 = new CaptionLabel(QStringLiteral("Label42"), QStringLiteral("Backup Database"), this);
    imgRestore = new PictureButton(QStringLiteral("imgRestore"), pictures::restore(), this);
    Label27 =
        new CaptionLabel(QStringLiteral("Label27"), QStringLiteral("Restore from Backup"), this);
    lstFiles = new QListWidget(this);
    lstFiles->setObjectName(QStringLiteral("lstFiles"));
    lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    // Room for a handful of names; the list scrolls beyond them.
    lstFiles->setMinimumHeight(90);
    lstFiles->setMaximumHeight(120);

    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    // One action a row: the group fits a narrow column.
    grid->addWidget(imgBackup, 0, 0);
    grid->addWidget(Label42, 0, 1);
    grid->addWidget(imgRestore, 1, 0);
    grid->addWidget(Label27, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Choose an mdb file to restore from:"), frame), 2, 0,
                    1, 2);
    grid->addWidget(lstFiles, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
}

} // namespace rv
