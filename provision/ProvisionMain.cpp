#include "provision/ProvisionMain.h"
#include "platform/Paths.h"
#include "provision/ManualWriter.h"
#include "store/Provisioning.h"
#include <QDir>
#include <QTextStream>
#include <optional>
#include <variant>

namespace rv {

namespace {

const QString kUsage =
    QStringLiteral("Usage: rockvane-provision [--documents <folder>]\n"
                   "Prepares the data folder <documents>/Brackwell/Rockvane with the "
                   "database and the manual.\n"
                   "Files that are already there are never changed.\n"
                   "  --documents <folder>  the documents folder to use instead of the "
                   "machine's own\n");

const QLatin1String kDocumentsIs("--documents=");

struct Options {
    std::optional<QString> documents;
    bool help = false;
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
        } else if (arg.startsWith(kDocumentsIs)) {
            options.documents = arg.mid(kDocumentsIs.size());
        } else {
            return QStringLiteral("Unknown argument: ") + arg;
        }
    }
    return options;
}

} // namespace

QString dataFolderUnder(const QString& documents) {
    return QDir::cleanPath(QDir(documents).absoluteFilePath(QStringLiteral("Brackwell/Rockvane")));
}

int provisionMain(const QStringList& args, const Paths& paths, QTextStream& out, QTextStream& err) {
    const auto parsed = parse(args);
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        err << "rockvane-provision: " << *problem << Qt::endl << kUsage << Qt::flush;
        return 1;
    }
    const Options& options = std::get<Options>(parsed);
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
        return 1;
    }

    const QString dataFolder = dataFolderUnder(documents);
    const Result<ProvisionReport> report = provisionDataFolder(dataFolder, writeManual);
    if (!report.ok()) {
        err << "rockvane-provision: Could not prepare the data folder " << dataFolder << ": "
            << report.error().description << " (error " << report.error().number << ")" << Qt::endl;
        return 1;
    }
    const ProvisionReport& made = report.value();
    if (made.createdFolder) out << "Created the data folder: " << dataFolder << Qt::endl;
    if (made.createdDatabase)
        out << "Created the database: " << dataFolder << '/' << kDatabaseFileName << Qt::endl;
    if (made.createdManual)
        out << "Created the manual: " << dataFolder << '/' << kManualFileName << Qt::endl;
    if (!made.createdFolder && !made.createdDatabase && !made.createdManual)
        out << "Data folder ready: " << dataFolder << Qt::endl;
    return 0;
}

int provisionMain(const QStringList& args, QTextStream& out, QTextStream& err) {
    return provisionMain(args, SystemPaths(), out, err);
}

} // namespace rv
