#include "provision/ProvisionMain.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "provision/ManualWriter.h"
#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/DatabaseCopy.h"
#include "store/DatabaseFile.h"
#include "store/ImportHistoryTable.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <optional>
#include <variant>

namespace rv {

namespace {

const QString kUsage =
    QStringLiteral("Usage: rockvane-provision [--documents <folder>] [--window]\n"
                   "       rockvane-provision --server <connection> [--move-file <file.mdb>]\n"
                   "Prepares the data folder <documents>/Brackwell/Rockvane with the "
                   "database and the manual.\n"
                   "Files that are already there are never changed.\n"
                   "  --documents <folder>  the documents folder to use instead of the "
                   "machine's own\n"
                   "  --window              show a failure in a message window as well\n"
                   "  --server <connection> prepare the Rockvane tables and their first rows "
                   "in an\n"
                   "                        empty site-server database instead (a libpq "
                   "connection\n"
                   "                        string that names the database: "
                   "\"host=db.mine dbname=rockvane\n"
                   "                        user=jo\"); a database that holds them is never "
                   "changed\n"
                   "  --move-file <file>    with --server: copy the database file's sensors and "
                   "readings\n"
                   "                        onto the empty server database in one transaction; "
                   "the file\n"
                   "                        is only read\n");

const QLatin1String kDocumentsIs("--documents=");
const QLatin1String kWindow("--window");
const QLatin1String kServerIs("--server=");
const QLatin1String kMoveFileIs("--move-file=");

struct Options {
    std::optional<QString> documents;
    std::optional<QString> server;
    std::optional<QString> moveFile;
    bool help = false;
    bool window = false;
};

// The options, or the reason they cannot be used.
std::variant<Options, QString> parse(const QStringList& args) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--documents")) {
            if (i + 1 >= args.size()) return QStringLiteral("--documents needs a folder");
            options.documents = args[++i];
        } else if (arg == kWindow) {
            options.window = true;
        } else if (arg.startsWith(kDocumentsIs)) {
            options.documents = arg.mid(kDocumentsIs.size());
        } else if (arg == QLatin1String("--server")) {
            if (i + 1 >= args.size()) return QStringLiteral("--server needs a connection string");
            options.server = args[++i];
        } else if (arg.startsWith(kServerIs)) {
            options.server = arg.mid(kServerIs.size());
        } else if (arg == QLatin1String("--move-file")) {
            if (i + 1 >= args.size()) return QStringLiteral("--move-file needs a database file");
            options.moveFile = args[++i];
        } else if (arg.startsWith(kMoveFileIs)) {
            options.moveFile = arg.mid(kMoveFileIs.size());
        } else {
            return QStringLiteral("Unknown argument: ") + arg;
        }
    }
    if (options.server && options.server->trimmed().isEmpty())
        return QStringLiteral("--server needs a connection string");
    if (options.moveFile && options.moveFile->trimmed().isEmpty())
        return QStringLiteral("--move-file needs a database file");
    if (options.moveFile && !options.server)
        return QStringLiteral("--move-file needs --server: the database to move the file onto");
    if (options.server && options.documents)
        return QStringLiteral("--server prepares a site-server database; --documents a data "
                              "folder: give one of them");
    if (options.server && !serverNamesDatabase(*options.server))
        return QStringLiteral("The connection string given to --server names no database: name "
                              "the one to prepare with dbname=<database> (or "
                              "postgresql://<host>/<database>); without it libpq would take the "
                              "database named after the user");
    return options;
}

// A failure told in a window: the launcher that ran the command has no terminal.
void showFailure(Dialogs* dialogs, const QString& text) {
    if (dialogs) dialogs->inform(text, kTitle, Icon::Critical);
}

// What a server database holds of the program's tables.
struct ServerTables {
    // Its tables whose names differ from one of the program's only in case, as "sensors for
    // Sensors": tables made by hand without quotes, which the server names in lower case.
    QStringList spelledOtherwise;
    // The program's tables (programTables), or why they could not be read.
    Result<QStringList> program = QStringList();
};

// The program's tables the server database already holds, or why it cannot be connected to.
Result<ServerTables> tablesOnServer(const QString& conninfo) {
    Connection c;
    if (Status s = c.openServer(conninfo, Connection::Mode::ReadOnly, Connection::Tables::Any);
        !s.ok())
        return s.error();
    const Result<QStringList> all = c.tables();
    if (!all.ok()) return all.error();
    ServerTables found;
    found.spelledOtherwise = tablesSpelledOtherwise(all.value());
    found.program = programTables(c);
    return found;
}

