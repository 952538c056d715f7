#include "store/Provisioning.h"
#include "data/ShippedDatabase.h"
#include "store/Connection.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <sqlite3.h>

namespace rv {

namespace {
Status runScript(sqlite3* db, const char* script) {
    char* message = nullptr;
    if (sqlite3_exec(db, script, nullptr, nullptr, &message) != SQLITE_OK) {
        const Error e{sqlite3_errcode(db), QString::fromUtf8(message ? message : "")};
        sqlite3_free(message);
        return e;
    }
    return {};
}
} // namespace

Status createShippedDatabase(const QString& path) {
    if (QFileInfo::exists(path))
        return Status::fail(err::FileError, QStringLiteral("File already exists: ") + path);
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(temporary.toUtf8().constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const Error e{sqlite3_errcode(db), QString::fromUtf8(sqlite3_errmsg(db))};
        sqlite3_close(db);
        return e;
    }
    Status s = runScript(db, "BEGIN");
    if (s.ok()) s = runScript(db, shipped::kSchemaSql);
    if (s.ok()) s = runScript(db, shipped::kSeedSql);
    if (s.ok()) s = runScript(db, "COMMIT");
    sqlite3_close(db);
    if (!s.ok()) {
        QFile::remove(temporary);
        return s;
    }
    // A plain rename would replace a file that appeared meanwhile; link-free check again.
    if (QFileInfo::exists(path) || !QFile::rename(temporary, path)) {
        QFile::remove(temporary);
        return Status::fail(err::FileError, QStringLiteral("Could not create ") + path);
    }
    return {};
}

Result<ProvisionReport>
provisionDataFolder(const QString& dataFolder,
                    const std::function<Status(const QString&)>& writeManual) {
    ProvisionReport report;
    const QFileInfo folder(dataFolder);
    if (folder.exists() && !folder.isDir())
        return Error{err::FileError, dataFolder + QStringLiteral(" exists and is not a folder")};
    if (!folder.exists()) {
        if (!QDir().mkpath(dataFolder))
            return Error{err::FileError,
                         QStringLiteral("Could not create the folder ") + dataFolder};
        report.createdFolder = true;
    }
    const QString database = dataFolder + QStringLiteral("/") + kDatabaseFileName;
    if (!QFileInfo::exists(database)) {
        if (Status s = createShippedDatabase(database); !s.ok()) return s.error();
        report.createdDatabase = true;
    }
    const QString manual = dataFolder + QStringLiteral("/") + kManualFileName;
    if (!QFileInfo::exists(manual) && writeManual) {
        const QString temporary = manual + QStringLiteral(".new");
        QFile::remove(temporary);
        if (Status s = writeManual(temporary); !s.ok()) {
            QFile::remove(temporary);
            return s.error();
        }
        if (QFileInfo::exists(manual) || !QFile::rename(temporary, manual)) {
            QFile::remove(temporary);
            return Error{err::FileError, QStringLiteral("Could not create ") + manual};
        }
        report.createdManual = true;
    }
    return report;
}

} // namespace rv
