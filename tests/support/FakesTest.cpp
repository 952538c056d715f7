// The shared fakes answer as each user of them needs: the tests' dialogs fail a test on
// a question nobody scripted, the benchmarks' answer it No or Yes, the picture tool's
// press the default button.
#include "fakes/Fakes.h"
#include "tests/support/Fakes.h"
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace rv::test {
namespace {

// Catches what the fakes report for the length of a test, then puts the test programs'
// own hook back.
class CaughtFailures {
public:
    CaughtFailures()
        : m_before(fakes::setFailureHook([this](const QString& what) { reports << what; })) {}
    ~CaughtFailures() { fakes::setFailureHook(std::move(m_before)); }
    QStringList reports;

private:
    fakes::FailureHook m_before;
};

Message question(Buttons buttons, Answer defaultAnswer) {
    return Message{QStringLiteral("Delete sensor 200525001?"), kAppTitle, Icon::Exclamation,
                   buttons, defaultAnswer};
}

TEST(ScriptedDialogsTest, AQuestionNobodyAnsweredIsAnsweredByThePolicy) {
    using fakes::Unscripted;
    const struct {
        Unscripted policy;
        Buttons buttons;
        Answer defaultAnswer;
        Answer expected;
        int reports;
    } cases[] = {
        {Unscripted::Fail, Buttons::YesNo, Answer::Yes, Answer::No, 1},
        {Unscripted::Fail, Buttons::YesNoCancel, Answer::Yes, Answer::No, 1},
        {Unscripted::No, Buttons::YesNo, Answer::Yes, Answer::No, 0},
        {Unscripted::Yes, Buttons::YesNo, Answer::No, Answer::Yes, 0},
        {Unscripted::Yes, Buttons::YesNoCancel, Answer::Cancel, Answer::Yes, 0},
        {Unscripted::Default, Buttons::YesNo, Answer::No, Answer::No, 0},
        {Unscripted::Default, Buttons::YesNoCancel, Answer::Yes, Answer::Yes, 0},
        {Unscripted::Default, Buttons::YesNoCancel, Answer::Cancel, Answer::Cancel, 0},
    };
    for (const auto& c : cases) {
        CaughtFailures caught;
        fakes::ScriptedDialogs dialogs(c.policy);
        EXPECT_EQ(int(dialogs.show(question(c.buttons, c.defaultAnswer))), int(c.expected))
            << "policy " << int(c.policy) << ", buttons " << int(c.buttons);
        EXPECT_EQ(caught.reports.size(), c.reports) << "policy " << int(c.policy);
        if (c.reports) {
            EXPECT_EQ(caught.reports.front(),
                      QStringLiteral("Unexpected question: Delete sensor 200525001?"));
        }
        EXPECT_EQ(dialogs.pending().size(), 1u) << "every message is kept for the test";
    }
}

TEST(ScriptedDialogsTest, QueuedAnswersComeFirstAndOkBoxesNeedNone) {
    for (auto policy : {fakes::Unscripted::Fail, fakes::Unscripted::No, fakes::Unscripted::Yes,
                        fakes::Unscripted::Default}) {
        CaughtFailures caught;
        fakes::ScriptedDialogs dialogs(policy);
        dialogs.answer(Answer::Cancel);
        dialogs.answerNo();
        EXPECT_EQ(int(dialogs.show(question(Buttons::YesNoCancel, Answer::Yes))),
                  int(Answer::Cancel));
        EXPECT_EQ(int(dialogs.show(question(Buttons::YesNo, Answer::Yes))), int(Answer::No));
        dialogs.inform(QStringLiteral("Done."));
        EXPECT_EQ(int(dialogs.show(Message{QStringLiteral("Saved.")})), int(Answer::Ok));
        EXPECT_TRUE(caught.reports.isEmpty()) << caught.reports.join(u'\n').toStdString();
        EXPECT_EQ(dialogs.pending().size(), 4u);
        dialogs.clear();
    }
}

TEST(ScriptedDialogsTest, PromptsAndFileDialogsWithoutAnAnswerAreCancelled) {
    CaughtFailures caught;
    fakes::ScriptedDialogs quiet(fakes::Unscripted::No);
    EXPECT_EQ(quiet.prompt(QStringLiteral("Sensor?"), kAppTitle, QString()), std::nullopt);
    EXPECT_EQ(quiet.openFileName(QStringLiteral("Open"), QString(), QString()), QString());
    EXPECT_EQ(quiet.saveFileName(QStringLiteral("Save"), QString(), QString()), QString());
    EXPECT_TRUE(caught.reports.isEmpty());

    fakes::ScriptedDialogs strict;
    strict.fileAnswer(QStringLiteral("/data/200525001.txt"));
    strict.promptAnswer(QStringLiteral("200525001"));
    EXPECT_EQ(strict.openFileName(QStringLiteral("Open"), QStringLiteral("/data"), QString()),
              QStringLiteral("/data/200525001.txt"));
    EXPECT_EQ(strict.prompt(QStringLiteral("Sensor?"), kAppTitle, QString()),
              QStringLiteral("200525001"));
    strict.promptAnswer(std::nullopt);
    EXPECT_EQ(strict.prompt(QStringLiteral("Sensor?"), kAppTitle, QString()), std::nullopt)
        << "a prompt cancelled by the script";
    EXPECT_TRUE(caught.reports.isEmpty());
    EXPECT_EQ(
        strict.saveFileName(QStringLiteral("Save"), QStringLiteral("/data/a.xlsx"), QString()),
        QString());
    EXPECT_EQ(strict.prompt(QStringLiteral("Sensor?"), kAppTitle, QString()), std::nullopt);
    EXPECT_EQ(caught.reports, (QStringList{QStringLiteral("Unexpected save-file dialog"),
                                           QStringLiteral("Unexpected prompt: Sensor?")}));
    ASSERT_EQ(strict.fileRequests.size(), 2u);
    EXPECT_TRUE(strict.fileRequests[1].save);
    EXPECT_EQ(strict.fileRequests[1].folder, QStringLiteral("/data/a.xlsx"));
}

TEST(ScriptedDialogsTest, ExpectReportsEveryPartThatDiffers) {
    CaughtFailures caught;
    fakes::ScriptedDialogs dialogs;
    dialogs.inform(QStringLiteral("Saved."), kTitle, Icon::Information);
    dialogs.expect(QStringLiteral("Saved."), kTitle, Icon::Information);
    EXPECT_TRUE(caught.reports.isEmpty());

    dialogs.inform(QStringLiteral("Saved!"), kAppTitle, Icon::Exclamation);
    dialogs.expect(QStringLiteral("Saved."), kAppTitle, Icon::Information, Buttons::YesNo);
    ASSERT_EQ(caught.reports.size(), 1);
    EXPECT_EQ(caught.reports[0], QStringLiteral("The message \"Saved.\" differs in its text\n"
                                                "    shown:    \"Saved!\"\n"
                                                "    expected: \"Saved.\"\n"
                                                "  and icon\n"
                                                "    shown:    Exclamation\n"
                                                "    expected: Information\n"
                                                "  and buttons\n"
                                                "    shown:    Ok\n"
                                                "    expected: YesNo"));

    dialogs.expect(QStringLiteral("Gone."));
    EXPECT_EQ(caught.reports.last(), QStringLiteral("No message was shown; expected \"Gone.\""));
}

// In a test program the hook fails the running test, and the question is answered No.
TEST(ScriptedDialogsTest, AnUnscriptedQuestionFailsTheRunningTest) {
    FakeDialogs dialogs;
    Answer answered = Answer::Yes;
    EXPECT_NONFATAL_FAILURE(answered = dialogs.ask(QStringLiteral("Delete sensor 200525001?"))
                                           ? Answer::Yes
                                           : Answer::No,
                            "Unexpected question: Delete sensor 200525001?");
    EXPECT_EQ(int(answered), int(Answer::No));
    EXPECT_NONFATAL_FAILURE(dialogs.expect(QStringLiteral("Another?")), "differs in its text");
}

TEST(RecordingDesktopTest, OpensAFileThatIsThereUnlessNothingOpens) {
    QTemporaryDir tmp;
    const QString there = tmp.filePath(QStringLiteral("report.odt"));
    QFile file(there);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString missing = tmp.filePath(QStringLiteral("missing.odt"));

    fakes::RecordingDesktop desktop;
    EXPECT_TRUE(desktop.openFile(there));
    EXPECT_FALSE(desktop.openFile(missing));
    EXPECT_FALSE(desktop.openFile(tmp.path())) << "a folder is no file";
    EXPECT_TRUE(desktop.openAddress(QStringLiteral("https://example.org")));
    desktop.opens = false;
    EXPECT_FALSE(desktop.openFile(there));
    EXPECT_FALSE(desktop.openAddress(QStringLiteral("https://example.org")));
    EXPECT_EQ(desktop.openedFiles, (QStringList{there, missing, tmp.path(), there}));
    EXPECT_EQ(desktop.openedAddresses.size(), 2);
}

TEST(FolderPathsTest, TheDocumentsFolderIsTheOnlySpecialFolderAndTheFreeSpaceCanBeSet) {
    fakes::FolderPaths paths;
    paths.documents = QStringLiteral("/home/mine/Documents");
    EXPECT_EQ(paths.specialFolder(46), QStringLiteral("/home/mine/Documents"));
    EXPECT_EQ(paths.specialFolder(45), QString());
    EXPECT_EQ(paths.specialFolder(47), QString());
    EXPECT_GE(paths.bytesFree(QDir::tempPath()), 0) << "the disk's own figure by default";
    paths.free = 3 * 1024 * 1024;
    EXPECT_EQ(paths.bytesFree(QDir::tempPath()), 3 * 1024 * 1024);
}

} // namespace
} // namespace rv::test
