// linkbeacon-cli ffa: one crawl of the FFA crawler window without a window.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "ffa/FfaCrawler.h"

#include <cstdio>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <string_view>

namespace lb::cli {

namespace {

class ConsoleDialogs : public Dialogs {
public:
    void inform(const QString& text, const QString& caption, Icon) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
    bool askYesNo(const QString& text, const QString& caption) override {
        inform(text, caption, Icon::Question);
        return false;
    }
    void showError(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString openFileName(const QString&, const QString&, const QString&) override {
        return QString();
    }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return QString();
    }
};

// One line per text shown; a text repeated straight away is printed once,
// and of a run of "Loading: n" texts only the first.
class Printer {
public:
    void show(const char* panel, const QString& text) {
        const QString line = QString::fromLatin1(panel) + text;
        if (line == m_last)
            return;
        const bool loading = text.startsWith(QLatin1String("Loading: "));
        if (loading && m_lastLoading.value(QString::fromLatin1(panel)))
            return;
        m_lastLoading[QString::fromLatin1(panel)] = loading;
        m_last = line;
        std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    }

private:
    QString m_last;
    QHash<QString, bool> m_lastLoading;
};

bool allDigits(const QString& s) {
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

int runFfa(const CommandLine& line) {
    CrawlProfile opts;
    opts.terms1.append(line.values("main"));
    opts.terms2.append(line.values("and1"));
    opts.bonus1.append(line.values("and2"));
    opts.bonus2.append(line.values("and3"));
    if (line.isSet("include"))
        opts.include = line.values("include");
    if (line.isSet("ignore"))
        opts.ignore = line.values("ignore");
    // "Load Max Size" may be left empty; the others need digits.
    for (const char* option : {"max-kb", "timeout", "start"}) {
        const bool mayBeEmpty = option == std::string_view("max-kb");
        for (const QString& v : line.values(option)) {
            qint64 n = 0;
            if ((v.isEmpty() && !mayBeEmpty) || !allDigits(v) || !thousandsOf(v, n))
                return line.usageError(
                    QStringLiteral("--%1 needs a number, not '%2'").arg(QLatin1String(option), v));
        }
    }
    if (line.operands().isEmpty())
        return line.usageError(QStringLiteral("no LIST named"));
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("only one LIST may be named"));
    if (line.isSet("max-kb"))
        opts.maxKb = line.value("max-kb");
    if (line.isSet("timeout"))
        opts.timeoutSec = line.value("timeout");
    if (line.isSet("start"))
        opts.startString = line.value("start");
    const bool engContact = !line.isSet("no-engine-contact");
    const bool extractor = !line.isSet("no-extractor");
    const bool baseGiven = line.isSet("search-base");
    const QString searchBase = line.value("search-base");
    const QStringList lists = line.operands();

    const QString appDir = QDir::currentPath();
    const QString listPath = QFileInfo(QDir(appDir), lists.first()).absoluteFilePath();

    ConsoleDialogs dialogs;
    FfaCrawler crawler(dialogs);
    crawler.setAppDir(appDir);
    crawler.setOptionsSource([opts] { return opts; });
    crawler.setSearchBase(baseGiven ? searchBase : searchBaseFromIni(appDir));
    crawler.applyProxy(ProxySettings::load(appDir));
    crawler.setEngContact(engContact);
    crawler.setExOnOff(extractor);

    Printer out;
    QObject::connect(&crawler, &FfaCrawler::engineStatusChanged,
                     [&](const QString& t) { out.show("Engine Status: ", t); });
    QObject::connect(&crawler, &FfaCrawler::crawlerStatusChanged,
                     [&](const QString& t) { out.show("Crawler Status: ", t); });
    QObject::connect(&crawler, &FfaCrawler::urlAddrChanged,
                     [&](const QString& t) { out.show("Crawling Url: ", t); });

    try {
        if (QFileInfo::exists(listPath)) {
            crawler.openList(listPath);
        } else {
            const QString created = newListName(listPath);
            // A new list never replaces a list that is already there.
            if (created != listPath && QFileInfo::exists(created)) {
                std::fprintf(stderr, "%s already exists\n", qPrintable(created));
                return 1;
            }
            crawler.createList(listPath);
        }
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }

    QEventLoop loop;
    bool ended = false;
    auto check = [&] {
        if (ended && !crawler.busy())
            loop.quit();
    };
    QObject::connect(&crawler, &FfaCrawler::crawlEnded, [&] {
        ended = true;
        check();
    });
    QObject::connect(&crawler, &FfaCrawler::requestHandled, check);
    crawler.SubStartClick();
    if (!crawler.running() && !ended)
        return 1; // refused to start; the reason is on stderr
    if (!(ended && !crawler.busy()))
        loop.exec();

    try {
        crawler.saveList();
    } catch (const FileError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    const FfaCrawler::Counters& c = crawler.counters();
    std::fprintf(stdout,
                 "Links to Crawl: %d  Crawled: %d  Engine Queries: %d  Quries left: %d  "
                 "String Count: %lld  Current String: %s  Links Saved: %d  Rejected: %d\n",
                 c.linksToCrawl, c.crawled, c.engineQueries, c.quriesLeft, c.stringCount,
                 qPrintable(c.currentString), c.linksSaved, c.rejected);
    std::fflush(stdout);
    return 0;
}

} // namespace lb::cli
