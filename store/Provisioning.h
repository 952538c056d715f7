#pragma once
// Preparing the data folder on first use: the folder itself, the shipped database and
// the manual. Nothing that exists is ever overwritten or altered.
#include "platform/Status.h"
#include <QString>
#include <functional>

namespace rv {

inline const QString kDatabaseFileName = QStringLiteral("RockvaneLODIX.mdb");
inline const QString kManualFileName = QStringLiteral("RockvaneManual.pdf");

// Creates a new shipped database at path (fixed tables, the type-25 configuration row,
// the preferences row, the readings template). Fails, touching nothing, when a file is
// already there. Built in a temporary file and renamed into place, so a failure never
// leaves half a database behind.
Status createShippedDatabase(const QString& path);

struct ProvisionReport {
    bool createdFolder = false;
    bool createdDatabase = false;
    bool createdManual = false;
};

// The data folder <documents>/Brackwell/Rockvane with its database and manual, each
// made only when missing. writeManual(path) writes the manual to path.
Result<ProvisionReport>
provisionDataFolder(const QString& dataFolder,
                    const std::function<Status(const QString&)>& writeManual);

} // namespace rv
