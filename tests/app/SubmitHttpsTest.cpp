// "Step3 Submit" against https targets: the run goes over TLS with the "TLS"
// section of zkt.ini and judges answers as for http; a certificate that does
// not fit is a failure whose text is the client's reason phrase.
#include "app/TKestrel.h"
#include "common/TlsSettings.h"
#include "engines/EngineDatabase.h"
#include "engines/ProgramFolder.h"
#include "support/ScriptedDialogs.h"
#include "support/TargetSim.h"
#include "support/TestCertificates.h"
#include "support/TlsTestServer.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>

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
    for (int i = 0; i < 8; ++i) {
        EngineRecord r;
        r.name = QStringLiteral("Target%1").arg(i);
        if (i == 7)
            r[EngineRecord::CgiUrl] =
                QStringLiteral("https://127.0.0.1:%1/add").arg(wrongName.port());
        else
            r[EngineRecord::CgiUrl] =
                sim.tlsUrl(i % 4 == 3 ? QStringLiteral("/status/500/Server%20Error")
                                      : QStringLiteral("/delay/20/status/200/OK"));
        r[EngineRecord::TitleVar] = QStringLiteral("title");
        r.setPost(true);
        lines.append(r.toLine());
    }
    pf.writeEngines("data/data.hlz", lines);
    pf.writeBytes("data/session/session.hlx", "[Session]\r\nCount=1\r\n[List]\r\n0=Shop\r\n");
    pf.writeBytes("data/session/Shop.hlx", "[Shop]\r\nurl=http://shop.example.com/\r\n");
    TlsSettings tls;
    tls.caFile = certs.caFile();
    tls.save(pf.dir.path());

    const QString old = QDir::currentPath();
    QDir::setCurrent(pf.dir.path());
    ScriptedDialogs dialogs;
    auto w = std::make_unique<TKestrel>(dialogs);
    auto child = [&]<class T>(T*, const char* name) {
        return w->findChild<T*>(QLatin1String(name));
    };

    child((QCheckBox*)nullptr, "Batch")->setChecked(false);
    w->engines().setBatchIncluded(false);
    auto* saved = child((QListView*)nullptr, "SesList2");
    saved->selectionModel()->setCurrentIndex(saved->model()->index(0, 0),
                                             QItemSelectionModel::ClearAndSelect);
    child((QPushButton*)nullptr, "AddSubmitSession")->click();
    auto* start = child((QPushButton*)nullptr, "SubStart");
    start->click();
    QElapsedTimer t;
    t.start();
    while (!start->isEnabled() && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_EQ(child((QLabel*)nullptr, "Successfull")->text(), "6");
    EXPECT_EQ(child((QLabel*)nullptr, "Failed")->text(),
              "2"); // the 500 and the certificate for another name
    EXPECT_EQ(child((QLabel*)nullptr, "Posting_to")->text(), "8");

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

    w.reset();
    QDir::setCurrent(old);
}
