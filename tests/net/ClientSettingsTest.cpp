#include "common/TlsSettings.h"
#include "net/HttpProt.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using lb::TlsSettings;
using lb::net::THttpCli;

namespace {

// Changes the current directory (the program folder) for one test.
struct InFolder {
    QString previous = QDir::currentPath();
    explicit InFolder(const QString& path) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(previous); }
};

} // namespace

TEST(HttpClientSettings, EveryNewClientTakesTheFolderTlsSettingsAsTheyAreNow) {
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    InFolder in(first.path());
    {
        THttpCli c;
        EXPECT_TRUE(c.Tls.verify);
        EXPECT_TRUE(c.Tls.caFiles.isEmpty());
    }
    TlsSettings s;
    s.caFile = "certs/ca.pem";
    s.verify = false;
    s.save(first.path());
    {
        THttpCli c;
        EXPECT_FALSE(c.Tls.verify);
        EXPECT_EQ(c.Tls.caFiles, QStringList{first.filePath("certs/ca.pem")});
    }
    // A change of the same length, written right after, still counts.
    s.caFile = "certs/cb.pem";
    s.save(first.path());
    {
        THttpCli c;
        EXPECT_EQ(c.Tls.caFiles, QStringList{first.filePath("certs/cb.pem")});
    }
    // Another folder has its own file, or none.
    QDir::setCurrent(second.path());
    {
        THttpCli c;
        EXPECT_TRUE(c.Tls.verify);
        EXPECT_TRUE(c.Tls.caFiles.isEmpty());
    }
    TlsSettings other;
    other.caFile = "/etc/ssl/elsewhere.pem";
    other.save(second.path());
    {
        THttpCli c;
        EXPECT_TRUE(c.Tls.verify);
        EXPECT_EQ(c.Tls.caFiles, QStringList{"/etc/ssl/elsewhere.pem"});
    }
    QDir::setCurrent(first.path());
    {
        THttpCli c;
        EXPECT_FALSE(c.Tls.verify);
        EXPECT_EQ(c.Tls.caFiles, QStringList{first.filePath("certs/cb.pem")});
    }
    ASSERT_TRUE(QFile::remove(first.filePath("zkt.ini")));
    {
        THttpCli c;
        EXPECT_TRUE(c.Tls.verify);
        EXPECT_TRUE(c.Tls.caFiles.isEmpty());
    }
}
