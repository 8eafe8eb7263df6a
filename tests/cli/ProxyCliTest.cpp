// Every command that fetches goes through the proxy of zkt.ini when it is
// switched on: the demo folder's targets are on a port nobody listens on, so
// only a proxy that answers for them lets a command finish well.
#include "common/IniFile.h"
#include "support/CliRun.h"
#include "support/DemoFolder.h"
#include "support/LoopbackServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using lb::test::runCli;

TEST(ProxyCli, EveryFetchingCommandSendsItsRequestsThroughTheProxy) {
    lb::test::TargetSim proxy;
    ASSERT_TRUE(proxy.ok());
    const lb::test::LoopbackPort nobody(false);
    QTemporaryDir dir;
    ASSERT_TRUE(lb::test::copyBundledFolder(dir.path(), nobody.port));
    lb::IniFile ini(dir.filePath("zkt.ini"));
    ini.writeString("Proxy", "ProxyHost", "127.0.0.1");
    ini.writeString("Proxy", "ProxyPort", QString::number(proxy.port()));
    ini.writeString("Proxy", "KeyProxy", "1");
    const QString site = QStringLiteral("http://127.0.0.1:%1/").arg(nobody.port);

    struct Case {
        QStringList args;
        QString lastLine; // empty: not checked
    } cases[] = {
        {{"spider", site + "audit/", "--yes", "--timeout", "10"}, {}},
        {{"extract", site + "demo/check/redesigned.html"}, {}},
        {{"engines", "check", "--timeout", "10"},
         "engines: 30 alive, 0 changed, 0 moved, 0 gone, 0 error, 0 dead"},
        {{"audit", site + "audit/", "--timeout", "10"}, {}},
        {{"submit", "Garden Tools", "--no-reports"},
         "Posting to: 36  Submitting: 14  Successful: 29  Failed: 7"},
        {{"indexnow", "--key", "abcdef0123456789", "--endpoint", site + "indexnow", "--url",
          site + "a"},
         site + "indexnow 127.0.0.1: 202 Accepted"},
        // Last: the update replaces the demo engines.
        {{"update", "--host", QStringLiteral("127.0.0.1:%1").arg(nobody.port)}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const qsizetype before = proxy.requests().size();
        const lb::test::CliResult r = runCli(dir.path(), c.args, {60000});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        if (!c.lastLine.isEmpty())
            EXPECT_EQ(r.outLines().value(r.outLines().size() - 1), c.lastLine);
        const QList<QJsonObject> seen = proxy.requests().mid(before);
        EXPECT_FALSE(seen.isEmpty());
        for (const QJsonObject& q : seen)
            EXPECT_TRUE(q.value("target").toString().startsWith(site))
                << q.value("target").toString().toStdString();
    }
}
