// The audit's requests go through the program's proxy when it is set: the
// site's host does not resolve, only the proxy can answer for it.
#include "audit/SiteAudit.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

using namespace lb::audit;

TEST(AuditProxy, EveryRequestGoesThroughTheProxyWithItsWholeAddress) {
    lb::test::TargetSim proxy;
    ASSERT_TRUE(proxy.ok());
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    AuditOptions o;
    o.url = QStringLiteral("http://site.invalid/audit/");
    o.timeoutSeconds = 10;
    o.proxyHost = QStringLiteral("127.0.0.1");
    o.proxyPort = QString::number(proxy.port());
    SiteAudit audit;
    bool ended = false;
    QObject::connect(&audit, &SiteAudit::finished, [&ended] { ended = true; });
    ASSERT_TRUE(audit.start(o)) << audit.error().toStdString();
    EXPECT_TRUE(lb::test::runUntil([&] { return ended; }, 60000));
    QDir::setCurrent(old);
    EXPECT_EQ(audit.error(), QString());
    EXPECT_GT(audit.pages().size(), 5);
    const QList<QJsonObject> seen = proxy.requests();
    EXPECT_EQ(seen.size(), audit.pages().size() + 2); // robots.txt and the sitemap besides
    for (const QJsonObject& r : seen)
        EXPECT_TRUE(r.value("target").toString().startsWith("http://site.invalid/"))
            << r.value("target").toString().toStdString();
}
