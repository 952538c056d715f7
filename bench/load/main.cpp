// rockvane-load: several engineers at once on one site server, as proof under load.
//
//   rockvane-load [--clients 20] [--seconds 60] [--think-ms 1000] [--no-kill] [--no-restart]
//                 [--records FOLDER]
//
// Starts a throwaway PostgreSQL server of its own (scripts/test-server.sh), prepares a
// database with five shared sensors, and starts the clients, each a process of this
// program working on the sensors for the time given (LoadClient.h). Meanwhile it kills one
// client (in the middle of an import when it catches one) and restarts the server. When
// all have ended it prints operations per second, each operation's times, the refusals by
// kind, and checks every client's record against the server (LoadCheck.h); it exits 1 on
// any reading lost, doubled or wrong, or any other failed check.
//
// With --skip-without-test-server it exits 77 (skipped) where ROCKVANE_TEST_PG is not set,
// as the test suite's other server checks skip.
#include "bench/load/LoadCheck.h"
#include "bench/load/LoadClient.h"
#include "bench/load/LoadRecord.h"
#include "core/DateText.h"
#include "fakes/OwnServer.h"
#include "import/SlugAppend.h"
#include "platform/Progress.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>

using namespace rv;
using namespace rv::load;

namespace {

const QStringList kSensors{QStringLiteral("300525001"), QStringLiteral("300525002"),
                           QStringLiteral("300525003"), QStringLiteral("300525004"),
                           QStringLiteral("300525005")};

void say(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// The shared sensors, each with its base readings.
Status prepare(const QString& conninfo) {
    if (Status s = provisionServerDatabase(conninfo); !s.ok()) return s;
    Connection c;
    if (Status s = c.openServer(conninfo); !s.ok()) return s;
    for (int i = 0; i < kSensors.size(); ++i) {
        const QString& id = kSensors[i];
        Status s = c.execute(
            QStringLiteral(
                "INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo, "
                "Family, Model, InstallDate, Destroyed, HeadLocation) VALUES ('%1', "
                "'%2', '%3', '%3', '%4', 'Load Cell', 'LODIX', '2030-01-01', 'No', 1)")
                .arg(id, id.left(4), id.mid(4, 2), id.mid(6, 3)));
        if (s.ok()) s = createReadingsTable(c, id);
        if (!s.ok()) return s;
        std::vector<PlannedReading> base;
        for (int m = kPoolMinutes; m < kPoolMinutes + kBaseReadings; ++m) {
            const PoolValues v = poolValues(i, m);
            base.push_back(PlannedReading{poolMoment(m), v.channelT, v.channel1});
        }
        NoProgress progress;
        const WriteOutcome written = writeReadings(c, id, base, progress);
        if (written.kind != WriteOutcome::Kind::Written) return written.error;
    }
    return {};
}

// The last line of a client's record: whether it is in the middle of an import.
bool importing(const QString& recordPath) {
    QFile f(recordPath);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = f.readAll();
    const qsizetype start = all.lastIndexOf('\n', all.size() - 2) + 1;
    return all.mid(start).startsWith("B\timport");
}

double percentile(std::vector<double> ms, double p) {
    if (ms.empty()) return 0;
    std::sort(ms.begin(), ms.end());
    const std::size_t i = std::min(ms.size() - 1, std::size_t(p * double(ms.size() - 1) + 0.5));
    return ms[i];
}

struct Run {
    int clients = 20;
    int seconds = 60;
    int thinkMs = 1000;
    bool kill = true;
    bool restart = true;
    QString records; // the folder the clients' records are kept in (a temporary one if empty)
};

int drive(const Run& run) {
    fakes::OwnServer server;
    say(QStringLiteral("Starting a throwaway PostgreSQL server..."));
    if (!server.start()) {
        say(QStringLiteral("The server could not be started: ") + server.why());
        return 1;
    }
    if (Status s = prepare(server.conninfo()); !s.ok()) {
        say(QStringLiteral("The database could not be prepared: ") + s.error().description);
        return 1;
    }
    QTemporaryDir temporary;
    const QString folder = run.records.isEmpty() ? temporary.path() : run.records;
    std::vector<std::unique_ptr<QProcess>> clients;
    auto recordOf = [&](int i) { return folder + QStringLiteral("/client-%1.txt").arg(i); };
    say(QStringLiteral("%1 clients for %2 s, pausing up to %3 ms between actions.")
            .arg(run.clients)
            .arg(run.seconds)
            .arg(run.thinkMs));
    const qint64 began = nowUs();
    for (int i = 0; i < run.clients; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--client"), QString::number(i), QStringLiteral("--conninfo"),
                  server.conninfo(), QStringLiteral("--seconds"), QString::number(run.seconds),
                  QStringLiteral("--think-ms"), QString::number(run.thinkMs),
                  QStringLiteral("--record"), recordOf(i)});
        clients.push_back(std::move(p));
    }
    auto elapsed = [&] { return double(nowUs() - began) / 1e6; };

