// The list store on any file, with and without a password: opening and
// reading every item either works or raises one of the store's own
// exceptions (anything else escapes and counts as a crash); a file that opens
// keeps every readable item through an added item, a save and a reopen. And
// items written by the store read back the same, the wrong password refused.
//
// Input: byte 0 options (bit 0 password, bit 1 compression, bit 2 the rest
// is a list of items to write instead of a file to read), then the bytes.
#include "FuzzCheck.h"

#include "liststore/QDB.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace {

using Items = std::vector<std::pair<QByteArray, QByteArray>>;

// Every item of an open store, sorted; throws the store's exceptions.
Items readAll(lb::TQDB& db) {
    Items items;
    for (int i = 0; i < db.count(); ++i)
        items.emplace_back(db.keyBytes(i), db.readItem(i));
    std::sort(items.begin(), items.end());
    return items;
}

void writeFile(const QString& path, const char* data, qsizetype size) {
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(data, size) == size);
}

// A file from anywhere: the store's exceptions only, and what it read survives a save.
void readHostile(const QString& path, const QByteArray& password, bool compression) {
    Items before;
    {
        lb::TQDB db;
        db.password = password;
        db.compression = compression;
        try {
            db.setFileName(path);
            before = readAll(db);
            // The cursor walks every key once.
            int steps = 0;
            for (db.first(); !db.eof() && steps <= db.count(); db.next())
                ++steps;
            FUZZ_CHECK(steps == db.count());
            db.addItem(QStringLiteral("fuzz added item"), QByteArrayLiteral("added"));
            db.save();
        } catch (const lb::EQDBError&) {
            return;
        }
    }
    lb::TQDB again;
    again.password = password;
    again.setFileName(path); // written by the store itself: must open
    Items after = readAll(again);
    const auto added =
        std::find(after.begin(), after.end(),
                  std::make_pair(QByteArrayLiteral("fuzz added item"), QByteArrayLiteral("added")));
    FUZZ_CHECK(added != after.end());
    after.erase(added);
    FUZZ_CHECK(after == before);
}

// Items from the input: written, saved, read back.
void roundTrip(const QString& path, const QByteArray& password, bool compression,
               const QByteArray& in) {
    std::map<QString, QByteArray> written;
    {
        lb::TQDB db;
        db.password = password;
        db.compression = compression;
        lb::TQDB::createEmptyFile(path, password);
        db.setFileName(path);
        qsizetype at = 0;
        while (at < in.size() && written.size() < 64) {
            const int keyLen = uchar(in[at++]);
            const QByteArray keyBytes = in.mid(at, keyLen);
            at += keyBytes.size();
            int bodyLen = 0;
            if (at + 2 <= in.size())
                bodyLen = uchar(in[at]) | (uchar(in[at + 1]) << 8);
            at += 2;
            const QByteArray body = in.mid(at, bodyLen);
            at += body.size();
            const QString key = QString::fromUtf8(keyBytes);
            try {
                db.addItem(key, body);
            } catch (const lb::EQDBError&) {
                continue; // a bad length or a key already there (keys ignore case)
            }
            written[key] = body;
        }
        FUZZ_CHECK(db.count() == int(written.size()));
        db.save();
    }
    lb::TQDB back;
    back.password = password;
    back.setFileName(path);
    FUZZ_CHECK(back.count() == int(written.size()));
    for (const auto& [key, body] : written) {
        const int i = back.indexOf(key);
        FUZZ_CHECK(i >= 0);
        FUZZ_CHECK(back.readItem(i) == body);
    }
    back.close();
    // The wrong password is refused, never read as garbage.
    if (password.isEmpty())
        return; // a store without a password opens with any
    lb::TQDB wrong;
    wrong.password = QByteArrayLiteral("guess");
    try {
        wrong.setFileName(path);
        FUZZ_CHECK(false);
    } catch (const lb::EQDBInvalidPW&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool tmp = qputenv("TMPDIR", "/dev/shm"); // working files in memory
    (void)tmp;
    static QTemporaryDir dir(QStringLiteral("/dev/shm/lb-fuzz-qdb-XXXXXX"));
    if (size < 1)
        return 0;
    const QByteArray password = (data[0] & 1) ? QByteArrayLiteral("s3cret") : QByteArray();
    const bool compression = data[0] & 2;
    const QString path = dir.filePath(QStringLiteral("f.QDB"));
    QFile::remove(path);
    if (data[0] & 4) {
        roundTrip(path, password, compression,
                  QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    } else {
        writeFile(path, reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
        readHostile(path, password, compression);
    }
    return 0;
}
