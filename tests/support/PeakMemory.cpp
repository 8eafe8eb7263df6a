#include "support/PeakMemory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace lb::test {

MeasuredRun runMeasured(const QString& dir, const QString& program, const QStringList& args,
                        int timeoutMs) {
    MeasuredRun run;
    QTemporaryFile errFile;
    if (!errFile.open())
        return run;
    // Everything the child needs is made before the fork: after it only
    // calls that are safe in a copy of a threaded process.
    const QByteArray dirBytes = QFile::encodeName(dir);
    std::vector<QByteArray> argBytes{QFile::encodeName(program)};
    for (const QString& a : args)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int errFd = errFile.handle();

    const pid_t pid = ::fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (::chdir(dirBytes.constData()) != 0 || devNull < 0)
            ::_exit(127);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(errFd, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0)
            return run;
        if (clock.elapsed() > timeoutMs) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            run.exitCode = -1;
            run.peakKb = usage.ru_maxrss;
            return run;
        }
        QThread::msleep(20);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    run.peakKb = usage.ru_maxrss;
    QFile err(errFile.fileName());
    if (err.open(QIODevice::ReadOnly))
        run.err = err.readAll();
    return run;
}

} // namespace lb::test
