#include "import/ImportFiles.h"
#include "import/SlugAppend.h"
#include "import/SlugRules.h"
#include "platform/WriteCheck.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <filesystem>
#include <system_error>

namespace rv {

namespace {

Status fileError(const QString& what, const QString& path, const QString& reason) {
    return Status::fail(err::FileError, QStringLiteral("Path/File access error: ") + what +
                                            QStringLiteral(" ") + QDir::toNativeSeparators(path) +
                                            QStringLiteral(": ") + reason);
}

Status writeSchemaIni(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fileError(QStringLiteral("cannot write"), path, file.errorString());
    const QByteArray bytes = schemaIniBytes();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fileError(QStringLiteral("cannot write"), path, file.errorString());
    file.close();
    return {};
}

QString megabytes(qint64 bytes) {
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

} // namespace

Status copyReplacing(const QString& from, const QString& to) {
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    QFile source(from);
    if (!source.copy(part)) {
        QFile::remove(part);
        return fileError(QStringLiteral("cannot copy"), from, source.errorString());
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(part.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    if (ec) {
        QFile::remove(part);
        return fileError(QStringLiteral("cannot replace"), to,
                         QString::fromLocal8Bit(ec.message().c_str()));
    }
    return {};
}

StagingOutcome OpenSlugData(Session& s, const QString& fileName, const QString& fullPath,
                            StagedRows& rsImport, Progress& progress) {
    rsImport.clear();
    StagingOutcome outcome;
    const QString schemaPath = s.gDataFolder + u'/' + kSchemaIniName;
    // The schema file lives only while the working copy is being opened, also when the
    // opening fails.
    const auto removeSchema = qScopeGuard([&] { QFile::remove(schemaPath); });
    need(writeSchemaIni(schemaPath));

    if (!FileExists(fullPath)) {
        s.gNoImportData = true;
        outcome.kind = StagingOutcome::Kind::NoFile;
        return outcome;
    }
    outcome.fileBytes = QFileInfo(fullPath).size();
    if (outcome.fileBytes > kMaxSlugFileBytes) {
        s.gNoImportData = false;
        outcome.kind = StagingOutcome::Kind::TooLarge;
        return outcome;
    }
    const QString workCopy = s.gDataFolder + u'/' + kWorkCopyName;
    need(copyReplacing(fullPath, workCopy));

    QFile file(workCopy);
    if (!file.open(QIODevice::ReadOnly))
        need(fileError(QStringLiteral("cannot read"), workCopy, file.errorString()));
    progress.begin(QStringLiteral("Reading ") + fileName, file.size());
    const auto endProgress = qScopeGuard([&] { progress.end(); });
    outcome.read = readSlugFile(
        file, [&](const SlugRecord& record) { rsImport.append(record); }, progress, kMaxSlugRows);
    switch (outcome.read.status) {
    case SlugReadOutcome::Status::Read:
        outcome.kind = StagingOutcome::Kind::Staged;
        break;
    case SlugReadOutcome::Status::Cancelled:
        outcome.kind = StagingOutcome::Kind::Cancelled;
        rsImport.clear();
        break;
    case SlugReadOutcome::Status::ReadFailed:
        rsImport.clear();
        need(fileError(QStringLiteral("cannot read"), workCopy, outcome.read.detail));
        break;
    default:
        outcome.kind = StagingOutcome::Kind::Refused;
        rsImport.clear();
        break;
    }
    s.gNoImportData = false;
    return outcome;
}

QString refusedFileMessage(const QString& fileName, const StagingOutcome& outcome) {
    const QString head = QStringLiteral("The file ") + fileName;
    const QString line = QString::number(outcome.read.line);
    QString why;
    if (outcome.kind == StagingOutcome::Kind::TooLarge) {
        why = QStringLiteral(" is too large to be a datalogger file: it holds ") +
              megabytes(outcome.fileBytes) + QStringLiteral(", and a datalogger file at most ") +
              megabytes(kMaxSlugFileBytes) + u'.';
    } else {
        switch (outcome.read.status) {
        case SlugReadOutcome::Status::Binary:
            why = QStringLiteral(" is not a datalogger text file: line ") + line +
                  QStringLiteral(" holds binary data.");
            break;
        case SlugReadOutcome::Status::UnclosedQuote:
            why = QStringLiteral(" is damaged: the quoted value that begins on line ") + line +
                  QStringLiteral(" is never closed.");
            break;
        case SlugReadOutcome::Status::TooManyRecords:
            why = QStringLiteral(" holds more than ") + QLocale::c().toString(kMaxSlugRows) +
                  QStringLiteral(" lines: it is not the datalogger file of one sensor.");
            break;
        case SlugReadOutcome::Status::ValueTooLong:
            why = QStringLiteral(" is not a datalogger file: line ") + line +
                  QStringLiteral(" holds a value longer than ") +
                  QString::number(kMaxSlugValueBytes) + QStringLiteral(" characters.");
            break;
        default:
            why = QStringLiteral(" cannot be read.");
            break;
        }
    }
    return head + why + kCrLf + QStringLiteral("Nothing was imported.");
}

Status archiveDownload(const QString& downloadFolder, const QString& sensorId, const QDate& today) {
    if (downloadFolder.isEmpty()) return {};
    const QString backup = downloadFolder + QStringLiteral("/backup");
    const QString download = downloadFolder + u'/' + downloadFileName(sensorId);
    const bool downloaded = FileExists(download);
    // The backup folder is made even when there is nothing to archive yet; only a download
    // that cannot be archived is a failure.
    if (!FolderExists(backup) && !QDir().mkpath(backup) && downloaded)
        return fileError(QStringLiteral("cannot make the folder"), backup,
                         QStringLiteral("it cannot be created"));
    if (!downloaded) return {};
    const QString archived = backup + u'/' + archiveFileName(sensorId, today);
    if (Status st = copyReplacing(download, archived); !st.ok()) return st;
    // The download is the only copy until its archive is complete: it goes only then.
    if (QFileInfo(archived).size() != QFileInfo(download).size())
        return fileError(QStringLiteral("cannot copy"), download,
                         QStringLiteral("the copy is incomplete"));
    QFile file(download);
    if (!file.remove())
        return fileError(QStringLiteral("cannot remove"), download, file.errorString());
    return {};
}

QString whyDatabaseCannotTakeReadings(const Session& s) {
    if (s.gConnection.onServer())
        return connectionWritable(s.gConnection)
                   ? QString()
                   : QStringLiteral("The site server lets your database user read but not "
                                    "write: nothing can be written to it.");
    if (s.gDatabasePath.isEmpty() || !QFileInfo::exists(s.gDatabasePath)) return {};
    QString why = whyCannotChange(s.gDatabasePath);
    if (why.isEmpty() && s.gConnection.isOpen() && !connectionWritable(s.gConnection))
        why = QStringLiteral("The file ") + QDir::toNativeSeparators(s.gDatabasePath) +
              QStringLiteral(" is read-only: nothing can be written to it.");
    return why;
}

QString whyImportCannotWrite(const Session& s, const QString& fullPath) {
    // The database takes the readings (and the import history).
    if (QString why = whyDatabaseCannotTakeReadings(s); !why.isEmpty()) return why;
    // The data folder takes the schema file and the working copy, and its disk the
    // readings the database gains.
    const qint64 fileBytes = QFileInfo(fullPath).size();
    if (QString why = whyCannotWrite(s.paths, s.gDataFolder, importNeedBytes(fileBytes));
        !why.isEmpty())
        return why;
    // The download folder takes the archive of the datalogger's download, when there is
    // one, and loses the download itself.
    const QString folder = s.gDownloadFolder;
    if (folder.isEmpty()) return {};
    const QString download = folder + u'/' + downloadFileName(s.gSensorID);
    if (!QFileInfo(download).isFile()) return {};
    if (QString why = whyCannotWrite(s.paths, folder); !why.isEmpty()) return why;
    const QString backup = folder + QStringLiteral("/backup");
    const QString target = QFileInfo::exists(backup) ? backup : folder;
    return whyCannotWrite(s.paths, target, QFileInfo(download).size());
}

qint64 importNeedBytes(qint64 fileBytes) {
    // The working copy, the schema file, and about as much again for the readings the
    // database gains (a reading stored takes about the bytes of its line).
    return 2 * qMax<qint64>(fileBytes, 0) + schemaIniBytes().size();
}

} // namespace rv
