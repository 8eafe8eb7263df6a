#include "ffa/FfaCrawler.h"

#include "common/AsciiText.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/LinkScanner.h"
#include "common/Paths.h"
#include "common/ProxySettings.h"
#include "ffa/FfaForm.h"
#include "net/HttpLimits.h"
#include "net/HttpProt.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTimer>

#include <climits>

namespace lb {

namespace {

const char kResultMarker[] = "</B><A HREF=";
const char kPageMarker[] = "<a href=\"/cgi-bin/query?pg=aq&stype=stext&Translate=on&text=yes&q=";
const char kAllDone[] = "All Done crawling please try another custom search";

bool anyOccurs(const QStringList& needles, const QString& text) {
    for (const QString& n : needles)
        if (!n.isEmpty() && text.contains(n))
            return true;
    return false;
}

int clampToInt(qint64 v) {
    return v < 0 ? 0 : v > INT_MAX ? INT_MAX : int(v);
}

} // namespace

QString defaultSearchBase() {
    return QStringLiteral("http://127.0.0.1:8642/altavista");
}

QString searchBaseFromIni(const QString& appDir) {
    const IniFile ini(appPath(appDir, QStringLiteral("\\zkt.ini")));
    const QString base = ini.readString(QStringLiteral("Crawler"), QStringLiteral("SearchBase"));
    return base.isEmpty() ? defaultSearchBase() : base;
}

FfaCrawler::FfaCrawler(Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs), m_searchBase(defaultSearchBase()),
      m_http1(new net::THttpCli(this)), m_http2(new net::THttpCli(this)),
      m_timer1(new QTimer(this)), m_timer2(new QTimer(this)), m_timer3(new QTimer(this)) {
    m_appDir = QDir::currentPath();
    m_options = [] { return CrawlProfile(); };
    m_pump = [] { QCoreApplication::processEvents(); };
    m_http1->setObjectName(QStringLiteral("Http1"));
    m_http2->setObjectName(QStringLiteral("Http2"));
    m_http1->NoCache = true;
    m_http2->NoCache = false;
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(PollInterval);
    m_timer1->setSingleShot(true);
    m_timer3->setSingleShot(true);
    connect(m_timer1, &QTimer::timeout, this, &FfaCrawler::Timer1Timer);
    connect(m_timer2, &QTimer::timeout, this, &FfaCrawler::Timer2Timer);
    connect(m_timer3, &QTimer::timeout, this, &FfaCrawler::engineTimedOut);

    m_http2->OnCommand = [this](net::THttpCli*, QString&) {
        setEngineStatus(QStringLiteral("Contacting: ") + m_engineUrl);
    };
    m_http2->OnDocBegin = [this](net::THttpCli*) { setEngineStatus(QStringLiteral("Loading")); };
    m_http2->OnDocData = [this](net::THttpCli*, const char* data, int len) {
        engineData(data, len);
    };
    m_http2->OnRequestDone = [this](net::THttpCli*, net::THttpRequest, quint16) {
        // Handled outside the client's own event, which may still be on the stack.
        QMetaObject::invokeMethod(this, &FfaCrawler::engineDone, Qt::QueuedConnection);
    };

    m_http1->OnCommand = [this](net::THttpCli*, QString&) {
        setCrawlerStatus(QStringLiteral("Connecting: ") + m_pageUrl);
    };
    m_http1->OnDocBegin = [this](net::THttpCli*) { setCrawlerStatus(QStringLiteral("Loading")); };
    m_http1->OnHeaderEnd = [this](net::THttpCli*) {
        if (m_pageUrl.contains(QLatin1String("altavista")))
            setCrawlerStatus(QStringLiteral("....."));
    };
    m_http1->OnDocData = [this](net::THttpCli*, const char* data, int len) { pageData(data, len); };
    m_http1->OnRequestDone = [this](net::THttpCli*, net::THttpRequest, quint16) {
        QMetaObject::invokeMethod(this, &FfaCrawler::pageDone, Qt::QueuedConnection);
    };
    m_sincePump.start();
}

FfaCrawler::~FfaCrawler() {
    // The clients go first, deaf: closing a connection must not call back
    // into a crawler that is half gone or write into a freed stream.
    for (net::THttpCli* c : {m_http1, m_http2}) {
        c->OnCommand = nullptr;
        c->OnDocBegin = nullptr;
        c->OnHeaderEnd = nullptr;
        c->OnDocData = nullptr;
        c->OnRequestDone = nullptr;
        c->ReceiveStream = nullptr;
        delete c;
    }
    delete m_engineStream;
    delete m_pageStream;
}

void FfaCrawler::setOptionsSource(std::function<CrawlProfile()> source) {
    m_options = std::move(source);
}

CrawlProfile FfaCrawler::options() const {
    return m_options ? m_options() : CrawlProfile();
}

void FfaCrawler::applyProxy(const ProxySettings& proxy) {
    if (!proxy.behindProxy)
        return;
    for (net::THttpCli* c : {m_http1, m_http2}) {
        c->Proxy = proxy.host;
        c->ProxyPort = proxy.port.isEmpty() ? QStringLiteral("80") : proxy.port;
        c->ProxyUsername = proxy.userName;
        c->ProxyPassword = proxy.password;
    }
}

void FfaCrawler::setPollInterval(int ms) {
    m_timer2->setInterval(ms);
}

// ---- texts and counters ---------------------------------------------------

void FfaCrawler::setEngineStatus(const QString& text) {
    if (text == m_engineStatus)
        return;
    m_engineStatus = text;
    emit engineStatusChanged(text);
}

void FfaCrawler::setCrawlerStatus(const QString& text) {
    if (text == m_crawlerStatus)
        return;
    m_crawlerStatus = text;
    emit crawlerStatusChanged(text);
}

void FfaCrawler::setUrlAddr(const QString& text) {
    m_urlAddr = text;
    emit urlAddrChanged(text);
}

void FfaCrawler::setCurrentString(const QString& text) {
    m_counters.currentString = text;
    emit countersChanged();
}

void FfaCrawler::setStringCount(qint64 count) {
    m_counters.stringCount = count;
    emit countersChanged();
}

void FfaCrawler::refreshLinksToCrawl() {
    m_counters.linksToCrawl = m_foundUrls.count();
    emit countersChanged();
}

void FfaCrawler::setIdle() {
    m_running = false;
    m_saveAllowed = true;
    m_startAllowed = true;
    // Nothing new may start once the crawl is over.
    m_timer2->stop();
    emit buttonsChanged();
}

// ---- list files -----------------------------------------------------------

void FfaCrawler::listOpened(qint64 linksSaved) {
    const CrawlProfile opts = options();
    m_counters.stringCount = opts.combinationCount();
    m_counters.currentString = opts.startString;
    m_counters.linksSaved = int(linksSaved);
    bool ok = false;
    const qint64 c = m_counters.currentString.toLongLong(&ok);
    if (ok)
        m_counter = c;
    m_startAllowed = true;
    emit countersChanged();
    emit listChanged();
    emit viewChanged();
    emit buttonsChanged();
    setCrawlerStatus(QStringLiteral("Search string count for this profile is: ") +
                     QString::number(m_counters.stringCount) + QStringLiteral(" strings"));
}

void FfaCrawler::createList(const QString& path) {
    const QString name = newListName(path);
    saveFfaListFile(QStringList(), name);
    ++m_listGeneration;
    m_list.reset();
    m_loaded = name;
    emit loadedChanged(name);
    listOpened(0);
}

bool FfaCrawler::openList(const QString& path) {
    if (m_inUse && !path.isEmpty() && path == m_inUse()) {
        m_dialogs.inform(QStringLiteral("The database you have selected is in use by the rangers."),
                         QStringLiteral("Database in use"), Dialogs::Icon::Warning);
        return false;
    }
    const QStringList lines = loadFfaListFile(path);
    ++m_listGeneration;
    m_list.setLines(lines);
    m_loaded = path;
    emit loadedChanged(path);
    if (!m_list.keyList().isEmpty())
        m_list.selectRow(0);
    m_saveAllowed = true;
    listOpened(m_list.keyList().count());
    return true;
}

void FfaCrawler::saveList() {
    saveFfaListFile(m_list.lines().lines(), m_loaded);
}

static QString listFolder(const QString& appDir) {
    return appPath(appDir, QStringLiteral("\\data\\custom\\"));
}

void FfaCrawler::FileNewClick() {
    if (m_analysing)
        return;
    const QString name = m_dialogs.saveFileName(QStringLiteral("Create New Database"),
                                                QStringLiteral("Database files (*.HLX *.CHC)"),
                                                listFolder(m_appDir), QStringLiteral("chc"));
    if (name.isEmpty())
        return;
    try {
        createList(name);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void FfaCrawler::OpenProClick() {
    if (m_analysing)
        return;
    const QString name =
        m_dialogs.openFileName(QStringLiteral("Open database"),
                               QStringLiteral("Database files (*.HLX *.CHC)"), listFolder(m_appDir));
    if (name.isEmpty())
        return;
    try {
        openList(name);
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void FfaCrawler::FileSaveClick() {
    if (m_loaded.isEmpty() || m_analysing)
        return;
    try {
        saveList();
    } catch (const FileError& e) {
        m_dialogs.showError(e.message());
    }
}

void FfaCrawler::selectListName(int row) {
    m_list.selectRow(row);
    emit viewChanged();
}

// ---- start and stop -------------------------------------------------------

bool FfaCrawler::readCounter() {
    bool ok = false;
    const qint64 c = m_counters.currentString.trimmed().toLongLong(&ok);
    if (!ok) {
        m_dialogs.showError(QLatin1Char('\'') + m_counters.currentString +
                            QStringLiteral("' is not a valid integer value"));
        return false;
    }
    m_counter = c;
    return true;
}

void FfaCrawler::SubStartClick() {
    if (m_running || m_analysing || !m_startAllowed)
        return;
    const CrawlProfile opts = options();
    qint64 ms = 0;
    if (!thousandsOf(opts.timeoutSec, ms)) {
        m_dialogs.showError(notAnInteger(opts.timeoutSec));
        return;
    }
    if (!readCounter())
        return;
    m_timer1->setInterval(clampToInt(ms));
    m_timer2->start();
    m_running = true;
    emit buttonsChanged();
    engineStep();
}

void FfaCrawler::SubStopClick() {
    if (!m_running)
        return;
    // Requests in flight run to their end; their handlers see the stop.
    setIdle();
}

// ---- the search service ---------------------------------------------------

void FfaCrawler::engineStep() {
    if (!m_running)
        return;
    const CrawlProfile opts = options();
    const qint64 n = opts.combinationCount();
    // A page still loading may bring more links: its end decides (pageDone).
    if (m_counter > n && m_altaUrls.isEmpty() && m_foundUrls.isEmpty() && !m_pageBusy) {
        setIdle();
        setUrlAddr(QString::fromLatin1(kAllDone));
        emit crawlEnded();
        return;
    }
    // Only one search request at a time: a step that comes meanwhile is dropped.
    if (m_engineBusy)
        return;
    m_enginePaused = false;
    QString url;
    if (!m_altaUrls.isEmpty()) {
        if (m_engContact && !m_foundUrls.isEmpty()) {
            m_enginePaused = true;
            return;
        }
        url = m_altaUrls.at(0);
        m_altaUrls.removeAt(0);
        m_counters.currentString = QString::number(m_counter);
        m_counters.quriesLeft = m_altaUrls.count();
        emit countersChanged();
    } else {
        if (m_counter > n)
            return; // every combination asked; pages remain
        const QString query = opts.queryText(m_counter);
        m_altaDups.clear();
        m_altaDupSet.clear();
        url = m_searchBase + QStringLiteral("/cgi-bin/query?pg=aq&text=yes&q=") + query +
              QStringLiteral("&r=ffa&stq=0");
        m_counters.currentString = QString::number(m_counter);
        ++m_counter;
        emit countersChanged();
    }
    startEngineRequest(url);
}

void FfaCrawler::startEngineRequest(const QString& url) {
    m_engineUrl = url;
    m_resultBuf.clear();
    m_resultUpper.clear();
    m_pageLinkBuf.clear();
    m_resultPos = m_pageLinkPos = 0;
    delete m_engineStream;
    m_engineStream = new QBuffer;
    m_engineStream->open(QIODevice::ReadWrite);
    m_http2->ReceiveStream = m_engineStream;
    m_http2->URL = url;
    m_engineAborted = false;
    ++m_counters.engineQueries;
    emit countersChanged();
    try {
        m_http2->GetAsync();
        m_engineBusy = true;
        qint64 ms = 0;
        thousandsOf(options().timeoutSec, ms);
        m_timer3->start(clampToInt(ms));
    } catch (const net::EHttpException&) {
        setEngineStatus(QStringLiteral("Http Error!!"));
    } catch (const net::ESocketException&) {
        setEngineStatus(QStringLiteral("No Dns Aborting!!"));
    }
    if (!m_engineBusy) {
        // Counted as done, so the crawl goes on (and ends).
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_running)
                    engineStep();
            },
            Qt::QueuedConnection);
    }
}

void FfaCrawler::engineData(const char* data, int len) {
    if (m_engineAborted)
        return;
    const QByteArray chunk(data, len);
    m_pageLinkBuf += chunk;
    QByteArray clean = chunk;
    if (m_engineUrl.contains(QLatin1String("altavista")))
        clean.replace("\n", "");
    clean.replace("\r", "");
    clean.replace(QByteArray(1, '\0'), "");
    m_resultBuf += clean;
    m_resultUpper += asciiUpper(clean);
    const qint64 received = m_http2->ReceivedCount();
    setEngineStatus(QStringLiteral("Loading: ") + QString::number(received));
    if (received > EngineByteLimit) {
        setEngineStatus(QStringLiteral("To long have to move on: ") + QString::number(received));
        m_engineAborted = true;
        m_http2->Abort();
    }
    if (m_engineUrl.contains(QLatin1String("altavista")))
        scanResultLinks();
}

void FfaCrawler::scanResultLinks() {
    const QStringList ignore = options().ignore;
    const qsizetype markerLen = qsizetype(sizeof kResultMarker - 1);
    bool added = false;
    for (;;) {
        const MarkedLink found =
            FindMarkedLink(m_resultBuf, m_resultUpper, kResultMarker, m_resultPos);
        if (found.marker < 0) {
            // Keep a marker that may be cut by the end of this chunk.
            m_resultPos = qMax(m_resultPos, m_resultBuf.size() - markerLen + 1);
            break;
        }
        // Wait for the link itself, and for its end.
        if (m_resultBuf.size() - found.value <= 2 || found.end < 0) {
            m_resultPos = found.marker;
            break;
        }
        const qsizetype from = found.from, end = found.end;
        const QString link = decodeText(m_resultBuf.mid(from, end - from));
        const bool ignored = anyOccurs(ignore, link);
        if (!link.contains(QLatin1String("altavista")) && link.contains(QLatin1String("http://")) &&
            !m_historySet.contains(link) && !ignored) {
            addFound(link);
            added = true;
        }
        m_resultPos = qMax(from, end - 1);
        scanPageLinks();
    }
    if (added)
        refreshLinksToCrawl();
}

void FfaCrawler::scanPageLinks() {
    const qsizetype markerLen = qsizetype(sizeof kPageMarker - 1);
    for (;;) {
        const qsizetype m = m_pageLinkBuf.indexOf(kPageMarker, m_pageLinkPos);
        if (m < 0) {
            m_pageLinkPos = qMax(m_pageLinkPos, m_pageLinkBuf.size() - markerLen + 1);
            return;
        }
        const qsizetype s = m + 9;
        const qsizetype e = m_pageLinkBuf.indexOf('"', s);
        if (e < 0) {
            m_pageLinkPos = m;
            return;
        }
        m_pageLinkPos = s;
        const QString path = decodeText(m_pageLinkBuf.mid(s, e - s));
        const QString url = m_searchBase + path;
        if (path.size() < 36 || m_altaDupSet.contains(url))
            continue;
        m_altaUrls.add(url);
        m_altaDups.add(url);
        m_altaDupSet.insert(url);
        m_counters.quriesLeft = m_altaUrls.count();
        emit countersChanged();
    }
}

int FfaCrawler::addFound(const QString& link) {
    ++m_foundCount[link];
    return m_foundUrls.add(link);
}

void FfaCrawler::engineTimedOut() {
    if (!m_engineBusy)
        return;
    m_engineAborted = true;
    try {
        m_http2->Abort();
    } catch (const std::exception&) {
    }
}

void FfaCrawler::engineDone() {
    if (!m_engineBusy)
        return;
    m_engineBusy = false;
    m_timer3->stop();
    m_http2->ReceiveStream = nullptr;
    delete m_engineStream;
    m_engineStream = nullptr;
    if (m_running)
        engineStep();
    emit requestHandled();
}

// ---- candidate pages ------------------------------------------------------

void FfaCrawler::Timer2Timer() {
    if (m_running && !m_foundUrls.isEmpty())
        startPageRequest();
}

void FfaCrawler::Timer1Timer() {
    m_timer1->stop();
    if (!m_pageBusy)
        return;
    m_pageAborted = true;
    try {
        m_http1->Abort();
    } catch (const std::exception&) {
        setCrawlerStatus(QStringLiteral("Robot hung on URL.... Can Not abort automaticaly please "
                                        "manualy abort or wait 30 seconds for retry!!"));
    }
}

void FfaCrawler::startPageRequest() {
    if (m_pageBusy || m_foundUrls.isEmpty())
        return;
    m_timer2->stop();
    m_pageUrl = m_foundUrls.at(0);
    m_history.add(m_pageUrl);
    m_historySet.insert(m_pageUrl);
    if (--m_foundCount[m_pageUrl] <= 0)
        m_foundCount.remove(m_pageUrl);
    m_foundUrls.removeAt(0);
    m_foundCurrent = m_foundUrls.isEmpty() ? -1 : 0;
    refreshLinksToCrawl();

    m_linkBuf.clear();
    delete m_pageStream;
    m_pageStream = new QBuffer;
    m_pageStream->open(QIODevice::ReadWrite);
    m_http1->ReceiveStream = m_pageStream;
    m_http1->URL = m_pageUrl;
    m_pageGeneration = m_listGeneration;
    m_pageAborted = false;
    m_timer1->start();
    ++m_counters.crawled;
    m_extractorPos = m_parsingPos = 0;
    m_extractorMax = m_parsingMax = 1000;
    emit countersChanged();
    emit progressChanged();
    setUrlAddr(m_pageUrl);
    try {
        m_http1->GetAsync();
        m_pageBusy = true;
    } catch (const net::EHttpException&) {
        setEngineStatus(QStringLiteral("Http Error!!"));
    } catch (const net::ESocketException&) {
        setEngineStatus(QStringLiteral("No Dns Aborting!!"));
    }
    if (!m_pageBusy) {
        m_timer1->stop();
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_running)
                    return;
                if (m_foundUrls.isEmpty())
                    m_timer2->start();
                else
                    startPageRequest();
            },
            Qt::QueuedConnection);
    }
}

