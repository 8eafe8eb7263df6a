#include "support/TargetSim.h"

#include "support/LoopbackServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <csignal>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lb::test {

namespace {

// Under load (sanitizers, parallel builds) the simulator may take seconds
// to come up; a failing start must still end well within the test timeout.
constexpr int kStartMs = 30000;

bool waitForLine(QProcess& p, const QDeadlineTimer& deadline) {
    while (!p.canReadLine() && !deadline.hasExpired() && p.state() == QProcess::Running)
        p.waitForReadyRead(100);
    return p.canReadLine();
}

} // namespace

TargetSim::TargetSim(const QStringList& extraArgs) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // It shares the test's error output: a test that dies must take it along,
    // or the test runner waits on that output until its time-out. A test
    // that died before the request was made is caught by the parent check.
    const pid_t parent = ::getpid();
    process_.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
    process_.start(QStringLiteral(LB_TARGET_SIM),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                               QStringLiteral("--log"), logPath()} +
                       extraArgs);
    const QDeadlineTimer deadline(kStartMs);
    if (!process_.waitForStarted(kStartMs))
        return;
    // The first line of output is the port it listens on.
    if (waitForLine(process_, deadline))
        port_ = quint16(process_.readLine().trimmed().toUInt());
    if (port_ && extraArgs.contains(QStringLiteral("--tls-port"))) {
        // The https port is the second line.
        if (waitForLine(process_, deadline))
            tlsPort_ = quint16(process_.readLine().trimmed().toUInt());
        if (!tlsPort_)
            port_ = 0;
    }
}

TargetSim::~TargetSim() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

QString TargetSim::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

QString TargetSim::tlsUrl(const QString& path, const QString& host) const {
    return QStringLiteral("https://%1:%2%3").arg(host).arg(tlsPort_).arg(path);
}

QList<QJsonObject> TargetSim::requests() const {
    QList<QJsonObject> out;
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

QJsonObject TargetSim::held() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage a;
    const socklen_t len = loopbackAddress(false, port_, &a);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
        sendAll(fd, QByteArray("GET /held HTTP/1.0\r\n\r\n"))) {
        // The server closes after its answer; bounded in case it does not.
        char buf[4096];
        for (int i = 0; i < 50 && readable(fd, 5000); ++i) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            answer.append(buf, n);
        }
    }
    ::close(fd);
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

TargetSim& sharedTargetSim() {
    static TargetSim* sim = nullptr;
    if (!sim) {
        sim = new TargetSim;
        qAddPostRoutine([] {
            delete sim;
            sim = nullptr;
        });
    }
    return *sim;
}

} // namespace lb::test
