#pragma once
// Runs linkbeacon-cli in a folder and keeps what it printed.
#include "support/RawServer.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace lb::test {

struct CliResult {
    int exitCode = -1; // -1: did not end in time, -2: crashed
    QByteArray out, err;
    QString lastErrLine() const {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        return lines.isEmpty() ? QString() : QString::fromUtf8(lines.last());
    }
    QStringList outLines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts); }
};

struct CliOptions {
    int timeoutMs = 30000;
    // Keeps this thread's events going while waiting, for a server that
    // answers from this thread's event loop.
    bool pumpEvents = false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

inline CliResult runCli(const QString& dir, const QStringList& args,
                        const CliOptions& options = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessEnvironment(options.env);
    p.start(QStringLiteral(LB_CLI), args);
    CliResult r;
    p.closeWriteChannel();
    const bool ended =
        options.pumpEvents
            ? runUntil([&] { return p.state() == QProcess::NotRunning; }, options.timeoutMs)
            : p.waitForFinished(options.timeoutMs);
    if (!ended) {
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
