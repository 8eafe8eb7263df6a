// linkbeacon-cli indexnow: tells IndexNow endpoints about new or changed URLs.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "indexnow/IndexNow.h"

#include <cstdio>
#include <QDir>
#include <QEventLoop>

namespace lb::cli {

int runIndexNow(const CommandLine& line) {
    const QString appDir = QDir::currentPath();
    const IndexNowSettings settings = IndexNowSettings::load(appDir);
    const QString key = line.isSet("key") ? line.value("key") : settings.key;
    const QString keyLocation =
        line.isSet("key-location") ? line.value("key-location") : settings.keyLocation;
    QStringList endpoints = line.values("endpoint");
    QStringList urls = line.values("url");
    const QStringList sessions = line.operands();
    const bool writeKey = line.isSet("write-key");
    const QString keyDir = line.value("write-key");
    if (key.isEmpty())
        return line.usageError(
            QStringLiteral("no key (--key or \"Key\" in section IndexNow of zkt.ini)"));
    if (!isValidIndexNowKey(key))
        return line.usageError(
            QStringLiteral("a key is 8 to 128 characters of A-Z a-z 0-9 and \"-\""));

    if (writeKey) {
        if (!urls.isEmpty() || !sessions.isEmpty())
            return line.usageError(QStringLiteral("--write-key takes no URL or session"));
        try {
            const QString path = writeIndexNowKeyFile(keyDir, key);
            std::fprintf(stdout, "%s\n", qPrintable(path));
            return 0;
        } catch (const FileError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            return 1;
        }
    }

    if (!urls.isEmpty() && !sessions.isEmpty())
        return line.usageError(QStringLiteral("give either --url or sessions, not both"));
    if (urls.isEmpty())
        urls = indexNowSessionUrls(appDir, sessions);
    if (urls.isEmpty())
        return line.usageError(QStringLiteral("no URL to submit"));
    for (const QString& u : std::as_const(urls))
        if (indexNowHost(u).isEmpty())
            return line.usageError(QStringLiteral("no host in URL ") + u);
    if (endpoints.isEmpty())
        endpoints = IndexNowSettings{key, keyLocation, settings.endpoints}.effectiveEndpoints();

    IndexNowSubmitter submitter;
    submitter.proxy = ProxySettings::load(appDir);
    QObject::connect(&submitter, &IndexNowSubmitter::posted,
                     [](const IndexNowPost& post, int code, const QString& phrase) {
                         QString line = post.endpoint + QLatin1Char(' ') + post.host +
                                        QStringLiteral(": ") + QString::number(code);
                         if (!phrase.isEmpty())
                             line += QLatin1Char(' ') + phrase;
                         std::fprintf(stdout, "%s\n", line.toUtf8().constData());
                         const QString why = indexNowExplanation(code);
                         if (!why.isEmpty())
                             std::fprintf(stdout, "%s\n", qPrintable(why));
                         std::fflush(stdout);
                     });
    bool allAccepted = false;
    QEventLoop loop;
    QObject::connect(&submitter, &IndexNowSubmitter::finished, &loop, [&](bool ok) {
        allAccepted = ok;
        loop.quit();
    });
    submitter.start(planIndexNowPosts(endpoints, urls), key, keyLocation);
    loop.exec();
    return allAccepted ? 0 : 1;
}

} // namespace lb::cli
