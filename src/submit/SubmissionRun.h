#pragma once
// The submission run of "Step3 Submit": for each session of "Sessions to
// submit" one request per engine of the engine list, up to the speed value in
// flight, judged by the status line, counted, logged and reported.
// Widgets show the state held here and forward clicks; the command line
// drives the same class.
#include "common/NameListModel.h"
#include "engines/EngineRecord.h"
#include "sessions/SessionRecord.h"
#include "submit/ReportWriter.h"

#include <QBuffer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace lb {

class Dialogs;
class SubmissionHost;
namespace net {
class THttpCli;
class TSTHttpCli;
} // namespace net

class SubmissionRun : public QObject {
    Q_OBJECT
public:
    enum class Indicator { Idle, Running, Paused, Ended };

    // Counters and bars of "Step3 Submit".
    struct Counters {
        int postingTo = 0;
        int submitted = 0;
        int successful = 0;
        int failed = 0;
        int bar[4] = {0, 0, 0, 0};
        int barMax = 100;
    };

    SubmissionRun(QString appDir, SubmissionHost& host, Dialogs& dialogs, NameListModel& subList,
                  QObject* parent = nullptr);
    ~SubmissionRun() override;

    // "Sessions to submit" (SubList); the window binds its list view to it.
    NameListModel& subList() { return m_subList; }

    // Buttons of the page.
    void start();
    void pause();
    void stop();
    void faster();
    void slower();

    // State the window shows.
    bool startEnabled() const { return m_startEnabled; }
    bool stopEnabled() const { return m_stopEnabled; }
    bool pauseEnabled() const { return m_pauseEnabled; }
    bool databaseChoiceEnabled() const { return m_databaseEnabled; }
    bool batchEnabled() const { return m_batchEnabled; }
    Indicator indicator() const { return m_indicator; }
    const Counters& counters() const { return m_counters; }
    int speedIndex() const { return m_speedIndex; }
    int speedValue() const;
    void setSpeedIndex(int index);
    bool paused() const { return m_paused; }
    bool running() const { return !m_startEnabled || m_paused; }
    int inFlight() const { return int(m_clients.size()); }
    int peakInFlight() const { return m_peakInFlight; }
    int startLimit() const { return m_startLimit; }
    int nextEngine() const { return m_nextEngine; }
    int batchPageCount() const { return m_batchPageCount; }
    const SessionRecord& currentSession() const { return m_session; }
    const QStringList& reportLines() const { return m_report.lines(); }

    // The watchdog ticks once a second; tests may make the ticks shorter.
    void setWatchdogInterval(int ms) { m_watchdog.setInterval(ms); }
    bool watchdogActive() const { return m_watchdog.isActive(); }
    void stopWatchdog() { m_watchdog.stop(); }
    int timerTicks() const { return m_timerTicks; }

signals:
    void memoLine(const QString& line);
    void memoCleared();
    void stateChanged(); // buttons, indicator, speed
    void countersChanged();
    // One session's results, when its last request has finished.
    void sessionFinished(const QString& sessionName, int postingTo, int submitted, int successful,
                         int failed);
    void runFinished();

private:
    struct Result {
        QString siteName;
        QString text;
        int code = 0;
        bool judged = false;
        QBuffer* body = nullptr;
        QString address; // the request's URL as started, for the CSV report
    };

    void memo(const QString& line) { emit memoLine(line); }
    void loadSubmissionSession();
    void resetCounters();
    void setBarMaxima(int extra);
    void submitNext();
    void startEngine(); // one pass of submitNext: the request of engine NextEngine
    QString buildPairString(const EngineRecord& engine) const;
    void onHeaderEnd(net::THttpCli* sender);
    void onRequestDone(net::THttpCli* sender);
    void addReport(const QString& line);
    void watchdogTick();
    void abortAll(const QString& text);
    void runBatchSubmissions();
    void endSession();
    void toRest();
    void controlsToRest();
    int engines() const;

    QString m_appDir;
    SubmissionHost& m_host;
    Dialogs& m_dialogs;
    NameListModel& m_subList;
    SessionRecord m_session;
    ReportWriter m_report;      // ReportLines of the session being submitted
    bool m_encodeValues = true; // form-encode session values; read at each start

    QList<net::TSTHttpCli*> m_clients; // RequestClients, in start order
    QList<int> m_inFlightEngines;      // parallel to m_clients
    QList<int> m_inFlightTicks;
    QHash<net::TSTHttpCli*, Result> m_results;

    QTimer m_watchdog;
    int m_timerTicks = 0;
    int m_nextEngine = 0;
    int m_startLimit = 0;
    int m_finishedCount = 0;
    int m_batchPageCount = 0;
    int m_batchSiteCount = 0;
    int m_batchStatusCode = 0;
    int m_speedIndex = 3;
    int m_peakInFlight = 0;
    bool m_startGate = false;
    bool m_starting = false; // inside SubmitNext, before its client is in flight
    int m_owedStarts = 0;    // starts of requests that finished while m_starting
    bool m_paused = false;
    QString m_lastReportSession;

    bool m_startEnabled = true;
    bool m_stopEnabled = false;
    bool m_pauseEnabled = false;
    bool m_databaseEnabled = true;
    bool m_batchEnabled = true;
    Indicator m_indicator = Indicator::Idle;
    Counters m_counters;
};

} // namespace lb
