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
    QStringList filesInFolder() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
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

TEST_F(StoreTest, MissingFileIsCreatedAsTheFresh21ByteStore) {
    TQDB db;
    db.setFileName(path("fresh"));
    EXPECT_EQ(db.fileName(), path("fresh.QDB"));
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(db.count(), 0);
    EXPECT_EQ(readFile(path("fresh.QDB")), FreshStore);
    // A name with an extension keeps it.
    db.setFileName(path("setting.set"));
    EXPECT_EQ(db.fileName(), path("setting.set"));
    EXPECT_EQ(readFile(path("setting.set")), FreshStore);
    db.save();
    EXPECT_EQ(readFile(path("setting.set")), FreshStore);
}

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
            EXPECT_EQ(db.itemIndex(), 2);
            EXPECT_EQ(db.readItem(0), "apple");
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

TEST_F(StoreTest, RoundTripsWithAndWithoutPasswordAndCompression) {
    const QByteArray text = QByteArray("<html><body>").repeated(2000) + "</body></html>";
    const QList<QByteArray> bodies = {QByteArray(), "x", text, randomBytes(70000, 3),
                                      QByteArray(600000, 'q')};
    for (const QByteArray& pw : {QByteArray(), QByteArray("pässword")}) {
        for (bool compress : {false, true}) {
            SCOPED_TRACE(QString("pw=%1 compress=%2").arg(QString(pw)).arg(compress).toStdString());
            QFile::remove(path("rt.QDB"));
            {
                TQDB db;
                db.password = pw;
                db.compression = compress;
                db.setFileName(path("rt"));
                for (int i = 0; i < bodies.size(); ++i)
                    db.addItem(QString("item%1").arg(i), bodies[i]);
                EXPECT_TRUE(db.changed());
                db.save();
                EXPECT_FALSE(db.changed());
            }
            const QByteArray onDisk = readFile(path("rt.QDB"));
            EXPECT_EQ(onDisk.mid(4, 4) == QByteArray("QPW\0", 4), !pw.isEmpty());
            EXPECT_EQ(onDisk.contains("<html><body><html>"), pw.isEmpty() && !compress);
            TQDB db;
            db.password = pw;
            db.setFileName(path("rt"));
            ASSERT_EQ(db.count(), bodies.size());
            for (int i = 0; i < bodies.size(); ++i) {
                ASSERT_TRUE(db.findKey(QString("item%1").arg(i)));
                EXPECT_EQ(db.currentItem(), bodies[i]) << i;
                EXPECT_EQ(db.entry(db.itemIndex()).flags, compress ? 1u : 0u);
            }
            if (compress) // the repeated HTML shrinks
                EXPECT_LT(db.entry(db.indexOf("item2")).length, quint32(text.size() / 4));
        }
    }
}

TEST_F(StoreTest, WrongPasswordIsRefusedBeforeAnySectionIsRead) {
    {
        TQDB db;
        db.password = "right";
        db.setFileName(path("pw"));
        db.addItem("k", "v");
        db.save();
    }
    QByteArray bytes = readFile(path("pw.QDB"));
    // Lengths that lie far past the end do not matter: the password is checked first.
    bytes.truncate(28);
    bytes += u32(0xFFFFFFF0u);
    writeFile(path("pw2.QDB"), bytes);
    for (const char* name : {"pw", "pw2"}) {
        for (const QByteArray& wrong : {QByteArray(), QByteArray("Right"), QByteArray("wrong")}) {
            TQDB db;
            db.password = wrong;
            EXPECT_EQ(messageOf([&] { db.setFileName(path(name)); }),
                      "The password you have provided is invalid");
            EXPECT_FALSE(db.isOpen());
        }
    }
    // A file without "QPW" opens whatever the password; saving with one protects it.
    TQDB plain;
    plain.password = "new";
    plain.setFileName(path("plain"));
    plain.save();
    EXPECT_EQ(readFile(path("plain.QDB")).mid(4, 4), QByteArray("QPW\0", 4));
}

