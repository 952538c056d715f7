#pragma once
// A PostgreSQL server of its own (scripts/test-server.sh), which its user may stop at once,
// as a crash or a power cut stops a site server, and start again on the same data: the
// tests that stop a server, and the load driver that restarts one under its clients. A
// shared server is never stopped this way: other programs use it at the same time.
#include <QString>
#include <QStringList>

namespace rv::fakes {

class OwnServer {
public:
    OwnServer() = default;
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;
    // Stops the server and removes its folder.
    ~OwnServer();

    // Makes the server in a new folder and starts it (initdb takes a few seconds); false
    // when it could not be, with why().
    bool start();
    // Stops it at once: every connection is cut, open transactions are lost, the data
    // stays. A server already stopped stays so.
    bool stopNow();
    // Starts it again on its data, as after a crash.
    bool startAgain();

    // Its connection string; a database of its own is named by adding " dbname=...".
    QString conninfo() const { return m_conninfo; }
    bool running() const { return m_running; }
    QString why() const { return m_why; }
    // The shell command that stops it at once, for the server itself to run (COPY ... TO
    // PROGRAM) at a moment chosen inside a statement.
    QString stopCommand() const;

private:
    bool script(const QStringList& arguments, QString* output = nullptr);

    QString m_conninfo;
    QString m_folder;
    QString m_why;
    bool m_running = false;
};

} // namespace rv::fakes
