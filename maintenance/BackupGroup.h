#pragma once
// The backups' group on the "6. Utilities" tab: "Backup Database", "Restore from Backup"
// and the list of backups to restore from.
#include "ui/Controls.h"
#include <QListWidget>
#include <QWidget>

namespace rv {

class BackupGroup : public QWidget {
    Q_OBJECT
public:
    explicit BackupGroup(QWidget* parent = nullptr);

    PictureButton* imgBackup;
    CaptionLabel* Label42; // "Backup Database"
    PictureButton* imgRestore;
    CaptionLabel* Label27; // "Restore from Backup"
    QListWidget* lstFiles;
};

} // namespace rv