void FfaCrawler::pageData(const char* data, int len) {
    if (m_pageAborted)
        return;
    m_linkBuf.append(data, len);
    m_extractorMax = clampToInt(m_linkBuf.size());
    const qint64 received = m_http1->ReceivedCount();
    setCrawlerStatus(QStringLiteral("Loading: ") + QString::number(received));
    const CrawlProfile opts = options();
    qint64 limit = 0;
    if (!thousandsOf(opts.maxKb, limit)) {
        m_pageAborted = true;
        m_timer1->stop();
        m_http1->Abort();
        m_dialogs.showError(notAnInteger(opts.maxKb));
        return;
    }
    // "Load Max Size" can be set to anything; memory has its own bound.
    if (limit < received || received > net::limits::kMaxPageBytes) {
        setCrawlerStatus(QStringLiteral("To long have to move on: ") + QString::number(received));
        m_timer1->stop();
        m_pageAborted = true;
        m_http1->Abort();
    } else if (!m_exOnOff && asciiUpper(QByteArray(data, len)).contains("</FORM>")) {
        // Enough of the page for the form analysis.
        m_timer1->stop();
        m_pageAborted = true;
        m_http1->Abort();
    }
    if (m_exOnOff) {
        QByteArray buffer;
        buffer.swap(m_linkBuf);
        scanLinks(buffer);
    }
    emit progressChanged();
}

