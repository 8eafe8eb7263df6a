// linkbeacon-cli spider: the crawl of "(Option) Deep Promote Spider" without a
// window. Status lines go to standard output as they are set, message boxes
// to standard error; every page is saved through the session store.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "net/HttpProt.h"
#include "sessions/SessionStore.h"
#include "spider/SiteList.h"
#include "spider/Sitemap.h"
#include "spider/Spider.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

#include <climits>
#include <cstdio>

namespace lb::cli {

namespace {

class SpiderDialogs : public Dialogs {
public:
    bool yes = false;
    void inform(const QString& text, const QString& caption, Icon) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stderr);
    }
    bool askYesNo(const QString& text, const QString& caption) override {
        inform(text, caption, Icon::Question);
        return yes && caption == QLatin1String("Missing Field");
    }
    void showError(const QString& text) override {
        inform(text, QCoreApplication::applicationName(), Icon::Error);
    }
    QString openFileName(const QString&, const QString&, const QString&) override {
        return QString();
    }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return QString();
    }
};

} // namespace

int runSpider(const CommandLine& line) {
    int timeout = 60;
    for (const QString& value : line.values("timeout")) {
        bool digits = !value.isEmpty();
        for (QChar c : value)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digits)
            return line.usageError(QStringLiteral("--timeout needs a whole number of seconds"));
        bool ok = false;
        const qulonglong seconds = value.toULongLong(&ok);
        // Longer than a timer can wait is as good as for ever.
        timeout = (!ok || seconds > qulonglong(INT_MAX / 1000)) ? INT_MAX / 1000 : int(seconds);
    }
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("only one URL"));
    if (line.operands().isEmpty())
        return line.usageError(QStringLiteral(
            "usage: spider [--contact SESSION] [--yes] [--timeout SECONDS] [--sitemap FILE] URL"));
    const QString url = line.operands().first();
    const bool hasContact = line.isSet("contact");
    const QString contact = line.value("contact");
    const bool hasSitemap = line.isSet("sitemap");
    const QString sitemap = line.value("sitemap");
    const bool yes = line.isSet("yes");

    const QString appDir = QDir::currentPath();
    SpiderDialogs dialogs;
    dialogs.yes = yes;
    SessionStore sessions(appDir, dialogs);
    sessions.readIndex();
    net::THttpCli httpMap;
    const ProxySettings proxy = ProxySettings::load(appDir);
    if (proxy.behindProxy) {
        httpMap.Proxy = proxy.host;
        httpMap.ProxyPort = proxy.port;
        httpMap.ProxyUsername = proxy.userName;
        httpMap.ProxyPassword = proxy.password;
    }
    if (hasContact) {
        const int row = int(sessions.sesList().names().indexOf(contact));
        if (row >= 0) {
            sessions.select(row);
        } else {
            SessionRecord record = SessionStore::readSession(appDir, contact);
            record.name = contact;
            sessions.setEditor(record);
        }
    }

    Spider spider(sessions, dialogs, httpMap);
    spider.setTimeoutSeconds(timeout);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&spider, &Spider::statusLine, &spider, [&](const QString& line) {
        std::fprintf(stdout, "%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        if (!spider.running() && line.startsWith(QLatin1String("All Done..."))) {
            finished = true;
            loop.quit();
        }
    });
    spider.setSiteUrl(url);
    if (!spider.MapButtonClick())
        return 1;
    if (!finished)
        loop.exec();
    if (hasSitemap) {
        try {
            writeSitemap(QDir::current().absoluteFilePath(sitemap), spider.siteList().addedOrder());
        } catch (const FileError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            return 1;
        }
    }
    return 0;
}

} // namespace lb::cli
