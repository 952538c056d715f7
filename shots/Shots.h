#pragma once
// The pictures of the windows that the README and the manual show, drawn by the program
// itself: the real main window and its windows, started offscreen on the sample data,
// each grabbed into a PNG file.
#include <QDir>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace rv {
class frmRockvane;
}

namespace rv::shots {

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