TEST_F(StoreTest, KeysAreUniqueIgnoringCaseAndSortedByLowerCase) {
    TQDB db;
    db.setFileName(path("keys"));
    for (const char* k : {"b2", "B1", "a", "Zed", "_x", "9"})
        db.addItem(k, k);
    EXPECT_EQ(messageOf([&] { db.addItem("ZED", "other"); }), "Duplicate keys are not allowed");
    EXPECT_THROW(db.addItem("zed", "other"), EQDBIndexError);
    EXPECT_EQ(db.count(), 6);
    QStringList keys;
    db.listKeys(keys);
    EXPECT_EQ(keys, QStringList({"9", "_x", "a", "B1", "b2", "Zed"}));
    EXPECT_TRUE(db.findKey("zED"));
    EXPECT_EQ(db.currentItem(), "Zed");
    // Keys are 1 to 255 bytes of UTF-8 (bytes, not characters).
    EXPECT_THROW(db.addItem(QString(256, 'k'), "v"), EQDBBadKey);
    EXPECT_THROW(db.addItem(QString(128, QChar(0xe9)), "v"), EQDBBadKey);
    EXPECT_THROW(db.addItem(QString(), "v"), EQDBBadKey);
    db.addItem(QString(255, 'k'), "v");
    EXPECT_EQ(db.count(), 7);
}

TEST_F(StoreTest, CaseSensitiveItemMakesCaseCount) {
    {
        TQDB db;
        db.setFileName(path("cs"));
        db.addItem("QDBCaseSensitive", qdb::packFields({QByteArray(1, '\x01')}));
        db.addItem("key", "lower");
        EXPECT_THROW(db.addItem("KEY", "upper"), EQDBIndexError); // mode is read at open
        db.save();
    }
    TQDB db;
    db.setFileName(path("cs"));
    EXPECT_TRUE(db.caseSensitive());
    db.addItem("KEY", "upper");
    EXPECT_THROW(db.addItem("key", "again"), EQDBIndexError);
    ASSERT_TRUE(db.findKey("KEY"));
    EXPECT_EQ(db.currentItem(), "upper");
    ASSERT_TRUE(db.findKey("key"));
    EXPECT_EQ(db.currentItem(), "lower");
    EXPECT_FALSE(db.findKey("Key"));
    // The same switch saying false leaves case out.
    TQDB off;
    off.setFileName(path("off"));
    off.addItem("QDBCaseSensitive", qdb::packFields({QByteArray(1, '\0')}));
    off.save();
    off.setFileName(path("off"));
    EXPECT_FALSE(off.caseSensitive());
}

TEST_F(StoreTest, EditDeleteAndCursor) {
    TQDB db;
    db.setFileName(path("ed"));
    db.addItem("one", "1");
    db.addItem("two", "2");
    db.addItem("three", "3");
    ASSERT_TRUE(db.findKey("two"));
    db.changeCurrent("22");
    EXPECT_EQ(db.currentItem(), "22");
    const qint64 before = db.dataSize();
    db.deleteItem("THREE");
    EXPECT_EQ(db.dataSize(), before); // the body's bytes stay in the data section
    EXPECT_EQ(messageOf([&] { db.deleteItem("three"); }), "The key 'three' does not exist");
    for (int i : {-1, 2, 5}) // two items left: 0 and 1
        EXPECT_EQ(messageOf([&] { db.readItem(i); }), "The list index is out of bounds") << i;
    EXPECT_EQ(db.readItem(1), "22");
    db.first();
    EXPECT_EQ(db.currentKey(), "one");
    db.next();
    EXPECT_EQ(db.currentKey(), "two");
    db.next();
    EXPECT_TRUE(db.eof());
    db.save();
    // Reopening under its own name (the name handed back by the store itself).
    db.setFileName(db.fileName());
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(db.count(), 2);
    TQDB again;
    again.setFileName(path("ed"));
    QStringList keys;
    again.listKeys(keys);
    EXPECT_EQ(keys, QStringList({"one", "two"}));
    ASSERT_TRUE(again.findKey("two"));
    EXPECT_EQ(again.currentItem(), "22");
}

