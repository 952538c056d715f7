#include "store/DatabaseFile.h"
#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/ImportHistoryTable.h"
#include <QDir>

namespace rv {

const QStringList& fixedTables() {
    static const QStringList names{QStringLiteral("Configuration"), QStringLiteral("Sensors"),
                                   QStringLiteral("NetworkConfig"), QStringLiteral("Prefs"),
                                   QStringLiteral("sensordata")};
    return names;
}

const QStringList& ownTables() {
    static const QStringList names = QStringList(fixedTables())
                                     << kAlarmLevelsTable << kImportBatchesTable
                                     << kImportBatchRowsTable << kChangeActionsTable
                                     << kReadingChangesTable;
    return names;
}

bool isOwnTable(const QString& name) {
    return ownTables().contains(name, Qt::CaseInsensitive);
}

bool isDamagedDatabaseError(const Error& error) {
    const long long primary = error.number & 0xff;
    return error.number >= 0 && (primary == err::DatabaseCorrupt || primary == err::NotADatabase);
}

QString rollbackJournalOf(const QString& databaseFile) {
    return defaultEngine().journalOf(databaseFile);
}

Result<std::unique_ptr<DatabaseLock>> lockDatabaseFile(const QString& path, int busyTimeoutMs) {
    return defaultEngine().holdForSwap(path, busyTimeoutMs);
}

Status checkDatabaseFile(const QString& path, DatabaseCheckDepth depth, int busyTimeoutMs) {
    const auto check = defaultEngine().checkFile(path, depth, busyTimeoutMs);
    if (!check.ok()) return check.error();
    const QStringList& problems = check.value().findings;
    if (problems != QStringList{QStringLiteral("ok")})
        return Error{err::DatabaseCorrupt, QStringLiteral("The file failed the integrity check (") +
                                               problems.value(0) + QStringLiteral("): ") +
                                               QDir::toNativeSeparators(path)};
    if (depth == DatabaseCheckDepth::Quick) return {};
    for (const QString& table : fixedTables()) {
        if (!check.value().tables.contains(table))
            return Error{err::ItemNotFound, QStringLiteral("The file holds no table ") + table +
                                                QStringLiteral(": ") +
                                                QDir::toNativeSeparators(path)};
    }
    return {};
}

Status compactDatabaseInto(const QString& source, const QString& target, int busyTimeoutMs) {
    return defaultEngine().compactInto(source, target, busyTimeoutMs);
}

Status copyOpenDatabase(const Connection& source, const QString& target, int busyTimeoutMs) {
    if (!source.isOpen())
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    return source.engine()->copyTo(target, busyTimeoutMs);
}

} // namespace rv
