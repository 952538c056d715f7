#include "shots/Shots.h"
#include "app/frmRockvane.h"
#include "core/DateText.h"
#include "fakes/Fakes.h"
#include "shots/SampleData.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace rv::shots {

namespace {

// The day the pictures are taken: the sample readings run up to it.
QDateTime shotMoment() {
    return wallClock(QDate(2026, 3, 14), QTime(10, 0, 0));
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool save(QWidget* widget, const QString& path) {
    if (!widget) return false;
    settle();
    return widget->grab().save(path, "PNG");
}

} // namespace

int drawAll(const QString& outputFolder, const QStringList& only) {
    QTemporaryDir tmp;
    if (!tmp.isValid() || !QDir().mkpath(outputFolder)) return 1;
    // Messages are answered with their default button and noted on the console; the
    // file dialog answers what a scene queues.
    fakes::ScriptedDialogs dialogs(fakes::Unscripted::Default);
    fakes::FixedClock clock(shotMoment());
    fakes::FolderPaths paths;
    fakes::RecordingDesktop desktop;
    fakes::FixedInstance instance;
    paths.documents = tmp.path();
    const QString dataFolder = tmp.path() + QStringLiteral("/Brackwell/Rockvane");
    QDir().mkpath(dataFolder);
    if (Status s =
            buildSampleDatabase(dataFolder + QStringLiteral("/") + kDatabaseFileName, shotMoment());
        !s.ok()) {
        std::fprintf(stderr, "rockvane-shots: %s\n", qPrintable(s.error().description));
        return 1;
    }

    auto window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    if (!window->Form_Load()) return 1;
    window->show();
    settle();

    int failed = 0;
    for (const Scene& scene : scenes()) {
        if (!only.isEmpty() && !only.contains(scene.file)) continue;
        const QString path = QDir(outputFolder).filePath(scene.file);
        if (scene.prepare) scene.prepare(*window);
        settle();
        bool ok = false;
        if (scene.open) {
            // A window shown with its own loop is grabbed from inside that loop, then
            // closed; one shown without a loop is grabbed once it is up.
            bool done = false;
            QTimer::singleShot(150, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                // A scene may name the window itself and set it up for the picture.
                QWidget* shown = scene.grab ? scene.grab(*window) : modal;
                ok = save(shown, path);
                if (modal) modal->close();
                done = true;
            });
            scene.open(*window);
            QElapsedTimer waited;
            waited.start();
            while (!done && waited.elapsed() < 5000)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        } else {
            ok = save(scene.grab(*window), path);
        }
        std::fprintf(stderr, "rockvane-shots: %s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
        if (!ok) ++failed;
    }
    window->close();
    window->Form_Terminate();
    return failed;
}

} // namespace rv::shots
