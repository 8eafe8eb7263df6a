// IndexNow submission of N URLs of one host (N / 10,000 posts, one at a time)
// through IndexNowSubmitter against target-sim's endpoint: wall time, posts,
// body bytes and peak memory.
//
//   bench_indexnow --port PORT [--urls 100000]
#include "indexnow/IndexNow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int port = 0, total = 100000;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--port"))
            port = args[++i].toInt();
        else if (args[i] == QLatin1String("--urls"))
            total = args[++i].toInt();
    }
    if (port <= 0) {
        std::fprintf(stderr, "usage: bench_indexnow --port PORT [--urls N]\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    QStringList urls;
    urls.reserve(total);
    for (int i = 0; i < total; ++i)
        urls.append(QStringLiteral("http://www.example.com/page/%1.html").arg(i));
    const auto posts =
        lb::planIndexNowPosts({QStringLiteral("http://127.0.0.1:%1/indexnow").arg(port)}, urls);
    qint64 bodyBytes = 0;
    for (const auto& p : posts)
        bodyBytes +=
            lb::indexNowBody(p.host, QStringLiteral("linkbeacon-bench-key"), QString(), p.urls)
                .size();
    const qint64 planned = clock.elapsed();

    lb::IndexNowSubmitter submitter;
    int accepted = 0;
    QObject::connect(&submitter, &lb::IndexNowSubmitter::posted,
                     [&](const lb::IndexNowPost&, int code, const QString&) {
                         accepted += code == 200 || code == 202;
                     });
    QEventLoop loop;
    QObject::connect(&submitter, &lb::IndexNowSubmitter::finished, &loop, &QEventLoop::quit);
    clock.restart();
    submitter.start(posts, QStringLiteral("linkbeacon-bench-key"), QString());
    loop.exec();
    const qint64 sent = clock.elapsed();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("urls %d  posts %lld (accepted %d)  body %.1f MB  plan %lld ms  posts %lld ms  "
                "peak %ld MB\n",
                total, static_cast<long long>(posts.size()), accepted, bodyBytes / 1e6,
                static_cast<long long>(planned), static_cast<long long>(sent), ru.ru_maxrss / 1024);
    return accepted == posts.size() ? 0 : 1;
}
