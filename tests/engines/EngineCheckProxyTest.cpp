// The health check's requests go through the program's proxy when it is set:
// the engines' host does not resolve, only the proxy can answer for it.
#include "engines/EngineCheck.h"
#include "support/RawServer.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>

using namespace lb;

TEST(EngineCheckProxy, RequestsGoThroughTheProxyWithTheirWholeAddress) {
    lb::test::TargetSim proxy;
    ASSERT_TRUE(proxy.ok());
    EngineRecord engine;
    engine.name = QStringLiteral("Behind");
    engine[EngineRecord::CgiUrl] = QStringLiteral("http://engine.invalid/status/200/OK");
    EngineCheck check;
    check.setEngines({engine});
    ProxySettings settings;
    settings.behindProxy = true;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = QString::number(proxy.port());
    check.setProxy(settings);
    bool finished = false;
    QObject::connect(&check, &EngineCheck::finished, [&finished] { finished = true; });
    check.start();
    ASSERT_TRUE(lb::test::runUntil([&] { return finished; }, 30000));
    EXPECT_EQ(engineStateName(check.results().at(0).state), engineStateName(EngineState::Alive))
        << check.results().at(0).detail.toStdString();
    ASSERT_EQ(proxy.requests().size(), 1);
    EXPECT_EQ(proxy.requests()[0].value("target").toString(),
              "http://engine.invalid/status/200/OK");
}
