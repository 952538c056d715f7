#pragma once
// Message boxes, the text prompt and the open-file dialog. The program uses the
// Qt implementation (QtDialogs); tests use a scripted fake that records every
// message and answers from a queue.
#include <QString>
#include <optional>

namespace rv {

// The title used when a message names none.
inline const QString kAppTitle = QStringLiteral("Rockvane");
inline const QString kTitle = QStringLiteral("Brackwell's Rockvane");
inline const QString kTitleCaps = QStringLiteral("Brackwell's ROCKVANE");
// Line break inside messages.
inline const QString kCrLf = QStringLiteral("\r\n");

enum class Icon { None, Information, Exclamation, Critical };
enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

struct Message {
    QString text;
    QString title = kAppTitle;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer defaultAnswer = Answer::Ok;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a message and answers the button pressed.
    virtual Answer show(const Message& message) = 0;
    // The text prompt: the typed answer, or nothing when cancelled.
    virtual std::optional<QString> prompt(const QString& text, const QString& title,
                                          const QString& defaultAnswer) = 0;
    // The open-file dialog: the chosen path, or an empty text when cancelled.
    virtual QString openFileName(const QString& title, const QString& folder,
                                 const QString& filter) = 0;
    // The save-file dialog, starting at a suggested path: the chosen path, or an empty
    // text when cancelled. Choosing an existing file has been confirmed by the user.
    virtual QString saveFileName(const QString& title, const QString& suggestedPath,
                                 const QString& filter) = 0;
    // The folder dialog, starting at `folder`: the chosen folder, or an empty text when
    // cancelled.
    virtual QString folderName(const QString& title, const QString& folder) = 0;

    // An OK message.
    void inform(const QString& text, const QString& title = kAppTitle, Icon icon = Icon::None) {
        show(Message{text, title, icon, Buttons::Ok, Answer::Ok});
    }
    // A Yes/No question, Yes the default button; true when answered Yes.
    bool ask(const QString& text, const QString& title = kAppTitle, Icon icon = Icon::None) {
        return show(Message{text, title, icon, Buttons::YesNo, Answer::Yes}) == Answer::Yes;
    }
    // A Yes/No/Cancel question, Yes the default button; closing the box answers Cancel.
    Answer askOrCancel(const QString& text, const QString& title = kAppTitle,
                       Icon icon = Icon::None) {
        return show(Message{text, title, icon, Buttons::YesNoCancel, Answer::Yes});
    }
};

} // namespace rv
