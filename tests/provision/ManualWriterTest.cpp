#include "provision/ManualWriter.h"
#include "platform/Log.h"
#include "store/Provisioning.h"
#include "tests/TestPaths.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace rv {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "/Type /Page" objects, not the "/Type /Pages" tree nodes.
int pageCount(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    return int(QString::fromLatin1(pdf).count(page));
}

int chapterCount(const QString& markdown) {
    static const QRegularExpression chapter(QStringLiteral("^## "),
                                            QRegularExpression::MultilineOption);
    return int(markdown.count(chapter));
}

class ManualWriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
};

TEST_F(ManualWriterTest, WritesATitlePageAndEveryChapterOnPagesOfItsOwn) {
    const QString path = tmp.filePath(QStringLiteral("manual.pdf"));
    const Status written = writeManual(path);
    ASSERT_TRUE(written.ok()) << written.error().description.toStdString();

    const QByteArray pdf = readAll(path);
    EXPECT_TRUE(pdf.startsWith("%PDF")) << pdf.left(16).toStdString();
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
    const int chapters = chapterCount(manualMarkdown());
    ASSERT_GE(chapters, 6);
    EXPECT_GE(pageCount(pdf), 1 + chapters);
}

TEST_F(ManualWriterTest, CarriesEveryPictureTheManualShows) {
    static const QRegularExpression picture(QStringLiteral(R"(!\[[^\]]*\]\(([^)]+)\))"));
    QList<QSize> sizes;
    for (auto it = picture.globalMatch(manualMarkdown()); it.hasNext();) {
        const QString name = it.next().captured(1);
        const QImage image(QStringLiteral(":/manual/") + name);
        EXPECT_FALSE(image.isNull()) << name.toStdString();
        sizes << image.size();
    }
    ASSERT_GE(sizes.size(), 2);
    const QString path = tmp.filePath(QStringLiteral("manual.pdf"));
    ASSERT_TRUE(writeManual(path).ok());
    // Each picture is embedded whole, at its own size in pixels.
    const QString pdf = QString::fromLatin1(readAll(path));
    for (const QSize& size : sizes)
        EXPECT_TRUE(pdf.contains(QRegularExpression(
            QStringLiteral("/Width\\s+%1\\s*/Height\\s+%2|/Height\\s+%2\\s*/Width\\s+%1")
                .arg(size.width())
                .arg(size.height()))))
            << size.width() << " x " << size.height();
}

TEST_F(ManualWriterTest, FailsCleanlyWhereNoFileCanBeWritten) {
    const QString missingFolder = tmp.filePath(QStringLiteral("missing/manual.pdf"));
    const Status intoMissingFolder = writeManual(missingFolder);
    ASSERT_FALSE(intoMissingFolder.ok());
    EXPECT_EQ(intoMissingFolder.error().number, err::FileError);
    EXPECT_TRUE(intoMissingFolder.error().description.contains(missingFolder));
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("missing"))));

    const QString folderInTheWay = tmp.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkpath(folderInTheWay));
    EXPECT_FALSE(writeManual(folderInTheWay).ok());
    EXPECT_TRUE(QFileInfo(folderInTheWay).isDir());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList());
}

// The manual names the files of the data folder as the program names them.
TEST(ManualSource, NamesTheDataFolderFilesAsTheProgramDoes) {
    const QString markdown = manualMarkdown();
    EXPECT_TRUE(markdown.startsWith(QStringLiteral("# ")));
    for (const QString& name : {kDatabaseFileName, kManualFileName, kLogFileName})
        EXPECT_TRUE(markdown.contains(name)) << name.toStdString();
    EXPECT_TRUE(markdown.contains(QStringLiteral("Brackwell/Rockvane")));
}

// Every picture a page of the manual or of the README names is there: compiled into the
// tool for the manual, committed under docs/images for the README.
TEST(ManualSource, EveryPictureNamedIsThere) {
    static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
    int named = 0;
    for (auto it = picture.globalMatch(manualMarkdown()); it.hasNext(); ++named) {
        const QString name = it.next().captured(1);
        EXPECT_TRUE(name.startsWith(QStringLiteral("images/"))) << name.toStdString();
        EXPECT_FALSE(QImage(manualPicturePath(name)).isNull()) << name.toStdString();
    }
    EXPECT_GE(named, 4);
    const QString readme =
        QString::fromUtf8(readAll(QStringLiteral(ROCKVANE_SOURCE_DIR "/README.md")));
    for (auto it = picture.globalMatch(readme); it.hasNext(); ++named) {
        const QString name = it.next().captured(1);
        EXPECT_FALSE(QImage(QStringLiteral(ROCKVANE_SOURCE_DIR "/") + name).isNull())
            << name.toStdString();
    }
}

TEST_F(ManualWriterTest, ThePicturesAreDrawnIntoThePdf) {
    const QString path = tmp.filePath(QStringLiteral("manual.pdf"));
    ASSERT_TRUE(writeManual(path).ok());
    static const QRegularExpression image(QStringLiteral("/Subtype\\s*/Image"));
    EXPECT_GE(QString::fromLatin1(readAll(path)).count(image), 4);
}

} // namespace
} // namespace rv
