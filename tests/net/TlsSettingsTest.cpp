// The "TLS" section of zkt.ini as read, and as every new client takes it.
#include "common/TlsSettings.h"
#include "common/IniFile.h"
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

TEST(TlsSettingsFile, DefaultsAndValuesAsWritten) {
    QTemporaryDir folder;
    lb::TlsSettings s = lb::TlsSettings::load(folder.path());
    EXPECT_TRUE(s.verify);
    EXPECT_TRUE(s.caFile.isEmpty());
    EXPECT_TRUE(s.caFilePath(folder.path()).isEmpty());

    lb::IniFile ini(folder.filePath("zkt.ini"));
    ini.writeString("tls", "cafile", "/etc/extra.pem");
    ini.writeString("TLS", "Verify", "no");
    s = lb::TlsSettings::load(folder.path());
    EXPECT_TRUE(s.verify); // only "0" switches the checks off
    EXPECT_EQ(s.caFilePath(folder.path()), "/etc/extra.pem");
    ini.writeString("TLS", "CAFile", "\\data\\roots.pem");
    ini.writeString("TLS", "Verify", "0");
    s = lb::TlsSettings::load(folder.path());
    EXPECT_FALSE(s.verify);
    EXPECT_EQ(s.caFilePath(folder.path()), folder.path() + "/data/roots.pem");
}
