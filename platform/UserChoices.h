#pragma once
// What one user chose in the program and wants kept from run to run (the folder where
// reports are kept, whether the tabs grow with the window): a small settings file in the
// user's own settings folder, never in the shared database.
#include "platform/Paths.h"
#include <QString>

namespace rv {

// The id of the user's own settings folder among the special folders.
constexpr int kUserSettingsFolder = 26;

class UserChoices {
public:
    explicit UserChoices(const Paths& paths);
    // The settings file; empty when the machine has no settings folder for the user.
    QString file() const { return m_file; }
    // The text kept under `key`, or `fallback` when nothing is kept (or no file can be).
    QString text(const QString& key, const QString& fallback = {}) const;
    bool flag(const QString& key, bool fallback = false) const;
    // Keeps a choice; false when the settings file could not be written (the choice then
    // holds for this run only, where the caller keeps it).
    bool setText(const QString& key, const QString& value);
    bool setFlag(const QString& key, bool value);

private:
    QString m_file;
};

} // namespace rv
