#include "spider/Spider.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/LinkScanner.h"
#include "net/HttpLimits.h"
#include "net/HttpProt.h"
#include "sessions/SessionStore.h"

#include <QCoreApplication>

#include <unordered_set>

namespace lb {

namespace {

const QByteArray TitleOpen = QByteArrayLiteral("<TITLE>");
const QByteArray TitleClose = QByteArrayLiteral("</TITLE>");
const QByteArray DescriptionTag = QByteArrayLiteral("<META NAME=\"DESCRIPTION\" CONTENT=");
const QByteArray DescriptionWord = QByteArrayLiteral("\"DESCRIPTION\"");
const QByteArray KeywordsTag = QByteArrayLiteral("<META NAME=\"KEYWORDS\"");
const QByteArray KeywordsWord = QByteArrayLiteral("\"KEYWORDS\"");
const QByteArray Content = QByteArrayLiteral("CONTENT=");
const QByteArray Href = QByteArrayLiteral("HREF=");

// Links whose upper-cased text holds any of these are not crawled.
const char* const Rejected[] = {"JAVASCRIPT:", "#",   ">",    "<",    "MAILTO:", "@",    "=",
                                ".CGI",        ".PL", ".GIF", ".JPG", ".EXE",    ".TAR", ".ZIP",
                                ".RAR",        "?",   "FTP:", ";",    ".HLX",    ".HDB"};

struct PageParts {
    QString host; // host[:port]
    QString dir;
};

PageParts pageParts(const QString& url) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(url, proto, user, pass, host, port, path);
    PageParts p;
    p.host = port.isEmpty() ? host : host + QLatin1Char(':') + port;
    const qsizetype lastSlash = path.lastIndexOf(QLatin1Char('/'));
    if (lastSlash > 0)
        p.dir = path.mid(1, lastSlash - 1);
    else if (path.size() > 1)
        p.dir = path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    return p;
}

QString resolveWith(QByteArray raw, const PageParts& page) {
    const qsizetype blank = raw.indexOf(' ');
    if (blank >= 0)
        raw.truncate(blank);
    if (raw == "/")
        raw.clear();
    if (raw.size() > 1) {
        qsizetype dots = 0;
        while (dots < raw.size() && raw.at(dots) == '.')
            ++dots;
        raw.remove(0, dots);
    }
    QString link = decodeText(raw);
    if (link.size() >= 2) {
        static const QString Http = QStringLiteral("http://");
        if (link.startsWith(QLatin1Char('/')))
            link = Http + page.host + link;
        else if (link.contains(QLatin1String("://")))
            ;
        else if (page.dir.isEmpty() || page.dir.contains(QLatin1Char('.')))
            link = Http + page.host + QLatin1Char('/') + link;
        else
            link = Http + page.host + QLatin1Char('/') + page.dir + QLatin1Char('/') + link;
    }
    if (link.size() > 1) {
        if (link.endsWith(QLatin1Char('/')))
            link.chop(1);
        qsizetype cut = link.indexOf(QLatin1String("/index."));
        if (cut >= 0)
            link.truncate(cut);
        cut = link.indexOf(QLatin1String("/default."));
        if (cut >= 0)
            link.truncate(cut);
    }
    return link;
}

} // namespace

qsizetype Spider::Finder::find(const QByteArray& hay, const QByteArray& pattern, qsizetype from) {
    if (found >= 0)
        return found;
    const qsizetype start = std::max(from, searchedTo - (pattern.size() - 1));
    const qsizetype at = hay.indexOf(pattern, start);
    if (at >= 0)
        found = at;
    else
        searchedTo = std::max(from, hay.size());
    return found;
}

// First '"' or '>' at or after from.
static qsizetype findValueEnd(const QByteArray& hay, qsizetype from, qsizetype& searchedTo,
                              qsizetype& found) {
    if (found >= 0)
        return found;
    const char* p = hay.constData();
    for (qsizetype i = std::max(from, searchedTo); i < hay.size(); ++i) {
        if (p[i] == '"' || p[i] == '>') {
            found = i;
            return found;
        }
    }
    searchedTo = hay.size();
    return -1;
}

