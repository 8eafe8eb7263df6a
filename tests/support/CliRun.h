#pragma once
// Runs linkbeacon-cli in a folder and keeps what it printed.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace lb::test {

struct CliResult {
    int exitCode = -1;
    QByteArray out, err;
    QString lastErrLine() const {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        return lines.isEmpty() ? QString() : QString::fromUtf8(lines.last());
    }
};

inline CliResult runCli(const QString& dir, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(LB_CLI), args);
    CliResult r;
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(3000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace lb::test
