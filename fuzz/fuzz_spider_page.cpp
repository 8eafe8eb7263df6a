// The spider's receive handler on any page arriving in any pieces through the
// client's answer handling: every value the session editor gets (title,
// description, keywords) lies inside the page, every link found is shorter
// than 100 characters, inside the site, free of the rejected texts and found
// once; the server may close while a status line pumps events.
//
// Input: byte 0 the start address and the pump call that sees the server
// close (0: none), byte 1 piece sizes, then the page.
#include "FuzzCheck.h"
#include "HttpAnswerFeed.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "sessions/SessionStore.h"
#include "spider/Spider.h"

#include <QCoreApplication>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>

namespace {

class YesDialogs : public lb::Dialogs {
public:
    void inform(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString&, const QString&) override { return true; }
    void showError(const QString&) override {}
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }
};

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "fuzz_spider_page";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

const char* const Rejected[] = {"JAVASCRIPT:", "#",   ">",    "<",    "MAILTO:", "@",    "=",
                                ".CGI",        ".PL", ".GIF", ".JPG", ".EXE",    ".TAR", ".ZIP",
                                ".RAR",        "?",   "FTP:", ";",    ".HLX",    ".HDB"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    app();
    static QTemporaryDir dir(QStringLiteral("/dev/shm/lb-fuzz-spider-XXXXXX"));
    if (size < 2)
        return 0;
    static const char* const starts[] = {"http://www.site.com/dir/page.html", "http://site.org",
                                         "http://127.0.0.1:8080/a/b/", "http://localhost/x"};
    const QString start = QString::fromLatin1(starts[data[0] & 3]);
    const int closeAtPump = data[0] >> 2;
    uint32_t rng = 0x2545F491u ^ (uint32_t(data[1]) * 2654435761u);
    static const int maxPieces[] = {1, 3, 16, 100, 1000, 8192, 1 << 30, 1 << 30};
    const int maxPiece = maxPieces[data[1] & 7];
    const QByteArray page(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    QByteArray flat = page; // the spider drops line breaks
    flat.replace('\r', QByteArray()).replace('\n', QByteArray());
    bool ascii = true;
    for (char ch : flat)
        ascii = ascii && uchar(ch) < 0x80;

    YesDialogs dialogs;
    lb::SessionStore sessions(dir.path(), dialogs);
    lb::net::HttpAnswerFeed http;
    lb::Spider spider(sessions, dialogs, http);
    spider.setTimeoutSeconds(0);
    int pumps = 0;
    spider.setEventPump([&] {
        if (++pumps == closeAtPump)
            http.serverClose(); // the server's close comes in while a status line is painted
        QCoreApplication::sendPostedEvents();
    });
    http.OnStateChange = [&](lb::net::THttpCli*) { http.connectOnLookup(); };

    // Every value the editor takes comes out of the page.
    auto inPage = [&](const QString& v) {
        FUZZ_CHECK(!v.contains(QLatin1Char('\r')) && !v.contains(QLatin1Char('\n')));
        FUZZ_CHECK(v.size() <= flat.size());
        if (ascii)
            FUZZ_CHECK(flat.contains(v.toLatin1()));
    };
    QObject::connect(&sessions, &lb::SessionStore::editorChanged, [&] {
        const lb::SessionRecord& e = sessions.editor();
        inPage(e[lb::SessionRecord::Title]);
        inPage(e[lb::SessionRecord::Description]);
        for (int k = 0; k < 16; ++k)
            inPage(e[lb::SessionRecord::Key1 + k]);
    });

    spider.setSiteUrl(start);
    FUZZ_CHECK(spider.MapButtonClick());
    FUZZ_CHECK(http.open());
    static const char header[] = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
    http.arrive(header, int(sizeof header - 1));
    for (qsizetype pos = 0; pos < page.size() && http.open();) {
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        const int piece = int(std::min<qsizetype>(page.size() - pos, 1 + rng % uint32_t(maxPiece)));
        http.arrive(page.constData() + pos, piece);
        pos += piece;
    }
    http.serverClose();
    // The page is saved and the next one is asked for; that one ends empty.
    for (int i = 0; i < 8 && !http.open(); ++i)
        QCoreApplication::sendPostedEvents();
    if (http.open())
        spider.MapAbortClick();
    for (int i = 0; i < 8 && spider.running(); ++i)
        QCoreApplication::sendPostedEvents();

    const QString base = spider.siteBase();
    const QStringList& found = spider.siteList().addedOrder();
    FUZZ_CHECK(!found.isEmpty() && found.first() == start);
    QSet<QString> seen{start};
    for (qsizetype i = 1; i < found.size(); ++i) {
        const QString& link = found.at(i);
        FUZZ_CHECK(link.size() < 100);
        FUZZ_CHECK(link.contains(base));
        FUZZ_CHECK(!seen.contains(link));
        seen.insert(link);
        const QString upper = lb::asciiUpper(link);
        for (const char* bad : Rejected)
            FUZZ_CHECK(!upper.contains(QLatin1String(bad)));
    }
    return 0;
}
