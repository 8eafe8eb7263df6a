#pragma once
// The engine health check: a GET of every engine's submission page (its
// Site_Url, or its CGI URL when it has none), many in flight, each engine
// classified by what came back. Redirects are followed here, one request per
// hop, so that the check counts them and knows every address it asked.
#include "common/ProxySettings.h"
#include "engines/EngineRecord.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <array>
#include <memory>
#include <vector>

namespace lb {

enum class EngineState { Unchecked, Alive, Changed, Moved, Gone, Error, Dead };
inline constexpr int kEngineStateCount = 6; // the checked states, Alive .. Dead

// "alive", "changed", "moved", "gone", "error", "dead" (empty for Unchecked).
QString engineStateName(EngineState state);

struct EngineCheckResult {
    QString name;
    EngineState state = EngineState::Unchecked;
    int status = 0; // the status of the last answer, 0 when none came
    QString detail; // moved: final URL; gone/error: code and phrase; dead: the failure
};

// Whether a form action posts to the CGI URL: scheme, host and port equal
// (":80" is no port), paths equal, queries ignored. A relative action is taken
// against pageUrl.
bool actionPostsTo(const QString& action, const QString& pageUrl, const QString& cgiUrl);

class EngineCheck : public QObject {
    Q_OBJECT
public:
    explicit EngineCheck(QObject* parent = nullptr);
    ~EngineCheck() override;

    static constexpr int kMaxRedirects = 5;
    static constexpr int kDefaultTimeoutMs = 30 * 1000;

    // Replaces the engines (and forgets earlier results); not while running.
    void setEngines(const QList<EngineRecord>& engines);
    void setSpeed(int inFlight) { m_speed = qMax(1, inFlight); }
    int speed() const { return m_speed; }
    // Bounds each engine's whole check: every hop, header and body.
    void setTimeoutMs(int ms) { m_timeoutMs = qMax(1, ms); }
    void setProxy(const ProxySettings& proxy) { m_proxy = proxy; }

    void start();
    // Aborts what is in flight; those engines stay unchecked.
    void stop();
    bool running() const { return m_running; }

    int count() const { return int(m_results.size()); }
    int checkedCount() const { return m_checked; }
    const EngineRecord& engine(int i) const { return m_engines.at(i); }
    const QList<EngineRecord>& engines() const { return m_engines; }
    const QList<EngineCheckResult>& results() const { return m_results; }
    // Engines per state, Alive first.
    std::array<int, kEngineStateCount> counts() const;
    // "N alive, N changed, N moved, N gone, N error, N dead".
    QString countsText() const;

signals:
    void engineChecked(int index);
    void finished();

private:
    struct Probe;
    void resetResults();
    void startNext();
    void request(Probe* p);
    void requestDone(Probe* p);
    void finish(Probe* p, EngineState state, const QString& detail);
    void classifyPage(Probe* p);

    QList<EngineRecord> m_engines;
    QList<EngineCheckResult> m_results;
    std::vector<std::unique_ptr<Probe>> m_probes; // in flight
    quint64 m_serial = 0;
    int m_next = 0;
    int m_checked = 0;
    int m_speed = 25;
    int m_timeoutMs = kDefaultTimeoutMs;
    ProxySettings m_proxy;
    bool m_running = false;
};

} // namespace lb
