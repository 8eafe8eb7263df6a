// RAR 4 header reading on any file: it ends, every entry it reports lies
// inside the file (or is marked truncated), and the CRC32 it checks against
// is the standard one.
#include "FuzzCheck.h"
#include "update/Crc32.h"
#include "update/RarHeaders.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir(QStringLiteral("/dev/shm/lb-fuzz-rar-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("a.rar"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    // The check value of the standard check string, and pieces agree with one go.
    FUZZ_CHECK(lb::Crc32::of("123456789", 9) == 0xCBF43926u);
    lb::Crc32 pieces;
    pieces.update(data, size / 2);
    pieces.update(data + size / 2, size - size / 2);
    FUZZ_CHECK(pieces.value() == lb::Crc32::of(data, size));

    lb::RarHeaderReader headers(path);
    lb::RarFileEntry e;
    if (headers.openError() != 0) {
        FUZZ_CHECK(!headers.next(e));
        return 0;
    }
    while (headers.next(e)) {
        FUZZ_CHECK(e.dataOffset <= size);
        if (!e.truncated)
            FUZZ_CHECK(e.dataOffset + e.header.PackSize <= size);
    }
    return 0;
}
