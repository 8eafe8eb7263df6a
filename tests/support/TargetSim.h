#pragma once
// Starts tools/target-sim on a free port for one test and stops it after.
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lb::test {

class TargetSim {
public:
    explicit TargetSim(const QStringList& extraArgs = {});
    ~TargetSim();
    TargetSim(const TargetSim&) = delete;
    TargetSim& operator=(const TargetSim&) = delete;

    bool ok() const { return port_ != 0; }
    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT" + path
    QString url(const QString& path) const;
    // With "--tls-port 0" among the arguments: the https port, and
    // "https://" + host + ":PORT" + path.
    quint16 tlsPort() const { return tlsPort_; }
    QString tlsUrl(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const;
    QString logPath() const { return dir_.filePath(QStringLiteral("requests.jsonl")); }
    // Every request logged so far, oldest first.
    QList<QJsonObject> requests() const;
    // The server's count of requests held (read, not yet answered): "held"
    // now, "peak" at once, "requests" in all, "mean"; empty when it cannot be had.
    QJsonObject held() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
};

// One simulator with the default options for the whole test program, started
// at the first call and stopped with the application. For tests that read
// only their own requests from it; a test that counts requests or needs
// other options starts its own.
TargetSim& sharedTargetSim();

} // namespace lb::test