    // A client killed, in the middle of an import when one is caught within a while.
    int killed = -1;
    bool killedImporting = false;
    if (run.kill) {
        while (elapsed() < run.seconds * 0.3)
            QThread::msleep(50);
        while (killed < 0) {
            for (int i = 0; i < run.clients && killed < 0; ++i)
                if (importing(recordOf(i))) killed = i, killedImporting = true;
            if (killed < 0 && elapsed() > run.seconds * 0.6) killed = 0;
            if (killed < 0) QThread::msleep(20);
        }
        clients[std::size_t(killed)]->kill();
        say(QStringLiteral("Killed client %1 at %2 s%3.")
                .arg(killed)
                .arg(elapsed(), 0, 'f', 1)
                .arg(killedImporting ? QStringLiteral(", in the middle of an import") : QString()));
    }
    // The server stopped at once and started again, every client connected.
    qint64 restartedAt = 0;
    if (run.restart) {
        while (elapsed() < run.seconds * 0.5)
            QThread::msleep(50);
        say(QStringLiteral("Stopping the server at %1 s...").arg(elapsed(), 0, 'f', 1));
        if (!server.stopNow() || (QThread::msleep(500), !server.startAgain())) {
            say(QStringLiteral("The server could not be restarted: ") + server.why());
            return 1;
        }
        restartedAt = nowUs();
        say(QStringLiteral("Server running again at %1 s.").arg(elapsed(), 0, 'f', 1));
    }
    bool clientsOk = true;
    for (int i = 0; i < run.clients; ++i) {
        QProcess& p = *clients[std::size_t(i)];
        p.waitForFinished((run.seconds + 600) * 1000);
        if (i != killed && (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)) {
            say(QStringLiteral("Client %1 ended with a failure (exit %2).")
                    .arg(i)
                    .arg(p.exitCode()));
            clientsOk = false;
        }
    }
    const double seconds = elapsed();

    std::vector<Event> events;
    for (int i = 0; i < run.clients; ++i) {
        std::vector<Event> own = readRecord(recordOf(i), i);
        events.insert(events.end(), own.begin(), own.end());
    }

    // The figures.
    QMap<QString, std::vector<double>> times;
    QMap<QString, QMap<QString, int>> outcomes;
    QMap<QString, int> failures; // the texts of refusals of no other kind
    int deadlocks = 0, done = 0;
    for (const Event& e : events) {
        if (e.outcome != Outcome::InFlight) ++done;
        outcomes[e.op][outcomeName(e.outcome)]++;
        if (e.outcome == Outcome::Ok) times[e.op].push_back(double(e.end - e.start) / 1000.0);
        if (e.refusal.contains(QStringLiteral("40P01"))) ++deadlocks;
        if (e.outcome == Outcome::Failed)
            failures[e.op + QStringLiteral(": ") + e.refusal.left(160)]++;
    }
    say(QStringLiteral("\n%1 actions in %2 s: %3 per second.")
            .arg(done)
            .arg(seconds, 0, 'f', 1)
            .arg(done / seconds, 0, 'f', 1));
    say(QStringLiteral("%1 %2 %3 %4 %5  %6")
            .arg(QStringLiteral("action"), -8)
            .arg(QStringLiteral("done"), 6)
            .arg(QStringLiteral("p50 ms"), 9)
            .arg(QStringLiteral("p95 ms"), 9)
            .arg(QStringLiteral("p99 ms"), 9)
            .arg(QStringLiteral("other outcomes")));
    for (auto op = outcomes.cbegin(); op != outcomes.cend(); ++op) {
        QStringList other;
        for (auto o = op.value().cbegin(); o != op.value().cend(); ++o)
            if (o.key() != u"ok") other << o.key() + u' ' + QString::number(o.value());
        const std::vector<double>& t = times[op.key()];
        say(QStringLiteral("%1 %2 %3 %4 %5  %6")
                .arg(op.key(), -8)
                .arg(t.size(), 6)
                .arg(percentile(t, 0.50), 9, 'f', 1)
                .arg(percentile(t, 0.95), 9, 'f', 1)
                .arg(percentile(t, 0.99), 9, 'f', 1)
                .arg(other.join(QStringLiteral(", "))));
    }
    say(QStringLiteral("Deadlocks met: %1.").arg(deadlocks));
    for (auto f = failures.cbegin(); f != failures.cend(); ++f)
        say(QStringLiteral("Failed %1x: %2").arg(f.value()).arg(f.key()));

