#pragma once
// The FFA crawler: asks a search service for keyword combinations with one
// HTTP client (Http2), fetches the result links with another (Http1), scans
// fetched pages for further FFA pages and hands each page to the form
// analysis, which fills the saved FFA list. The window binds to this state.
#include "common/NameListModel.h"
#include "ffa/CrawlProfile.h"
#include "ffa/FfaList.h"

#include <functional>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class QBuffer;
class QTimer;

namespace lb {

class Dialogs;
struct ProxySettings;
namespace net {
class THttpCli;
}

// The search service's base URL: key "SearchBase" of section "Crawler" in
// "\zkt.ini", else the local emulation.
QString defaultSearchBase();
QString searchBaseFromIni(const QString& appDir);

class FfaCrawler : public QObject {
    Q_OBJECT
public:
    struct Counters {
        int linksToCrawl = 0;                        // "Links to Crawl"
        int crawled = 0;                             // "Crawled"
        int engineQueries = 0;                       // "Engine Queries"
        int quriesLeft = 0;                          // "Quries left"
        qint64 stringCount = 0;                      // "String Count"
        QString currentString = QStringLiteral("0"); // "Current String"
        int linksSaved = 0;                          // "Links Saved"
        int rejected = 0;                            // "Rejected"
    };
    static constexpr qint64 EngineByteLimit = 200000;
    static constexpr int PollInterval = 5000;

    explicit FfaCrawler(Dialogs& dialogs, QObject* parent = nullptr);
    ~FfaCrawler() override;

    // Where the crawl profile comes from; asked at every moment of use.
    void setOptionsSource(std::function<CrawlProfile()> source);
    CrawlProfile options() const;
    void setSearchBase(const QString& base) { m_searchBase = base; }
    // The program folder (the window's Pathtxt); the file dialogs start below it.
    void setAppDir(const QString& dir) { m_appDir = dir; }
    const QString& appDir() const { return m_appDir; }
    const QString& searchBase() const { return m_searchBase; }
    // The main window's loaded database, which Open refuses.
    void setInUseSource(std::function<QString()> source) { m_inUse = std::move(source); }
    void applyProxy(const ProxySettings& proxy);
    void setPollInterval(int ms);
    // Runs pending events while long scans work (default: the application's).
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

    net::THttpCli& http1() { return *m_http1; } // pages
    net::THttpCli& http2() { return *m_http2; } // search service

    // Check boxes of "Crawler Options".
    bool engContact() const { return m_engContact; }
    bool exOnOff() const { return m_exOnOff; }
    void setEngContact(bool on) { m_engContact = on; }
    void setExOnOff(bool on) { m_exOnOff = on; }

    // Lists.
    NameListModel& foundUrls() { return m_foundUrls; }
    NameListModel& altaUrls() { return m_altaUrls; }
    NameListModel& altaDups() { return m_altaDups; }
    NameListModel& history() { return m_history; } // every page URL fetched
    FfaList& list() { return m_list; }
    int foundUrlsCurrent() const { return m_foundCurrent; }

    const Counters& counters() const { return m_counters; }
    // The options window's Save copies its values here.
    void setCurrentString(const QString& text);
    void setStringCount(qint64 count);

    const QString& engineStatus() const { return m_engineStatus; }   // StatusBar2
    const QString& crawlerStatus() const { return m_crawlerStatus; } // StatusBar1
    const QString& urlAddr() const { return m_urlAddr; }             // UrlAddr
    const QString& loadedName() const { return m_loaded; }           // next to "Loaded"
    int extractorPosition() const { return m_extractorPos; }
    int extractorMax() const { return m_extractorMax; }
    int parsingPosition() const { return m_parsingPos; }
    int parsingMax() const { return m_parsingMax; }

