#pragma once
// The site spider of "(Option) Deep Promote Spider": walks one site breadth
// first through the HttpMap client, takes title, description and keywords of
// each page from its TITLE and META tags, collects the links that stay inside
// the start URL's directory and saves every fetched page as a session through
// the session editor. QtCore only; the page binds to its state and signals.
#include "common/NameListModel.h"
#include "spider/SiteList.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace lb {

class Dialogs;
class SessionStore;

namespace net {
class THttpCli;
}

class Spider : public QObject {
    Q_OBJECT
public:
    enum class Lamp { Red, Lime };
    // Sheets of the session editor that a refused start shows.
    enum class Sheet { ContactInfo, SiteDescription };

    Spider(SessionStore& sessions, Dialogs& dialogs, net::THttpCli& httpMap,
           QObject* parent = nullptr);
    ~Spider() override;

    // SiteUrl, as typed.
    const QString& siteUrl() const { return m_siteUrl; }
    void setSiteUrl(const QString& url);

    // "Get": the three start checks, then the crawl. False when refused.
    bool MapButtonClick();
    // "Abort": ends the crawl; the page in flight is still saved.
    void MapAbortClick();

    bool getEnabled() const { return m_getEnabled; }
    bool abortEnabled() const { return m_abortEnabled; }
    Lamp lamp() const { return m_lamp; }
    bool running() const { return m_lamp == Lamp::Lime; }

    SiteList& siteList() { return m_siteList; }      // SiteList, "Urls Found"
    NameListModel& siteToCr() { return m_siteToCr; } // the crawl queue
    // MapStat: holds at most one line.
    const QStringList& mapStat() const { return m_mapStat; }
    QString status() const { return m_mapStat.isEmpty() ? QString() : m_mapStat.last(); }

    const QString& siteKey() const { return m_siteKey; }
    const QString& siteBase() const { return m_siteBase; }

    // A request that has not ended this long after it started is aborted
    // (the queue is kept); 0 waits for ever.
    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    int timeoutSeconds() const { return m_timeoutSeconds; }

    // What MapStatChange runs to keep the window painted; the default
    // processes pending events.
    void setEventPump(std::function<void()> pump) { m_pump = std::move(pump); }

    // SiteKey and SiteBase of a start URL (a URL naming a port keeps it in SiteBase).
    static QString siteKeyOf(const QString& startUrl);
    static QString siteBaseOf(const QString& startUrl);
    // The session name for the next page: SiteKey + the first n whose upper-cased
    // form does not occur in the upper-cased session list.
    static QString nextSessionName(const QString& siteKey, const QStringList& sessionNames);
    // Keywords split at commas into sixteen fields.
    static QStringList splitKeywords(const QString& keywords);
    // A link as found in a page, resolved against the page's URL and normalised.
    static QString resolveLink(const QByteArray& rawLink, const QString& pageUrl);

    // The client's event handlers (public so the crawl can be driven piecewise).
    void HttpMapDocBegin();
    void HttpMapDocData(const char* data, int len);
    void HttpMapRequestDone();
    void SpiderNext();

signals:
    void stateChanged(); // lamp, buttons
    void siteUrlChanged();
    // One status line set on MapStat, in the order set.
    void statusLine(const QString& line);
    void mapStatChanged();
    // The main window's Website panel.
    void websiteChanged(const QString& text);
    void sheetRequested(Spider::Sheet sheet);
    // The crawl reached its "All Done..." line.
    void crawlFinished();

private:
    // First occurrence of a pattern in a growing buffer, searched once.
    struct Finder {
        qsizetype found = -1;
        qsizetype searchedTo = 0;
        qsizetype find(const QByteArray& hay, const QByteArray& pattern, qsizetype from);
        void reset() { *this = Finder(); }
    };
    // A META value: from after "CONTENT=" up to the first quote or ">".
    struct MetaValue {
        Finder word, content, end;
        qsizetype endFrom = -1;
        void reset() {
            word.reset();
            content.reset();
            end.reset();
            endFrom = -1;
        }
    };
    struct Range {
        qsizetype begin = -1, end = -1;
        quint64 buffer = 0;
        bool operator==(const Range&) const = default;
    };

    void setStatus(const QString& line, bool pump = true);
    void MapStatChange(bool pump = true);
    void setLamp(Lamp lamp, bool getOn, bool abortOn);
    void endCrawl();
    void clearMeta();
    // Value range of a META tag in MetaBuffer; end -1 while it runs to the end.
    Range metaRange(MetaValue& value, const QByteArray& word);
    void applyDescription(const Range& r);
    void applyKeywords(const Range& r);
    void flushOpenValues();
    void receivePiece(const QByteArray& text);
    void scanLinks(quint64 piece);
    void acceptLink(const QString& link, quint64 piece, bool& stop);
    void requestTimedOut();
    bool stale(quint64 piece) const { return piece != m_piece; }

    SessionStore& m_sessions;
    Dialogs& m_dialogs;
    net::THttpCli& m_http;
    std::function<void()> m_pump;

    QString m_siteUrl;
    QString m_siteKey;
    QString m_siteBase;
    SiteList m_siteList;
    NameListModel m_siteToCr{false};
    QStringList m_mapStat;
    Lamp m_lamp = Lamp::Red;
    bool m_getEnabled = true;
    bool m_abortEnabled = false;

    // The page being fetched: its URL, split once for link resolution.
    QString m_pageUrl;
    QString m_pageHost; // host[:port]
    QString m_pageDir;
    bool m_awaitingDone = false;
    int m_docDepth = 0;         // receive handlers on the stack
    bool m_donePending = false; // the request ended while one of them ran
    QList<QByteArray> m_laterPieces;
    QTimer m_timeout;
    int m_timeoutSeconds = 60;
    // Bumped when a fetch starts or is aborted: a receive handler that finds
    // it changed after pumping events stops working on a page that is over.
    quint64 m_piece = 0;

    // LinkBuffer: text still to scan, from m_linkPos on.
    QByteArray m_link, m_linkUpper;
    qsizetype m_linkPos = 0;
    quint64 m_linkGen = 0;
    // MetaBuffer and its upper-cased copy.
    QByteArray m_meta, m_metaUpper;
    quint64 m_metaGen = 1;
    Finder m_titleOpen, m_titleClose, m_descTag, m_keysTag, m_cutA, m_cutF, m_cutB;
    MetaValue m_desc, m_keys;
    // What was last put into the fields, so an unchanged value is not copied
    // again for every piece; reset when the fields are cleared.
    Range m_titleSet, m_descSet, m_keysSet;
    bool m_descOpen = false, m_keysOpen = false;
};

} // namespace lb
