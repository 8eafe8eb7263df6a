#pragma once
// A program folder with a data/ folder to update, archives built with the
// test writer, and a snapshot of data/ to prove a failed update changed nothing.
#include "support/RarWriter.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

namespace lb::test {

inline RarEntry rarFile(const std::string& name, const std::string& data = {},
                        RarEntry::Kind kind = RarEntry::Kind::File) {
    return {name, data, kind};
}

class UpdateFolder {
public:
    // In a new folder under parent (default: the system's temporary folder).
    explicit UpdateFolder(const QString& parent = QDir::tempPath())
        : dir(parent + QStringLiteral("/lb-update-XXXXXX")) {
        QDir(dir.path()).mkpath("data/sub");
        write("data/data.hlz", "old data");
        write("data/engines.hlz", "old engines");
        write("data/sub/keep.txt", "kept");
        write("zkt.ini", "[Proxy]\r\nKeyProxy=0\r\n");
    }
    QString path(const QString& rel) const { return dir.path() + QLatin1Char('/') + rel; }
    void write(const QString& rel, const QByteArray& bytes) const {
        QFile f(path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        f.write(bytes);
    }
    QByteArray read(const QString& rel) const {
        QFile f(path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Archive written beside the program folder (not inside data/).
    QString archive(const std::vector<RarEntry>& entries) {
        const QString p = archives.filePath(QStringLiteral("u%1.hlz").arg(++count));
        EXPECT_TRUE(writeRarArchive(p.toStdString(), entries));
        return p;
    }
    // Every file and folder under the program folder, with file contents.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> out;
        QDirIterator it(dir.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            const QString rel = QDir(dir.path()).relativeFilePath(p);
            out[rel] = it.fileInfo().isDir() ? QByteArray("<dir>") : read(rel);
        }
        return out;
    }

    QTemporaryDir dir;
    QTemporaryDir archives;
    int count = 0;
};

} // namespace lb::test
