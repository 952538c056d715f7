#include "fakes/Fakes.h"
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <utility>

namespace rv::fakes {

namespace {

FailureHook& failureHook() {
    static FailureHook hook;
    return hook;
}

// The program's own name, for notes on the console ("rockvane-shots").
QString programName() {
    return QCoreApplication::instance()
               ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
               : QStringLiteral("rockvane");
}

QString iconName(Icon icon) {
    switch (icon) {
    case Icon::None:
        return QStringLiteral("none");
    case Icon::Information:
        return QStringLiteral("Information");
    case Icon::Exclamation:
        return QStringLiteral("Exclamation");
    case Icon::Critical:
        return QStringLiteral("Critical");
    }
    return QString::number(int(icon));
}

QString buttonsName(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return QStringLiteral("Ok");
    case Buttons::YesNo:
        return QStringLiteral("YesNo");
    case Buttons::YesNoCancel:
        return QStringLiteral("YesNoCancel");
    }
    return QString::number(int(buttons));
}

QString quoted(const QString& text) {
    return QStringLiteral("\"") + text + QStringLiteral("\"");
}

} // namespace

FailureHook setFailureHook(FailureHook hook) {
    return std::exchange(failureHook(), std::move(hook));
}

void reportFailure(const QString& what) {
    if (failureHook())
        failureHook()(what);
    else
        std::fprintf(stderr, "%s: %s\n", qPrintable(programName()), qPrintable(what));
}

Answer ScriptedDialogs::show(const Message& message) {
    m_shown.push_back(message);
    if (whileShown) whileShown(message);
    if (unscripted == Unscripted::Default)
        std::fprintf(stderr, "%s: message \"%s\"\n", qPrintable(programName()),
                     qPrintable(message.text));
    if (message.buttons == Buttons::Ok) return Answer::Ok;
    if (m_answers.empty()) return unanswered(message);
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

Answer ScriptedDialogs::unanswered(const Message& message) {
    switch (unscripted) {
    case Unscripted::Fail:
        reportFailure(QStringLiteral("Unexpected question: ") + message.text);
        return Answer::No;
    case Unscripted::No:
        return Answer::No;
    case Unscripted::Yes:
        return Answer::Yes;
    case Unscripted::Default:
        return message.defaultAnswer;
    }
    return Answer::No;
}

std::optional<QString> ScriptedDialogs::prompt(const QString& text, const QString& title,
                                               const QString& defaultAnswer) {
    prompts.push_back(Prompt{text, title, defaultAnswer});
    if (m_prompts.empty()) {
        if (unscripted == Unscripted::Fail)
            reportFailure(QStringLiteral("Unexpected prompt: ") + text);
        return std::nullopt;
    }
    // Taken apart rather than copied whole: the optimiser warns, wrongly, of a copied
    // optional text read before it is set.
    const bool typed = m_prompts.front().has_value();
    const QString answer = m_prompts.front().value_or(QString());
    m_prompts.pop_front();
    if (!typed) return std::nullopt;
    return answer;
}

QString ScriptedDialogs::nextFile(const char* dialog) {
    if (m_files.empty()) {
        if (unscripted == Unscripted::Fail)
            reportFailure(QStringLiteral("Unexpected ") + QLatin1String(dialog));
        return {};
    }
    QString a = m_files.front();
    m_files.pop_front();
    return a;
}

QString ScriptedDialogs::openFileName(const QString& title, const QString& folder,
                                      const QString& filter) {
    fileRequests.push_back(FileRequest{title, folder, filter});
    return nextFile("file dialog");
}

QString ScriptedDialogs::folderName(const QString& title, const QString& folder) {
    fileRequests.push_back(FileRequest{title, folder, QString()});
    return nextFile("folder dialog");
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& suggestedPath,
                                      const QString& filter) {
    fileRequests.push_back(FileRequest{title, suggestedPath, filter, true});
    return nextFile("save-file dialog");
}

Message ScriptedDialogs::take() {
    if (m_shown.empty()) {
        reportFailure(QStringLiteral("No message was shown"));
        return {};
    }
    Message m = m_shown.front();
    m_shown.pop_front();
    return m;
}

void ScriptedDialogs::expect(const QString& text, const QString& title, Icon icon,
                             Buttons buttons) {
    if (m_shown.empty()) {
        reportFailure(QStringLiteral("No message was shown; expected ") + quoted(text));
        return;
    }
    const Message m = take();
    QStringList wrong;
    if (m.text != text)
        wrong << QStringLiteral("text\n    shown:    ") + quoted(m.text) +
                     QStringLiteral("\n    expected: ") + quoted(text);
    if (m.title != title)
        wrong << QStringLiteral("title\n    shown:    ") + quoted(m.title) +
                     QStringLiteral("\n    expected: ") + quoted(title);
    if (m.icon != icon)
        wrong << QStringLiteral("icon\n    shown:    ") + iconName(m.icon) +
                     QStringLiteral("\n    expected: ") + iconName(icon);
    if (m.buttons != buttons)
        wrong << QStringLiteral("buttons\n    shown:    ") + buttonsName(m.buttons) +
                     QStringLiteral("\n    expected: ") + buttonsName(buttons);
    if (!wrong.isEmpty())
        reportFailure(QStringLiteral("The message ") + quoted(text) +
                      QStringLiteral(" differs in its ") + wrong.join(QStringLiteral("\n  and ")));
}

bool RecordingDesktop::openFile(const QString& path) {
    openedFiles << path;
    return opens && QFileInfo(path).isFile();
}

bool RecordingDesktop::openAddress(const QString& url) {
    openedAddresses << url;
    return opens;
}

} // namespace rv::fakes
