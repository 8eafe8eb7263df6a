// The list store: file layout, cipher, keys, items, cache and save rules; and
// linkbeacon-cli qdb and profiles, run as a user runs them in a program folder.
#include "liststore/QDB.h"
#include "liststore/QDBCompress.h"
#include "liststore/QDBFields.h"
#include "liststore/StoreFiles.h"
#include "support/CliRun.h"
#include "support/Files.h"

#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

using namespace lb;
using namespace lb::test;

namespace {

class StoreTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    // A store of path(name) with the given items added (not saved).
    void open(TQDB& db, const QString& name, const QList<QPair<QString, QByteArray>>& items = {}) {
        db.setFileName(path(name));
        for (const auto& [key, body] : items)
            db.addItem(key, body);
    }
    QTemporaryDir dir;
};

QByteArray randomBytes(qsizetype n, quint32 seed) {
    QRandomGenerator g(seed);
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char(g.bounded(256));
    return b;
}

} // namespace

TEST_F(StoreTest, ReadsFilesLaidOutByHandWithUnsortedIndexAndPassword) {
    // Bodies in the data section in one order, index entries in another; the
    // section over half a megabyte, so the keystream starts afresh in its
    // second chunk.
    const QByteArray big = randomBytes(524288 + 700, 7);
    const QByteArray data = "zebra-body" + QByteArray("apple") + big;
    const quint32 bigSize = quint32(big.size());
    for (const QByteArray& pw : {QByteArray(), QByteArray("secret")}) {
        writeFile(
            path("hand.QDB"),
            buildStore(data, {{"Zebra", 0, 10}, {"mango", 15, bigSize}, {"apple", 10, 5}}, pw));
        {
            TQDB db;
            db.password = pw;
            db.setFileName(path("hand.QDB"));
            ASSERT_EQ(db.count(), 3);
            QStringList keys;
            db.listKeys(keys);
            EXPECT_EQ(keys, QStringList({"apple", "mango", "Zebra"}));
            EXPECT_TRUE(db.findKey("ZEBRA"));
            EXPECT_EQ(db.currentItem(), "zebra-body");
            EXPECT_EQ(db.readItem(1), big);
            db.addItem("small", "s");
            db.deleteItem("small");
            db.save();
        }
        // Written back: the bytes of the independent writer, index in key order.
        EXPECT_EQ(readFile(path("hand.QDB")),
                  buildStore(data + "s",
                             {{"apple", 10, 5}, {"mango", 15, bigSize}, {"Zebra", 0, 10}}, pw));
    }
}

TEST_F(StoreTest, WrongPasswordIsRefusedBeforeAnySectionIsRead) {
    {
        TQDB db;
        db.password = "right";
        open(db, "pw", {{"k", "v"}});
        db.save();
    }
    QByteArray bytes = readFile(path("pw.QDB"));
    // Lengths that lie far past the end do not matter: the password is checked first.
    bytes.truncate(28);
    bytes += u32(0xFFFFFFF0u);
    writeFile(path("pw2.QDB"), bytes);
    for (const char* name : {"pw", "pw2"}) {
        for (const QByteArray& wrong : {QByteArray(), QByteArray("Right")}) {
            TQDB db;
            db.password = wrong;
            EXPECT_EQ(messageOf([&] { db.setFileName(path(name)); }),
                      "The password you have provided is invalid");
            EXPECT_FALSE(db.isOpen());
        }
    }
}

TEST_F(StoreTest, KeysAreUniqueIgnoringCaseAndSortedByLowerCase) {
    TQDB db;
    open(db, "keys", {{"b2", "b2"}, {"B1", "B1"}, {"_x", "_x"}, {"Zed", "Zed"}});
    EXPECT_EQ(messageOf([&] { db.addItem("ZED", "other"); }), "Duplicate keys are not allowed");
    QStringList keys;
    db.listKeys(keys);
    EXPECT_EQ(keys, QStringList({"_x", "B1", "b2", "Zed"}));
    EXPECT_TRUE(db.findKey("zED"));
    EXPECT_EQ(db.currentItem(), "Zed");
    // Keys are 1 to 255 bytes of UTF-8 (bytes, not characters).
    EXPECT_THROW(db.addItem(QString(256, 'k'), "v"), EQDBBadKey);
    EXPECT_THROW(db.addItem(QString(128, QChar(0xe9)), "v"), EQDBBadKey);
    EXPECT_THROW(db.addItem(QString(), "v"), EQDBBadKey);
    db.addItem(QString(255, 'k'), "v");
    EXPECT_EQ(db.count(), 5);
}

