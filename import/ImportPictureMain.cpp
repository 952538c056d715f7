// rockvane-import-picture: draws the import window for the manual.
//   rockvane-import-picture samples/200625001.txt docs/pictures/import-window.png
#include "import/ImportPicture.h"
#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: rockvane-import-picture <datalogger file> <picture.png>\n");
        return 2;
    }
    const QImage picture = rv::drawImportWindow(args[1]);
    if (picture.isNull()) {
        std::fprintf(stderr, "rockvane-import-picture: %s cannot be staged\n", qPrintable(args[1]));
        return 1;
    }
    if (!picture.save(args[2], "PNG")) {
        std::fprintf(stderr, "rockvane-import-picture: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