void FfaCrawler::scanLinks(const QByteArray& buffer) {
    const CrawlProfile opts = options();
    QStringList include;
    for (const QString& i : opts.include)
        if (!i.isEmpty())
            include.append(asciiUpper(i));
    const QByteArray upper = asciiUpper(buffer);
    bool added = false;
    qsizetype pos = 0;
    for (;;) {
        const MarkedLink found = FindMarkedLink(buffer, upper, "<A HREF=", pos);
        if (found.marker < 0)
            break;
        m_extractorPos = clampToInt(m_extractorPos + found.marker);
        if (found.end < 0)
            break;
        const qsizetype from = found.from, end = found.end;
        const QString link = decodeText(buffer.mid(from, end - from));
        pos = qMax(from, end - 1);
        QString proto, user, pass, host, port, path;
        net::SplitUrl(link, proto, user, pass, host, port, path);
        if (anyOccurs(opts.ignore, link))
            continue;
        const QString upperPath = asciiUpper(path);
        bool wanted = false;
        for (const QString& i : std::as_const(include))
            if (upperPath.contains(i)) {
                wanted = true;
                break;
            }
        if (!wanted || !link.contains(QLatin1String("http://")) || link.size() >= 100 ||
            !path.contains(QLatin1Char('.')))
            continue;
        if (m_historySet.contains(link) || m_foundCount.contains(link))
            continue;
        m_foundCurrent = addFound(link);
        added = true;
    }
    if (added)
        refreshLinksToCrawl();
}

