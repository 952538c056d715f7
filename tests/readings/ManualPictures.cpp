// rockvane-manual-pictures: draws the pictures of the datasheet window and the deletion
// window that the manual shows, from the program's own windows on a sensor with a few
// readings, and saves them as PNG files in the folder named on the command line
// (docs/pictures). Run it after a change to either window:
//
//     build/test/tests/readings/rockvane-manual-pictures docs/pictures
//
// It runs headless on the offscreen platform unless QT_QPA_PLATFORM names another.
#include "app/frmRockvane.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "readings/ReadingsTab.h"
#include "readings/frmBatchDel.h"
#include "readings/frmDatasheet.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
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

class MorningClock : public Clock {
public:
    QDateTime now() const override { return wallClock(QDate(2026, 3, 14), QTime(9, 30, 0)); }
};

class DocumentsFolder : public Paths {
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

int fail(const QString& what) {
    std::fprintf(stderr, "rockvane-manual-pictures: %s\n", qPrintable(what));
    return 1;
}

bool save(QWidget& window, const QString& path) {
    QApplication::processEvents();
    return window.grab().save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) return fail(QStringLiteral("name the folder to write the pictures to"));
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists()) return fail(QStringLiteral("no such folder: ") + out.path());

    QTemporaryDir tmp;
    const QString documents = tmp.path() + QStringLiteral("/Documents");
    const QString dataFolder = documents + QStringLiteral("/Brackwell/Rockvane");
    const QString database = dataFolder + u'/' + kDatabaseFileName;
    if (!tmp.isValid() || !QDir().mkpath(dataFolder) || !createShippedDatabase(database).ok())
        return fail(QStringLiteral("cannot make a data folder"));

    // A sensor with a week of daily readings, one of them kept out of the plots.
    const QString id = QStringLiteral("200525001");
    {
        Connection c;
        if (!c.open(database).ok() ||
            !c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, "
                                      "TypeID, SensorNo, Family, Model, Destroyed) VALUES ('%1', "
                                      "'2005', '25', '25', '001', 'Load Cell', 'LODIX', 'No')")
                           .arg(id))
                 .ok() ||
            !c.execute(sql::S7(id)).ok())
            return fail(QStringLiteral("cannot add the sensor"));
        const double loads[] = {112.40, 113.05, 113.60, 118.95, 114.20, 114.85, 115.30};
        const double temps[] = {21.5, 21.8, 22.0, 22.4, 22.1, 21.9, 22.3};
        for (int day = 0; day < 7; ++day) {
            const QDate date = QDate(2026, 3, 7).addDays(day);
            const QString d = date.toString(QStringLiteral("yyyy/MM/dd"));
            const QString iso = date.toString(Qt::ISODate);
            if (!c.execute(
                      QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, ReadingTime, "
                                     "FullDate, ChannelT, Channel1, DoNotPlot) VALUES ('%1 "
                                     "%2 08:00:00', '%3', '08:00:00', '%3 08:00:00', '%4', "
                                     "'%5', %6)")
                          .arg(id, d, iso, QString::number(temps[day], 'f', 1),
                               QString::number(loads[day], 'f', 2))
                          .arg(day == 3 ? 1 : 0))
                     .ok())
                return fail(QStringLiteral("cannot add the readings"));
        }
    }

    QuietDialogs dialogs;
    MorningClock clock;
    DocumentsFolder paths;
    paths.documents = documents;
    NoDesktop desktop;
    OnlyCopy instance;
    frmRockvane window(dialogs, clock, paths, desktop, instance);
    if (!window.Form_Load()) return fail(QStringLiteral("the main window did not start"));
    window.show();
    window.SSTab1->setCurrentIndex(2);
    ReadingsTab& tab = *window.readings;

    tab.imgDatasheet_Click();
    frmDatasheet* datasheet = tab.datasheetWindow();
    if (!datasheet) return fail(QStringLiteral("the datasheet did not open"));
    datasheet->resize(640, 300);
    datasheet->setCurrentCell(5, 4);
    if (!save(*datasheet, out.filePath(QStringLiteral("datasheet.png"))))
        return fail(QStringLiteral("cannot write datasheet.png"));
    datasheet->close();

    tab.imgDeleteReading_Click();
    frmBatchDel* deletion = tab.batchDeleteWindow();
    if (!deletion) return fail(QStringLiteral("the deletion window did not open"));
    deletion->adjustSize();
    if (!save(*deletion, out.filePath(QStringLiteral("delete-readings.png"))))
        return fail(QStringLiteral("cannot write delete-readings.png"));
    deletion->CancelButton_Click();
    return 0;
}
