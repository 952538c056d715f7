// rockvane-shots: draws the pictures of the README and the manual.
//   rockvane-shots <output folder> [picture.png ...]
#include "shots/Shots.h"
#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rockvane"));
    QApplication::setOrganizationName(QStringLiteral("Brackwell"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: rockvane-shots <output folder> [picture.png ...]\n");
        return 2;
    }
    return rv::shots::drawAll(args.at(1), args.mid(2)) == 0 ? 0 : 1;
}
