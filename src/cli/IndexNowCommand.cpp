// linkbeacon-cli indexnow: tells IndexNow endpoints about new or changed URLs.
#include "cli/Commands.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "indexnow/IndexNow.h"

#include <cstdio>
#include <QDir>
#include <QEventLoop>

namespace lb::cli {

namespace {
int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli indexnow: %s\n", qPrintable(message));
    return 2;
}
} // namespace

int runIndexNow(const QStringList& args) {
    const QString appDir = QDir::currentPath();
    const IndexNowSettings settings = IndexNowSettings::load(appDir);
    QString key = settings.key;
    QString keyLocation = settings.keyLocation;
    QStringList endpoints, urls, sessions;
    QString keyDir;
    bool writeKey = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool takesValue = a == QLatin1String("--key") ||
                                a == QLatin1String("--key-location") ||
                                a == QLatin1String("--endpoint") || a == QLatin1String("--url") ||
                                a == QLatin1String("--write-key");
        if (takesValue) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("option %1 needs a value").arg(a));
            const QString value = args.at(++i);
            if (a == QLatin1String("--key"))
                key = value;
            else if (a == QLatin1String("--key-location"))
                keyLocation = value;
            else if (a == QLatin1String("--endpoint"))
                endpoints.append(value);
            else if (a == QLatin1String("--url"))
                urls.append(value);
            else {
                writeKey = true;
                keyDir = value;
            }
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else {
            sessions.append(a);
        }
    }
    if (key.isEmpty())
        return usageError(
            QStringLiteral("no key (--key or \"Key\" in section IndexNow of zkt.ini)"));
    if (!isValidIndexNowKey(key))
        return usageError(QStringLiteral("a key is 8 to 128 characters of A-Z a-z 0-9 and \"-\""));

    if (writeKey) {
        if (!urls.isEmpty() || !sessions.isEmpty())
            return usageError(QStringLiteral("--write-key takes no URL or session"));
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
        return usageError(QStringLiteral("give either --url or sessions, not both"));
    if (urls.isEmpty())
        urls = indexNowSessionUrls(appDir, sessions);
    if (urls.isEmpty())
        return usageError(QStringLiteral("no URL to submit"));
    for (const QString& u : std::as_const(urls))
        if (indexNowHost(u).isEmpty())
            return usageError(QStringLiteral("no host in URL ") + u);
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