Spider::Spider(SessionStore& sessions, Dialogs& dialogs, net::THttpCli& httpMap, QObject* parent)
    : QObject(parent), m_sessions(sessions), m_dialogs(dialogs), m_http(httpMap),
      m_pump([] { QCoreApplication::processEvents(); }) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &Spider::requestTimedOut);
    m_http.OnDocBegin = [this](net::THttpCli*) { HttpMapDocBegin(); };
    m_http.OnDocData = [this](net::THttpCli*, const char* data, int len) {
        HttpMapDocData(data, len);
    };
    m_http.OnRequestDone = [this](net::THttpCli*, net::THttpRequest, quint16) {
        HttpMapRequestDone();
    };
}

Spider::~Spider() {
    m_http.OnDocBegin = nullptr;
    m_http.OnDocData = nullptr;
    m_http.OnRequestDone = nullptr;
}

void Spider::setSiteUrl(const QString& url) {
    if (m_siteUrl == url)
        return;
    m_siteUrl = url;
    emit siteUrlChanged();
}

// ---- start URL ------------------------------------------------------------

QString Spider::siteKeyOf(const QString& startUrl) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(startUrl, proto, user, pass, host, port, path);
    QString key = host.contains(QLatin1String("www.")) ? host.mid(4) : host;
    const qsizetype dot = key.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : key.left(dot);
}

QString Spider::siteBaseOf(const QString& startUrl) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(startUrl, proto, user, pass, host, port, path);
    const QString hostPart = port.isEmpty() ? host : host + QLatin1Char(':') + port;
    if (path.isEmpty())
        return hostPart;
    for (qsizetype i = path.size() - 1; i >= 1; --i)
        if (path.at(i) == QLatin1Char('/'))
            return hostPart + QLatin1Char('/') + path.mid(1, i - 1);
    return path.contains(QLatin1Char('.')) ? hostPart : hostPart + path;
}

QString Spider::nextSessionName(const QString& siteKey, const QStringList& sessionNames) {
    // n is taken when SiteKey + n occurs in the list's text: for every
    // occurrence of SiteKey, each leading part of the digits after it.
    QString joined;
    for (const QString& name : sessionNames)
        joined += name + QLatin1String("\r\n");
    const QString text = asciiUpper(joined);
    const QString key = asciiUpper(siteKey);
    std::unordered_set<qint64> taken;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(key, from);
        if (at < 0)
            break;
        qsizetype i = at + key.size();
        if (i < text.size() && text.at(i) != QLatin1Char('0')) {
            qint64 n = 0;
            for (int digits = 0; i < text.size() && digits < 12; ++i, ++digits) {
                const QChar c = text.at(i);
                if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                    break;
                n = n * 10 + (c.unicode() - '0');
                taken.insert(n);
            }
        }
        from = at + 1;
    }
    qint64 n = 1;
    while (taken.count(n))
        ++n;
    return siteKey + QString::number(n);
}

QStringList Spider::splitKeywords(const QString& keywords) {
    QStringList keys;
    QString kept = keywords;
    for (int k = 0; k < 16; ++k) {
        if (k > 0 && kept.size() > 2 && kept.startsWith(QLatin1Char(' ')))
            kept.remove(0, 1);
        const qsizetype comma = kept.indexOf(QLatin1Char(','));
        if (comma < 0) {
            keys.append(kept);
            break;
        }
        keys.append(kept.left(comma));
        kept = kept.mid(comma + 1);
    }
    while (keys.size() < 16)
        keys.append(QString());
    return keys;
}

QString Spider::resolveLink(const QByteArray& rawLink, const QString& pageUrl) {
    return resolveWith(rawLink, pageParts(pageUrl));
}

// ---- status line and buttons ---------------------------------------------

void Spider::setStatus(const QString& line, bool pump) {
    m_mapStat.append(line);
    emit statusLine(line);
    MapStatChange(pump);
}

void Spider::MapStatChange(bool pump) {
    if (m_mapStat.size() > 1)
        m_mapStat.removeFirst();
    emit mapStatChanged();
    if (pump && m_pump)
        m_pump();
}

void Spider::setLamp(Lamp lamp, bool getOn, bool abortOn) {
    m_lamp = lamp;
    m_getEnabled = getOn;
    m_abortEnabled = abortOn;
    emit stateChanged();
}

// ---- start and abort ------------------------------------------------------

