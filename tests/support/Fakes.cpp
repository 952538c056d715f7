#include "tests/support/Fakes.h"
#include <QFileInfo>
#include <gtest/gtest.h>

namespace rv::test {

Answer FakeDialogs::show(const Message& message) {
    m_shown.push_back(message);
    if (message.buttons == Buttons::Ok) return Answer::Ok;
    if (m_answers.empty()) {
        ADD_FAILURE() << "Unexpected question: " << message.text.toStdString();
        return Answer::No;
    }
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<QString> FakeDialogs::prompt(const QString& text, const QString& title,
                                           const QString& defaultAnswer) {
    prompts.push_back(Prompt{text, title, defaultAnswer});
    if (m_prompts.empty()) {
        ADD_FAILURE() << "Unexpected prompt: " << text.toStdString();
        return std::nullopt;
    }
    auto a = m_prompts.front();
    m_prompts.pop_front();
    return a;
}

QString FakeDialogs::openFileName(const QString& title, const QString& folder,
                                  const QString& filter) {
    fileRequests.push_back(FileRequest{title, folder, filter});
    if (m_files.empty()) {
        ADD_FAILURE() << "Unexpected file dialog";
        return {};
    }
    QString a = m_files.front();
    m_files.pop_front();
    return a;
}

QString FakeDialogs::saveFileName(const QString& title, const QString& suggestedPath,
                                  const QString& filter) {
    fileRequests.push_back(FileRequest{title, suggestedPath, filter, true});
    if (m_files.empty()) {
        ADD_FAILURE() << "Unexpected save-file dialog";
        return {};
    }
    QString a = m_files.front();
    m_files.pop_front();
    return a;
}

Message FakeDialogs::take() {
    if (m_shown.empty()) {
        ADD_FAILURE() << "No message was shown";
        return {};
    }
    Message m = m_shown.front();
    m_shown.pop_front();
    return m;
}

void FakeDialogs::expect(const QString& text, const QString& title, Icon icon, Buttons buttons) {
    const Message m = take();
    EXPECT_EQ(m.text.toStdString(), text.toStdString());
    EXPECT_EQ(m.title.toStdString(), title.toStdString());
    EXPECT_EQ(int(m.icon), int(icon)) << "icon of " << text.toStdString();
    EXPECT_EQ(int(m.buttons), int(buttons)) << "buttons of " << text.toStdString();
}

bool FakeDesktop::openFile(const QString& path) {
    openedFiles << path;
    return opens && QFileInfo(path).isFile();
}

} // namespace rv::test
