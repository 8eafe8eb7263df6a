// linkbeacon-cli qdb and profiles, run as a user runs them in a program folder.
#include "liststore/StoreFiles.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>

using namespace lb::test;

namespace {

class CliTest : public ::testing::Test {
protected:
    lb::test::CliResult cli(const QStringList& args) {
        lb::test::CliOptions options;
        options.env.insert("TMPDIR", tmp.path());
        return lb::test::runCli(dir.path(), args, options);
    }
    QString path(const QString& rel) const { return dir.path() + "/" + rel; }
    QStringList leftovers() const {
        QStringList all = QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            if (!f.endsWith(".QDB") && !f.endsWith(".set") && !f.endsWith(".db"))
                all << f;
        return all;
    }
    QTemporaryDir dir;
    QTemporaryDir tmp;
};

} // namespace

TEST_F(CliTest, QdbCreatePutListShowDelete) {
    lb::test::CliResult r = cli({"qdb", "create", "store"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readAll(path("store.QDB")), FreshStore);
    r = cli({"qdb", "create", "store"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_EQ(readAll(path("store.QDB")), FreshStore);

    EXPECT_EQ(cli({"qdb", "put", "store", "Beta", "one", "back\\slash", "tab\there", "é"}).exitCode,
              0);
    EXPECT_EQ(cli({"qdb", "put", "store", "alpha"}).exitCode, 0);
    EXPECT_EQ(cli({"qdb", "--compress", "put", "store", "gamma", QString(300, 'g'), ""}).exitCode,
              0);
    r = cli({"qdb", "list", "store"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "alpha\nBeta\ngamma\n");

    r = cli({"qdb", "show", "store", "BETA"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "one\nback\\\\slash\ntab\\x09here\n\\xc3\\xa9\n");
    EXPECT_EQ(cli({"qdb", "show", "store", "alpha"}).out, "");
    EXPECT_EQ(cli({"qdb", "show", "store", "gamma"}).out, QByteArray(300, 'g') + "\n\n");
    r = cli({"qdb", "show", "store", "gamma", "--raw"});
    EXPECT_EQ(r.out, fieldsBody({QByteArray(300, 'g'), QByteArray()}));

    // The compressed item really is compressed on disk.
    const QByteArray disk = readAll(path("store.QDB"));
    EXPECT_FALSE(disk.contains(QByteArray(300, 'g')));
    EXPECT_TRUE(disk.contains(QByteArray("\x05gamma", 6)));

    const QByteArray before = readAll(path("store.QDB"));
    r = cli({"qdb", "put", "store", "ALPHA", "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Duplicate keys are not allowed\n");
    r = cli({"qdb", "show", "store", "Missing"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The key 'Missing' does not exist\n");
    r = cli({"qdb", "delete", "store", "Missing"});
    EXPECT_EQ(r.err, "The key 'Missing' does not exist\n");
    r = cli({"qdb", "put", "store", QString(256, 'k')});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_EQ(readAll(path("store.QDB")), before);

    EXPECT_EQ(cli({"qdb", "delete", "store", "beta"}).exitCode, 0);
    EXPECT_EQ(cli({"qdb", "list", "store"}).out, "alpha\ngamma\n");
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(",").toStdString();
}

TEST_F(CliTest, QdbPasswordProtectsAndIsCheckedFirst) {
    EXPECT_EQ(cli({"qdb", "put", "p.db", "k", "secret value"}).exitCode, 0);
    EXPECT_TRUE(readAll(path("p.db")).contains("secret value"));
    // Saving with a password protects a plain file.
    EXPECT_EQ(cli({"qdb", "put", "p.db", "k2", "v", "--password", "pw"}).exitCode, 0);
    const QByteArray protectedBytes = readAll(path("p.db"));
    EXPECT_EQ(protectedBytes.mid(4, 4), QByteArray("QPW\0", 4));
    EXPECT_FALSE(protectedBytes.contains("secret value"));
    for (const QStringList& wrong : {QStringList{}, QStringList{"--password", "PW"}}) {
        const lb::test::CliResult r = cli(QStringList{"qdb", "list", "p.db"} + wrong);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "The password you have provided is invalid\n");
        EXPECT_EQ(cli(QStringList{"qdb", "delete", "p.db", "k"} + wrong).exitCode, 1);
    }
    EXPECT_EQ(readAll(path("p.db")), protectedBytes);
    const lb::test::CliResult r = cli({"qdb", "show", "--password", "pw", "p.db", "k"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "secret value\n");
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliTest, QdbBadArgumentsAndDamagedFiles) {
    for (const QStringList& bad :
         {QStringList{"qdb"}, QStringList{"qdb", "frob", "f"}, QStringList{"qdb", "list"},
          QStringList{"qdb", "show", "f"}, QStringList{"qdb", "list", "f", "--nope"},
          QStringList{"qdb", "list", "f", "--password"}, QStringList{"qdb", "list", "f", "--raw"},
          QStringList{"qdb", "create", "f", "g"}}) {
        const lb::test::CliResult r = cli(bad);
        EXPECT_EQ(r.exitCode, 2) << bad.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1);
    }
    EXPECT_FALSE(QFile::exists(path("f.QDB")));

    const QString bad = path("bad.QDB");
    const QByteArray damaged = QByteArray("QDB\0", 4) + u32(0) + "QIX\0" + u32(5) + u32(900) + "\0";
    writeAll(bad, damaged);
    lb::test::CliResult r = cli({"qdb", "put", "bad", "k"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The file " + bad.toUtf8() + " is not a valid QDB file\n");
    EXPECT_EQ(readAll(bad), damaged);

    // One unreadable entry: list still works, that item alone fails.
    writeAll(bad, buildStore("ok", {{"good", 0, 2}, {"wrap", 0xFFFFFFFFu, 2}}));
    r = cli({"qdb", "list", "bad"});
    EXPECT_EQ(r.out, "good\nwrap\n");
    EXPECT_EQ(cli({"qdb", "show", "bad", "good", "--raw"}).out, "ok");
    r = cli({"qdb", "show", "bad", "wrap"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The file " + bad.toUtf8() + " is not a valid QDB file\n");
    // Raw bytes that are not typed fields show only with --raw.
    writeAll(bad, buildStore(QByteArray("\x09\0\0\0abc", 7), {{"raw", 0, 7}}));
    EXPECT_EQ(cli({"qdb", "show", "bad", "raw"}).exitCode, 1);
    EXPECT_EQ(cli({"qdb", "show", "bad", "raw", "--raw"}).out, QByteArray("\x09\0\0\0abc", 7));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliTest, ProfilesShowSaveAndList) {
    lb::test::CliResult r = cli({"profiles", "show"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "Ckb=200\nCsec=30\n"
              "Memo3=links.shtm\\x0d\\x0alink.shtm\\x0d\\x0alinks.htm\\x0d\\x0alink.htm"
              "\\x0d\\x0affa.htm\\x0d\\x0affa.shtm\n"
              "Memo1=>\\x0d\\x0a?\\x0d\\x0a=\\x0d\\x0a&\\x0d\\x0a>\\x0d\\x0a%\\x0d\\x0a#"
              "\\x0d\\x0a+\\x0d\\x0a.exe\\x0d\\x0a.gif\\x0d\\x0a.jpg\\x0d\\x0a.zip\\x0d\\x0a"
              ".rar\\x0d\\x0a.asp\\x0d\\x0a.cgi\\x0d\\x0a.pl\\x0d\\x0a.mid\\x0d\\x0amailto:\n"
              "Cstring=1\nTerms1=\nTerms2=\nBonus1=\nBonus2=\nLabel5=0\n");
    // Opening created the store; the signature only reaches the disk with a save.
    EXPECT_EQ(readAll(path("setting.set")), FreshStore);

    // "default" asks first: without --yes nothing is stored.
    r = cli({"profiles", "save", "default", "Terms1=a"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Default Overwrite WARNING!!: You are about to overwrite your default "
                     "settings.\n Do you wish to continue  ?\n");
    EXPECT_EQ(readAll(path("setting.set")), FreshStore);
    r = cli({"profiles", "save", ""});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "No Custom Name Entered: You have not entered custom name to save in the "
                     "Custom List Box\n");

    r = cli({"profiles", "save", "default", "Terms1=a\nb", "Terms2=x", "Bonus1=1\r\n2\n3\n4\n5",
             "Bonus2=z", "Cstring=2", "--yes"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    r = cli({"profiles", "show"});
    EXPECT_EQ(r.out, "Ckb=\nCsec=\nMemo3=\nMemo1=\nCstring=2\nTerms1=a\\x0d\\x0ab\nTerms2=x\n"
                     "Bonus1=1\\x0d\\x0a2\\x0d\\x0a3\\x0d\\x0a4\\x0d\\x0a5\nBonus2=z\nLabel5=10\n");
    // Saving an existing profile edits it: untouched controls keep their values.
    EXPECT_EQ(cli({"profiles", "save", "DEFAULT", "Ckb=50", "--yes"}).exitCode, 0);
    EXPECT_EQ(cli({"profiles", "save", "work", "Csec=9"}).exitCode, 0);
    r = cli({"profiles", "show", "Default"});
    EXPECT_TRUE(r.out.startsWith("Ckb=50\nCsec=\n"));
    EXPECT_TRUE(r.out.endsWith("Label5=10\n"));
    EXPECT_EQ(cli({"profiles", "list"}).out, "default\nwork\n");
    r = cli({"profiles", "show", "none"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The key 'none' does not exist\n");

    // The file holds the panel's signature and nine text + NUL fields per profile.
    EXPECT_EQ(cli({"qdb", "list", "setting.set"}).out,
              "default\nQF.0000\nQF.0001\nQF.0002\nQF.0003\nQF.0004\nQF.0005\nQF.0006\nQF.0007\n"
              "QF.0008\nwork\n");
    EXPECT_EQ(cli({"qdb", "show", "setting.set", "QF.0008", "--raw"}).out,
              QByteArray("\x06.Bonus2.TMemo"));
    EXPECT_EQ(cli({"qdb", "show", "setting.set", "work"}).out,
              "\\x00\n9\\x00\n\\x00\n\\x00\n\\x00\n\\x00\n\\x00\n\\x00\n\\x00\n");

    for (const QStringList& bad :
         {QStringList{"profiles"}, QStringList{"profiles", "save"},
          QStringList{"profiles", "save", "x", "Nope=1"}, QStringList{"profiles", "list", "x"},
          QStringList{"profiles", "show", "a", "b"}, QStringList{"profiles", "list", "--yes"}}) {
        EXPECT_EQ(cli(bad).exitCode, 2) << bad.join(' ').toStdString();
    }
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(CliTest, ProfilesRefuseAStoreMadeForAnotherPanel) {
    // Signature of another panel, plus a data item: refused, file untouched.
    EXPECT_EQ(cli({"qdb", "put", "setting.set", "QF.0000"}).exitCode, 0);
    EXPECT_EQ(cli({"qdb", "put", "setting.set", "mine", "x"}).exitCode, 0);
    const QByteArray before = readAll(path("setting.set"));
    for (const QStringList& args :
         {QStringList{"profiles", "list"}, QStringList{"profiles", "save", "p", "Ckb=1"}}) {
        const lb::test::CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "File doesn't match panel\n");
    }
    EXPECT_EQ(readAll(path("setting.set")), before);
    // Without data items the panel's own signature is written.
    EXPECT_EQ(cli({"qdb", "delete", "setting.set", "mine"}).exitCode, 0);
    EXPECT_EQ(cli({"profiles", "save", "p", "Ckb=1"}).exitCode, 0);
    EXPECT_EQ(cli({"qdb", "show", "setting.set", "QF.0000", "--raw"}).out,
              QByteArray("\x06.Ckb.TEdit"));
    EXPECT_EQ(cli({"profiles", "list"}).out, "p\n");
}