bool Spider::MapButtonClick() {
    if (m_siteUrl.isEmpty()) {
        m_dialogs.inform(QStringLiteral("You have no Url to spider"), QStringLiteral("No Url"));
        return false;
    }
    const SessionRecord& e = m_sessions.editor();
    bool contactMissing = false;
    for (int f : {SessionRecord::Email, SessionRecord::FirstName, SessionRecord::LastName,
                  SessionRecord::Company, SessionRecord::Address1, SessionRecord::City,
                  SessionRecord::State, SessionRecord::Phone, SessionRecord::Fax,
                  SessionRecord::Zip, SessionRecord::Country})
        contactMissing = contactMissing || e[f].isEmpty();
    if (contactMissing &&
        !m_dialogs.askYesNo(
            QStringLiteral("You have not completed the Contact Info.\n Do you want to continue  ?"),
            QStringLiteral("Missing Field"))) {
        emit sheetRequested(Sheet::ContactInfo);
        return false;
    }
    if (m_sessions.editor()[SessionRecord::Category].isEmpty() &&
        !m_dialogs.askYesNo(
            QStringLiteral("You have not selected a Category.\n Do you want to continue  ?"),
            QStringLiteral("Missing Field"))) {
        emit sheetRequested(Sheet::SiteDescription);
        return false;
    }
    // The page of an aborted crawl is still being finished: let its report arrive first.
    for (int i = 0; i < 100 && m_awaitingDone; ++i)
        QCoreApplication::processEvents();
    if (m_awaitingDone)
        return false;

    const QString start = m_siteUrl;
    m_siteList.clear();
    m_siteToCr.add(start);
    m_siteList.add(start);
    m_siteKey = siteKeyOf(start);
    m_siteBase = siteBaseOf(start);
    setLamp(Lamp::Lime, false, true);
    m_mapStat.clear();
    MapStatChange();
    setStatus(QStringLiteral("Contacting... Please wait"));
    SpiderNext();
    return true;
}

void Spider::MapAbortClick() {
    ++m_piece;
    m_laterPieces.clear();
    m_timeout.stop();
    m_http.Abort();
    setLamp(Lamp::Red, true, false);
    m_siteToCr.clear();
}

void Spider::requestTimedOut() {
    if (!m_awaitingDone)
        return;
    ++m_piece;
    m_http.Abort();
}

// ---- the crawl ------------------------------------------------------------

void Spider::endCrawl() {
    setLamp(Lamp::Red, true, false);
    setStatus(QStringLiteral("All Done...") + QString::number(m_siteList.count()) +
              QStringLiteral(" Urls Found and added to your Sessions"));
    emit crawlFinished();
}

void Spider::SpiderNext() {
    for (;;) {
        if (m_siteToCr.isEmpty()) {
            endCrawl();
            return;
        }
        const QString url = m_siteToCr.at(0);
        m_http.URL = url;
        ++m_piece;
        m_link.clear();
        m_linkUpper.clear();
        m_linkPos = 0;
        ++m_linkGen;
        m_sessions.clear(true);
        m_titleSet = m_descSet = m_keysSet = Range();
        m_descOpen = m_keysOpen = false;
        m_sessions.setEditorField(SessionRecord::Url, url);
        m_siteToCr.removeAt(0);
        m_pageUrl = url;
        const PageParts parts = pageParts(url);
        m_pageHost = parts.host;
        m_pageDir = parts.dir;
        m_sessions.setSessionName(nextSessionName(m_siteKey, m_sessions.sesList().names()));
        try {
            m_http.GetAsync();
            m_awaitingDone = true;
            if (m_timeoutSeconds > 0)
                m_timeout.start(m_timeoutSeconds * 1000);
            return;
        } catch (const net::EHttpException&) {
            // The client refused to start: the page is saved as it is.
            setStatus(QStringLiteral("Adding Url To Session List..."));
            m_sessions.addEdit();
        }
    }
}

void Spider::HttpMapDocBegin() {
    // Painted with the next line: pumping events here would let the client
    // read on before it has handed over the first piece.
    if (m_awaitingDone)
        setStatus(QStringLiteral("Connected... to ") + m_pageUrl, false);
}

void Spider::HttpMapRequestDone() {
    if (!m_awaitingDone)
        return; // the report of a fetch that is already finished
    if (m_docDepth > 0) {
        // Reported while a receive handler pumps events: the page is saved
        // once that handler has finished with it, not half-extracted.
        m_donePending = true;
        return;
    }
    m_awaitingDone = false;
    m_timeout.stop();
    ++m_piece; // a receive handler still pumping events leaves this page alone
    flushOpenValues();
    setStatus(QStringLiteral("Adding Url To Session List..."));
    m_sessions.addEdit();
    SpiderNext();
}

