// The site spider measured two ways:
//  receive: the receive handler fed a 5 MB page with 50,000 links in 8 KB
//           pieces (every link accepted, every status line pumping events);
//  crawl:   a whole crawl of a generated N-page site served by target-sim,
//           every page saved as a session in a fresh program folder.
// Usage: bench_spider TARGET_SIM [PAGES] [LINKS]
#include "net/HttpProt.h"
#include "sessions/SessionStore.h"
#include "spider/Spider.h"
#include "../tests/support/ScriptedDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Peak and current resident memory of this process, in kB.
long procStatus(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}

void fillContact(lb::SessionStore& store) {
    lb::SessionRecord r;
    for (int f = 0; f < lb::SessionRecord::FieldCount; ++f)
        r[f] = QStringLiteral("x");
    r.name = QString();
    store.setEditor(r);
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

int receive(quint16 port, int links) {
    QByteArray page = "<html><head><title>Many links</title>"
                      "<meta name=\"description\" content=\"A page of links\">"
                      "<meta name=\"keywords\" content=\"links, many\"></head><body>\r\n";
    for (int i = 0; i < links; ++i)
        page += "<p>Item " + QByteArray::number(i) + " of the catalogue: <a href=\"item" +
                QByteArray::number(i) + ".html\">see item " + QByteArray::number(i) +
                "</a>, with a short line of text to read.</p>\r\n";
    page += "</body></html>\r\n";

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("data/session"));
    lb::test::ScriptedDialogs dialogs;
    lb::SessionStore store(dir.path(), dialogs);
    fillContact(store);
    lb::net::THttpCli http;
    lb::Spider spider(store, dialogs, http);
    // A page that is never answered keeps the spider waiting for its data;
    // the pieces are then handed to the receive handler directly.
    spider.setSiteUrl(QStringLiteral("http://127.0.0.1:%1/hang").arg(port));
    spider.setTimeoutSeconds(0);
    if (!spider.MapButtonClick())
        return 1;
    const long rssBefore = procStatus("VmRSS:");
    QElapsedTimer t;
    t.start();
    for (qsizetype at = 0; at < page.size(); at += 8192)
        spider.HttpMapDocData(page.constData() + at, int(qMin<qsizetype>(8192, page.size() - at)));
    const qint64 ms = t.elapsed();
    std::printf("receive: %.1f MB, %d links in %lld pieces of 8 KB: %lld ms, %d URLs found, "
                "title \"%s\"; resident memory %ld kB before, %ld kB after, peak %ld kB\n",
                page.size() / 1e6, links, (long long)((page.size() + 8191) / 8192),
                (long long)ms, spider.siteList().count(),
                qPrintable(store.editor()[lb::SessionRecord::Title]), rssBefore,
                procStatus("VmRSS:"), procStatus("VmHWM:"));
    spider.MapAbortClick();
    waitFor([&] { return !spider.running() && spider.status().startsWith("All Done"); }, 10000);
    return 0;
}

int crawl(quint16 port, int pages) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("data/session"));
    lb::test::ScriptedDialogs dialogs;
    lb::SessionStore store(dir.path(), dialogs);
    store.readIndex();
    fillContact(store);
    lb::net::THttpCli http;
    lb::Spider spider(store, dialogs, http);
    spider.setSiteUrl(QStringLiteral("http://127.0.0.1:%1/site/gen/%2/").arg(port).arg(pages));
    QElapsedTimer t;
    t.start();
    if (!spider.MapButtonClick())
        return 1;
    if (!waitFor([&] { return !spider.running(); }, 30 * 60 * 1000))
        return 1;
    const double s = t.elapsed() / 1000.0;
    std::printf("crawl: %d pages fetched and saved in %.2f s, %.1f pages/s (%s)\n",
                int(store.sesList().count()), s, store.sesList().count() / s,
                qPrintable(spider.status()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_spider TARGET_SIM [PAGES] [LINKS]\n");
        return 2;
    }
    const int pages = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int links = argc > 3 ? std::atoi(argv[3]) : 50000;
    QProcess sim;
    sim.start(QString::fromLocal8Bit(argv[1]), {"--port", "0"});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_spider: target-sim did not start\n");
        return 1;
    }
    const quint16 port = quint16(sim.readLine().trimmed().toInt());
    int rc = receive(port, links);
    if (rc == 0 && pages > 0)
        rc = crawl(port, pages);
    sim.terminate();
    sim.waitForFinished(3000);
    return rc;
}