void FfaCrawler::maybePump() {
    // Long scans let the window breathe now and then, not at every tag.
    if (m_sincePump.elapsed() < 20)
        return;
    emit progressChanged();
    if (m_pump)
        m_pump();
    m_sincePump.restart();
}

void FfaCrawler::pageDone() {
    if (!m_pageBusy)
        return;
    m_timer1->stop();
    const int savedBefore = m_counters.linksSaved;
    QBuffer* stream = m_pageStream;
    m_pageStream = nullptr;
    m_http1->ReceiveStream = nullptr;
    const QByteArray document = stream ? stream->data() : QByteArray();
    delete stream;
    m_linkBuf.clear();
    const QString url = m_pageUrl;
    // Still busy for the analysis: nothing else may start this client meanwhile.
    m_sincePump.restart();
    const int before = m_list.keyList().count();
    const bool forThisList = m_pageGeneration == m_listGeneration;
    if (forThisList) {
        m_analysing = true;
        emit buttonsChanged();
        const auto analysed = qScopeGuard([this] {
            m_analysing = false;
            emit buttonsChanged();
        });
        analyseFfaPage(m_list, document, url, [this](qint64 pos, qint64 len) {
            m_parsingPos = clampToInt(pos);
            m_parsingMax = clampToInt(len);
            maybePump();
        });
    }
    m_pageBusy = false;
    m_counters.linksSaved = m_list.keyList().count();
    if (m_list.keyList().count() != before) {
        emit listChanged();
        emit viewChanged();
    }
    if (forThisList && m_counters.linksSaved == savedBefore)
        ++m_counters.rejected;
    emit countersChanged();
    emit progressChanged();

    if (m_engContact) {
        setEngineStatus(QStringLiteral("Engine paused.. Waiting to restart when needed."));
        if (m_foundUrls.isEmpty())
            engineStep();
    } else if (m_running && m_foundUrls.isEmpty() && m_altaUrls.isEmpty() && !m_engineBusy &&
               m_counter > options().combinationCount()) {
        // Nothing else would ever end the crawl here.
        engineStep();
    }
    if (m_running) {
        if (m_foundUrls.isEmpty())
            m_timer2->start();
        else
            startPageRequest();
    }
    emit requestHandled();
}

} // namespace lb
