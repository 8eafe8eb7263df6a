// Every fetch that keeps a page in memory stops reading a page without end
// at the page limit and goes on as after an aborted page.
#include "meta/MetaCreator.h"
#include "net/HttpLimits.h"
#include "source/SourceViewer.h"
#include "support/RawServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <functional>

using namespace lb;
using lb::net::limits::kMaxPageBytes;
using lb::test::runUntil;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

TEST(PageLimit, AFetcherThatKeepsThePageStopsAPageWithoutEndAtTheLimit) {
    TargetSim& sim = lb::test::sharedTargetSim();
    ASSERT_TRUE(sim.ok());
    const QString endless = sim.url("/hostile/endless-page");
    struct Row {
        const char* fetcher;
        // Fetches the endless page; gives the bytes received and what the
        // fetcher told (its status or error).
        std::function<qint64(QString& told)> fetch;
        QString told;
    };
    const Row rows[] = {
        {"source viewer",
         [&](QString& told) {
             ScriptedDialogs dialogs;
             SourceViewer viewer(dialogs);
             viewer.open("Endless", endless);
             told = dialogs.texts().join('|');
             EXPECT_FALSE(viewer.sourceLines().isEmpty()); // what arrived is shown
             return viewer.HttpGet().ReceivedCount();
         },
         "Connection aborted on request"},
        {"META creator",
         [&](QString& told) {
             ScriptedDialogs dialogs;
             QTemporaryDir dir;
             MetaCreator creator(dir.path(), dialogs);
             creator.fetchDocument(endless);
             EXPECT_TRUE(runUntil([&] { return creator.statusLabel() == "Done"; }, 120000));
             told = creator.infoLabel();
             return qint64(-1); // the temporary file is gone with the failed fetch
         },
         "Status: Failed : 404 Connection aborted on request"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fetcher);
        QString told;
        const qint64 received = row.fetch(told);
        EXPECT_EQ(told, row.told);
        if (received >= 0) {
            EXPECT_GT(received, kMaxPageBytes);
            EXPECT_LE(received, kMaxPageBytes + 8192);
        }
    }
}
