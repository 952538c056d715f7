// Importing a whole logger download: a folder of 50 datalogger files of 2,000 hourly
// readings each, one per sensor. Staging every file and showing the folder window, then
// appending every file (each in its own transaction with its import-history record). The
// files, the data folder and the database are made outside the timing.
#include "bench/BenchData.h"
#include "core/DateText.h"
#include "import/FolderImport.h"
#include "import/ImportHost.h"
#include "import/frmFolderImport.h"
#include "store/ImportHistoryTable.h"
#include "store/Session.h"
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace rv::bench {
namespace {

constexpr int kFiles = 50;
constexpr int kLines = 2000;

struct FolderData {
    BenchFolder folder;
    QTemporaryDir download;
    QStringList ids = sensorIds(kFiles);

    FolderData() {
        application();
        folder.addSensorRows(ids);
        folder.addReadingsTables(ids, 0);
        Session& s = folder.session();
        check(s.gConnection.open(s.gDatabasePath), QStringLiteral("opening the database"));
        check(ensureHistoryTables(s.gConnection), QStringLiteral("the import history"));
        for (const QString& id : ids) {
            QFile file(download.filePath(id + QStringLiteral(".txt")));
            if (!file.open(QIODevice::WriteOnly)) fail(QStringLiteral("cannot write a file"));
            const QByteArray number = id.mid(6, 3).toLatin1();
            QDateTime t = wallClock(QDate(2020, 1, 1));
            for (int i = 0; i < kLines; ++i, t = t.addSecs(3600))
                file.write(readingDateText(t.date()).toLatin1() + ' ' +
                           readingTimeText(t.time()).toLatin1() + ",17,25," + number + ",12.4," +
                           QByteArray::number(80 + i % 1013 * 0.117, 'f', 3) + "\r\n");
        }
    }
    FolderStaging stage() {
        NoProgress none;
        return stageFolder(folder.session(), download.path(), 1, DayOrder::DayFirst, none);
    }
    void emptyTables() {
        for (const QString& id : ids)
            check(folder.session().gConnection.execute(QStringLiteral("DELETE FROM `%1`").arg(id)),
                  QStringLiteral("emptying a readings table"));
    }
};

FolderData& folderData() {
    static FolderData* data = new FolderData;
    return *data;
}

void FolderImportStageAndShow50Files(benchmark::State& state) {
    FolderData& data = folderData();
    ImportHost host;
    for (auto _ : state) {
        FolderStaging staging = data.stage();
        frmFolderImport window(data.folder.session(), staging, host);
        window.Form_Load();
        window.show();
        QApplication::processEvents();
        if (window.grdFiles->rowCount() != kFiles) fail(QStringLiteral("files missing"));
        window.hide();
    }
    state.counters["files"] = kFiles;
    state.counters["rows"] = double(kFiles) * kLines;
}
BENCHMARK(FolderImportStageAndShow50Files)->Unit(benchmark::kMillisecond)->Iterations(3);

void FolderImportAppend50Files(benchmark::State& state) {
    FolderData& data = folderData();
    for (auto _ : state) {
        state.PauseTiming();
        data.emptyTables();
        FolderStaging staging = data.stage();
        NoProgress none;
        state.ResumeTiming();
        const auto outcomes = appendFolder(data.folder.session(), staging,
                                           SlugDateFormat::YearMonthDay, DayOrder::DayFirst, none);
        state.PauseTiming();
        for (const FolderFileOutcome& o : outcomes)
            if (o.kind != FolderFileOutcome::Kind::Appended || o.appended != kLines)
                fail(QStringLiteral("a file was not appended whole"));
        state.ResumeTiming();
    }
    state.counters["files"] = kFiles;
    state.counters["rows"] = double(kFiles) * kLines;
}
BENCHMARK(FolderImportAppend50Files)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace rv::bench