TEST_F(StoreTest, OperationsWithoutFileOrOnReadOnlyFilesAreRefused) {
    TQDB none;
    EXPECT_EQ(messageOf([&] { none.addItem("k", "v"); }), "Illegal operation - no file assigned");
    EXPECT_THROW(none.save(), EQDBNoFile);
    EXPECT_THROW(none.findKey("k"), EQDBNoFile);

    TQDB db;
    db.setFileName(path("ro"));
    db.setReadOnly(true);
    db.setFileName(path("ro"));
    EXPECT_TRUE(db.readOnly());
    EXPECT_EQ(messageOf([&] { db.addItem("k", "v"); }), path("ro.QDB") + " is marked as read-only");

    writeFile(path("empty.QDB"), QByteArray());
    TQDB e;
    EXPECT_EQ(messageOf([&] { e.setFileName(path("empty.QDB")); }),
              "File " + path("empty.QDB") + " is empty");
}

TEST_F(StoreTest, CacheKeepsRepeatedReadsOffTheWorkingFile) {
    TQDB db;
    db.cacheSize = 1000;
    db.setFileName(path("cache"));
    db.addItem("a", QByteArray(400, 'a'));
    db.addItem("b", QByteArray(400, 'b'));
    db.addItem("c", QByteArray(400, 'c'));
    db.addItem("huge", QByteArray(1000, 'h'));
    const qint64 r0 = db.workingFileReads();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(db.readItem(db.indexOf("a")), QByteArray(400, 'a'));
    EXPECT_EQ(db.workingFileReads(), r0 + 1);
    // A body as large as the cache is never cached.
    for (int i = 0; i < 3; ++i)
        db.readItem(db.indexOf("huge"));
    EXPECT_EQ(db.workingFileReads(), r0 + 4);
    // Two more 400-byte bodies do not fit beside "a": the least recent goes.
    db.readItem(db.indexOf("b"));
    db.readItem(db.indexOf("c"));
    const qint64 r1 = db.workingFileReads();
    db.readItem(db.indexOf("c"));
    EXPECT_EQ(db.workingFileReads(), r1);
    db.readItem(db.indexOf("a"));
    EXPECT_EQ(db.workingFileReads(), r1 + 1);
    // A changed item is read afresh, not from the cache.
    ASSERT_TRUE(db.findKey("c"));
    db.changeCurrent("new");
    EXPECT_EQ(db.currentItem(), "new");
}

TEST_F(StoreTest, FileChangedOnDiskSavesBesideItUnderOneDotName) {
    TQDB db;
    db.setFileName(path("setting.set"));
    db.addItem("mine", "1");
    // Somebody else writes the file meanwhile.
    QThread::msleep(20);
    writeFile(path("setting.set"), FreshStore + QByteArray("x"));
    writeFile(path("1.setting.set"), "occupied");
    db.save();
    EXPECT_EQ(db.fileName(), path("1.1.setting.set"));
    EXPECT_EQ(readFile(path("setting.set")), FreshStore + QByteArray("x"));
    EXPECT_EQ(readFile(path("1.setting.set")), "occupied");
    TQDB check;
    check.setFileName(path("1.1.setting.set"));
    EXPECT_TRUE(check.findKey("mine"));

    // An owner that agrees to overwrite gets the file replaced.
    TQDB over;
    over.OnFileChanged = [](const QString&) { return true; };
    over.setFileName(path("over"));
    over.addItem("k", "v");
    QThread::msleep(20);
    writeFile(path("over.QDB"), FreshStore);
    over.save();
    EXPECT_EQ(over.fileName(), path("over.QDB"));
    TQDB check2;
    check2.setFileName(path("over"));
    EXPECT_TRUE(check2.findKey("k"));
}

