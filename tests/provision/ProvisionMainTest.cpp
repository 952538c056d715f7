#include "provision/ProvisionMain.h"
#include "provision/ManualSource.h"
#include "store/Provisioning.h"
#include "tests/support/Fakes.h"
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace rv {
namespace {

// Every file of folder with its content hash and modification time.
QStringList fingerprint(const QString& folder) {
    QStringList files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        files << info.fileName() + u' ' +
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() +
                     u' ' + QString::number(info.lastModified().toMSecsSinceEpoch());
    }
    return files;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class ProvisionMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        documents = tmp.filePath(QStringLiteral("Documents"));
        dataFolder = documents + QStringLiteral("/Brackwell/Rockvane");
        paths.documents = documents;
    }

    // Runs the command and keeps what it wrote.
    int run(const QStringList& args) {
        output.clear();
        errors.clear();
        QTextStream out(&output);
        QTextStream err(&errors);
        return provisionMain(args, paths, out, err, &dialogs);
    }
    QStringList outputLines() const { return output.split(u'\n', Qt::SkipEmptyParts); }
    QString file(const QString& name) const { return dataFolder + u'/' + name; }

    // Sets every file's modification time well in the past, so that any rewrite shows.
    void ageFiles() {
        const QDateTime past = QDateTime::currentDateTime().addDays(-30);
        for (const QString& name : QDir(dataFolder).entryList(QDir::Files)) {
            QFile f(file(name));
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(past, QFileDevice::FileModificationTime));
        }
    }

    QTemporaryDir tmp;
    QString documents;
    QString dataFolder;
    test::FakePaths paths;
    test::FakeDialogs dialogs;
    QString output;
    QString errors;
};

TEST_F(ProvisionMainTest, FirstRunCreatesTheFolderTheDatabaseAndTheManual) {
    ASSERT_EQ(run({}), 0) << errors.toStdString();
    EXPECT_EQ(outputLines(),
              QStringList({QStringLiteral("Created the data folder: ") + dataFolder,
                           QStringLiteral("Created the database: ") + file(kDatabaseFileName),
                           QStringLiteral("Created the manual: ") + file(kManualFileName)}));
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    // Nothing else is left behind: no half-written files.
    EXPECT_EQ(QDir(dataFolder).entryList(QDir::Files | QDir::Hidden),
              QStringList({kDatabaseFileName, kManualFileName}));

    QFile manual(file(kManualFileName));
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    EXPECT_EQ(manual.read(4), QByteArray("%PDF"));
}

// Users of one machine never see each other's data: a new data folder is its user's
// alone, whatever the home folder allows; a folder that was there keeps its permissions.
TEST_F(ProvisionMainTest, ANewDataFolderIsPrivateToItsUser) {
    ASSERT_EQ(run({}), 0) << errors.toStdString();
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const QFile::Permissions mine = QFileInfo(dataFolder).permissions();
    EXPECT_EQ(mine & others, QFile::Permissions()) << std::hex << int(mine);
    EXPECT_TRUE(mine.testFlags(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();

    const QString shared = tmp.filePath(QStringLiteral("Shared"));
    const QString sharedFolder = shared + QStringLiteral("/Brackwell/Rockvane");
    ASSERT_TRUE(QDir().mkpath(sharedFolder));
    const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadUser | QFile::WriteUser | QFile::ExeUser |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(sharedFolder, open));
    ASSERT_EQ(run({QStringLiteral("--documents"), shared}), 0) << errors.toStdString();
    EXPECT_EQ(QFileInfo(sharedFolder).permissions(), open);
}

TEST_F(ProvisionMainTest, SecondRunChangesNothing) {
    ASSERT_EQ(run({}), 0) << errors.toStdString();
    ageFiles();
    const QStringList before = fingerprint(dataFolder);
    ASSERT_EQ(before.size(), 2);

    ASSERT_EQ(run({}), 0) << errors.toStdString();
    EXPECT_EQ(outputLines(), QStringList{QStringLiteral("Data folder ready: ") + dataFolder});
    EXPECT_EQ(fingerprint(dataFolder), before);
}

TEST_F(ProvisionMainTest, AnExistingDatabaseIsKeptAndOnlyTheManualIsMade) {
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    writeFile(file(kDatabaseFileName), "the engineers' own database");

    ASSERT_EQ(run({}), 0) << errors.toStdString();
    EXPECT_EQ(outputLines(),
              QStringList{QStringLiteral("Created the manual: ") + file(kManualFileName)});
    QFile database(file(kDatabaseFileName));
    ASSERT_TRUE(database.open(QIODevice::ReadOnly));
    EXPECT_EQ(database.readAll(), QByteArray("the engineers' own database"));
}

TEST_F(ProvisionMainTest, TheDocumentsFolderIsTrimmedOrOverridden) {
    paths.documents = QStringLiteral("  ") + documents + QStringLiteral("/ \t");
    ASSERT_EQ(run({}), 0) << errors.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file(kDatabaseFileName)));

    paths.documents.clear();
    const QString other = tmp.filePath(QStringLiteral("Other"));
    ASSERT_EQ(run({QStringLiteral("--documents"), other}), 0) << errors.toStdString();
    EXPECT_TRUE(
        QFileInfo::exists(other + QStringLiteral("/Brackwell/Rockvane/") + kDatabaseFileName));
}

