#include "store/Provisioning.h"
#include "data/ShippedDatabase.h"
#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/DatabaseFile.h"
#include "store/Engine.h"
#include "store/ImportHistoryTable.h"
#include "store/PgEngine.h"
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

Status provisionServerDatabase(const QString& conninfo) {
    Connection c;
    if (Status s = c.openServer(conninfo, Connection::Mode::ReadWrite, Connection::Tables::Any);
        !s.ok())
        return s;
    const auto present = c.tables();
    if (!present.ok()) return present.error();
    for (const QString& table : ownTables())
        if (present.value().contains(table, Qt::CaseInsensitive))
            return Status::fail(err::FileError,
                                QStringLiteral("The database ") + serverDisplayName(conninfo) +
                                    QStringLiteral(" already holds the table ") + table +
                                    QStringLiteral(": it is left as it is"));
    if (Status s = c.begin(); !s.ok()) return s;
    Status s = c.engine()->execute(QString::fromUtf8(shipped::kSchemaSql));
    if (s.ok()) s = c.engine()->execute(QString::fromUtf8(shipped::kSeedSql));
    if (s.ok()) s = ensureAlarmTable(c);
    if (s.ok()) s = ensureHistoryTables(c);
    if (s.ok()) s = ensureChangeTables(c);
    if (s.ok()) s = c.engine()->keepChanges(QStringLiteral("Sensors"));
    if (s.ok()) s = c.commit();
    if (!s.ok()) c.rollback();
    return s;
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