    // Button states.
    bool running() const { return m_running; } // SubStop enabled
    // While a page is being analysed into the list (the window breathes
    // meanwhile) the list may not be replaced, saved or crawled into.
    bool startEnabled() const { return !m_running && !m_analysing && m_startAllowed; }
    bool saveEnabled() const { return !m_running && !m_analysing && m_saveAllowed; }
    bool idleControlsEnabled() const { return !m_running && !m_analysing; }
    // True while a fetched page is being analysed into the list.
    bool analysing() const { return m_analysing; }
    // True while either client still has a request of the crawl.
    bool busy() const { return m_pageBusy || m_engineBusy; }

    // List files. createList and openList throw FileError; both return false
    // when nothing changed (Open of the database in use).
    void createList(const QString& path);
    bool openList(const QString& path);
    void saveList();
    // The buttons: they ask for file names through the dialogs.
    void FileNewClick();
    void OpenProClick();
    void FileSaveClick();
    void SubStartClick();
    void SubStopClick();
    void selectListName(int row);

    // Timer ticks, public so that tests can tick them.
    void Timer1Timer();
    void Timer2Timer();

signals:
    void engineStatusChanged(const QString& text);
    void crawlerStatusChanged(const QString& text);
    void urlAddrChanged(const QString& text);
    void countersChanged();
    void buttonsChanged();
    void listChanged();
    void viewChanged();
    void progressChanged();
    void loadedChanged(const QString& name);
    // "All Done": the crawl has ended.
    void crawlEnded();
    // A request of the crawl has been handled completely.
    void requestHandled();

private:
    void setEngineStatus(const QString& text);
    void setCrawlerStatus(const QString& text);
    void setUrlAddr(const QString& text);
    void refreshLinksToCrawl();
    void setIdle();
    void listOpened(qint64 linksSaved);
    bool readCounter();

    void engineStep();
    void startEngineRequest(const QString& url);
    void engineData(const char* data, int len);
    void scanResultLinks();
    void scanPageLinks();
    void engineDone();
    void engineTimedOut();

    void startPageRequest();
    void pageData(const char* data, int len);
    void scanLinks(const QByteArray& buffer);
    int addFound(const QString& link);
    void pageDone();
    void maybePump();

    Dialogs& m_dialogs;
    std::function<CrawlProfile()> m_options;
    std::function<QString()> m_inUse;
    std::function<void()> m_pump;
    QString m_searchBase;
    QString m_appDir;
    net::THttpCli* m_http1;
    net::THttpCli* m_http2;
    QTimer* m_timer1; // page time-out
    QTimer* m_timer2; // poll
    QTimer* m_timer3; // search service time-out

    bool m_engContact = true;
    bool m_exOnOff = true;
    bool m_running = false;
    bool m_startAllowed = false;
    bool m_saveAllowed = false;
    bool m_enginePaused = false;
    bool m_pageBusy = false;
    bool m_analysing = false;
    // Bumped by every new or opened list: a page fetched for an earlier list
    // is not analysed into the one open now.
    quint64 m_listGeneration = 0;
    quint64 m_pageGeneration = 0;
    bool m_engineBusy = false;
    bool m_pageAborted = false;
    bool m_engineAborted = false;

    NameListModel m_foundUrls{false};
    NameListModel m_altaUrls{false};
    NameListModel m_altaDups{false};
    NameListModel m_history{false};
    // Membership of the lists, so that a page full of links is checked in linear time.
    QSet<QString> m_historySet;
    QSet<QString> m_altaDupSet;
    QHash<QString, int> m_foundCount;
    int m_foundCurrent = -1;
    FfaList m_list;
    Counters m_counters;
    qint64 m_counter = 1; // next combination to query

    QString m_engineUrl;
    QByteArray m_resultBuf, m_resultUpper, m_pageLinkBuf;
    qsizetype m_resultPos = 0, m_pageLinkPos = 0;
    QBuffer* m_engineStream = nullptr;
    QString m_pageUrl;
    QByteArray m_linkBuf;
    QBuffer* m_pageStream = nullptr;

    QString m_engineStatus, m_crawlerStatus, m_urlAddr, m_loaded;
    int m_extractorPos = 0, m_extractorMax = 1000, m_parsingPos = 0, m_parsingMax = 1000;
    QElapsedTimer m_sincePump;
};

} // namespace lb
