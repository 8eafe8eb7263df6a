#pragma once
// The site audit: a crawl of one site (same scheme, host and port) with many
// requests in flight, robots.txt honoured, every page answered recorded with
// what it says about itself; the issues are found once the crawl has ended.
#include "audit/AuditIssues.h"
#include "audit/AuditUrl.h"
#include "audit/RobotsTxt.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <deque>

namespace lb::net {
class THttpCli;
}

namespace lb::audit {

struct AuditOptions {
    QString url;
    int maxPages = 10000;
    int inFlight = 4;
    int timeoutSeconds = 30;
    bool ignoreRobots = false;
    // The proxy of the program's settings; empty host: none.
    QString proxyHost, proxyPort, proxyUser, proxyPassword;
};

// The crawlers whose access to the start page is reported, in this order.
const QStringList& knownCrawlers();
// Our own product token in robots.txt.
inline constexpr char kProductToken[] = "Linkbeacon";

class SiteAudit : public QObject {
    Q_OBJECT
public:
    explicit SiteAudit(QObject* parent = nullptr);
    ~SiteAudit() override;

    // False, with the reason in error(), when the options cannot start a crawl.
    bool start(const AuditOptions& options);
    // Ends the crawl now; what was found so far is judged as usual.
    void stop();
    bool running() const { return m_running; }

    // Set when the start host could not be reached at all.
    const QString& error() const { return m_error; }
    const AuditCrawl& crawl() const { return m_crawl; }
    const QList<AuditPage>& pages() const { return m_crawl.pages; }
    int queued() const { return int(m_queue.size()); }
    int inFlight() const { return int(m_requests.size()); }
    // Valid once finished() has been emitted.
    const AuditResult& result() const { return m_result; }

signals:
    // At most every tenth of a second while pages come in, and at the end.
    void progress();
    void finished();

private:
    enum class Kind { Robots, Sitemap, Page };
    struct Request {
        Kind kind = Kind::Page;
        int node = -1;
        QString url;
        QElapsedTimer clock;
        QByteArray body;
        qint64 bytes = 0;
        bool headerDone = false;
        bool timedOut = false;
        int status = 0;
        QString contentType;
        QString location;
        QString robotsTag;
    };

    int nodeFor(const QString& url);
    void found(const AuditUrl& url, int fromNode, int depth, bool linked);
    void pump();
    bool startRequest(Kind kind, const QString& url, int node);
    void headerEnd(net::THttpCli* client);
    void docData(net::THttpCli* client, const char* data, int len);
    void requestDone(net::THttpCli* client);
    void robotsDone(const Request& r, bool answered, const QString& failure);
    void sitemapDone(const Request& r, bool answered);
    void pageDone(Request& r, bool answered, const QString& failure);
    void sweep();
    void finish();
    void emitProgress(bool force);

    AuditOptions m_options;
    AuditUrl m_start;
    bool m_running = false;
    bool m_robotsDone = false;
    QString m_error;
    RobotsTxt m_robots = RobotsTxt::allowAll();
    double m_delayMs = 0;
    QElapsedTimer m_sinceLastRequest;
    QTimer m_delayTimer;
    QTimer m_sweepTimer;
    QElapsedTimer m_sinceProgress;

    AuditCrawl m_crawl;
    QHash<QString, int> m_nodeIds;
    std::deque<int> m_queue;
    QList<QString> m_sitemapQueue;
    QSet<QString> m_requested;
    QHash<int, int> m_pageDepth; // queued node -> clicks from the start
    int m_sitemapsRead = 0;
    QHash<net::THttpCli*, Request> m_requests;
    AuditResult m_result;
};

} // namespace lb::audit
