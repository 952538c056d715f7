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

// Makes the program's tables (the fixed ones, the readings template, the alarm levels and
// the import history) and the seed rows in the site-server database conninfo names, in one
// transaction. The database must exist and hold none of the program's tables: one that
// holds any is refused, untouched (err::FileError, naming the table found).
Status provisionServerDatabase(const QString& conninfo);

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
