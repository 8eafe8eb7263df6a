#pragma once
// The submission run's host in tests: no proxy, reports on unless switched
// off, and events pumped where the run asks for it, as the window does. And
// a fixture with a program folder, a target-sim and a run over them.
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"
#include "submit/SubmissionRun.h"
#include "support/ProgramFolder.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <memory>

namespace lb::test {

class RunHost : public DatabaseHost {
public:
    explicit RunHost(EngineDatabase& db) : DatabaseHost(db) {}
    bool reports = true;
    net::THttpCli http2;
    net::TSTHttpCli template1;
    QStringList errors;
    QString endedWith;
    bool generateReports() const override { return reports; }
    bool behindProxy() const override { return false; }
    const net::THttpCli* proxyTemplate() const override { return &template1; }
    net::THttpCli* batchClient() override { return &http2; }
    void showWebsite(const QString&) override {}
    void runEnded(const QString& path) override { endedWith = path; }
    void showFileError(const QString& m) override { errors.append(m); }
    void processEvents() override { QCoreApplication::processEvents(); }
};

// The database steps of start-up, every engine listed, no batch pass.
inline void openForRun(EngineDatabase& db) {
    db.loadStartDatabase();
    db.fillKeyListFromLines();
    db.copyKeyListToEngineList();
    db.readCategoryLists();
    db.recount();
    db.setBatchIncluded(false);
}

// A program folder that starts cleanly, with no batch pages, a target-sim,
// and a submission run made by open().
class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.ok());
        pf.writeStandardFiles();
        pf.writeBytes("data/batch.hlx", "[count]\r\ncount=0\r\n");
    }

    // Engines E00000.. posting "title" to cgi(0) .. cgi(n - 1); writes data.hlz.
    void writeEngines(int n, const std::function<QString(int)>& cgi) {
        QStringList lines;
        for (int i = 0; i < n; ++i)
            lines.append(engineLine(QStringLiteral("E%1").arg(i, 5, 10, QLatin1Char('0')), cgi(i)));
        pf.writeEngines("data/data.hlz", lines);
    }
    // The same with target-sim paths: path.arg(i).
    void writeEngines(int n, const QString& path) {
        writeEngines(n, [&](int i) { return sim.url(path.arg(i)); });
    }

    // Opens the database as at start-up and makes the run; every memo line
    // is kept, then onLine sees it.
    void open(std::function<void(const QString&)> onLine = {}) {
        run.reset();
        host.reset();
        db = std::make_unique<EngineDatabase>(pf.dir.path(), dialogs);
        openForRun(*db);
        host = std::make_unique<RunHost>(*db);
        run = std::make_unique<SubmissionRun>(pf.dir.path(), *host, dialogs, subList);
        QObject::connect(run.get(), &SubmissionRun::memoLine, [this, onLine](const QString& l) {
            memo.append(l);
            if (onLine)
                onLine(l);
        });
        QObject::connect(run.get(), &SubmissionRun::runFinished, [this] { finished = true; });
    }
    bool waitFor(const std::function<bool()>& done, int ms = 20000) { return runUntil(done, ms); }
    bool runToEnd(int ms = 20000) {
        run->start();
        return waitFor([this] { return finished; }, ms);
    }
    // The memo lines that end a request.
    QStringList results() const { return memo.filter(QLatin1String(". Submission Finished ")); }

    TargetSim sim;
    ProgramFolder pf;
    ScriptedDialogs dialogs;
    NameListModel subList{false};
    std::unique_ptr<EngineDatabase> db;
    std::unique_ptr<RunHost> host;
    std::unique_ptr<SubmissionRun> run;
    QStringList memo;
    bool finished = false;
};

} // namespace lb::test
