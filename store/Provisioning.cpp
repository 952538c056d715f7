#include "store/Provisioning.h"
#include "data/ShippedDatabase.h"
#include "store/Connection.h"
#include "store/Engine.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace rv {

Status createShippedDatabase(const QString& path) {
    if (QFileInfo::exists(path))
        return Status::fail(err::FileError, QStringLiteral("File already exists: ") + path);
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    Status s;
    {
        auto created = defaultEngine().create(temporary);
        if (!created.ok()) return created.error();
        EngineConnection& db = *created.value();
        s = db.execute(QStringLiteral("BEGIN"));
        if (s.ok()) s = db.execute(QString::fromUtf8(shipped::kSchemaSql));
        if (s.ok()) s = db.execute(QString::fromUtf8(shipped::kSeedSql));
        if (s.ok()) s = db.execute(QStringLiteral("COMMIT"));
    }
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
