#pragma once
// The pictures of the windows that the README and the manual show, drawn by the program
// itself: the real main window and its windows, started offscreen on the sample data,
// each grabbed into a PNG file.
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include <QDir>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace rv {
class frmRockvane;
}

namespace rv::shots {

// Messages are answered with their default button and noted on the console; the file
// dialog answers the path it was given.
class ShotDialogs : public Dialogs {
public:
    Answer show(const Message& message) override;
    std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString openFileName(const QString&, const QString&, const QString&) override {
        return nextFile;
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString nextFile;
    QStringList shown;
};

class ShotClock : public Clock {
public:
    QDateTime now() const override;
};

class ShotPaths : public Paths {
public:
    QString documents;
    QString specialFolder(int id) const override {
        return id == kCommonDocumentsFolder ? documents : QString();
    }
};

class ShotDesktop : public Desktop {
public:
    bool openFile(const QString&) override { return true; }
    bool openAddress(const QString&) override { return true; }
};

class ShotInstance : public SingleInstance {
public:
    bool anotherCopyRunning() override { return false; }
};

// One picture: how to bring the window to the state shown, and what to grab. A scene
// whose `open` shows a modal window grabs that window, or what `grab` names once it is up.
struct Scene {
    QString file; // PNG file name in the output folder
    std::function<void(frmRockvane&)> prepare;
    std::function<QWidget*(frmRockvane&)> grab;
    std::function<void(frmRockvane&)> open; // opens a modal window, may be empty
};

// The scenes of every window, in the order they are drawn.
std::vector<Scene> scenes();

// Draws every scene into outputFolder; answers the number of pictures that failed.
int drawAll(const QString& outputFolder, const QStringList& only = {});

} // namespace rv::shots
