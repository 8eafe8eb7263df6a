#include "engines/EngineCheck.h"

#include "extractor/FormAnalyser.h"
#include "net/HttpLimits.h"
#include "net/HttpProt.h"
#include "net/SocketErrors.h"

#include <QTimer>

namespace lb {

using net::THttpCli;
using R = EngineRecord;

QString engineStateName(EngineState state) {
    switch (state) {
    case EngineState::Alive:
        return QStringLiteral("alive");
    case EngineState::Changed:
        return QStringLiteral("changed");
    case EngineState::Moved:
        return QStringLiteral("moved");
    case EngineState::Gone:
        return QStringLiteral("gone");
    case EngineState::Error:
        return QStringLiteral("error");
    case EngineState::Dead:
        return QStringLiteral("dead");
    case EngineState::Unchecked:
        break;
    }
    return QString();
}

QString EngineCheck::countsText() const {
    const auto n = counts();
    return QStringLiteral("%1 alive, %2 changed, %3 moved, %4 gone, %5 error, %6 dead")
        .arg(n[0])
        .arg(n[1])
        .arg(n[2])
        .arg(n[3])
        .arg(n[4])
        .arg(n[5]);
}

namespace {

// A stored address as the HTTP client reads it (a missing scheme is http).
QUrl addressOf(const QString& text) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(text, proto, user, pass, host, port, path);
    if (proto.isEmpty())
        proto = QStringLiteral("http");
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    QString url = proto + QStringLiteral("://") + host;
    if (!port.isEmpty())
        url += QLatin1Char(':') + port;
    if (!path.startsWith(QLatin1Char('/')))
        url += QLatin1Char('/');
    return QUrl(url + path);
}

int defaultPort(const QUrl& u) {
    return u.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
}

QString pathOf(const QUrl& u) {
    const QString path = u.adjusted(QUrl::NormalizePathSegments).path(QUrl::FullyDecoded);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

// The address as a detail line shows it: ":80" left out.
QString shownAddress(QUrl u) {
    if (u.port() == 80)
        u.setPort(-1);
    return u.toString(QUrl::FullyEncoded);
}

QString locationOf(const THttpCli* c) {
    QString location;
    for (const QString& line : c->ResponseHeader()) {
        if (line.size() > 9 && line.startsWith(QLatin1String("location:"), Qt::CaseInsensitive))
            location = line.mid(9).trimmed(); // the last one counts, as for the client
    }
    return location;
}

} // namespace

bool actionPostsTo(const QString& action, const QString& pageUrl, const QString& cgiUrl) {
    const QUrl a = action.contains(QLatin1String("://"))
                       ? addressOf(action)
                       : addressOf(pageUrl).resolved(QUrl(action, QUrl::TolerantMode));
    const QUrl c = addressOf(cgiUrl);
    if (!a.isValid() || !c.isValid())
        return false;
    return a.scheme().compare(c.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(c.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort(a)) == c.port(defaultPort(c)) && pathOf(a) == pathOf(c);
}

// One engine being checked: the hop in flight and what its answer said.
struct EngineCheck::Probe {
    quint64 serial = 0;
    int index = 0;
    bool pageOnly = false; // no Site_Url: the CGI URL's answer alone decides
    QUrl startUrl;
    QString requested; // the address of the hop in flight, as sent
    QUrl current;
    int hops = 0;
    bool moved = false;
    bool timedOut = false;
    THttpCli* client = nullptr;
    QTimer timer;
    // The answer of the hop in flight.
    bool headerEnded = false;
    int status = 0;
    QString phrase;
    QString location;
    QByteArray page;
};

EngineCheck::EngineCheck(QObject* parent) : QObject(parent) {}

EngineCheck::~EngineCheck() {
    stop();
}

void EngineCheck::setEngines(const QList<EngineRecord>& engines) {
    if (m_running)
        return;
    m_engines = engines;
    resetResults();
}

void EngineCheck::resetResults() {
    m_results.clear();
    m_results.reserve(m_engines.size());
    for (const EngineRecord& e : std::as_const(m_engines))
        m_results.append(EngineCheckResult{e.name, EngineState::Unchecked, 0, QString()});
    m_checked = 0;
    m_next = 0;
}

std::array<int, kEngineStateCount> EngineCheck::counts() const {
    std::array<int, kEngineStateCount> n{};
    for (const EngineCheckResult& r : m_results)
        if (r.state != EngineState::Unchecked)
            ++n[size_t(int(r.state) - int(EngineState::Alive))];
    return n;
}

void EngineCheck::start() {
    if (m_running)
        return;
    resetResults();
    m_running = true;
    startNext();
    if (m_running && m_probes.empty()) {
        m_running = false;
        emit finished();
    }
}

void EngineCheck::stop() {
    // Taken out first: a client's abort must not find its probe any more.
    std::vector<std::unique_ptr<Probe>> probes;
    probes.swap(m_probes);
    for (const auto& p : probes) {
        if (THttpCli* c = p->client) {
            c->OnHeaderEnd = nullptr;
            c->OnDocData = nullptr;
            c->OnRequestDone = nullptr;
            c->Abort();
            c->Release();
        }
    }
    const bool was = m_running;
    m_running = false;
    if (was)
        emit finished();
}

void EngineCheck::startNext() {
    while (m_running && int(m_probes.size()) < m_speed && m_next < count()) {
        auto probe = std::make_unique<Probe>();
        Probe* p = probe.get();
        p->serial = ++m_serial;
        p->index = m_next++;
        const EngineRecord& e = m_engines.at(p->index);
        p->pageOnly = e[R::SiteUrl].isEmpty();
        p->requested = p->pageOnly ? e[R::CgiUrl] : e[R::SiteUrl];
        p->startUrl = p->current = addressOf(p->requested);
        p->timer.setSingleShot(true);
        connect(&p->timer, &QTimer::timeout, this, [p] {
            p->timedOut = true;
            if (p->client)
                p->client->Abort();
        });
        m_probes.push_back(std::move(probe));
        p->timer.start(m_timeoutMs);
        request(p);
    }
}

void EngineCheck::request(Probe* p) {
    p->headerEnded = false;
    p->status = 0;
    p->phrase.clear();
    p->location.clear();
    p->page.clear();

    // Owned through the probe, not as a child; released in its done handler.
    auto* c = new THttpCli;
    p->client = c;
    c->URL = p->requested;
    if (m_proxy.behindProxy) {
        c->Proxy = m_proxy.host;
        c->ProxyPort = m_proxy.port;
        c->ProxyUsername = m_proxy.userName;
        c->ProxyPassword = m_proxy.password;
    }
    c->OnHeaderEnd = [p](THttpCli* sender) {
        p->headerEnded = true;
        p->status = sender->StatusCode();
        p->phrase = sender->ReasonPhrase();
        p->location = p->pageOnly || p->status >= 400 ? QString() : locationOf(sender);
        // Only a page that may hold the form is read on; the client is
        // kept from following a redirect itself, so every hop is counted here.
        if (!p->location.isEmpty() || p->pageOnly || p->status >= 400)
            sender->Abort();
    };
    c->OnDocData = [p](THttpCli* sender, const char* data, int len) {
        const qint64 room = net::limits::kMaxCheckedPageBytes - p->page.size();
        p->page.append(data, qsizetype(qMin<qint64>(room, len)));
        if (len >= room)
            sender->Abort(); // enough to find the form in
    };
    c->OnRequestDone = [this, p](THttpCli*, net::THttpRequest, quint16 error) {
        if (error != 0 && !p->headerEnded && !p->timedOut && p->client)
            p->phrase = p->client->ReasonPhrase();
        requestDone(p);
    };
    try {
        c->GetAsync();
    } catch (const std::exception& e) {
        // The client refuses the address at once: nothing will answer it.
        c->OnHeaderEnd = nullptr;
        c->OnDocData = nullptr;
        c->OnRequestDone = nullptr;
        c->Release();
        p->client = nullptr;
        const QString why = QString::fromLocal8Bit(e.what());
        QMetaObject::invokeMethod(
            this,
            [this, serial = p->serial, why] {
                for (const auto& probe : m_probes) {
                    if (probe->serial != serial)
                        continue;
                    Probe* q = probe.get();
                    return finish(q, q->moved ? EngineState::Moved : EngineState::Dead,
                                  q->moved ? shownAddress(q->current) : why);
                }
            },
            Qt::QueuedConnection);
    }
}

void EngineCheck::requestDone(Probe* p) {
    THttpCli* c = p->client;
    p->client = nullptr;
    QString failure = p->phrase;
    if (!p->headerEnded && failure.isEmpty()) {
        const int e = c->CtrlSocket()->LastError();
        failure = e != 0 ? QStringLiteral("%1 (Error #%2)").arg(net::socketErrorDesc(e)).arg(e)
                         : QStringLiteral("Connection closed without an answer");
    }
    c->OnHeaderEnd = nullptr;
    c->OnDocData = nullptr;
    c->Release(); // goes once this, its request-done handler, has returned

    const auto phraseDetail = [p] {
        return p->phrase.isEmpty() ? QString::number(p->status)
                                   : QString::number(p->status) + QLatin1Char(' ') + p->phrase;
    };
    if (p->timedOut)
        return finish(p, p->moved ? EngineState::Moved : EngineState::Dead,
                      p->moved ? shownAddress(p->current) : QStringLiteral("Request_Timeout"));
    if (!p->headerEnded)
        return finish(p, p->moved ? EngineState::Moved : EngineState::Dead,
                      p->moved ? shownAddress(p->current) : failure);
    if (!p->location.isEmpty()) {
        if (p->hops >= kMaxRedirects)
            return finish(p, p->moved ? EngineState::Moved : EngineState::Error,
                          p->moved ? shownAddress(p->current) : phraseDetail());
        const QUrl next = p->current.resolved(QUrl(p->location, QUrl::TolerantMode));
        ++p->hops;
        p->current = next;
        p->requested = next.toString(QUrl::FullyEncoded);
        if (next.host().compare(p->startUrl.host(), Qt::CaseInsensitive) != 0)
            p->moved = true;
        return request(p);
    }
    if (p->moved)
        return finish(p, EngineState::Moved, shownAddress(p->current));
    if (p->status == 404 || p->status == 410)
        return finish(p, EngineState::Gone, phraseDetail());
    if (p->status >= 400)
        return finish(p, EngineState::Error, phraseDetail());
    if (p->pageOnly)
        return finish(p, EngineState::Alive, QString());
    classifyPage(p);
}

void EngineCheck::classifyPage(Probe* p) {
    FormAnalyserInput input;
    input.pageUrl = p->requested;
    const QString cgi = m_engines.at(p->index)[R::CgiUrl];
    const QStringList actions = formActions(p->page, input);
    for (const QString& action : actions)
        if (actionPostsTo(action, p->requested, cgi))
            return finish(p, EngineState::Alive, QString());
    finish(p, EngineState::Changed, QString());
}

void EngineCheck::finish(Probe* p, EngineState state, const QString& detail) {
    EngineCheckResult& r = m_results[p->index];
    r.state = state;
    r.status = p->status;
    r.detail = detail;
    const int index = p->index;
    for (auto it = m_probes.begin(); it != m_probes.end(); ++it)
        if (it->get() == p) {
            m_probes.erase(it);
            break;
        }
    ++m_checked;
    emit engineChecked(index);
    startNext();
    if (m_running && m_probes.empty() && m_next >= count()) {
        m_running = false;
        emit finished();
    }
}

} // namespace lb