// The refusal of a database that holds tables spelt otherwise than the program's: it is
// not empty, whatever those tables hold. `onlyInto` ends the sentence: where the program's
// tables go instead.
void notEmptyMessage(QTextStream& err, const QString& name, const QStringList& spelled,
                     const QString& onlyInto) {
    err << "rockvane-provision: The database " << name
        << " is not empty: it holds tables whose names differ from Rockvane's only in case ("
        << spelled.join(QStringLiteral(", "))
        << "), as tables made by hand without quotes are named; " << onlyInto
        << ". It was left as it is" << Qt::endl;
}
const QString kOnlyEmptyDatabase =
    QStringLiteral("Rockvane's tables are made only in an empty database");
const QString kOnlyEmptyOrPrepared =
    QStringLiteral("the file is moved only onto an empty database or one that "
                   "rockvane-provision --server prepared");

// Makes the tables and first rows in a database that holds none; answers the exit code.
int prepareServer(const QString& conninfo, QTextStream& out, QTextStream& err) {
    const QString name = serverDisplayName(conninfo);
    if (Status s = provisionServerDatabase(conninfo); !s.ok()) {
        err << "rockvane-provision: Could not prepare the site-server database " << name << ": "
            << s.error().description << " (error " << s.error().number << ")" << Qt::endl;
        return 1;
    }
    out << "Prepared the Rockvane tables and their first rows in " << name << Qt::endl;
    return 0;
}

int serverMain(const QString& conninfo, QTextStream& out, QTextStream& err) {
    const QString name = serverDisplayName(conninfo);
    const Result<ServerTables> tables = tablesOnServer(conninfo);
    const Result<QStringList> found = tables.ok() ? tables.value().program : tables.error();
    // Tables spelt like the program's are found as its own (programTables), or cannot be
    // read as such: refused either way, as a database that is not empty.
    if (tables.ok() && !tables.value().spelledOtherwise.isEmpty()) {
        notEmptyMessage(err, name, tables.value().spelledOtherwise, kOnlyEmptyDatabase);
        return 1;
    }
    if (!found.ok()) {
        err << "rockvane-provision: Could not connect to the site-server database " << name << ": "
            << found.error().description << Qt::endl;
        return 1;
    }
    if (!found.value().isEmpty()) {
        err << "rockvane-provision: The database " << name << " already holds Rockvane tables ("
            << found.value().join(QStringLiteral(", ")) << "); it was left as it is" << Qt::endl;
        return 1;
    }
    return prepareServer(conninfo, out, err);
}

int moveFileMain(const QString& conninfo, const QString& path, QTextStream& out, QTextStream& err) {
    const QString name = serverDisplayName(conninfo);
    const QString file = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!QFileInfo(path).isFile()) {
        err << "rockvane-provision: There is no database file " << file << Qt::endl;
        return 1;
    }
    if (Status s = checkDatabaseFile(path, DatabaseCheckDepth::Full, 3000); !s.ok()) {
        err << "rockvane-provision: The file " << file
            << " is not a sound Rockvane database: " << s.error().description << Qt::endl;
        return 1;
    }
    const Result<ServerTables> tables = tablesOnServer(conninfo);
    const Result<QStringList> found = tables.ok() ? tables.value().program : tables.error();
    const QStringList spelled = tables.ok() ? tables.value().spelledOtherwise : QStringList();
    if (!found.ok()) {
        // Its tables could be listed but not read as the program's: "sensors" without the
        // column InstrumentID, for one.
        if (!spelled.isEmpty()) {
            notEmptyMessage(err, name, spelled, kOnlyEmptyOrPrepared);
            return 1;
        }
        err << "rockvane-provision: Could not connect to the site-server database " << name << ": "
            << found.error().description << Qt::endl;
        return 1;
    }
    // A database prepared earlier and still without data takes the file as well as one
    // with no tables at all; one holding only some of the tables is no Rockvane database.
    if (found.value().isEmpty()) {
        if (int code = prepareServer(conninfo, out, err); code != 0) return code;
    } else {
        for (const QString& fixed : fixedTables())
            if (!found.value().contains(fixed)) {
                // Not some of the program's tables but others spelt like them.
                if (!spelled.isEmpty()) {
                    notEmptyMessage(err, name, spelled, kOnlyEmptyOrPrepared);
                    return 1;
                }
                err << "rockvane-provision: The database " << name
                    << " holds some Rockvane tables but not " << fixed << "; it was left as it is"
                    << Qt::endl;
                return 1;
            }
    }
    Connection source;
    if (Status s = source.open(path, Connection::Mode::ReadOnly); !s.ok()) {
        err << "rockvane-provision: Could not open the database file " << file << ": "
            << s.error().description << Qt::endl;
        return 1;
    }
    Connection target;
    if (Status s = target.openServer(conninfo); !s.ok()) {
        err << "rockvane-provision: Could not connect to the site-server database " << name << ": "
            << s.error().description << Qt::endl;
        return 1;
    }
    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::NewDatabase);
    if (!copied.ok()) {
        err << "rockvane-provision: Could not move " << file << " onto " << name << ": "
            << copied.error().description << Qt::endl
            << "None of the file's data was copied; the file was not changed." << Qt::endl;
        return 1;
    }
    out << "Moved " << file << " onto " << name << " in one transaction:" << Qt::endl;
    for (const CopiedTable& t : copied.value().tables)
        out << "  " << t.name << ": " << t.sourceRows << " rows in the file, " << t.targetRows
            << " on the server" << Qt::endl;
    out << "The file was not changed: " << file << Qt::endl;
    return 0;
}

} // namespace

