// "Step3 Submit" against https targets: the run goes over TLS with the "TLS"
// section of zkt.ini and judges answers as for http; a certificate that does
// not fit is a failure whose text is the client's reason phrase.
#include "common/TlsSettings.h"
#include "engines/EngineDatabase.h"
#include "support/MainWindowTest.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <QFile>
#include <QJsonObject>
#include <QLabel>

using namespace lb;
using lb::test::ProgramFolder;
using lb::test::ScriptedDialogs;
using lb::test::TargetSim;

TEST(SubmitHttps, StartRunsTheSessionOverTlsAndCountsAsForHttp) {
    lb::test::TestCertificates certs;
    ASSERT_TRUE(certs.ok());
    TargetSim sim({"--tls-port", "0", "--cert", certs.serverCert(), "--key", certs.serverKey()});
    ASSERT_TRUE(sim.ok());
    // Trusted CA, but a certificate for another name.
    lb::test::TlsTestServer wrongName(certs.otherCert(), certs.otherKey());
    ASSERT_TRUE(wrongName.ok());

    ProgramFolder pf;
    pf.writeStandardFiles();
    QStringList lines;
    for (int i = 0; i < 7; ++i)
        lines.append(lb::test::engineLine(
            QStringLiteral("Target%1").arg(i),
            sim.tlsUrl(i % 4 == 3 ? QStringLiteral("/status/500/Server%20Error")
                                  : QStringLiteral("/delay/20/status/200/OK"))));
    lines.append(lb::test::engineLine(
        "Target7", QStringLiteral("https://127.0.0.1:%1/add").arg(wrongName.port())));
    pf.writeEngines("data/data.hlz", lines);
    lb::test::writeShopSession(pf);
    TlsSettings tls;
    tls.caFile = certs.caFile();
    tls.save(pf.dir.path());

    lb::test::InFolder cwd(pf.dir.path());
    ScriptedDialogs dialogs;
    TKestrel w(dialogs);
    w.engines().setBatchIncluded(false);
    lb::test::queueSession(w);
    ASSERT_TRUE(lb::test::submitAndWait(w));
    EXPECT_EQ(w.findChild<QLabel*>("Successfull")->text(), "6");
    EXPECT_EQ(w.findChild<QLabel*>("Failed")->text(), "2"); // the 500 and the wrong name
    EXPECT_EQ(w.findChild<QLabel*>("Posting_to")->text(), "8");

    // The posts arrived over TLS with their form bodies.
    int posts = 0;
    for (const QJsonObject& r : sim.requests()) {
        EXPECT_TRUE(r.value("tls").toBool());
        EXPECT_EQ(r.value("method").toString(), "POST");
        posts += r.value("body").toString().startsWith("&title=") ? 1 : 0;
    }
    EXPECT_EQ(posts, 7);
    QFile report(pf.dir.filePath("reports/Shop.htm"));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("TLS: certificate verify failed: IP address mismatch"));
}
