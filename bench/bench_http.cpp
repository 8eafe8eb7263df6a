// Whole-run HTTP benchmark: N GETs with up to P in flight through TSTHttpCli,
// the way the submission run drives its per-target clients (one client per
// request, freed with Release from its request-done handler).
//
//   bench_http --port PORT [--requests 5000] [--parallel 300] [--path /status/200/OK]
//              [--abort-at-header] [--https [--cacert FILE]]
//   bench_http --sim PATH-TO-target-sim ...   (starts its own target-sim)
#include "net/HttpProt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace lb::net;

int main(int argc, char** argv) {
    // Thousands of connections in flight need as many descriptors.
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int port = 0, total = 5000, parallel = 300;
    QString path = QStringLiteral("/status/200/OK"), sim;
    bool abortAtHeader = false;
    bool https = false;
    QString caFile;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString v = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == "--port") {
            port = v.toInt();
            ++i;
        } else if (a == "--requests") {
            total = v.toInt();
            ++i;
        } else if (a == "--parallel") {
            parallel = v.toInt();
            ++i;
        } else if (a == "--path") {
            path = v;
            ++i;
        } else if (a == "--sim") {
            sim = v;
            ++i;
        } else if (a == "--https") {
            https = true; // PORT is then target-sim's https port
        } else if (a == "--cacert") {
            caFile = v;
            ++i;
        } else if (a == "--abort-at-header") {
            abortAtHeader = true;
        } else {
            std::fprintf(stderr, "bench_http: unknown argument %s\n", qPrintable(a));
            return 2;
        }
    }
    QProcess simProcess;
    if (!sim.isEmpty()) {
        simProcess.start(sim, {"--port", "0"});
        if (!simProcess.waitForStarted(5000) || !simProcess.waitForReadyRead(5000)) {
            std::fprintf(stderr, "bench_http: target-sim did not start\n");
            return 1;
        }
        port = simProcess.readLine().trimmed().toInt();
    }
    if (port <= 0) {
        std::fprintf(stderr, "bench_http: give --port or --sim\n");
        return 2;
    }
    const QString base = QStringLiteral("%1://127.0.0.1:%2%3%4n=")
                             .arg(https ? "https" : "http")
                             .arg(port)
                             .arg(path)
                             .arg(path.contains('?') ? '&' : '?');

    // The handlers capture only a pointer to this, so they fit inside their
    // std::function (a capture of every counter would cost an allocation
    // per request that the client itself does not make).
    struct Run {
        int total = 0, started = 0, finished = 0, ok = 0, failed = 0, mostInFlight = 0;
        qint64 bytes = 0;
        bool abortAtHeader = false;
        QString base, caFile;
        // The status as seen at the end of the header, the way the submission run judges it.
        std::vector<int> status;

        void startOne() {
            auto* c = new TSTHttpCli; // no parent, as in the submission run
            c->Tag = started;
            c->Reference = QStringLiteral("http://site.example/");
            c->URL = base + QString::number(started);
            if (!caFile.isEmpty())
                c->Tls.caFiles << caFile;
            ++started;
            mostInFlight = std::max(mostInFlight, started - finished);
            c->OnHeaderEnd = [this](THttpCli* s) {
                status[size_t(s->Tag)] = s->StatusCode();
                if (abortAtHeader)
                    s->Abort();
            };
            c->OnRequestDone = [this](THttpCli* s, THttpRequest, quint16) {
                ++finished;
                bytes += s->ReceivedCount();
                const int code = status[size_t(s->Tag)];
                if (code > 0 && code < 400)
                    ++ok;
                else
                    ++failed;
                s->Release();
                if (started < total)
                    startOne();
                else if (finished == total)
                    QCoreApplication::quit();
            };
            c->GetAsync();
        }
    } run;
    run.total = total;
    run.abortAtHeader = abortAtHeader;
    run.base = base;
    run.caFile = caFile;
    run.status.assign(size_t(std::max(total, 0)), 0);

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < parallel && run.started < total; ++i)
        run.startOne();
    if (total > 0)
        app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("requests: %d  ok: %d  failed: %d  body bytes: %lld\n", total, run.ok, run.failed,
                static_cast<long long>(run.bytes));
    std::printf("seconds: %.3f  requests/s: %.0f  most in flight: %d\n", seconds, total / seconds,
                run.mostInFlight);
    if (simProcess.state() != QProcess::NotRunning) {
        simProcess.terminate();
        simProcess.waitForFinished(3000);
    }
    return run.failed == 0 ? 0 : 1;
}
