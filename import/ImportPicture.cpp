#include "import/ImportPicture.h"
#include "import/ImportHost.h"
#include "import/SlugStaging.h"
#include "import/StagedRows.h"
#include "import/frmSlugData.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

namespace rv {

namespace {

// Nothing is shown while the picture is drawn: every message is answered Ok (or No).
class SilentDialogs : public Dialogs {
public:
    Answer show(const Message& message) override {
        return message.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
};
class NoPaths : public Paths {
public:
    QString specialFolder(int) const override { return {}; }
};
class NoDesktop : public Desktop {
public:
    bool openFile(const QString&) override { return false; }
    bool openAddress(const QString&) override { return false; }
};

} // namespace

QImage drawImportWindow(const QString& dataloggerFile) {
    QTemporaryDir folder;
    if (!folder.isValid()) return {};
    SilentDialogs dialogs;
    SystemClock clock;
    NoPaths paths;
    NoDesktop desktop;
    Session s(dialogs, clock, paths, desktop);
    s.gDataFolder = folder.path();
    s.gDatabasePath = folder.filePath(kDatabaseFileName);
    const QFileInfo file(dataloggerFile);
    const QString id = file.completeBaseName();
    if (!createShippedDatabase(s.gDatabasePath).ok() || !s.gConnection.open(s.gDatabasePath).ok())
        return {};
    const Status sensor = s.gConnection.execute(
        QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo, "
                       "Destroyed) VALUES ('%1', '%2', '%3', '%3', '%4', 'No')")
            .arg(id, id.left(4), id.mid(4, 2), id.mid(6, 3)));
    if (!sensor.ok() || !s.gConnection.execute(sql::S7(id)).ok() ||
        !s.rsSensors.open(s.gConnection, sql::S2).ok())
        return {};
    s.gSensorID = id;
    OpenSensorData(s);

    StagedRows rows;
    NoProgress progress;
    StagingOutcome staged;
    try {
        staged = OpenSlugData(s, file.fileName(), file.absoluteFilePath(), rows, progress);
    } catch (const Abort&) {
        return {};
    }
    if (staged.kind != StagingOutcome::Kind::Staged) return {};

    ImportHost host;
    host.slugIntervalText = [] { return QStringLiteral("24"); };
    QImage picture;
    {
        frmSlugData window(s, rows, host);
        window.Form_Load();
        window.optDateFormat[0]->click();
        window.show();
        QApplication::processEvents();
        picture = window.grab().toImage();
        window.reject();
    }
    s.rsReadings.close();
    s.rsSensors.close();
    s.gConnection.close();
    return picture;
}

} // namespace rv