TEST_F(StoreTest, CaseSensitiveItemMakesCaseCount) {
    {
        TQDB db;
        open(db, "cs", {{"QDBCaseSensitive", qdb::packFields({QByteArray(1, '\x01')})}});
        db.addItem("key", "lower");
        EXPECT_THROW(db.addItem("KEY", "upper"), EQDBIndexError); // mode is read at open
        db.save();
    }
    TQDB db;
    open(db, "cs", {{"KEY", "upper"}});
    EXPECT_TRUE(db.caseSensitive());
    ASSERT_TRUE(db.findKey("key"));
    EXPECT_EQ(db.currentItem(), "lower");
    EXPECT_FALSE(db.findKey("Key"));
}

TEST_F(StoreTest, EditDeleteAndCursor) {
    TQDB db;
    open(db, "ed", {{"one", "1"}, {"two", "2"}, {"three", "3"}});
    ASSERT_TRUE(db.findKey("two"));
    db.changeCurrent("22");
    const qint64 before = db.dataSize();
    db.deleteItem("THREE");
    EXPECT_EQ(db.dataSize(), before); // the body's bytes stay in the data section
    EXPECT_EQ(messageOf([&] { db.deleteItem("three"); }), "The key 'three' does not exist");
    for (int i : {-1, 2}) // two items left: 0 and 1
        EXPECT_EQ(messageOf([&] { db.readItem(i); }), "The list index is out of bounds") << i;
    db.first();
    db.next();
    EXPECT_EQ(db.currentKey(), "two");
    db.next();
    EXPECT_TRUE(db.eof());
    db.save();
    TQDB again;
    open(again, "ed");
    EXPECT_EQ(again.count(), 2);
    ASSERT_TRUE(again.findKey("two"));
    EXPECT_EQ(again.currentItem(), "22");
}

TEST_F(StoreTest, OperationsWithoutFileOrOnAnEmptyFileAreRefused) {
    TQDB none;
    EXPECT_EQ(messageOf([&] { none.addItem("k", "v"); }), "Illegal operation - no file assigned");

    writeFile(path("empty.QDB"), QByteArray());
    TQDB e;
    EXPECT_EQ(messageOf([&] { e.setFileName(path("empty.QDB")); }),
              "File " + path("empty.QDB") + " is empty");
}

TEST_F(StoreTest, FileChangedOnDiskSavesBesideItUnderOneDotName) {
    TQDB db;
    open(db, "setting.set", {{"mine", "1"}});
    // Somebody else writes the file meanwhile.
    QThread::msleep(20);
    writeFile(path("setting.set"), FreshStore + QByteArray("x"));
    writeFile(path("1.setting.set"), "occupied");
    db.save();
    EXPECT_EQ(db.fileName(), path("1.1.setting.set"));
    EXPECT_EQ(readFile(path("setting.set")), FreshStore + QByteArray("x"));
    EXPECT_EQ(readFile(path("1.setting.set")), "occupied");
    TQDB check;
    open(check, "1.1.setting.set");
    EXPECT_TRUE(check.findKey("mine"));
}

// Damaged files at large are fuzz_liststore's; here the message, and that
// entries are checked when read: the bad one fails, the others work.
TEST_F(StoreTest, DamagedFilesGiveTheInvalidFileMessage) {
    const QString f = path("bad.QDB");
    const QString invalid = "The file " + f + " is not a valid QDB file";
    auto openMessage = [&](const QByteArray& bytes) {
        writeFile(f, bytes);
        TQDB db;
        return messageOf([&] { db.setFileName(f); });
    };
    EXPECT_EQ(openMessage("QDX\0rest-of-it"), invalid);
    // A count the index section cannot hold.
    EXPECT_EQ(openMessage(QByteArray("QDB\0", 4) + u32(0) + QByteArray("QIX\0", 4) + u32(5) +
                          u32(0x7FFFFFFF) + QByteArray(1, 0)),
              invalid);
    // An entry running past the section.
    EXPECT_EQ(openMessage(buildStore("abc", {{"k", 0, 3}}, {}, {}).chopped(1)), invalid);

    writeFile(
        f, buildStore(
               "good",
               {{"good", 0, 4}, {"wrap", 0xFFFFFFF0u, 0x20}, {"past", 2, 3}, {"packed", 0, 4, 1}}));
    TQDB db;
    db.setFileName(f);
    EXPECT_EQ(db.readItem(db.indexOf("good")), "good");
    for (const char* key : {"wrap", "past", "packed"})
        EXPECT_EQ(messageOf([&] { db.readItem(db.indexOf(key)); }), invalid) << key;
}

