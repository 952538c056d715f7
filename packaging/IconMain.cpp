// rockvane-icons <folder>: writes the desktop menu's icons of the program under
// <folder>/hicolor (run by the build; see IconWriter.h).
#include "packaging/IconWriter.h"
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1) {
        err << "Usage: rockvane-icons <folder>" << Qt::endl;
        return 1;
    }
    const rv::Status written = rv::writeIcons(args.first());
    if (!written.ok()) {
        err << "rockvane-icons: " << written.error().description << Qt::endl;
        return 1;
    }
    return 0;
}
