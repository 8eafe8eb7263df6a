// linkbeacon-cli submit: the submission run of "Step3 Submit" without a window.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/EngineSetup.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/SpeedSteps.h"
#include "submit/SubmissionRun.h"

#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace lb::cli {

namespace {

class ConsoleHost : public DatabaseHost {
public:
    ConsoleHost(EngineDatabase& db, bool reports) : DatabaseHost(db), m_reports(reports) {}

    net::TSTHttpCli httpCli1; // template of the per-request clients
    net::THttpCli http2;      // the batch pass's client
    bool proxyOn = false;

    bool generateReports() const override { return m_reports; }
    bool behindProxy() const override { return proxyOn; }
    const net::THttpCli* proxyTemplate() const override { return &httpCli1; }
    net::THttpCli* batchClient() override { return &http2; }
    void showWebsite(const QString&) override {}
    void runEnded(const QString&) override {}
    void showFileError(const QString& message) override {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    void processEvents() override { QCoreApplication::processEvents(); }

private:
    bool m_reports;
};

} // namespace

int runSubmit(const CommandLine& line) {
    const QString database =
        line.isSet("database") ? line.value("database") : QStringLiteral("data");
    int speedIndex = DefaultSpeedIndex;
    for (const QString& value : line.values("speed")) {
        speedIndex = int(speedSteps().indexOf(value));
        if (speedIndex < 0)
            return line.usageError(QStringLiteral(
                "speed must be one of 1 5 10 25 50 75 100 125 150 175 200 225 250 275 300"));
    }
    const bool reports = !line.isSet("no-reports");
    const bool batch = !line.isSet("no-batch");
    const QStringList sessions = line.operands();
    if (sessions.isEmpty())
        return line.usageError(QStringLiteral("no session named"));

    if (!isDatabaseChoice(database))
        return line.usageError(QStringLiteral("unknown database ") + database);

    const QString appDir = QDir::currentPath();
    ConsoleDialogs dialogs;
    EngineDatabase db(appDir, dialogs);
    openEngineDatabase(db, dialogs, database);
    if (!batch)
        db.setBatchIncluded(false);

    ConsoleHost host(db, reports);
    const ProxySettings proxy = ProxySettings::load(appDir);
    host.proxyOn = proxy.behindProxy;
    if (proxy.behindProxy) {
        for (net::THttpCli* c : {static_cast<net::THttpCli*>(&host.httpCli1), &host.http2}) {
            c->Proxy = proxy.host;
            c->ProxyPort = proxy.port;
            c->ProxyUsername = proxy.userName;
            c->ProxyPassword = proxy.password;
        }
    }

    NameListModel subList(false);
    SubmissionRun run(appDir, host, dialogs, subList);
    run.setSpeedIndex(speedIndex);
    for (const QString& s : std::as_const(sessions))
        run.subList().add(s);

    QObject::connect(&run, &SubmissionRun::memoLine,
                     [](const QString& line) { std::fprintf(stdout, "%s\n", qPrintable(line)); });
    QObject::connect(&run, &SubmissionRun::sessionFinished,
                     [](const QString&, int posting, int submitted, int ok, int failed) {
                         std::fprintf(
                             stdout, "Posting to: %d  Submitting: %d  Successful: %d  Failed: %d\n",
                             posting, submitted, ok, failed);
                         std::fflush(stdout);
                     });
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&run, &SubmissionRun::runFinished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    run.start();
    if (!finished && run.startEnabled())
        return 1; // refused: no sessions or an empty database
    if (!finished)
        loop.exec();
    std::fflush(stdout);
    return 0;
}

} // namespace lb::cli
