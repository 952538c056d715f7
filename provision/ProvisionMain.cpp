#include "provision/ProvisionMain.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "provision/ManualWriter.h"
#include "store/Provisioning.h"
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <optional>
#include <variant>

namespace rv {

namespace {

const QString kUsage =
    QStringLiteral("Usage: rockvane-provision [--documents <folder>] [--window]\n"
                   "Prepares the data folder <documents>/Brackwell/Rockvane with the "
                   "database and the manual.\n"
                   "Files that are already there are never changed.\n"
                   "  --documents <folder>  the documents folder to use instead of the "
                   "machine's own\n"
                   "  --window              show a failure in a message window as well\n");

const QLatin1String kDocumentsIs("--documents=");
const QLatin1String kWindow("--window");

struct Options {
    std::optional<QString> documents;
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
        } else {
            return QStringLiteral("Unknown argument: ") + arg;
        }
    }
    return options;
}

// A failure told in a window: the launcher that ran the command has no terminal.
void showFailure(Dialogs* dialogs, const QString& text) {
    if (dialogs) dialogs->inform(text, kTitle, Icon::Critical);
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
