#include "audit/SiteAudit.h"

#include "audit/PageFacts.h"
#include "common/AsciiText.h"
#include "net/HttpLimits.h"
#include "net/HttpProt.h"

#include <QRegularExpression>

#include <algorithm>

namespace lb::audit {

namespace {

// Sitemap index files may name further sitemaps; this many are read at most.
constexpr int kMaxSitemaps = 50;
// A Crawl-delay longer than this is taken as this.
constexpr double kMaxCrawlDelayMs = 60 * 1000.0;
// Pages are judged on their first bytes; the rest is counted, not kept.
constexpr qint64 kKeptPageBytes = 4 * 1024 * 1024;

const char kAgent[] = "Mozilla/5.0 (compatible; Linkbeacon/1.0; site audit)";

bool isHtmlType(const QString& type) {
    const QString t = type.section(QLatin1Char(';'), 0, 0).trimmed();
    return t.isEmpty() || t == QLatin1String("text/html") ||
           t == QLatin1String("application/xhtml+xml");
}

bool hasToken(const QString& list, QLatin1StringView token) {
    for (const QString& part :
         list.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        // "X-Robots-Tag: otherbot: noindex" names its crawler before the rules.
        const QString rule = part.section(QLatin1Char(':'), -1).trimmed();
        if (rule.compare(token, Qt::CaseInsensitive) == 0 ||
            rule.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString headerValue(const QStringList& header, QLatin1StringView name) {
    QString out;
    for (const QString& line : header) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 &&
            QStringView(line).first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            if (!out.isEmpty())
                out += QLatin1String(", ");
            out += line.mid(colon + 1).trimmed();
        }
    }
    return out;
}

// The <loc> values of a sitemap or sitemap index, XML entities decoded.
QStringList sitemapLocations(const QByteArray& xml) {
    QStringList out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = xml.indexOf("<loc>", pos);
        if (open < 0)
            break;
        const qsizetype close = xml.indexOf("</loc>", open + 5);
        if (close < 0)
            break;
        QString value = QString::fromUtf8(xml.mid(open + 5, close - open - 5)).trimmed();
        if (value.startsWith(QLatin1String("<![CDATA[")) && value.endsWith(QLatin1String("]]>")))
            value = value.mid(9, value.size() - 12);
        else
            value = decodeEntities(value);
        out.append(value);
        pos = close + 6;
    }
    return out;
}

} // namespace

const QStringList& knownCrawlers() {
    static const QStringList names{
        QStringLiteral("Googlebot"),      QStringLiteral("Bingbot"),
        QStringLiteral("Applebot"),       QStringLiteral("DuckDuckBot"),
        QStringLiteral("GPTBot"),         QStringLiteral("OAI-SearchBot"),
        QStringLiteral("ChatGPT-User"),   QStringLiteral("ClaudeBot"),
        QStringLiteral("PerplexityBot"),  QStringLiteral("CCBot"),
        QStringLiteral("Google-Extended")};
    return names;
}

SiteAudit::SiteAudit(QObject* parent) : QObject(parent) {
    m_delayTimer.setSingleShot(true);
    connect(&m_delayTimer, &QTimer::timeout, this, [this] { pump(); });
    m_sweepTimer.setInterval(200);
    connect(&m_sweepTimer, &QTimer::timeout, this, [this] { sweep(); });
}

SiteAudit::~SiteAudit() {
    const auto clients = m_requests.keys();
    m_requests.clear();
    for (net::THttpCli* c : clients) {
        c->OnRequestDone = nullptr;
        c->OnHeaderEnd = nullptr;
        c->OnDocData = nullptr;
        c->Abort();
        c->deleteLater();
    }
}

bool SiteAudit::start(const AuditOptions& options) {
    if (m_running)
        return false;
    m_options = options;
    m_options.maxPages = std::max(1, options.maxPages);
    m_options.inFlight = std::clamp(options.inFlight, 1, 256);
    m_options.timeoutSeconds = std::clamp(options.timeoutSeconds, 1, 24 * 3600);
    m_start = parseAuditUrl(options.url);
    m_error.clear();
    if (!m_start.isValid()) {
        m_error = QStringLiteral("Not an http or https address: ") + options.url;
        return false;
    }
    m_crawl = AuditCrawl();
    m_crawl.start = m_start.toString();
    m_nodeIds.clear();
    m_queue.clear();
    m_sitemapQueue.clear();
    m_requested.clear();
    m_sitemapsRead = 0;
    m_result = AuditResult();
    m_robots = RobotsTxt::allowAll();
    m_robotsDone = false;
    m_delayMs = 0;
    m_running = true;
    m_sinceProgress.start();
    m_sweepTimer.start();
    // robots.txt goes first and alone.
    AuditUrl robots = m_start;
    robots.path = "/robots.txt";
    robots.query.clear();
    if (!startRequest(Kind::Robots, robots.toString(), -1))
        QMetaObject::invokeMethod(
            this, [this] { finish(); }, Qt::QueuedConnection);
    return true;
}

void SiteAudit::stop() {
    if (!m_running)
        return;
    m_queue.clear();
    m_sitemapQueue.clear();
    const auto clients = m_requests.keys();
    for (net::THttpCli* c : clients)
        if (m_requests.contains(c))
            c->Abort();
    if (m_requests.isEmpty())
        finish();
}

int SiteAudit::nodeFor(const QString& url) {
    const auto it = m_nodeIds.constFind(url);
    if (it != m_nodeIds.cend())
        return *it;
    const int id = int(m_crawl.nodes.size());
    AuditNode node;
    node.url = url;
    m_crawl.nodes.append(node);
    m_nodeIds.insert(url, id);
    return id;
}

void SiteAudit::found(const AuditUrl& url, int fromNode, int depth, bool linked) {
    if (!url.isValid() || !url.sameSite(m_start))
        return;
    const int id = nodeFor(url.toString());
    AuditNode& node = m_crawl.nodes[id];
    if (linked)
        node.linked = true;
    if (fromNode >= 0 && fromNode != id && !node.from.contains(fromNode))
        node.from.append(fromNode);
    if (node.queued || node.blocked)
        return;
    if (!m_options.ignoreRobots && !m_robots.allowed(kProductToken, url.pathAndQuery())) {
        node.blocked = true;
        return;
    }
    node.queued = true;
    m_queue.push_back(id);
    m_pageDepth.insert(id, depth);
}

void SiteAudit::pump() {
    if (!m_running || !m_robotsDone)
        return;
    const int limit = m_delayMs > 0 ? 1 : m_options.inFlight;
    while (int(m_requests.size()) < limit) {
        if (m_delayMs > 0 && m_sinceLastRequest.isValid() &&
            m_sinceLastRequest.elapsed() < qint64(m_delayMs)) {
            if (!m_delayTimer.isActive())
                m_delayTimer.start(int(qint64(m_delayMs) - m_sinceLastRequest.elapsed()) + 1);
            return;
        }
        bool started = false;
        if (!m_sitemapQueue.isEmpty()) {
            const QString url = m_sitemapQueue.takeFirst();
            started = startRequest(Kind::Sitemap, url, -1);
        } else if (!m_queue.empty() && m_crawl.pages.size() < m_options.maxPages) {
            const int id = m_queue.front();
            m_queue.pop_front();
            started = startRequest(Kind::Page, m_crawl.nodes.at(id).url, id);
        } else {
            break;
        }
        (void)started;
    }
    if (m_requests.isEmpty())
        finish();
}

bool SiteAudit::startRequest(Kind kind, const QString& url, int node) {
    if (m_requested.contains(url) && kind != Kind::Page)
        return false;
    m_requested.insert(url);
    auto* client = new net::THttpCli();
    client->URL = url;
    client->Agent = QString::fromLatin1(kAgent);
    client->Accept = QStringLiteral("text/html,application/xhtml+xml,*/*");
    if (!m_options.proxyHost.isEmpty()) {
        client->Proxy = m_options.proxyHost;
        client->ProxyPort = m_options.proxyPort;
        client->ProxyUsername = m_options.proxyUser;
        client->ProxyPassword = m_options.proxyPassword;
    }
    Request r;
    r.kind = kind;
    r.node = node;
    r.url = url;
    if (kind == Kind::Page) {
        AuditPage page;
        page.url = url;
        page.depth = m_pageDepth.value(node);
        m_crawl.nodes[node].page = int(m_crawl.pages.size());
        m_crawl.pages.append(page);
    }
    client->OnHeaderEnd = [this](net::THttpCli* c) { headerEnd(c); };
    client->OnDocData = [this](net::THttpCli* c, const char* d, int n) { docData(c, d, n); };
    client->OnRequestDone = [this](net::THttpCli* c, net::THttpRequest, quint16) {
        requestDone(c);
    };
    r.clock.start();
    m_sinceLastRequest.start();
    m_requests.insert(client, r);
    try {
        client->GetAsync();
    } catch (const std::exception& e) {
        // The request never went out: it ends like one without an answer.
        Request failed = m_requests.take(client);
        client->OnRequestDone = nullptr;
        client->deleteLater();
        const QString why = QString::fromLocal8Bit(e.what());
        if (kind == Kind::Robots) {
            QMetaObject::invokeMethod(
                this,
                [this, why] {
                    m_error = why;
                    finish();
                },
                Qt::QueuedConnection);
        } else if (kind == Kind::Page) {
            pageDone(failed, false, why);
        }
    }
    return true;
}

void SiteAudit::headerEnd(net::THttpCli* client) {
    const auto it = m_requests.find(client);
    if (it == m_requests.end())
        return;
    Request& r = it.value();
    r.headerDone = true;
    r.status = client->StatusCode();
    r.contentType = client->ContentType();
    const QStringList& header = client->ResponseHeader();
    if (r.kind != Kind::Page)
        return;
    r.robotsTag = headerValue(header, QLatin1StringView("x-robots-tag"));
    const QString location = headerValue(header, QLatin1StringView("location"));
    r.location = location;
    // Each hop of a redirection is a page of its own: the client is not let
    // follow it, and a Location on any other answer ends it the same way.
    if (!location.isEmpty())
        client->Abort();
}

void SiteAudit::docData(net::THttpCli* client, const char* data, int len) {
    const auto it = m_requests.find(client);
    if (it == m_requests.end())
        return;
    Request& r = it.value();
    r.bytes += len;
    const qint64 room = kKeptPageBytes - r.body.size();
    if (room > 0)
        r.body.append(data, int(std::min<qint64>(room, len)));
    if (r.bytes > net::limits::kMaxPageBytes)
        client->Abort();
}

void SiteAudit::requestDone(net::THttpCli* client) {
    const auto it = m_requests.find(client);
    if (it == m_requests.end())
        return;
    Request r = it.value();
    m_requests.erase(it);
    const QString failure =
        r.timedOut ? QStringLiteral("Timed out")
                   : (client->ReasonPhrase().isEmpty() ? QStringLiteral("Connection failed")
                                                       : client->ReasonPhrase());
    client->Release();
    const bool answered = r.headerDone && !r.timedOut;
    if (r.kind == Kind::Robots)
        robotsDone(r, answered, failure);
    else if (r.kind == Kind::Sitemap)
        sitemapDone(r, answered);
    else
        pageDone(r, answered, failure);
    if (!m_running)
        return;
    emitProgress(false);
    pump();
}

void SiteAudit::robotsDone(const Request& r, bool answered, const QString& failure) {
    if (!answered) {
        m_error =
            QStringLiteral("No answer from ") + m_start.toString() + QStringLiteral(": ") + failure;
        finish();
        return;
    }
    const int s = r.status;
    if (s >= 200 && s < 300) {
        m_robots = RobotsTxt::parse(r.body);
    } else if (s >= 500) {
        m_robots = RobotsTxt::disallowAll();
        m_crawl.robotsServerError = true;
    } else {
        m_robots = RobotsTxt::allowAll();
    }
    m_robotsDone = true;
    if (const auto delay = m_robots.crawlDelay(kProductToken); delay && !m_options.ignoreRobots)
        m_delayMs = std::min(*delay * 1000.0, kMaxCrawlDelayMs);
    // A robots.txt failing with 5xx forbids the whole site, whatever the
    // user's own wishes: nothing else is requested.
    if (m_crawl.robotsServerError) {
        const int id = nodeFor(m_crawl.start);
        m_crawl.nodes[id].linked = true;
        m_crawl.nodes[id].blocked = true;
        finish();
        return;
    }
    AuditUrl robotsUrl = m_start;
    robotsUrl.path = "/robots.txt";
    robotsUrl.query.clear();
    for (const QByteArray& line : m_robots.sitemaps()) {
        const AuditUrl u = resolveAuditUrl(robotsUrl, QString::fromUtf8(line));
        if (u.sameSite(m_start) && !m_sitemapQueue.contains(u.toString()))
            m_sitemapQueue.append(u.toString());
    }
    AuditUrl standard = m_start;
    standard.path = "/sitemap.xml";
    standard.query.clear();
    if (!m_sitemapQueue.contains(standard.toString()))
        m_sitemapQueue.append(standard.toString());
    m_sitemapsRead = int(m_sitemapQueue.size());
    found(m_start, -1, 0, true);
}

void SiteAudit::sitemapDone(const Request& r, bool answered) {
    if (!answered || r.status < 200 || r.status >= 300)
        return;
    m_crawl.sitemapExists = true;
    const bool index = r.body.contains("<sitemapindex");
    const AuditUrl base = parseAuditUrl(r.url);
    for (const QString& loc : sitemapLocations(r.body)) {
        const AuditUrl u = resolveAuditUrl(base, loc);
        if (!u.sameSite(m_start))
            continue;
        const QString url = u.toString();
        if (!index) {
            m_crawl.sitemapUrls.append(url);
        } else if (m_sitemapsRead < kMaxSitemaps && !m_sitemapQueue.contains(url) &&
                   !m_requested.contains(url)) {
            m_sitemapQueue.append(url);
            ++m_sitemapsRead;
        }
    }
}

void SiteAudit::pageDone(Request& r, bool answered, const QString& failure) {
    const int id = r.node;
    AuditPage& page = m_crawl.pages[m_crawl.nodes.at(id).page];
    page.ms = r.clock.elapsed();
    page.bytes = r.bytes;
    if (!answered) {
        page.failure = failure;
        return;
    }
    page.status = r.status;
    page.contentType = r.contentType;
    page.robotsTag = r.robotsTag;
    const AuditUrl self = parseAuditUrl(page.url);
    if (!r.location.isEmpty()) {
        const AuditUrl next = resolveAuditUrl(self, decodeEntities(r.location));
        page.location = next.isValid() ? next.toString() : r.location;
        found(next, id, page.depth, false);
    }
    if (page.status != 200 || !isHtmlType(page.contentType))
        return;
    page.html = true;
    const PageFacts facts = readPageFacts(r.body, charsetOf(page.contentType.toLatin1()));
    r.body.clear();
    page.hasTitle = facts.hasTitle;
    page.title = facts.title;
    page.hasDescription = facts.hasDescription;
    page.description = facts.description;
    page.h1Count = facts.h1Count;
    page.metaRobots = facts.metaRobots;
    page.lang = facts.lang;
    page.imagesWithoutAlt = facts.imagesWithoutAlt;
    page.noindex = hasToken(facts.metaRobots, QLatin1StringView("noindex")) ||
                   hasToken(page.robotsTag, QLatin1StringView("noindex"));
    page.nofollow = hasToken(facts.metaRobots, QLatin1StringView("nofollow")) ||
                    hasToken(page.robotsTag, QLatin1StringView("nofollow"));
    const AuditUrl base = facts.base.isEmpty() ? self : resolveAuditUrl(self, facts.base);
    if (!facts.canonical.isEmpty()) {
        const AuditUrl canonical = resolveAuditUrl(base, facts.canonical);
        page.canonical = canonical.isValid() ? canonical.toString() : facts.canonical;
        found(canonical, id, page.depth + 1, true);
    }
    for (const QString& link : facts.links) {
        const AuditUrl u = resolveAuditUrl(base, link);
        if (!u.isValid())
            continue;
        if (u.sameSite(m_start)) {
            ++page.internalLinks;
            found(u, id, page.depth + 1, true);
        } else {
            ++page.externalLinks;
        }
    }
}

void SiteAudit::sweep() {
    const qint64 limit = qint64(m_options.timeoutSeconds) * 1000;
    QList<net::THttpCli*> late;
    for (auto it = m_requests.begin(); it != m_requests.end(); ++it)
        if (!it->timedOut && it->clock.elapsed() > limit) {
            it->timedOut = true;
            late.append(it.key());
        }
    for (net::THttpCli* c : late)
        if (m_requests.contains(c))
            c->Abort();
    emitProgress(false);
}

void SiteAudit::finish() {
    if (!m_running)
        return;
    m_running = false;
    m_sweepTimer.stop();
    m_delayTimer.stop();
    // What is left in the queue stays there for the count of pages not reached.
    m_pageDepth.clear();
    if (m_error.isEmpty()) {
        m_result.issues = findIssues(m_crawl);
        m_result.brokenUrls = countBrokenUrls(m_result.issues);
        const QByteArray path = m_start.pathAndQuery();
        for (const QString& name : knownCrawlers())
            m_result.crawlerAllowed.append(m_robots.allowed(name.toLatin1(), path));
    }
    emit progress();
    emit finished();
}

void SiteAudit::emitProgress(bool force) {
    if (!force && m_sinceProgress.elapsed() < 100)
        return;
    m_sinceProgress.restart();
    emit progress();
}

} // namespace lb::audit
