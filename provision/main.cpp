// rockvane-provision: prepares the data folder on first use (see ProvisionMain.h).
// It runs headless: the manual needs QtGui's fonts and PDF output but no screen.
#include "provision/ProvisionMain.h"
#include <QGuiApplication>
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
} // namespace

int main(int argc, char** argv) {
    qtHandler = qInstallMessageHandler(seriousOnly);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return rv::provisionMain(app.arguments().mid(1), out, err);
}
