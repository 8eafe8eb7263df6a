#pragma once
// A throw-away program folder for tests: engine files written through the
// cipher, INI stores, and the picture and icon the main window loads.
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineRecord.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace lb::test {

class ProgramFolder {
public:
    ProgramFolder() {
        QDir d(dir.path());
        for (const char* sub : {"data/session", "data/custom", "reports", "help"})
            d.mkpath(QLatin1String(sub));
    }
    QString path(const QString& rel) const { return dir.path() + QLatin1Char('/') + rel; }

    void writeBytes(const QString& rel, const QByteArray& bytes) const {
        writeFile(path(rel), bytes);
    }
    QByteArray readBytes(const QString& rel) const { return readFile(path(rel)); }
    bool exists(const QString& rel) const { return QFile::exists(path(rel)); }
    void remove(const QString& rel) const { QFile::remove(path(rel)); }

    void writeEngines(const QString& rel, const QStringList& lines) const {
        writeBytes(rel, encipherEngineText(joinLinesCrLf(lines)));
    }
    QStringList readEngines(const QString& rel) const {
        return splitLines(decipherEngineText(readBytes(rel)));
    }
    // The picture, the icon and an empty ignore list: a folder that starts cleanly.
    void writeStandardFiles() const {
        writeBytes(QStringLiteral("kwnlogo.bmp"), QByteArray());
        writeBytes(QStringLiteral("kwnico.ico"), QByteArray());
        writeBytes(QStringLiteral("data/exclude.tmp"), QByteArray());
        writeBytes(QStringLiteral("help/help.htm"), "<html><body>help</body></html>");
    }

    QTemporaryDir dir;
};

// An engine line with a CGI URL and a method; the other fields empty.
inline QString engineLine(const QString& name, const QString& cgi = QString(), bool post = true) {
    EngineRecord r;
    r.name = name;
    r[EngineRecord::CgiUrl] = cgi;
    r[EngineRecord::TitleVar] = QStringLiteral("title");
    r.setPost(post);
    return r.toLine();
}

// An engine as the engine check sees it: its form page and the CGI URL it posts to.
inline EngineRecord checkedEngine(const QString& name, const QString& site, const QString& cgi) {
    EngineRecord r;
    r.name = name;
    r[EngineRecord::SiteUrl] = site;
    r[EngineRecord::CgiUrl] = cgi;
    r[EngineRecord::UrlVar] = QStringLiteral("url");
    r.setPost(true);
    return r;
}

inline QStringList engineLines(const QStringList& names) {
    QStringList out;
    for (const QString& n : names)
        out.append(engineLine(n, QStringLiteral("http://") + n + QStringLiteral("/cgi")));
    return out;
}

} // namespace lb::test
