// rockvane-pictures: draws the manual's pictures of the Utilities tab and the report
// window with the program's own windows, on a sample data folder, headless:
//
//     rockvane-pictures docs/images
//
// The sample folder is made in a temporary folder and removed at the end; nothing of the
// user's own data folder is read or written.
#include "app/frmRockvane.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "reports/frmReport.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using namespace rv;

class QuietDialogs : public Dialogs {
public:
    Answer show(const Message& m) override {
        return m.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
};

class SampleClock : public Clock {
public:
    QDateTime moment = wallClock(QDate(2026, 3, 14), QTime(9, 30));
    QDateTime now() const override { return moment; }
};

class SamplePaths : public Paths {
public:
    QString documents;
    QString specialFolder(int id) const override {
        return id == kCommonDocumentsFolder ? documents : QString();
    }
};

class NoDesktop : public Desktop {
public:
    bool openFile(const QString&) override { return false; }
    bool openAddress(const QString&) override { return false; }
};

class OnlyCopy : public SingleInstance {
public:
    bool anotherCopyRunning() override { return false; }
};

int failed(const QString& what) {
    std::fprintf(stderr, "rockvane-pictures: %s\n", what.toLocal8Bit().constData());
    return 1;
}

bool save(QWidget& widget, const QString& path) {
    return widget.grab().save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/images");
    if (!QDir().mkpath(out)) return failed(QStringLiteral("cannot create ") + out);

    QTemporaryDir tmp;
    if (!tmp.isValid()) return failed(QStringLiteral("no temporary folder"));
    SamplePaths paths;
    paths.documents = tmp.path() + QStringLiteral("/Documents");
    const QString dataFolder = paths.documents + QStringLiteral("/Brackwell/Rockvane");
    const QString database = dataFolder + QStringLiteral("/") + kDatabaseFileName;
    if (!QDir().mkpath(dataFolder) || !createShippedDatabase(database).ok())
        return failed(QStringLiteral("cannot make the sample database"));
    {
        Connection c;
        Status s = c.open(database);
        for (const char* id : {"200525001", "200525002", "200625001"}) {
            const QString sensor = QLatin1String(id);
            if (s.ok())
                s = c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, "
                                             "SensorType, TypeID, SensorNo, Family, Model, "
                                             "Level, Location, Destroyed) VALUES ('%1', '%2', "
                                             "'25', '25', '%3', 'Load Cell', 'LODIX', 'L12', "
                                             "'North drive', 'No')")
                                  .arg(sensor, sensor.left(4), sensor.right(3)));
            if (s.ok()) s = c.execute(sql::S7(sensor));
        }
        if (!s.ok()) return failed(s.error().description);
    }

    QuietDialogs dialogs;
    SampleClock clock;
    NoDesktop desktop;
    OnlyCopy instance;
    frmRockvane window(dialogs, clock, paths, desktop, instance);
    if (!window.Form_Load()) return failed(QStringLiteral("the sample database did not open"));
    window.show();
    for (const QDate day : {QDate(2026, 2, 27), QDate(2026, 3, 6), QDate(2026, 3, 13)}) {
        clock.moment = wallClock(day, QTime(17, 0));
        window.maintenance->G_BackupDB(dataFolder + QStringLiteral("/"), kDatabaseFileName);
    }
    window.SSTab1->setCurrentIndex(5);
    QListWidget* list = window.backups->lstFiles;
    list->setCurrentRow(list->count() - 1);
    QApplication::processEvents();
    if (!save(*window.SSTab1, out + QStringLiteral("/utilities-tab.png")))
        return failed(QStringLiteral("cannot write the Utilities tab's picture"));

    frmReport& report = window.report->reportWindow();
    report.adjustSize();
    report.show();
    QApplication::processEvents();
    const bool saved = save(report, out + QStringLiteral("/report-window.png"));
    report.hide();
    if (!saved) return failed(QStringLiteral("cannot write the report window's picture"));
    window.close();
    return 0;
}