TEST_F(ProvisionMainTest, FailuresAreReportedOnTheErrorStreamWithExitCodeOne) {
    // No documents folder on the machine and none named.
    paths.documents.clear();
    EXPECT_EQ(run({}), 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("--documents"))) << errors.toStdString();
    EXPECT_TRUE(output.isEmpty());

    // Arguments that cannot be used.
    for (const QStringList& args :
         {QStringList{QStringLiteral("--documents")}, QStringList{QStringLiteral("--bogus")},
          QStringList{QStringLiteral("--documents"), QStringLiteral("  ")}}) {
        EXPECT_EQ(run(args), 1) << args.join(u' ').toStdString();
        EXPECT_FALSE(errors.isEmpty());
        EXPECT_TRUE(output.isEmpty());
    }

    // A file stands where the data folder should be.
    paths.documents = documents;
    ASSERT_TRUE(QDir().mkpath(documents + QStringLiteral("/Brackwell")));
    writeFile(dataFolder, QByteArray());
    EXPECT_EQ(run({}), 1);
    EXPECT_TRUE(errors.contains(dataFolder)) << errors.toStdString();
    EXPECT_TRUE(output.isEmpty());
    EXPECT_EQ(QFileInfo(dataFolder).size(), 0);
}

// The desktop menu's launcher runs the command with --window: it has no terminal, so a
// failure is also shown in a message window, and only a failure is.
TEST_F(ProvisionMainTest, WithWindowAFailureIsAlsoShownInAMessageWindow) {
    const QString window = QStringLiteral("--window");
    ASSERT_EQ(run({window}), 0) << errors.toStdString();
    EXPECT_TRUE(dialogs.pending().empty()) << "a prepared folder is not reported in a window";
    ASSERT_EQ(run({window}), 0) << errors.toStdString();
    EXPECT_TRUE(dialogs.pending().empty());

    // A file stands where the data folder should be.
    const QString blocked = tmp.filePath(QStringLiteral("Blocked"));
    const QString blockedFolder = blocked + QStringLiteral("/Brackwell/Rockvane");
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/Brackwell")));
    writeFile(blockedFolder, QByteArray("not a folder"));
    EXPECT_EQ(run({window, QStringLiteral("--documents"), blocked}), 1);
    EXPECT_TRUE(errors.contains(blockedFolder)) << errors.toStdString();
    dialogs.expect(QStringLiteral("Rockvane could not prepare its data folder\r\n") +
                       blockedFolder + QStringLiteral("\r\n\r\n") + blockedFolder +
                       QStringLiteral(" exists and is not a folder\r\n\r\nRockvane cannot start "
                                      "without it. Files already in the folder were left as "
                                      "they were."),
                   kTitle, Icon::Critical);

    // No documents folder at all.
    paths.documents.clear();
    EXPECT_EQ(run({window}), 1);
    dialogs.expect(QStringLiteral("Rockvane could not find a documents folder to keep its data "
                                  "folder in.\r\n\r\nRockvane cannot start without it."),
                   kTitle, Icon::Critical);

    // Without --window the terminal alone is told.
    EXPECT_EQ(run({}), 1);
    EXPECT_FALSE(errors.isEmpty());
    EXPECT_TRUE(dialogs.pending().empty());
}

TEST_F(ProvisionMainTest, TheManualCarriesTheProjectsVersion) {
    EXPECT_STREQ(manual::kVersion, ROCKVANE_TEST_VERSION);
}

} // namespace
} // namespace rv
