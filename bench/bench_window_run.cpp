// Whole run in the main window under the offscreen platform: one session to
// N POST engines on a local target-sim, Start pressed, time until the run ends.
// Usage: bench_window_run TARGET_SIM [N] [SPEED]
//        bench_window_run --folder DIR SESSION [SPEED]
// The second form runs SESSION in an existing program folder (its
// data/data.hlz, reports on), as the soak does.
#include "../tests/support/ScriptedDialogs.h"
#include "app/TKestrel.h"
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineDatabase.h"
#include "engines/EngineRecord.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionRun.h"

#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

static void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// Start pressed, then the event loop as the program runs it (waiting, not
// polling) until the run ends.
static void runToEnd(lb::TKestrel& w) {
    QEventLoop loop;
    QObject::connect(&w.submission(), &lb::SubmissionRun::runFinished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    w.submission().start();
    if (w.submission().running())
        loop.exec();
}

// Start pressed on one session in the program folder DIR; prints the counters.
static int runInFolder(const QString& dir, const QString& session, const QString& speed) {
    if (!QDir::setCurrent(dir)) {
        std::fprintf(stderr, "bench_window_run: no folder %s\n", qPrintable(dir));
        return 2;
    }
    lb::test::ScriptedDialogs dialogs;
    lb::TKestrel w(dialogs);
    w.show();
    w.notebook()->setCurrentIndex(3); // "Step3 Submit": the counters and memo are drawn
    w.engines().setBatchIncluded(false);
    w.setGenerateReports(true);
    w.submission().setSpeedIndex(int(lb::speedSteps().indexOf(speed)));
    w.subList().add(session);
    QElapsedTimer t;
    t.start();
    runToEnd(w);
    const auto& c = w.submission().counters();
    std::printf("window: %.2f s  Successful: %d  Failed: %d\n", t.elapsed() / 1000.0, c.successful,
                c.failed);
    std::fflush(stdout);
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc >= 4 && qstrcmp(argv[1], "--folder") == 0)
        return runInFolder(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           argc > 4 ? QString::fromLatin1(argv[4]) : QStringLiteral("300"));
    if (argc < 2) {
        std::fputs("usage: bench_window_run TARGET_SIM [N] [SPEED]\n", stderr);
        return 2;
    }
    const int n = argc > 2 ? std::atoi(argv[2]) : 1000;
    const QString speed = argc > 3 ? QString::fromLatin1(argv[3]) : QStringLiteral("300");

    QProcess sim;
    sim.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("--port"), QStringLiteral("0")});
    if (!sim.waitForReadyRead(5000))
        return 1;
    const QByteArray port = sim.readLine().trimmed();

    QTemporaryDir dir;
    QDir d(dir.path());
    for (const char* sub : {"data/session", "data/custom", "reports", "help"})
        d.mkpath(QLatin1String(sub));
    QStringList lines;
    for (int i = 0; i < n; ++i) {
        lb::EngineRecord r;
        r.name = QStringLiteral("Engine %1").arg(i, 5, 10, QLatin1Char('0'));
        r[lb::EngineRecord::CgiUrl] =
            QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(port) + "/status/302";
        r[lb::EngineRecord::TitleVar] = QStringLiteral("title");
        r.setPost(true);
        lines.append(r.toLine());
    }
    write(d.filePath("data/data.hlz"), lb::encipherEngineText(lb::joinLinesCrLf(lines)));
    write(d.filePath("data/exclude.tmp"), QByteArray());
    write(d.filePath("data/session/session.hlx"), "[Session]\r\nCount=1\r\n[List]\r\n0=bench\r\n");
    write(d.filePath("data/session/bench.hlx"), "[bench]\r\nurl=http://www.example.com/\r\n");
    write(d.filePath("kwnlogo.bmp"), QByteArray());
    write(d.filePath("kwnico.ico"), QByteArray());
    QDir::setCurrent(dir.path());

    lb::test::ScriptedDialogs dialogs;
    lb::TKestrel w(dialogs);
    w.show();
    w.notebook()->setCurrentIndex(3); // "Step3 Submit": the counters and memo are drawn
    w.engines().setBatchIncluded(false);
    w.submission().setSpeedIndex(int(lb::speedSteps().indexOf(speed)));
    w.subList().add(QStringLiteral("bench"));
    QElapsedTimer t;
    t.start();
    runToEnd(w);
    const double secs = t.elapsed() / 1000.0;
    std::printf("%d engines at speed %s in the window: %.2f s, %.0f requests/s, "
                "successful %d, failed %d\n",
                n, qPrintable(speed), secs, n / secs, w.submission().counters().successful,
                w.submission().counters().failed);
    sim.terminate();
    sim.waitForFinished(2000);
    return 0;
}
