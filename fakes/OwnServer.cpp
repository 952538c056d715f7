#include "fakes/OwnServer.h"
#include <QProcess>
#include <QRegularExpression>

namespace rv::fakes {

namespace {
const QString kScript = QStringLiteral(ROCKVANE_SOURCE_DIR "/scripts/test-server.sh");
constexpr int kScriptTimeoutMs = 120'000;
} // namespace

OwnServer::~OwnServer() {
    if (!m_folder.isEmpty()) script({QStringLiteral("stop"), m_folder});
}

bool OwnServer::start() {
    QString output;
    if (!script({QStringLiteral("start")}, &output)) return false;
    m_conninfo = output.trimmed();
    m_folder =
        QRegularExpression(QStringLiteral("(?:^|\\s)host=(\\S+)")).match(m_conninfo).captured(1);
    if (m_folder.isEmpty()) {
        m_why = QStringLiteral("The script named no folder: ") + m_conninfo;
        return false;
    }
    m_running = true;
    return true;
}

bool OwnServer::stopNow() {
    if (!script({QStringLiteral("halt"), m_folder})) return false;
    m_running = false;
    return true;
}

bool OwnServer::startAgain() {
    if (!script({QStringLiteral("resume"), m_folder})) return false;
    m_running = true;
    return true;
}

QString OwnServer::stopCommand() const {
    return kScript + QStringLiteral(" halt ") + m_folder;
}

bool OwnServer::script(const QStringList& arguments, QString* output) {
    QProcess p;
    p.start(kScript, arguments);
    const bool finished = p.waitForFinished(kScriptTimeoutMs);
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    if (finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
    m_why = QStringLiteral("test-server.sh ") + arguments.join(u' ') + QStringLiteral(" failed: ") +
            QString::fromLocal8Bit(p.readAllStandardError()) + p.errorString();
    return false;
}

} // namespace rv::fakes