// Damaged streams at large are the fuzz target's; here those whose refusal is
// known exactly.
TEST(StoreCompression, RoundTripsAndRefusesDamagedInput) {
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "<a href=\"links" + QByteArray::number(i % 37) + ".htm\">x</a>\n";
    const QByteArray noise = randomBytes(10000, 5);
    for (const QByteArray& in : {QByteArray(), QByteArray("abcabcabcabcabc"), noise, text})
        EXPECT_EQ(qdb::expand(qdb::compress(in)), std::optional<QByteArray>(in));
    EXPECT_LT(qdb::compress(text).size(), text.size() / 3);
    EXPECT_LE(qdb::compress(noise).size(), noise.size() * 9 / 8 + 8);

    EXPECT_FALSE(qdb::expand(u32(0xFFFFFFFFu) + "abc").has_value());
    EXPECT_FALSE(qdb::expand(qdb::compress(text).chopped(1)).has_value());
    // A match reaching before the start.
    EXPECT_FALSE(
        qdb::expand(u32(5) + QByteArray("\x01\x00", 2) + QByteArray("\x20\x00", 2)).has_value());
}

// Fields written and read back are the view's tests.
TEST(StoreFields, NegativeLengthsReadEmptyAndOverrunsAreRefused) {
    // Negative lengths read back empty; lengths past the body are refused.
    EXPECT_EQ(qdb::unpackFields(u32(0xFFFFFFFFu) + u32(2) + "ok"),
              std::optional<QList<QByteArray>>({"", "ok"}));
    EXPECT_FALSE(qdb::unpackFields(u32(10) + "short").has_value());
    EXPECT_FALSE(qdb::unpackFields(u32(3) + "abc" + "xy").has_value());
}

