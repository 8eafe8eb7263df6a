#pragma once
// The submission run's host in tests: no proxy, reports on unless switched
// off, and events pumped where the run asks for it, as the window does.
#include "engines/EngineDatabase.h"
#include "net/HttpProt.h"
#include "submit/DatabaseHost.h"

#include <QCoreApplication>
#include <QStringList>

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

} // namespace lb::test