TEST_F(StoreTest, WorkingAndTemporaryFilesDoNotOutliveTheStore) {
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.path().toUtf8());
    {
        TQDB db;
        db.setFileName(path("work"));
        db.addItem("k", QByteArray(100000, 'k'));
        // The working file is open but has no name anywhere.
        EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
        db.save();
        db.addItem("k2", "v");
        db.save();
    }
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(filesInFolder(), QStringList({"work.QDB"}));
    if (oldTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp);
}

TEST_F(StoreTest, DamagedFilesGiveTheInvalidFileMessage) {
    const QString f = path("bad.QDB");
    const QString invalid = "The file " + f + " is not a valid QDB file";
    auto openMessage = [&](const QByteArray& bytes) {
        writeFile(f, bytes);
        TQDB db;
        return messageOf([&] { db.setFileName(f); });
    };
    EXPECT_EQ(openMessage("QDX\0rest-of-it"), invalid);
    EXPECT_EQ(openMessage(QByteArray("QDB\0", 4) + u32(1000)), invalid); // data past the end
    EXPECT_EQ(openMessage(QByteArray("QDB\0", 4) + u32(0) + "QIY\0" + u32(5) + QByteArray(5, 0)),
              invalid);
    // A count the index section cannot hold.
    QByteArray lying = QByteArray("QDB\0", 4) + u32(0) + QByteArray("QIX\0", 4) + u32(5) +
                       u32(0x7FFFFFFF) + QByteArray(1, 0);
    EXPECT_EQ(openMessage(lying), invalid);
    // A folder where the file should be.
    QDir(dir.path()).mkdir("folder.QDB");
    {
        TQDB db;
        EXPECT_EQ(messageOf([&] { db.setFileName(path("folder.QDB")); }),
                  "The file " + path("folder.QDB") + " is not a valid QDB file");
    }
    // An entry running past the section.
    EXPECT_EQ(openMessage(buildStore("abc", {{"k", 0, 3}}, {}, {}).chopped(1)), invalid);

    // Entries are checked when read: the bad one fails, the others work.
    writeFile(
        f, buildStore(
               "good",
               {{"good", 0, 4}, {"wrap", 0xFFFFFFF0u, 0x20}, {"past", 2, 3}, {"packed", 0, 4, 1}}));
    TQDB db;
    db.setFileName(f);
    EXPECT_EQ(db.count(), 4);
    EXPECT_EQ(db.readItem(db.indexOf("good")), "good");
    EXPECT_EQ(messageOf([&] { db.readItem(db.indexOf("wrap")); }), invalid);
    EXPECT_EQ(messageOf([&] { db.readItem(db.indexOf("past")); }), invalid);
    EXPECT_EQ(messageOf([&] { db.readItem(db.indexOf("packed")); }), invalid);
}

// Damaged files at large are the fuzz target's (fuzz_liststore); here the
// damaged streams whose refusal is known exactly.
TEST(StoreCompression, RoundTripsAndRefusesDamagedInput) {
    QList<QByteArray> inputs = {QByteArray(), "a", "abcabcabcabcabc", QByteArray(5000, 'z'),
                                randomBytes(10000, 5)};
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "<a href=\"links" + QByteArray::number(i % 37) + ".htm\">x</a>\n";
    inputs << text;
    for (const QByteArray& in : inputs) {
        const QByteArray packed = qdb::compress(in);
        const auto back = qdb::expand(packed);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, in);
    }
    EXPECT_LT(qdb::compress(text).size(), text.size() / 3);
    EXPECT_LE(qdb::compress(inputs[4]).size(), inputs[4].size() * 9 / 8 + 8);

    EXPECT_FALSE(qdb::expand(u32(0xFFFFFFFFu) + "abc").has_value());
    const QByteArray packed = qdb::compress(text);
    EXPECT_FALSE(qdb::expand(packed.chopped(1)).has_value());
    // A match reaching before the start.
    EXPECT_FALSE(
        qdb::expand(u32(5) + QByteArray("\x01\x00", 2) + QByteArray("\x20\x00", 2)).has_value());
}

