// rockvane-provision: prepares the data folder on first use (see ProvisionMain.h).
// It runs headless: the manual needs QtGui's fonts and PDF output but no screen. Only
// with --window, and when there is a screen to show it on, does it use the screen for
// its failure message.
#include "platform/QtDialogs.h"
#include "provision/ProvisionMain.h"
#include "ui/Pictures.h"
#include <QApplication>
#include <QTextStream>
#include <cstdio>

namespace {
// Qt's own notes (a missing runtime folder on a headless machine and the like) would
// mix with the tool's lines; only its serious messages are let through.
QtMessageHandler qtHandler = nullptr;
void seriousOnly(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    if (qtHandler)
        qtHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// A message window can be shown: a display to show it on, and no platform chosen that
// has none (a window there would wait for an answer that never comes).
bool screenAvailable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}
} // namespace

int main(int argc, char** argv) {
    qtHandler = qInstallMessageHandler(seriousOnly);
    const bool window = rv::wantsWindow(argumentsOf(argc, argv)) && screenAvailable();
    if (!window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rockvane"));
    QApplication::setDesktopFileName(QStringLiteral("rockvane"));
    if (window) QApplication::setWindowIcon(rv::pictures::logoIcon());
    QTextStream out(stdout);
    QTextStream err(stderr);
    rv::QtDialogs dialogs;
    return rv::provisionMain(app.arguments().mid(1), out, err, window ? &dialogs : nullptr);
}
