#pragma once
// The main window on the Readings tab of sensor 200525001, with readings written straight
// into the database, and a watch on the writes a sensor's readings table receives.
#include "import/ImportDataFiles.h"
#include "import/ImportHost.h"
#include "import/frmSlugData.h"
#include "readings/ReadingsTab.h"
#include "tests/TestPaths.h"
#include "tests/support/DataFolder.h"
#include "tests/support/MainWindow.h"
#include <QCoreApplication>
#include <QFile>

namespace rv::test {

class ReadingsWindowTest : public MainWindowTest {
protected:
    static inline const QString kId = QStringLiteral("200525001");
    static inline const QString kOther = QStringLiteral("200525002");

    void SetUp() override {
        MainWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kId);
    }
    // A reading written straight into a sensor's table ("yyyy/MM/dd HH:mm:ss"); "-" for a
    // Null value.
    void addReading(const char* dateTime, const char* load = "-", const char* temp = "-",
                    int doNotPlot = 0, const QString& id = kId) {
        auto value = [](const char* v) {
            return qstrcmp(v, "-") == 0 ? QVariant() : ReadingRow::text(v);
        };
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(dateTime))
                             .channel1(value(load))
                             .channelT(value(temp))
                             .doNotPlot(doNotPlot < 0 ? QVariant() : QVariant(doNotPlot))});
    }
    void startOnReadings() {
        ASSERT_TRUE(start());
        window->show();
        window->SSTab1->setCurrentIndex(2);
    }
    ReadingsTab& tab() { return *window->readings; }
    // six-hourly.txt (twelve readings with a readable date, one without) imported into
    // sensor 200525001 through the import window, as the main window wires it: its dates
    // read yyyy/mm/dd and every row appended, the question answered Yes.
    void importSixHourly(Progress* progress = nullptr) {
        const QString path = tmp.path() + QStringLiteral("/200525001.txt");
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(QStringLiteral(ROCKVANE_TEST_DATA "/import/six-hourly.txt"), path));
        dialogs.fileAnswer(path);
        ImportHost host;
        host.SaveReadings = [this] { return tab().SaveReadings(); };
        host.slugIntervalText = [] { return QStringLiteral("1"); };
        host.showReading = [this] { tab().showCurrentReading(); };
        host.runWindow = [this](frmSlugData& w) {
            w.optDateFormat[0]->click();
            dialogs.answerYes();
            w.cmdAppend->click();
        };
        host.progress = progress;
        imgAddSlugData_Click(s(), host);
    }
    QString counter() { return tab().txtRcount->text(); }
    static QString key(const char* dateTime, const QString& id = kId) {
        return id + u' ' + QLatin1String(dateTime);
    }
    // A column of a reading, straight from the database ("<null>" for Null, "<none>" when the
    // reading is not there).
    QString stored(const char* column, const char* dateTime, const QString& id = kId) {
        const QString sql = QStringLiteral("SELECT %1, 1 FROM `%2` WHERE DateTimeKey = '%3'")
                                .arg(QLatin1String(column), id, key(dateTime, id));
        Connection c;
        if (!openDatabase(c, Connection::Mode::ReadOnly).ok()) return QStringLiteral("?");
        Query q(c, sql);
        if (!q.next()) return QStringLiteral("<none>");
        const QVariant v = q.value(0);
        return v.isNull() ? QStringLiteral("<null>") : v.toString();
    }
    int readingCount(const QString& id = kId) {
        return scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(id)).toInt();
    }
    // Counts every row written into, added to or deleted from a sensor's readings table.
    void watchWrites(const QString& id) {
        execSql(QStringLiteral("CREATE TABLE IF NOT EXISTS writes (tbl TEXT)"));
        for (const char* event : {"INSERT", "UPDATE", "DELETE"})
            execSql(QStringLiteral("CREATE TRIGGER `watch_%1_%2` AFTER %2 ON `%1` BEGIN INSERT "
                                   "INTO writes VALUES ('%1'); END")
                        .arg(id, QLatin1String(event)));
    }
    int writesTo(const QString& id) {
        return scalar(QStringLiteral("SELECT count(*) FROM writes WHERE tbl = '%1'").arg(id))
            .toInt();
    }
    int logCount(const char* label) {
        return int(logText().count(QLatin1String(label) + QStringLiteral("\r\n")));
    }
    // Lets closed windows go, as the event loop would.
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

} // namespace rv::test
