#include "submit/SubmissionRun.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/Paths.h"
#include "net/HttpProt.h"
#include "submit/FormEncoding.h"
#include "submit/ReportWriter.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionHost.h"

#include <QDateTime>
#include <QLocale>
#include <QThread>

namespace lb {

using net::THttpCli;
using net::THttpRequest;
using net::TSTHttpCli;

namespace {
const QString kPausedText = QStringLiteral("Submission Paused \"Aborted\"");
const QString kStoppedText = QStringLiteral("Submission stopped \"Aborted\"");
constexpr int kWatchdogTicks = 60;
} // namespace

SubmissionRun::SubmissionRun(QString appDir, SubmissionHost& host, Dialogs& dialogs,
                             NameListModel& subList, QObject* parent)
    : QObject(parent), m_appDir(std::move(appDir)), m_host(host), m_dialogs(dialogs),
      m_subList(subList), m_report(m_appDir, [&host] { return host.generateReports(); }),
      m_speedIndex(DefaultSpeedIndex) {
    m_report.clear(); // created with the header when a run starts
    m_watchdog.setObjectName(QStringLiteral("Timer1"));
    m_watchdog.setInterval(1000);
    connect(&m_watchdog, &QTimer::timeout, this, &SubmissionRun::watchdogTick);
}

SubmissionRun::~SubmissionRun() {
    m_watchdog.stop();
    // Clients still in flight when the window closes: stop their events first.
    for (TSTHttpCli* c : std::as_const(m_clients)) {
        c->OnHeaderEnd = nullptr;
        c->OnRequestDone = nullptr;
        c->Abort();
        delete c;
    }
    for (const Result& r : std::as_const(m_results))
        delete r.body;
}

void SubmissionRun::addReport(const QString& line) {
    m_report.add(line);
}

int SubmissionRun::engines() const {
    return m_host.engineCount();
}

int SubmissionRun::speedValue() const {
    return speedSteps().at(m_speedIndex).toInt();
}

void SubmissionRun::setSpeedIndex(int index) {
    m_speedIndex = qBound(0, index, int(speedSteps().size()) - 1);
    emit stateChanged();
}

void SubmissionRun::slower() {
    if (m_speedIndex == 0)
        return;
    const QString current = speedSteps().at(m_speedIndex);
    if (current == QLatin1String("5"))
        m_startLimit -= 4;
    else if (current == QLatin1String("10"))
        m_startLimit -= 5;
    else if (current == QLatin1String("25"))
        m_startLimit -= 15;
    else
        m_startLimit -= 25;
    --m_speedIndex;
    emit stateChanged();
}

void SubmissionRun::faster() {
    if (m_speedIndex + 1 >= speedSteps().size())
        return;
    const QString current = speedSteps().at(m_speedIndex);
    if (current == QLatin1String("1"))
        m_startLimit += 4;
    else if (current == QLatin1String("5"))
        m_startLimit += 5;
    else if (current == QLatin1String("10"))
        m_startLimit += 15;
    else
        m_startLimit += 25;
    ++m_speedIndex;
    emit stateChanged();
}

void SubmissionRun::loadSubmissionSession() {
    const QString name = m_subList.rowCount() > 0 ? m_subList.at(0) : QString();
    m_session = SessionRecord();
    m_session.name = name;
    // A missing file or key reads as empty: the requests still go out.
    if (!isSafeFileName(name))
        return;
    const IniFile ini(
        appPath(m_appDir, QStringLiteral("\\data\\session\\") + name + QStringLiteral(".hlx")));
    const QStringList& keys = sessionKeys();
    for (int f = 0; f < SessionRecord::FieldCount; ++f)
        m_session[f] = ini.readString(name, keys.at(f));
}

void SubmissionRun::resetCounters() {
    m_counters.postingTo = m_counters.submitted = m_counters.successful = m_counters.failed = 0;
    for (int& b : m_counters.bar)
        b = 0;
    emit countersChanged();
}

void SubmissionRun::setBarMaxima(int extra) {
    m_counters.barMax =
        m_host.engineCountPanel() - (m_host.engineLinesCount() - m_host.engineListCount() - extra);
    emit countersChanged();
}

void SubmissionRun::start() {
    if (m_paused) {
        m_startEnabled = false;
        m_pauseEnabled = m_stopEnabled = true;
        m_indicator = Indicator::Running;
        m_paused = false;
        m_startGate = true;
        emit stateChanged();
        submitNext();
        return;
    }
    if (m_subList.rowCount() == 0) {
        m_dialogs.inform(QStringLiteral("You have no sessions to submit"),
                         QStringLiteral("No Session"));
        return;
    }
    if (engines() == 0) {
        m_dialogs.inform(QStringLiteral("Current Database is empty. Please select another!"),
                         QStringLiteral("Emtpy Database"));
        return;
    }
    m_report.restart();
    m_encodeValues = readEncodeValues(m_appDir);
    loadSubmissionSession();
    m_host.showWebsite(m_session[SessionRecord::Url]);

    m_databaseEnabled = false;
    emit memoCleared();
    resetCounters();
    setBarMaxima(0);

    m_startLimit = speedValue() < engines() ? speedValue() : engines();
    m_nextEngine = 0;
    m_finishedCount = 0;
    m_owedStarts = 0;

    m_indicator = Indicator::Running;
    m_startEnabled = false;
    m_pauseEnabled = m_stopEnabled = true;
    m_paused = false;
    emit stateChanged();

    memo(QStringLiteral("Starting Submissions"));
    memo(QStringLiteral(" "));
    m_report.addSessionHeading(m_session.name, m_session[SessionRecord::Url]);
    memo(QStringLiteral("Starting Submission for ") + m_session[SessionRecord::Url]);

    m_batchPageCount = 0;
    m_batchEnabled = false;
    m_startGate = true;
    emit stateChanged();

    if (m_host.includeBatch())
        runBatchSubmissions();
    submitNext();
}

QString SubmissionRun::buildPairString(const EngineRecord& e) const {
    using E = EngineRecord;
    using S = SessionRecord;
    QString p;
    const bool encode = m_encodeValues;
    auto pair = [&p, encode](const QString& name, const QString& value) {
        if (name.isEmpty())
            return;
        p += QLatin1Char('&');
        p += name;
        p += QLatin1Char('=');
        p += encode ? formEncode(value) : value;
    };
    pair(e[E::TitleVar], m_session[S::Title]);
    pair(e[E::UrlVar], m_session[S::Url]);
    if (!e[E::CategoryVar].isEmpty())
        pair(e[E::CategoryVar], m_host.categoryValue(e[E::CategoryType], m_session[S::Category]));
    pair(e[E::FirstNameVar], m_session[S::FirstName]);
    pair(e[E::EmailVar], m_session[S::Email]);
    pair(e[E::DescriptionVar], m_session[S::Description]);
    pair(e[E::LastNameVar], m_session[S::LastName]);
    pair(e[E::CompanyVar], m_session[S::Company]);
    pair(e[E::Address1Var], m_session[S::Address1]);
    pair(e[E::Address2Var], m_session[S::Address2]);
    pair(e[E::CityVar], m_session[S::City]);
    pair(e[E::StateVar], m_session[S::State]);
    pair(e[E::ZipVar], m_session[S::Zip]);
    pair(e[E::PhoneVar], m_session[S::Phone]);
    pair(e[E::FaxVar], m_session[S::Fax]);
    pair(e[E::CountryVar], m_session[S::Country]);
    for (int k = 0; k < 16; ++k)
        pair(e[E::Key1Var + k], m_session[S::Key1 + k]);
    if (!e[E::HiddenValues].isEmpty())
        p += e[E::HiddenValues];
    return p;
}

void SubmissionRun::submitNext() {
    // Each pass starts one engine; the fan-out test at its end decides
    // whether the next pass runs. A loop, not a call to itself: on a fast
    // network requests finish inside the passes, the number in flight stays
    // below the speed and the fan-out may go on for the whole database.
    for (;;) {
        // A speed above the engines left steps down first, as far as it goes.
        while (speedValue() > engines() - 1 && m_speedIndex > 0)
            slower();
        if (!m_startGate) {
            // A request finished while the pass below let events run: its
            // replacement is owed, and made by that pass before it returns.
            if (m_starting)
                ++m_owedStarts;
            return;
        }
        m_startGate = false;
        if (m_nextEngine >= engines()) {
            m_owedStarts = 0;
            return;
        }
        startEngine();
        m_startGate = true;
        // Pause or Stop pressed while the start above let events run ends
        // the fan-out: nothing more is sent.
        if (m_paused || !m_stopEnabled) {
            m_owedStarts = 0;
            return;
        }
        if (m_owedStarts > 0) {
            --m_owedStarts;
            continue;
        }
        if (!(int(m_clients.size()) < speedValue() && speedValue() + m_nextEngine <= engines() - 1))
            return;
    }
}

void SubmissionRun::startEngine() {
    m_starting = true;

    if (!m_watchdog.isActive())
        m_watchdog.start();
    const int i = m_nextEngine;
    m_nextEngine = i + 1;
    const EngineRecord engine = m_host.showEngine(i);
    m_host.processEvents();

    const int number = i + 1 + m_batchPageCount;
    m_counters.postingTo = number;
    m_counters.bar[0] = number;
    emit countersChanged();

    // Owned through m_clients, not as a child: with hundreds in flight,
    // taking a finished one out of a child list costs more than its request.
    auto* client = new TSTHttpCli;
    m_clients.append(client);
    m_inFlightEngines.append(i);
    m_inFlightTicks.append(m_timerTicks);
    m_peakInFlight = qMax(m_peakInFlight, int(m_clients.size()));
    client->Tag = i;
    auto* body = new QBuffer;
    const QString pairs = buildPairString(engine);
    const QString address =
        engine.isPost() ? engine[EngineRecord::CgiUrl] : engine[EngineRecord::CgiUrl] + pairs;
    m_results.insert(client, Result{engine.name, QString(), 0, false, body, address});

    memo(engine[EngineRecord::CgiUrl]);
    client->SendStream = body;
    client->Stream = pairs;
    client->OnHeaderEnd = [this](THttpCli* sender) { onHeaderEnd(sender); };
    client->OnRequestDone = [this](THttpCli* sender, THttpRequest, quint16) {
        onRequestDone(sender);
    };

    if (m_host.behindProxy()) {
        if (const THttpCli* t = m_host.proxyTemplate()) {
            client->Proxy = t->Proxy;
            client->ProxyPort = t->ProxyPort;
            client->ProxyUsername = t->ProxyUsername;
            client->ProxyPassword = t->ProxyPassword;
        }
    }

    memo(QString::number(number) + QStringLiteral(" Contacting: ") + engine.name);
    m_host.processEvents();
    QThread::yieldCurrentThread();

    client->Reference = engine[EngineRecord::SiteUrl];
    if (m_results.value(client).judged) {
        // Stop or Pause was pressed while the lines above were shown: this
        // request is not sent; it finishes as aborted, like the others.
        QMetaObject::invokeMethod(
            this, [this, client] { onRequestDone(client); }, Qt::QueuedConnection);
        m_starting = false;
        return;
    }
    try {
        if (engine.isPost()) {
            client->URL = engine[EngineRecord::CgiUrl];
            client->PostAsync();
        } else {
            client->URL = engine[EngineRecord::CgiUrl] + pairs;
            client->GetAsync();
        }
    } catch (const std::exception& e) {
        // A client that cannot start still finishes through its own
        // request-done step, so the counts stay whole.
        Result& r = m_results[client];
        r.judged = true;
        r.code = 404;
        r.text = QString::fromLocal8Bit(e.what());
        QMetaObject::invokeMethod(
            this, [this, client] { onRequestDone(client); }, Qt::QueuedConnection);
    }
    m_starting = false;
}

void SubmissionRun::onHeaderEnd(THttpCli* sender) {
    auto* client = static_cast<TSTHttpCli*>(sender);
    auto it = m_results.find(client);
    if (it == m_results.end())
        return;
    Result& r = *it;
    // The first answer header decides; the abort below must not judge again.
    if (r.judged)
        return;
    r.code = client->StatusCode();
    r.text = r.code == 302 ? QStringLiteral("OK") : client->ReasonPhrase();
    if (r.text.isEmpty()) {
        r.text = QStringLiteral("OK");
        r.code = 200;
    }
    r.judged = true;
    client->Abort();
}

void SubmissionRun::onRequestDone(THttpCli* sender) {
    auto* client = static_cast<TSTHttpCli*>(sender);
    // A request is counted once: a client that already finished is no
    // longer in the run, even while this handler lets other events run.
    if (!m_clients.contains(client) || !m_results.contains(client))
        return;
    const int i = int(client->Tag);
    Result r = m_results.take(client);
    if (!r.judged) {
        // Finished without an answer header: the client's own failure text.
        r.code = client->StatusCode();
        r.text = client->ReasonPhrase();
        if (r.text.isEmpty() || r.text == QLatin1String("OK"))
            r.text = QStringLiteral("Connection failed");
    }

    const int number = i + 1 + m_batchPageCount;
    memo(QString::number(number) + QStringLiteral(". Submission Finished ") +
         QStringLiteral(" Result = ") + r.text);
    m_counters.submitted = m_batchPageCount + i;
    if (r.text == QLatin1String("OK"))
        ++m_counters.successful;
    else
        ++m_counters.failed;
    m_report.addRequestResult(r.siteName, r.text, QDateTime::currentDateTime(), r.address);
    ++m_counters.bar[1];
    m_counters.bar[2] = m_counters.successful;
    m_counters.bar[3] = m_counters.failed;
    emit countersChanged();

    // Found again: the memo above lets events run, and a request that
    // finished meanwhile has shifted the positions. Until here this one stays
    // in flight, so only the last to finish ends the session.
    const qsizetype at = m_clients.indexOf(client);
    m_clients.removeAt(at);
    m_inFlightEngines.removeAt(at);
    m_inFlightTicks.removeAt(at);
    client->Release(); // goes once this handler has returned
    delete r.body;

    if (engines() > m_startLimit) {
        ++m_startLimit;
        if (m_paused)
            return;
    }
    if (m_stopEnabled) {
        ++m_finishedCount;
        if (m_finishedCount < engines())
            submitNext();
    }
    // A request being started right now (its start lets events run before
    // its client exists) still belongs to this session.
    if (!m_clients.isEmpty() || m_starting)
        return;
    endSession();
}

void SubmissionRun::endSession() {
    m_watchdog.stop();
    memo(QStringLiteral(" "));
    memo(QStringLiteral("All Submissions Finished"));
    const QString finishedName = m_session.name;
    emit sessionFinished(finishedName, m_counters.postingTo, m_counters.submitted,
                         m_counters.successful, m_counters.failed);
    if (m_host.generateReports())
        m_lastReportSession = finishedName;
    try {
        m_report.endSession(finishedName);
    } catch (const FileError& e) {
        m_host.showFileError(e.message());
    }
    if (m_subList.rowCount() > 0)
        m_subList.removeAt(0);

    if (m_subList.rowCount() > 0) {
        if (!m_stopEnabled && !m_paused) {
            // Stopped: back to rest without starting the next session.
            controlsToRest();
            return;
        }
        loadSubmissionSession();
        m_host.showWebsite(m_session[SessionRecord::Url]);
        m_batchPageCount = 0;
        resetCounters();
        setBarMaxima(2);
        m_startLimit = speedValue() < engines() ? speedValue() : engines();
        m_startGate = true;
        m_nextEngine = 0;
        m_finishedCount = 0;
        m_owedStarts = 0;
        if (!m_pauseEnabled) {
            // Paused: the next session waits for Start.
            m_stopEnabled = false;
            m_watchdog.stop();
            emit stateChanged();
            return;
        }
        if (m_stopEnabled) {
            m_report.addSessionHeading(m_session.name, m_session[SessionRecord::Url]);
            emit memoCleared();
            memo(QStringLiteral(" "));
            memo(QStringLiteral("Starting Submission for ") + m_session[SessionRecord::Url]);
            memo(QStringLiteral(" "));
            m_startGate = true;
            if (m_host.includeBatch())
                runBatchSubmissions();
            submitNext();
        }
        return;
    }
    toRest();
}

void SubmissionRun::controlsToRest() {
    m_startEnabled = true;
    m_stopEnabled = m_pauseEnabled = false;
    m_paused = false;
    m_indicator = Indicator::Ended;
    m_databaseEnabled = m_batchEnabled = true;
    m_watchdog.stop();
    m_report.clear();
    emit stateChanged();
}

void SubmissionRun::toRest() {
    m_timerTicks = 0;
    controlsToRest();
    m_host.runEnded(m_host.generateReports() && !m_lastReportSession.isEmpty()
                        ? appPath(m_appDir, QStringLiteral("\\reports\\") + m_lastReportSession +
                                                QStringLiteral(".htm"))
                        : QString());
    emit runFinished();
}

void SubmissionRun::watchdogTick() {
    ++m_timerTicks;
    if (m_inFlightTicks.isEmpty())
        return;
    if (m_inFlightTicks.first() >= m_timerTicks - kWatchdogTicks)
        return;
    const int oldest = m_inFlightEngines.first();
    for (TSTHttpCli* c : std::as_const(m_clients)) {
        if (int(c->Tag) != oldest)
            continue;
        auto it = m_results.find(c);
        if (it == m_results.end())
            break; // finishing right now, in a handler that lets events run
        Result& r = *it;
        r.code = 408;
        r.text = QStringLiteral("Request_Timeout");
        r.judged = true;
        // Counted once: the entry no longer qualifies as the oldest overdue one.
        m_inFlightTicks.first() = m_timerTicks;
        c->Abort();
        break;
    }
}

void SubmissionRun::abortAll(const QString& text) {
    const QList<TSTHttpCli*> clients = m_clients;
    for (TSTHttpCli* c : clients) {
        auto it = m_results.find(c);
        if (it == m_results.end())
            continue;
        it->text = text;
        it->judged = true;
        c->Abort();
    }
}

void SubmissionRun::pause() {
    if (m_startEnabled)
        return;
    m_paused = true;
    m_owedStarts = 0;
    m_pauseEnabled = m_stopEnabled = false;
    m_startEnabled = true;
    m_indicator = Indicator::Paused;
    m_watchdog.stop();
    emit stateChanged();
    abortAll(kPausedText);
}

void SubmissionRun::stop() {
    if (!m_stopEnabled)
        return;
    m_stopEnabled = m_pauseEnabled = false;
    m_watchdog.stop();
    emit stateChanged();
    abortAll(kStoppedText);
}

} // namespace lb
