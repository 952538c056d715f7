#include "platform/UserChoices.h"
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace rv {

UserChoices::UserChoices(const Paths& paths) {
    const QString folder = paths.specialFolder(kUserSettingsFolder);
    if (!folder.isEmpty()) m_file = QDir(folder).filePath(QStringLiteral("Rockvane/choices.ini"));
}

QString UserChoices::text(const QString& key, const QString& fallback) const {
    if (m_file.isEmpty()) return fallback;
    const QSettings settings(m_file, QSettings::IniFormat);
    return settings.value(key, fallback).toString();
}

bool UserChoices::flag(const QString& key, bool fallback) const {
    const QString kept = text(key);
    if (kept.isEmpty()) return fallback;
    return kept == QLatin1String("true");
}

bool UserChoices::setText(const QString& key, const QString& value) {
    if (m_file.isEmpty()) return false;
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath())) return false;
    QSettings settings(m_file, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool UserChoices::setFlag(const QString& key, bool value) {
    return setText(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace rv