TEST(StoreFields, TypedFieldsReadBackAndOverrunsAreRefused) {
    const QByteArray body = fieldsBody({"one", "", "three"});
    const auto f = qdb::unpackFields(body);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(*f, QList<QByteArray>({"one", "", "three"}));
    EXPECT_EQ(qdb::packFields(*f), body);
    // Negative lengths read back empty; lengths past the body are refused.
    const auto neg = qdb::unpackFields(u32(0xFFFFFFFFu) + u32(2) + "ok");
    ASSERT_TRUE(neg.has_value());
    EXPECT_EQ(*neg, QList<QByteArray>({"", "ok"}));
    EXPECT_FALSE(qdb::unpackFields(u32(10) + "short").has_value());
    EXPECT_FALSE(qdb::unpackFields(u32(3) + "abc" + "xy").has_value());
    EXPECT_TRUE(qdb::unpackFields(QByteArray())->isEmpty());
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
    const QByteArray damaged = QByteArray("QDB\0", 4) + u32(0) + "QIX\0" + u32(5) + u32(900) + "\0";
    run(
        {
            {{"qdb", "create", "store"}, 0, "", ""},
            {{"qdb", "create", "store"}, 1, "", kOneLine},
            {{"qdb", "put", "store", "Beta", "one", "back\\slash", "tab\there", "é"}, 0, "", ""},
            {{"qdb", "put", "store", "alpha"}, 0, "", ""},
            {{"qdb", "--compress", "put", "store", "gamma", QString(300, 'g'), ""}, 0, "", ""},
            {{"qdb", "list", "store"}, 0, "alpha\nBeta\ngamma\n", ""},
            {{"qdb", "show", "store", "BETA"},
             0,
             "one\nback\\\\slash\ntab\\x09here\n\\xc3\\xa9\n",
             ""},
            {{"qdb", "show", "store", "alpha"}, 0, "", ""},
            {{"qdb", "show", "store", "gamma"}, 0, QByteArray(300, 'g') + "\n\n", ""},
            {{"qdb", "show", "store", "gamma", "--raw"},
             0,
             fieldsBody({QByteArray(300, 'g'), QByteArray()}),
             ""},
            {{"qdb", "put", "store", "ALPHA", "x"}, 1, "", "Duplicate keys are not allowed\n"},
            {{"qdb", "show", "store", "Missing"}, 1, "", "The key 'Missing' does not exist\n"},
            {{"qdb", "delete", "store", "beta"}, 0, "", ""},
            {{"qdb", "list", "store"}, 0, "alpha\ngamma\n", ""},
            // A password protects a plain file and is checked before anything else.
            {{"qdb", "put", "p.db", "k", "secret value"}, 0, "", ""},
            {{"qdb", "put", "p.db", "k2", "v", "--password", "pw"}, 0, "", ""},
            {{"qdb", "list", "p.db"}, 1, "", "The password you have provided is invalid\n"},
            {{"qdb", "show", "--password", "pw", "p.db", "k"}, 0, "secret value\n", ""},
            // Usage errors.
            {{"qdb"}, 2, "", kOneLine},
            {{"qdb", "frob", "f"}, 2, "", kOneLine},
            {{"qdb", "show", "f"}, 2, "", kOneLine},
            {{"qdb", "list", "f", "--raw"}, 2, "", kOneLine},
            {{"qdb", "list", "bad"},
             1,
             "",
             "The file " + path("bad.QDB").toUtf8() + " is not a valid QDB file\n",
             [&] { writeFile(path("bad.QDB"), damaged); }},
            // Bytes that are not typed fields show only with --raw.
            {{"qdb", "show", "bad", "raw"},
             1,
             "",
             kOneLine,
             [&] {
                 writeFile(path("bad.QDB"),
                           buildStore(QByteArray("\x09\0\0\0abc", 7), {{"raw", 0, 7}}));
             }},
            {{"qdb", "show", "bad", "raw", "--raw"}, 0, QByteArray("\x09\0\0\0abc", 7), ""},
        },
        "store.QDB");
    EXPECT_FALSE(QFile::exists(path("f.QDB")));
    // The compressed item really is compressed on disk; the password hides the plain one.
    const QByteArray disk = readFile(path("store.QDB"));
    EXPECT_FALSE(disk.contains(QByteArray(300, 'g')));
    EXPECT_TRUE(disk.contains(QByteArray("\x05gamma", 6)));
    EXPECT_EQ(readFile(path("p.db")).mid(4, 4), QByteArray("QPW\0", 4));
    EXPECT_FALSE(readFile(path("p.db")).contains("secret value"));
}

