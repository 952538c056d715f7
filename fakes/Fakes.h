#pragma once
// Stand-ins for the edges of the world, shared by the tests, the benchmarks and the
// picture tool: dialogs that record every message and answer from a script, a clock that
// stands still, special folders under one folder, a desktop that records what it is asked
// to open, a progress recorder and a second-copy check with a set answer. Nothing here
// knows a test framework: a fake used against its script reports through the failure
// hook, which the tests point at their framework.
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/Progress.h"
#include "platform/SingleInstance.h"
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace rv::fakes {

// Where a fake reports being used against its script (a question nobody answered, a
// message that was not the one expected). Without a hook the report goes to the console.
using FailureHook = std::function<void(const QString& what)>;
// Installs hook and answers the one it replaces.
FailureHook setFailureHook(FailureHook hook);
void reportFailure(const QString& what);

// What the scripted dialogs do with a question, a prompt or a file dialog that comes
// with no answer queued. A plain message (an Ok box) is always answered Ok.
enum class Unscripted {
    Fail,    // reported to the failure hook; the question is answered No, the rest cancelled
    No,      // the question is answered No, the rest cancelled
    Yes,     // the question is answered Yes, the rest cancelled
    Default, // the question is answered with its default button, the rest cancelled; every
             // message shown is also noted on the console
};

class ScriptedDialogs : public Dialogs {
public:
    explicit ScriptedDialogs(Unscripted unscripted = Unscripted::Fail) : unscripted(unscripted) {}

    Answer show(const Message& message) override;
    std::optional<QString> prompt(const QString& text, const QString& title,
                                  const QString& defaultAnswer) override;
    QString openFileName(const QString& title, const QString& folder,
                         const QString& filter) override;
    // Answered from the same queue as the open-file dialog (fileAnswer).
    QString saveFileName(const QString& title, const QString& suggestedPath,
                         const QString& filter) override;
    // Answered from the same queue as the open-file dialog (fileAnswer).
    QString folderName(const QString& title, const QString& folder) override;

    // Answers for the next questions, in order; without one, `unscripted` decides.
    void answer(Answer a) { m_answers.push_back(a); }
    void answerYes() { answer(Answer::Yes); }
    void answerNo() { answer(Answer::No); }
    // The next prompt's answer (nothing = Cancel), and the next file dialog's choice.
    void promptAnswer(std::optional<QString> a) { m_prompts.push_back(std::move(a)); }
    void fileAnswer(QString path) { m_files.push_back(std::move(path)); }

    // Messages shown and not yet taken, oldest first.
    const std::deque<Message>& pending() const { return m_shown; }
    // Takes the oldest message shown; reports a failure when there is none.
    Message take();
    // Takes the oldest message and reports a failure unless its text, title, icon and
    // buttons are these.
    void expect(const QString& text, const QString& title = kAppTitle, Icon icon = Icon::None,
                Buttons buttons = Buttons::Ok);
    void clear() { m_shown.clear(); }

    Unscripted unscripted;
    // Runs as each message or question is shown, before it is answered: what happens
    // elsewhere while the engineer reads it.
    std::function<void(const Message&)> whileShown;
    struct Prompt {
        QString text, title, defaultAnswer;
    };
    std::vector<Prompt> prompts;
    // Every file dialog shown, in order.
    struct FileRequest {
        QString title, folder, filter; // folder: the suggested path of a save dialog
        bool save = false;
    };
    std::vector<FileRequest> fileRequests;

private:
    Answer unanswered(const Message& message);
    QString nextFile(const char* dialog);

    std::deque<Message> m_shown;
    std::deque<Answer> m_answers;
    std::deque<std::optional<QString>> m_prompts;
    std::deque<QString> m_files;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime now = wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)))
        : m_now(std::move(now)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }

private:
    QDateTime m_now;
};

// The common documents folder is `documents`, the user's settings folder `settings`; the
// machine has no other special folder.
class FolderPaths : public Paths {
public:
    QString documents;
    // The user's own settings folder; by default a hidden folder in the documents, so a
    // test's choices stay in its own temporary folder.
    QString settings;
    QString specialFolder(int id) const override {
        if (id == kCommonDocumentsFolder) return documents;
        if (id == 26)
            return !settings.isEmpty()   ? settings
                   : documents.isEmpty() ? QString()
                                         : documents + QStringLiteral("/.user-settings");
        return {};
    }
    // Set: every disk has this many bytes free (a full disk: a few bytes).
    std::optional<qint64> free;
    qint64 bytesFree(const QString& folder) const override {
        return free ? *free : Paths::bytesFree(folder);
    }
};

// Records every file and address it is asked to open. A file opens when `opens` is true
// and the file is there; an address opens when `opens` is true.
class RecordingDesktop : public Desktop {
public:
    QStringList openedFiles, openedAddresses;
    // False: no program opens anything (as on a desktop without one for the type).
    bool opens = true;
    bool openFile(const QString& path) override;
    bool openAddress(const QString& url) override;
};

// Records the progress reported and cancels when asked to at a given step.
class RecordingProgress : public Progress {
public:
    QStringList labels;   // every begin(), in order
    qint64 lastDone = -1; // the last step reported
    int ended = 0;        // end() calls
    qint64 cancelAt = -1; // answer "cancel" once this many steps are reported
    void begin(const QString& label, qint64) override { labels << label; }
    bool step(qint64 done) override {
        lastDone = done;
        return cancelAt < 0 || done < cancelAt;
    }
    void end() override { ++ended; }
};

// The second-copy check with set answers: by default the only copy, guarding its
// database.
class FixedInstance : public SingleInstance {
public:
    bool running = false;
    // False: the database's folder cannot hold a lock (the run opens it for reading only).
    bool guards = true;
    // What the holder's lock tells, for the log of a refused copy.
    QString holderText;
    QString guarded; // the database start-up named
    void guard(const QString& databasePath) override { guarded = databasePath; }
    bool anotherCopyRunning() override { return running; }
    bool guardsDatabase() const override { return guards; }
    QString holder() const override { return holderText; }
    void release() override { released = true; }
    bool released = false; // the run left the database
};

} // namespace rv::fakes