bool wantsWindow(const QStringList& args) {
    return args.contains(kWindow);
}

QString dataFolderUnder(const QString& documents) {
    return QDir::cleanPath(QDir(documents).absoluteFilePath(QStringLiteral("Brackwell/Rockvane")));
}

int provisionMain(const QStringList& args, const Paths& paths, QTextStream& out, QTextStream& err,
                  Dialogs* dialogs) {
    const auto parsed = parse(args);
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        err << "rockvane-provision: " << *problem << Qt::endl << kUsage << Qt::flush;
        return 1;
    }
    const Options& options = std::get<Options>(parsed);
    if (!options.window) dialogs = nullptr;
    if (options.help) {
        out << kUsage << Qt::flush;
        return 0;
    }
    if (options.server)
        return options.moveFile ? moveFileMain(*options.server, *options.moveFile, out, err)
                                : serverMain(*options.server, out, err);

    const QString documents =
        options.documents.value_or(paths.specialFolder(kCommonDocumentsFolder)).trimmed();
    if (documents.isEmpty()) {
        err << "rockvane-provision: "
            << (options.documents ? QStringLiteral("--documents needs a folder")
                                  : QStringLiteral("This machine has no documents folder; "
                                                   "name one with --documents <folder>"))
            << Qt::endl;
        showFailure(dialogs, QStringLiteral("Rockvane could not find a documents folder to keep "
                                            "its data folder in.") +
                                 kCrLf + kCrLf +
                                 QStringLiteral("Rockvane cannot start without it."));
        return 1;
    }

    const QString dataFolder = dataFolderUnder(documents);
    const Result<ProvisionReport> report = provisionDataFolder(dataFolder, writeManual);
    if (!report.ok()) {
        err << "rockvane-provision: Could not prepare the data folder " << dataFolder << ": "
            << report.error().description << " (error " << report.error().number << ")" << Qt::endl;
        showFailure(dialogs, QStringLiteral("Rockvane could not prepare its data folder") + kCrLf +
                                 dataFolder + kCrLf + kCrLf + report.error().description + kCrLf +
                                 kCrLf +
                                 QStringLiteral("Rockvane cannot start without it. Files already "
                                                "in the folder were left as they were."));
        return 1;
    }
    const ProvisionReport& made = report.value();
    // A new data folder is its user's alone: on a machine where one user may look into
    // another's home folder, no one else reads or changes the database. A folder that
    // was there keeps the permissions it has.
    if (made.createdFolder &&
        !QFile::setPermissions(dataFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadUser | QFile::WriteUser | QFile::ExeUser))
        err << "rockvane-provision: Could not make the data folder " << dataFolder
            << " private to its user" << Qt::endl;
    if (made.createdFolder) out << "Created the data folder: " << dataFolder << Qt::endl;
    if (made.createdDatabase)
        out << "Created the database: " << dataFolder << '/' << kDatabaseFileName << Qt::endl;
    if (made.createdManual)
        out << "Created the manual: " << dataFolder << '/' << kManualFileName << Qt::endl;
    if (!made.createdFolder && !made.createdDatabase && !made.createdManual)
        out << "Data folder ready: " << dataFolder << Qt::endl;
    return 0;
}

int provisionMain(const QStringList& args, QTextStream& out, QTextStream& err, Dialogs* dialogs) {
    return provisionMain(args, SystemPaths(), out, err, dialogs);
}

} // namespace rv