// ---- receiving a page -----------------------------------------------------

void Spider::clearMeta() {
    m_meta.clear();
    m_metaUpper.clear();
    ++m_metaGen;
    for (Finder* f :
         {&m_titleOpen, &m_titleClose, &m_descTag, &m_keysTag, &m_cutA, &m_cutF, &m_cutB})
        f->reset();
    m_desc.reset();
    m_keys.reset();
}

Spider::Range Spider::metaRange(MetaValue& v, const QByteArray& word) {
    Range r;
    r.buffer = m_metaGen;
    const qsizetype w = v.word.find(m_metaUpper, word, 0);
    if (w < 0)
        return r;
    const qsizetype c = v.content.find(m_metaUpper, Content, w + word.size());
    if (c < 0)
        return r; // no value has arrived yet
    qsizetype begin = c + Content.size();
    if (begin < m_meta.size() && m_meta.at(begin) == '"')
        ++begin;
    if (v.endFrom != begin) {
        v.end.reset();
        v.endFrom = begin;
    }
    r.begin = begin;
    r.end = findValueEnd(m_metaUpper, begin, v.end.searchedTo, v.end.found);
    return r;
}

void Spider::applyDescription(const Range& r) {
    // A value still running to the end of the buffer is copied out only when
    // the buffer is emptied or the page is done, so a page that never closes
    // its quote costs one copy, not one per piece.
    m_descOpen = r.begin >= 0 && r.end < 0;
    if (m_descOpen || r == m_descSet)
        return;
    m_descSet = r;
    m_sessions.setEditorField(SessionRecord::Description,
                              r.begin < 0 ? QString()
                                          : decodeText(m_meta.mid(r.begin, r.end - r.begin)));
}

void Spider::applyKeywords(const Range& r) {
    m_keysOpen = r.begin >= 0 && r.end < 0;
    if (m_keysOpen || r == m_keysSet)
        return;
    m_keysSet = r;
    const QStringList keys =
        splitKeywords(r.begin < 0 ? QString() : decodeText(m_meta.mid(r.begin, r.end - r.begin)));
    for (int k = 0; k < 16; ++k)
        m_sessions.setEditorField(SessionRecord::Key1 + k, keys.at(k));
}

void Spider::flushOpenValues() {
    if (m_descOpen) {
        m_descOpen = false;
        m_descSet = Range();
        if (m_desc.endFrom >= 0 && m_desc.endFrom <= m_meta.size())
            m_sessions.setEditorField(SessionRecord::Description,
                                      decodeText(m_meta.mid(m_desc.endFrom)));
    }
    if (m_keysOpen) {
        m_keysOpen = false;
        m_keysSet = Range();
        if (m_keys.endFrom >= 0 && m_keys.endFrom <= m_meta.size()) {
            const QStringList keys = splitKeywords(decodeText(m_meta.mid(m_keys.endFrom)));
            for (int k = 0; k < 16; ++k)
                m_sessions.setEditorField(SessionRecord::Key1 + k, keys.at(k));
        }
    }
}

void Spider::HttpMapDocData(const char* data, int len) {
    if (!m_awaitingDone || len <= 0)
        return;
    if (m_http.ReceivedCount() > net::limits::kMaxPageBytes) {
        // A page without end: what arrived is saved, as after the time-out.
        requestTimedOut();
        return;
    }
    // Line breaks are deleted, not replaced: words on two lines run together.
    // The piece is copied before anything can pump events, since the
    // client's buffer may be refilled meanwhile.
    QByteArray text(len, Qt::Uninitialized);
    char* out = text.data();
    for (int i = 0; i < len; ++i)
        if (data[i] != '\n' && data[i] != '\r')
            *out++ = data[i];
    text.truncate(out - text.constData());
    if (m_docDepth > 0) {
        // Delivered while a status line pumps events: handled after the
        // piece in hand, so the page is read in the order it arrived.
        m_laterPieces.append(text);
        return;
    }
    ++m_docDepth;
    const quint64 piece = m_piece;
    receivePiece(text);
    while (!m_laterPieces.isEmpty() && !stale(piece))
        receivePiece(m_laterPieces.takeFirst());
    m_laterPieces.clear();
    if (--m_docDepth == 0 && m_donePending) {
        m_donePending = false;
        QMetaObject::invokeMethod(this, &Spider::HttpMapRequestDone, Qt::QueuedConnection);
    }
}

