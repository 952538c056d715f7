#include "provision/ManualWriter.h"
#include "platform/Log.h"
#include "store/Provisioning.h"
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

// Every picture the manual shows travels inside the program and can be drawn.
TEST(ManualSource, EveryPictureItShowsIsCompiledIn) {
    static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
    QStringList pictures;
    for (auto it = picture.globalMatch(manualMarkdown()); it.hasNext();)
        pictures << it.next().captured(1);
    EXPECT_TRUE(pictures.contains(QStringLiteral("images/utilities-tab.png")));
    EXPECT_TRUE(pictures.contains(QStringLiteral("images/report-window.png")));
    for (const QString& path : pictures)
        EXPECT_FALSE(QImage(QStringLiteral(":/manual/") + path).isNull()) << path.toStdString();
}

} // namespace
} // namespace rv