namespace {

// One call of a command table: what it prints and its exit code; kOneLine
// stands for any single line on stderr.
const QByteArray kOneLine = "<one line>";
struct Step {
    QStringList args;
    int exit;
    QByteArray out, err;
    std::function<void()> before = {};
};

class CliTest : public ::testing::Test {
protected:
    QString path(const QString& rel) const { return dir.path() + "/" + rel; }
    // Runs the steps in order in one folder; a refused call leaves `watched` as it was.
    void run(const std::vector<Step>& steps, const QString& watched) {
        lb::test::CliOptions options;
        options.env.insert("TMPDIR", tmp.path());
        for (const Step& step : steps) {
            const std::string call = step.args.join(' ').toStdString();
            if (step.before)
                step.before();
            const QByteArray fileBefore = readFile(path(watched));
            const lb::test::CliResult r = lb::test::runCli(dir.path(), step.args, options);
            EXPECT_EQ(r.exitCode, step.exit) << call;
            EXPECT_EQ(r.out, step.out) << call;
            if (step.err == kOneLine)
                EXPECT_EQ(r.err.count('\n'), 1) << call << ": " << r.err.constData();
            else
                EXPECT_EQ(r.err, step.err) << call;
            if (step.exit != 0)
                EXPECT_EQ(readFile(path(watched)), fileBefore) << call;
        }
        // Neither the store's working file nor a temporary one outlives a call.
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(",").toStdString();
    }
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

// linkbeacon-cli qdb: the store's own rules are the tests above; here each
// subcommand, option and the way fields are printed.
TEST_F(CliTest, QdbCommandTable) {
    const QByteArray notFields("\x09\0\0\0abc", 7);
    // clang-format off
    run({
        {{"qdb", "create", "store"}, 0, "", ""},
        {{"qdb", "create", "store"}, 1, "", kOneLine},
        {{"qdb", "put", "store", "Beta", "one", "back\\slash", "tab\there", "é"}, 0, "", ""},
        {{"qdb", "--compress", "put", "store", "gamma", QString(300, 'g'), ""}, 0, "", ""},
        {{"qdb", "list", "store"}, 0, "Beta\ngamma\n", ""},
        {{"qdb", "show", "store", "BETA"}, 0, "one\nback\\\\slash\ntab\\x09here\n\\xc3\\xa9\n", ""},
        {{"qdb", "show", "store", "gamma"}, 0, QByteArray(300, 'g') + "\n\n", ""},
        {{"qdb", "show", "store", "gamma", "--raw"}, 0, fieldsBody({QByteArray(300, 'g'), {}}), ""},
        {{"qdb", "delete", "store", "beta"}, 0, "", ""},
        {{"qdb", "list", "store"}, 0, "gamma\n", ""},
        // A password protects a plain file and is checked before anything else.
        {{"qdb", "put", "p.db", "k", "secret value"}, 0, "", ""},
        {{"qdb", "put", "p.db", "k2", "v", "--password", "pw"}, 0, "", ""},
        {{"qdb", "list", "p.db"}, 1, "", "The password you have provided is invalid\n"},
        {{"qdb", "show", "--password", "pw", "p.db", "k"}, 0, "secret value\n", ""},
        // Usage errors.
        {{"qdb"}, 2, "", kOneLine},
        {{"qdb", "list", "f", "--raw"}, 2, "", kOneLine},
        // Bytes that are not typed fields show only with --raw.
        {{"qdb", "show", "bad", "raw"}, 1, "", kOneLine,
         [&] { writeFile(path("bad.QDB"), buildStore(notFields, {{"raw", 0, 7}})); }},
        {{"qdb", "show", "bad", "raw", "--raw"}, 0, notFields, ""},
    }, "store.QDB");
    // clang-format on
    EXPECT_FALSE(QFile::exists(path("f.QDB")));
    // The compressed item really is compressed on disk; the password hides the plain one.
    const QByteArray disk = readFile(path("store.QDB"));
    EXPECT_FALSE(disk.contains(QByteArray(300, 'g')));
    EXPECT_TRUE(disk.contains(QByteArray("\x05gamma", 6)));
    EXPECT_FALSE(readFile(path("p.db")).contains("secret value"));
}

// linkbeacon-cli profiles: the profiles' rules belong to the crawler options
// window's tests; here the calls, the printed controls and the exit codes.
TEST_F(CliTest, ProfilesCommandTable) {
    auto crlf = [](QStringList lines) { return lines.join("\\x0d\\x0a").toUtf8(); };
    const QByteArray defaults =
        "Ckb=200\nCsec=30\nMemo3=" +
        crlf({"links.shtm", "link.shtm", "links.htm", "link.htm", "ffa.htm", "ffa.shtm"}) +
        "\nMemo1=" +
        crlf({">", "?", "=", "&", ">", "%", "#", "+", ".exe", ".gif", ".jpg", ".zip", ".rar",
              ".asp", ".cgi", ".pl", ".mid", "mailto:"}) +
        "\nCstring=1\nTerms1=\nTerms2=\nBonus1=\nBonus2=\nLabel5=0\n";
    // The question is asked also when --yes answers it.
    const QByteArray overwrite =
        "Default Overwrite WARNING!!: You are about to overwrite your default settings.\n"
        " Do you wish to continue  ?\n";
    const QByteArray noName = "No Custom Name Entered: You have not entered custom name to save "
                              "in the Custom List Box\n";
    const QByteArray edited =
        "Ckb=50\nCsec=\nMemo3=\nMemo1=\nCstring=2\nTerms1=" + crlf({"a", "b"}) +
        "\nTerms2=x\nBonus1=" + crlf({"1", "2", "3", "4", "5"}) + "\nBonus2=z\nLabel5=10\n";
    // clang-format off
    run({
        {{"profiles", "show"}, 0, defaults, ""},
        // Opening created the store; the signature only reaches the disk with a save.
        // "default" asks first: without --yes nothing is stored.
        {{"profiles", "save", "default", "Terms1=a"}, 1, "", overwrite,
         [&] { EXPECT_EQ(readFile(path("setting.set")), FreshStore); }},
        {{"profiles", "save", ""}, 1, "", noName},
        {{"profiles", "save", "default", "Terms1=a\nb", "Terms2=x", "Bonus1=1\r\n2\n3\n4\n5",
          "Bonus2=z", "Cstring=2", "--yes"}, 0, "", overwrite},
        // Saving an existing profile edits it: untouched controls keep their values.
        {{"profiles", "save", "DEFAULT", "Ckb=50", "--yes"}, 0, "", overwrite},
        {{"profiles", "save", "work", "Csec=9"}, 0, "", ""},
        {{"profiles", "show", "Default"}, 0, edited, ""},
        {{"profiles", "list"}, 0, "default\nwork\n", ""},
        {{"profiles", "show", "none"}, 1, "", "The key 'none' does not exist\n"},
        {{"profiles"}, 2, "", kOneLine},
        {{"profiles", "save", "x", "Nope=1"}, 2, "", kOneLine},
    }, "setting.set");
    // clang-format on
}