    // Every client still running after the restart got through again on a later action.
    int notBack = 0;
    if (restartedAt > 0)
        for (int i = 0; i < run.clients; ++i) {
            if (i == killed) continue;
            bool acted = false, back = false;
            for (const Event& e : events)
                if (e.client == i && e.start > restartedAt) {
                    acted = true;
                    back = back || e.outcome == Outcome::Ok;
                }
            if (acted && !back) {
                ++notBack;
                say(QStringLiteral(
                        "Client %1 did not get through to the server again after the restart.")
                        .arg(i));
            }
        }

    const CheckReport check = checkServer(server.conninfo(), kSensors, events);
    say(QStringLiteral(
            "\nChecked %1 readings and %2 import records against what the clients were told.")
            .arg(check.readings)
            .arg(check.batches));
    say(QStringLiteral(
            "Lost %1, doubled %2, wrong values %3, refused yet stored %4, import records wrong %5, "
            "server check faults %6.")
            .arg(check.lost)
            .arg(check.doubled)
            .arg(check.wrongValues)
            .arg(check.refusedStored)
            .arg(check.historyWrong)
            .arg(check.serverFaults));
    for (const QString& p : check.problems)
        say(QStringLiteral("  ") + p);
    const bool passed = check.passed() && clientsOk && notBack == 0 && deadlocks == 0;
    say(passed ? QStringLiteral("PASSED") : QStringLiteral("FAILED"));
    return passed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // The datasheet's grid draws its marks with pixmaps: a (headless) GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Clients."),
                                     QStringLiteral("n"), QStringLiteral("20"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Seconds."),
                                     QStringLiteral("s"), QStringLiteral("60"));
    const QCommandLineOption think(QStringLiteral("think-ms"), QStringLiteral("Most pause."),
                                   QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption noKill(QStringLiteral("no-kill"), QStringLiteral("Kill no client."));
    const QCommandLineOption noRestart(QStringLiteral("no-restart"),
                                       QStringLiteral("Do not restart the server."));
    const QCommandLineOption skip(QStringLiteral("skip-without-test-server"),
                                  QStringLiteral("Exit 77 without ROCKVANE_TEST_PG."));
    const QCommandLineOption client(QStringLiteral("client"), QStringLiteral("Run as this client."),
                                    QStringLiteral("i"));
    const QCommandLineOption conninfo(QStringLiteral("conninfo"), QStringLiteral("The server."),
                                      QStringLiteral("c"));
    const QCommandLineOption keep(QStringLiteral("records"),
                                  QStringLiteral("Keep the clients' records in this folder."),
                                  QStringLiteral("folder"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("The client's record."), QStringLiteral("path"));
    parser.addOptions(
        {clients, seconds, think, noKill, noRestart, skip, client, conninfo, record, keep});
    parser.addHelpOption();
    parser.process(app);

    if (parser.isSet(client)) {
        ClientPlan plan;
        plan.client = parser.value(client).toInt();
        plan.conninfo = parser.value(conninfo);
        plan.sensors = kSensors;
        plan.seconds = parser.value(seconds).toInt();
        plan.thinkMs = parser.value(think).toInt();
        plan.recordPath = parser.value(record);
        return runClient(plan);
    }
    if (parser.isSet(skip) && qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG")) {
        say(QStringLiteral(
            "ROCKVANE_TEST_PG is not set: no PostgreSQL server to test with; skipped."));
        return 77;
    }
    Run run;
    run.clients = std::max(1, parser.value(clients).toInt());
    run.seconds = std::max(2, parser.value(seconds).toInt());
    run.thinkMs = std::max(0, parser.value(think).toInt());
    run.kill = !parser.isSet(noKill) && run.clients > 1;
    run.restart = !parser.isSet(noRestart);
    run.records = parser.value(keep);
    return drive(run);
}