// linkbeacon-cli profiles: the profiles' rules belong to the crawler options
// window's tests; here the calls, the printed controls and the exit codes.
TEST_F(CliTest, ProfilesCommandTable) {
    const QByteArray crlf = "\\x0d\\x0a";
    const QByteArray defaults =
        "Ckb=200\nCsec=30\nMemo3=links.shtm" + crlf + "link.shtm" + crlf + "links.htm" + crlf +
        "link.htm" + crlf + "ffa.htm" + crlf + "ffa.shtm\nMemo1=>" + crlf + "?" + crlf + "=" +
        crlf + "&" + crlf + ">" + crlf + "%" + crlf + "#" + crlf + "+" + crlf + ".exe" + crlf +
        ".gif" + crlf + ".jpg" + crlf + ".zip" + crlf + ".rar" + crlf + ".asp" + crlf + ".cgi" +
        crlf + ".pl" + crlf + ".mid" + crlf +
        "mailto:\nCstring=1\nTerms1=\nTerms2=\nBonus1=\nBonus2=\nLabel5=0\n";
    // The question is asked also when --yes answers it.
    const QByteArray overwrite =
        "Default Overwrite WARNING!!: You are about to overwrite your default settings.\n"
        " Do you wish to continue  ?\n";
    run(
        {
            {{"profiles", "show"}, 0, defaults, ""},
            // Opening created the store; the signature only reaches the disk with a save.
            // "default" asks first: without --yes nothing is stored.
            {{"profiles", "save", "default", "Terms1=a"},
             1,
             "",
             overwrite,
             [&] { EXPECT_EQ(readFile(path("setting.set")), FreshStore); }},
            {{"profiles", "save", ""},
             1,
             "",
             "No Custom Name Entered: You have not entered custom name to save in the Custom List "
             "Box\n"},
            {{"profiles", "save", "default", "Terms1=a\nb", "Terms2=x", "Bonus1=1\r\n2\n3\n4\n5",
              "Bonus2=z", "Cstring=2", "--yes"},
             0,
             "",
             overwrite},
            // Saving an existing profile edits it: untouched controls keep their values.
            {{"profiles", "save", "DEFAULT", "Ckb=50", "--yes"}, 0, "", overwrite},
            {{"profiles", "save", "work", "Csec=9"}, 0, "", ""},
            {{"profiles", "show", "Default"},
             0,
             "Ckb=50\nCsec=\nMemo3=\nMemo1=\nCstring=2\nTerms1=a" + crlf + "b\nTerms2=x\nBonus1=1" +
                 crlf + "2" + crlf + "3" + crlf + "4" + crlf + "5\nBonus2=z\nLabel5=10\n",
             ""},
            {{"profiles", "list"}, 0, "default\nwork\n", ""},
            {{"profiles", "show", "none"}, 1, "", "The key 'none' does not exist\n"},
            {{"profiles"}, 2, "", kOneLine},
            {{"profiles", "save"}, 2, "", kOneLine},
            {{"profiles", "save", "x", "Nope=1"}, 2, "", kOneLine},
            {{"profiles", "list", "x"}, 2, "", kOneLine},
            {{"profiles", "show", "a", "b"}, 2, "", kOneLine},
            {{"profiles", "list", "--yes"}, 2, "", kOneLine},
        },
        "setting.set");
}
