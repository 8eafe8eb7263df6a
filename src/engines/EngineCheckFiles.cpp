#include "engines/EngineCheckFiles.h"

#include "common/AsciiText.h"
#include "common/FileError.h"
#include "common/LineSplitter.h"
#include "common/Paths.h"
#include "engines/EngineFile.h"
#include "submit/ReportWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

namespace lb {

namespace {

QStringList readEngineLines(const QString& path, bool enciphered) {
    QStringList lines;
    if (enciphered) {
        LoadEngineFile(path, lines);
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw FileError::cannotOpen(path);
        lines = engineTextLines(file.readAll());
    }
    return lines;
}

QString statusText(const EngineCheckResult& r) {
    return r.status > 0 ? QString::number(r.status) : QString();
}

} // namespace

QList<EngineRecord> readCheckDatabase(const QString& appDir, const QString& database) {
    const QString data = appPath(appDir, QStringLiteral("\\data\\data.hlz"));
    const QString engines = appPath(appDir, QStringLiteral("\\data\\engines.hlz"));
    QStringList lines;
    if (database == QLatin1String("data")) {
        lines = readEngineLines(data, true);
    } else if (database == QLatin1String("engines")) {
        lines = readEngineLines(engines, true);
    } else if (database == QLatin1String("all")) {
        lines = readEngineLines(engines, true) + readEngineLines(data, true);
    } else {
        lines = readEngineLines(database,
                                database.endsWith(QLatin1String(".CHC"), Qt::CaseInsensitive));
    }
    QList<EngineRecord> records;
    records.reserve(lines.size());
    QSet<QString> seen;
    for (const QString& line : std::as_const(lines)) {
        const QString key = asciiUpper(line);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        records.append(EngineRecord::fromLine(line));
    }
    return records;
}

QString checkDatabaseName(const QString& database) {
    if (database == QLatin1String("data") || database == QLatin1String("engines") ||
        database == QLatin1String("all"))
        return database;
    return QFileInfo(database).completeBaseName();
}

QString checkCsvPath(const QString& appDir, const QString& databaseName) {
    return appPath(appDir,
                   QStringLiteral("\\reports\\engines-") + databaseName + QStringLiteral(".csv"));
}

QString checkHtmlPath(const QString& appDir, const QString& databaseName) {
    return appPath(appDir,
                   QStringLiteral("\\reports\\engines-") + databaseName + QStringLiteral(".htm"));
}

QByteArray checkCsv(const QList<EngineCheckResult>& results) {
    QByteArray bytes("\xEF\xBB\xBF"
                     "Engine,State,Status,Detail\r\n");
    for (const EngineCheckResult& r : results) {
        const QString row = csvField(r.name) + QLatin1Char(',') +
                            csvField(engineStateName(r.state)) + QLatin1Char(',') + statusText(r) +
                            QLatin1Char(',') + csvField(r.detail);
        bytes += row.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

QByteArray checkHtml(const QString& databaseName, const QList<EngineCheckResult>& results) {
    QStringList lines;
    const QString title = QStringLiteral("Engine check: ") + databaseName.toHtmlEscaped();
    lines << QStringLiteral("<html><head><meta charset=\"utf-8\"><title>") + title +
                 QStringLiteral("</title></head><body>")
          << QStringLiteral("<h2>") + title + QStringLiteral("</h2>")
          << QStringLiteral("<table border=\"1\" cellpadding=\"3\">")
          << QStringLiteral("<tr><th>Engine</th><th>State</th><th>Status</th><th>Detail</th></tr>");
    for (const EngineCheckResult& r : results)
        lines << QStringLiteral("<tr><td>") + r.name.toHtmlEscaped() + QStringLiteral("</td><td>") +
                     engineStateName(r.state) + QStringLiteral("</td><td>") + statusText(r) +
                     QStringLiteral("</td><td>") + r.detail.toHtmlEscaped() +
                     QStringLiteral("</td></tr>");
    lines << QStringLiteral("</table></body></html>");
    return joinLinesCrLf(lines);
}

void writeCheckFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError::cannotWrite(path);
}

QStringList goneAndDeadNames(const QList<EngineCheckResult>& results) {
    QStringList names;
    for (const EngineCheckResult& r : results)
        if (r.state == EngineState::Gone || r.state == EngineState::Dead)
            names.append(r.name);
    return names;
}

int addToIgnoreList(const QString& excludeFile, const QStringList& names) {
    QByteArray bytes;
    QFile file(excludeFile);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw FileError::cannotOpen(excludeFile);
        bytes = file.readAll();
        file.close();
    }
    // A zero byte ends the list when it is read: names after one would never
    // be seen, and nothing after it was ever read either.
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    QSet<QString> present;
    for (const QString& n : splitLines(bytes))
        present.insert(asciiUpper(n));
    const qsizetype before = bytes.size();
    int added = 0;
    for (const QString& name : names) {
        const QString key = asciiUpper(name);
        if (name.isEmpty() || present.contains(key))
            continue;
        present.insert(key);
        if (!bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r'))
            bytes += "\r\n"; // the last line had no line end
        bytes += name.toUtf8();
        bytes += "\r\n";
        ++added;
    }
    if (bytes.size() != before)
        writeCheckFile(excludeFile, bytes);
    return added;
}

} // namespace lb