void Spider::receivePiece(const QByteArray& text) {
    const quint64 piece = m_piece;
    const QByteArray upper = asciiUpper(text);
    m_link += text;
    m_linkUpper += upper;
    m_meta += text;
    m_metaUpper += upper;

    if (m_titleOpen.find(m_metaUpper, TitleOpen, 0) >= 0) {
        Range r;
        r.buffer = m_metaGen;
        const qsizetype b = m_titleOpen.found + TitleOpen.size();
        const qsizetype e = m_titleClose.find(m_metaUpper, TitleClose, 0);
        if (e >= b) {
            r.begin = b;
            r.end = e;
        }
        if (!(r == m_titleSet)) {
            m_titleSet = r;
            m_sessions.setEditorField(SessionRecord::Title,
                                      r.begin < 0 ? QString() : decodeText(m_meta.mid(b, e - b)));
        }
        setStatus(QStringLiteral("Extracting Title.."));
        if (stale(piece))
            return;
    }
    if (m_descTag.find(m_metaUpper, DescriptionTag, 0) >= 0) {
        setStatus(QStringLiteral("Extracting Description.."));
        if (stale(piece))
            return;
        if (m_descTag.find(m_metaUpper, DescriptionTag, 0) >= 0)
            applyDescription(metaRange(m_desc, DescriptionWord));
    }
    if (m_keysTag.find(m_metaUpper, KeywordsTag, 0) >= 0) {
        setStatus(QStringLiteral("Extracting Keywords.."));
        if (stale(piece))
            return;
        if (m_keysTag.find(m_metaUpper, KeywordsTag, 0) >= 0)
            applyKeywords(metaRange(m_keys, KeywordsWord));
    }

    scanLinks(piece);
    if (stale(piece))
        return;

    // A link cut in two by the boundary between two pieces is lost.
    m_link.clear();
    m_linkUpper.clear();
    m_linkPos = 0;
    ++m_linkGen;

    if (m_cutA.find(m_metaUpper, QByteArrayLiteral("<A"), 0) >= 0 ||
        m_cutF.find(m_metaUpper, QByteArrayLiteral("<F"), 0) >= 0 ||
        m_cutB.find(m_metaUpper, QByteArrayLiteral("<B"), 0) >= 0) {
        flushOpenValues();
        clearMeta();
    }
}

void Spider::scanLinks(quint64 piece) {
    const quint64 gen = m_linkGen;
    const PageParts page{m_pageHost, m_pageDir};
    while (!stale(piece) && gen == m_linkGen) {
        const MarkedLink found = FindMarkedLink(m_link, m_linkUpper, Href, m_linkPos);
        if (found.marker < 0)
            return;
        m_linkPos = found.value;
        // A link without its end in this piece is read as empty.
        QByteArray raw;
        if (found.end >= 0) {
            raw = m_link.mid(found.from, found.end - found.from);
            m_linkPos = found.end;
        }
        bool stop = false;
        acceptLink(resolveWith(raw, page), piece, stop);
        if (stop)
            return;
    }
}

void Spider::acceptLink(const QString& link, quint64 piece, bool& stop) {
    int duplicate = -1;
    if (link.size() > 1) {
        duplicate = m_siteList.indexOf(link);
        if (duplicate >= 0) {
            setStatus(QStringLiteral("Checking for possible duplicate Urls.. Item: ") +
                      QString::number(duplicate));
            if (stale(piece)) {
                stop = true;
                return;
            }
        }
    }
    emit websiteChanged(m_siteBase);
    if (!link.contains(m_siteBase) || duplicate >= 0 || link.size() >= 100)
        return;
    const QString upper = asciiUpper(link);
    for (const char* bad : Rejected)
        if (upper.contains(QLatin1String(bad)))
            return;
    m_siteList.add(link);
    m_siteToCr.add(link);
    setStatus(QStringLiteral("Extracting Urls..") + QString::number(m_siteList.count()));
    stop = stale(piece);
}

} // namespace lb
