// The desktop menu's icons are the program's own picture, at every size installed.
#include "packaging/IconWriter.h"
#include "ui/Pictures.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace rv {
namespace {

using pictures::LogoPart;

// The colour the picture must have at a point of its grid: the last part drawn there.
std::optional<QColor> colourAt(const QPointF& point) {
    std::optional<QColor> colour;
    for (const LogoPart& part : pictures::logoParts()) {
        if (part.rect.contains(point)) colour = part.colour;
    }
    return colour;
}

// Checks a picture of the given size against the parts: the middle of every part shows
// that part's colour (or the one drawn over it), and the corners, outside every part,
// are transparent.
void expectPicture(const QImage& image, int size) {
    ASSERT_EQ(image.size(), QSize(size, size));
    const double scale = double(size) / pictures::kLogoGrid;
    for (const LogoPart& part : pictures::logoParts()) {
        const QPointF middle = part.rect.center();
        const QColor expected = *colourAt(middle);
        const QColor seen = image.pixelColor(int(middle.x() * scale), int(middle.y() * scale));
        EXPECT_EQ(seen.rgba(), expected.rgba())
            << "size " << size << ", middle of the part at " << middle.x() << "," << middle.y();
    }
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)}) {
        ASSERT_FALSE(colourAt((QPointF(corner) + QPointF(0.5, 0.5)) / scale)) << "test's premise";
        EXPECT_EQ(image.pixelColor(corner).alpha(), 0) << "size " << size;
    }
}

TEST(IconWriter, WritesTheSvgAndEveryPngSizeInTheIconThemeLayout) {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("icons"));
    const Status written = writeIcons(folder);
    ASSERT_TRUE(written.ok()) << written.error().description.toStdString();

    EXPECT_EQ(iconPath(folder, 0), folder + QStringLiteral("/hicolor/scalable/apps/rockvane.svg"));
    EXPECT_EQ(iconPath(folder, 48), folder + QStringLiteral("/hicolor/48x48/apps/rockvane.png"));
    QFile svg(iconPath(folder, 0));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_EQ(svg.readAll(), logoSvg());

    // The first and the last size, and every one between.
    ASSERT_EQ(kIconSizes.front(), 48);
    ASSERT_EQ(kIconSizes.back(), 256);
    for (int size : kIconSizes) {
        QImage png;
        ASSERT_TRUE(png.load(iconPath(folder, size), "PNG")) << size;
        expectPicture(png, size);
    }
    // Nothing else is left in the folders: no half-written files.
    EXPECT_EQ(
        QDir(folder + QStringLiteral("/hicolor")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
        QStringList({QStringLiteral("128x128"), QStringLiteral("256x256"), QStringLiteral("48x48"),
                     QStringLiteral("64x64"), QStringLiteral("scalable")}));
    EXPECT_EQ(QDir(folder + QStringLiteral("/hicolor/256x256/apps")).entryList(QDir::Files),
              QStringList{QStringLiteral("rockvane.png")});
}

TEST(IconWriter, TheWindowsPictureIsTheIconsPicture) {
    expectPicture(pictures::logo().toImage(), pictures::kLogoGrid);
    EXPECT_EQ(pictures::logo().toImage().convertToFormat(QImage::Format_ARGB32),
              pictures::logoImage(pictures::kLogoGrid).convertToFormat(QImage::Format_ARGB32));
    const QIcon icon = pictures::logoIcon();
    for (int size : kIconSizes)
        EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
}

TEST(IconWriter, TheSvgDrawsEveryPartOnThePicturesGrid) {
    QXmlStreamReader xml(logoSvg());
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    EXPECT_EQ(xml.namespaceUri(), QStringLiteral("http://www.w3.org/2000/svg"));
    EXPECT_EQ(xml.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 32 32"));

    std::vector<LogoPart> drawn;
    while (xml.readNextStartElement()) {
        if (xml.name() == QStringLiteral("rect")) {
            const QXmlStreamAttributes a = xml.attributes();
            drawn.push_back({QRectF(a.value(QStringLiteral("x")).toDouble(),
                                    a.value(QStringLiteral("y")).toDouble(),
                                    a.value(QStringLiteral("width")).toDouble(),
                                    a.value(QStringLiteral("height")).toDouble()),
                             QColor(a.value(QStringLiteral("fill")))});
        }
        xml.skipCurrentElement();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    const std::vector<LogoPart>& parts = pictures::logoParts();
    ASSERT_EQ(drawn.size(), parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(drawn[i].rect, parts[i].rect) << "part " << i;
        EXPECT_EQ(drawn[i].colour, parts[i].colour) << "part " << i;
    }
}

TEST(IconWriter, FailsNamingTheFileThatCannotBeWritten) {
    QTemporaryDir tmp;
    // A file stands where the icon theme's folder should be.
    const QString folder = tmp.filePath(QStringLiteral("icons"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile blocker(folder + QStringLiteral("/hicolor"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const Status written = writeIcons(folder);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().number, err::FileError);
    EXPECT_TRUE(written.error().description.contains(iconPath(folder, 0)))
        << written.error().description.toStdString();
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile()) << "what was in the way is left alone";
}

} // namespace
} // namespace rv
