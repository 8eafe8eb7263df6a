#include "common/TlsSettings.h"
#include "net/HttpProt.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::TlsSettings;

namespace {

// Changes the current directory (the program folder) for one test.
struct InFolder {
    QString previous = QDir::currentPath();
    explicit InFolder(const QString& path) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(previous); }
};

// What a client made now takes from the current folder.
void expectNewClient(bool verify, const QStringList& caFiles) {
    lb::net::THttpCli c;
    EXPECT_EQ(c.Tls.verify, verify);
    EXPECT_EQ(c.Tls.caFiles, caFiles);
}

} // namespace

TEST(HttpClientSettings, EveryNewClientTakesTheFolderTlsSettingsAsTheyAreNow) {
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    InFolder in(first.path());
    expectNewClient(true, {});
    TlsSettings s;
    s.caFile = "certs/ca.pem";
    s.verify = false;
    s.save(first.path());
    expectNewClient(false, {first.filePath("certs/ca.pem")});
    // A change of the same length, written right after, still counts.
    s.caFile = "certs/cb.pem";
    s.save(first.path());
    expectNewClient(false, {first.filePath("certs/cb.pem")});
    // Another folder has its own file, or none.
    QDir::setCurrent(second.path());
    expectNewClient(true, {});
    TlsSettings other;
    other.caFile = "/etc/ssl/elsewhere.pem";
    other.save(second.path());
    expectNewClient(true, {"/etc/ssl/elsewhere.pem"});
    QDir::setCurrent(first.path());
    expectNewClient(false, {first.filePath("certs/cb.pem")});
    ASSERT_TRUE(QFile::remove(first.filePath("zkt.ini")));
    expectNewClient(true, {});
}
