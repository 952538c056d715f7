#include "packaging/IconWriter.h"
#include "ui/Pictures.h"
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

namespace rv {

namespace {

// A length of the picture's grid as SVG writes it: no exponent, no trailing zeros.
QString number(double value) {
    return QString::number(value, 'g', 10);
}

Status save(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status::fail(err::FileError,
                            QStringLiteral("Could not create the folder of ") + path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Status::fail(err::FileError, QStringLiteral("Could not write ") + path +
                                                QStringLiteral(": ") + file.errorString());
    return {};
}

QByteArray png(int size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pictures::logoImage(size).save(&buffer, "PNG");
    return bytes;
}

} // namespace

QByteArray logoSvg() {
    const QString grid = QString::number(pictures::kLogoGrid);
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                                 "  <title>Rockvane</title>\n")
                      .arg(grid);
    for (const pictures::LogoPart& part : pictures::logoParts()) {
        svg +=
            QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                .arg(number(part.rect.x()), number(part.rect.y()), number(part.rect.width()),
                     number(part.rect.height()), part.colour.name(QColor::HexRgb));
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

QString iconPath(const QString& folder, int size) {
    if (size == 0)
        return folder + QStringLiteral("/hicolor/scalable/apps/") + kIconName +
               QStringLiteral(".svg");
    return folder + QStringLiteral("/hicolor/%1x%1/apps/").arg(size) + kIconName +
           QStringLiteral(".png");
}

Status writeIcons(const QString& folder) {
    if (Status s = save(iconPath(folder, 0), logoSvg()); !s.ok()) return s;
    for (int size : kIconSizes) {
        if (Status s = save(iconPath(folder, size), png(size)); !s.ok()) return s;
    }
    return {};
}

} // namespace rv
