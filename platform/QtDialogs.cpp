#include "platform/QtDialogs.h"
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace rv {

QString qtFileFilter(const QString& filter) {
    const QStringList pieces = filter.split(u'|');
    if (pieces.size() < 2 || pieces.size() % 2 != 0) return filter;
    static const QRegularExpression bracketsAtEnd(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList entries;
    for (qsizetype i = 0; i < pieces.size(); i += 2) {
        QString description = pieces[i].trimmed();
        description.remove(bracketsAtEnd);
        QStringList patterns = pieces[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        patterns.removeAll(QString());
        entries << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

Answer QtDialogs::show(const Message& message) {
    QMessageBox box(m_owner);
    box.setWindowTitle(message.title);
    box.setText(QString(message.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (message.icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    // A path or a number in a message can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (message.buttons == Buttons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else if (message.buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(message.defaultAnswer == Answer::No ? QMessageBox::No
                                                                 : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (message.buttons == Buttons::YesNoCancel)
        return pressed == QMessageBox::Yes  ? Answer::Yes
               : pressed == QMessageBox::No ? Answer::No
                                            : Answer::Cancel;
    if (message.buttons == Buttons::YesNo)
        return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

std::optional<QString> QtDialogs::prompt(const QString& text, const QString& title,
                                         const QString& defaultAnswer) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_owner, title, text, QLineEdit::Normal, defaultAnswer, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

QString QtDialogs::openFileName(const QString& title, const QString& folder,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(m_owner, title, folder, qtFileFilter(filter));
}

QString QtDialogs::folderName(const QString& title, const QString& folder) {
    return QFileDialog::getExistingDirectory(m_owner, title, folder);
}

QString QtDialogs::saveFileName(const QString& title, const QString& suggestedPath,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(m_owner, title, suggestedPath, qtFileFilter(filter));
}

} // namespace rv
