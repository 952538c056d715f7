#pragma once
// Dialogs through QMessageBox, QInputDialog and QFileDialog.
#include "platform/Dialogs.h"

class QWidget;

namespace rv {

// A file dialog filter written as the system writes it, descriptions and patterns in
// pairs separated by "|" ("Text (*.txt) | *.txt", "Text | *.txt;*.csv"), in Qt's form:
// each description with its patterns in brackets, the pairs separated by ";;"
// ("Text (*.txt)"). A filter without "|" is already in Qt's form and is kept as it is.
QString qtFileFilter(const QString& filter);

class QtDialogs : public Dialogs {
public:
    void setOwner(QWidget* owner) { m_owner = owner; }
    Answer show(const Message& message) override;
    std::optional<QString> prompt(const QString& text, const QString& title,
                                  const QString& defaultAnswer) override;
    QString openFileName(const QString& title, const QString& folder,
                         const QString& filter) override;
    QString saveFileName(const QString& title, const QString& suggestedPath,
                         const QString& filter) override;
    QString folderName(const QString& title, const QString& folder) override;

private:
    QWidget* m_owner = nullptr;
};

} // namespace rv
