#include "store/Module1.h"
#include "core/Values.h"
#include "store/ChangeHistory.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"
#include <QFileInfo>

namespace rv {

namespace {
const QString kTableExists = QStringLiteral(" Module1_TableExists");
const QString kGetPrefs = QStringLiteral(" Module1_GetPrefs");

} // namespace

bool TableExists(Session& s, const QString& databasePath, const QString& tableName) {
    bool found = false;
    logged(s, kTableExists, [&] {
        // The shared connection answers for its own file (its copy of the table list is
        // current); any other file is asked through a private connection of its own.
        QStringList names;
        // On a site server the program has no other database: the shared connection answers.
        if (s.gConnection.isOpen() &&
            (s.gConnection.onServer() || s.gConnection.path() == databasePath)) {
            names = need(s.gConnection.tables());
        } else {
            Connection privateConnection;
            need(privateConnection.open(databasePath, Connection::Mode::ReadOnly));
            names = need(privateConnection.tables());
        }
        for (const QString& name : names) {
            if (name.left(4) == QLatin1String("MSys")) continue;
            if (name == tableName) {
                found = true;
                break;
            }
        }
    });
    return found;
}

Status createReadingsTable(Connection& connection, const QString& id) {
    if (const auto refused = unusableReadingsTableName(id)) return *refused;
    return connection.execute(sql::newReadingsTable(id));
}

Status replaceReadingsTable(Connection& connection, const QString& id) {
    if (const auto refused = unusableReadingsTableName(id)) return *refused;
    // The readings leave through the history of changes first, so that a table replaced by
    // mistake can be put back; a table whose readings cannot be kept there is not replaced.
    // All in one transaction: a table that cannot be made again leaves the old one as it
    // was, its readings in it.
    if (Status s = connection.begin(); !s.ok()) return s;
    Status s;
    if (const Result<qint64> deleted = deleteAllReadings(connection, id, how::AddSensor);
        !deleted.ok())
        s = deleted.error();
    if (s.ok()) s = connection.execute(sql::dropReadingsTable(id));
    if (s.ok()) s = connection.execute(sql::newReadingsTable(id));
    if (s.ok()) return connection.commit();
    connection.rollback();
    return s;
}

// How many of a sensor's newest readings the Readings tab reads first: what moving to a
// sensor shows needs only its newest. The rest is read by the first action that needs it:
// a move to another reading already does, as it writes back the reading shown.
constexpr int kNewestReadingsRead = 100;

Status openReadings(Connection& connection, Recordset& readings, const QString& id) {
    if (const auto refused = unusableReadingsTableName(id)) return *refused;
    if (Status opened = readings.open(connection, sql::readingsByDate(id)); !opened.ok())
        return opened;
    if (!readings.bof() && !readings.eof()) return readings.moveFirst();
    return {};
}

Status openReadingsAtNewest(Connection& connection, Recordset& readings, const QString& id) {
    if (const auto refused = unusableReadingsTableName(id)) return *refused;
    // A file is read whole at once (a window of none): its bookmarks stay the readings'
    // positions.
    return readings.openNewest(connection, sql::readingsByDate(id),
                               connection.onServer() ? kNewestReadingsRead : 0);
}

bool FileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool FolderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

void GetPrefs(Session& s) {
    logged(s, kGetPrefs, [&] {
        need(s.rsPrefs.open(s.gConnection, sql::PrefsRow));
        need(s.rsPrefs.moveFirst());
        const QVariant maxY = need(s.rsPrefs.value(QStringLiteral("MaxY")));
        if (maxY.isNull()) throw Abort{Error{94, QStringLiteral("Invalid use of Null")}};
        s.gPrefMaxY = displayText(maxY);
    });
}

} // namespace rv
