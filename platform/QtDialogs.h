#pragma once
// Dialogs through QMessageBox, QInputDialog and QFileDialog.
#include "platform/Dialogs.h"

class QWidget;

namespace rv {

class QtDialogs : public Dialogs {
public:
    void setOwner(QWidget* owner) { m_owner = owner; }
    Answer show(const Message& message) override;
    std::optional<QString> prompt(const QString& text, const QString& title,
                                  const QString& defaultAnswer) override;
    QString openFileName(const QString& title, const QString& folder,
                         const QString& filter) override;

private:
    QWidget* m_owner = nullptr;
};

} // namespace rv
