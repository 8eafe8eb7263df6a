// linkbeacon-cli ffa: one crawl of the FFA crawler window without a window.
#include "cli/Commands.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "ffa/FfaCrawler.h"

#include <cstdio>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

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

int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli ffa: %s\n", qPrintable(message));
    return 2;
}

bool allDigits(const QString& s) {
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

int runFfa(const QStringList& args) {
    CrawlProfile opts;
    QStringList include, ignore;
    bool includeGiven = false, ignoreGiven = false;
    bool engContact = true, extractor = true;
    QString searchBase;
    bool baseGiven = false;
    QStringList lists;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--no-engine-contact")) {
            engContact = false;
            continue;
        }
        if (a == QLatin1String("--no-extractor")) {
            extractor = false;
            continue;
        }
        static const QStringList valued = {
            QStringLiteral("--main"),       QStringLiteral("--and1"),    QStringLiteral("--and2"),
            QStringLiteral("--and3"),       QStringLiteral("--include"), QStringLiteral("--ignore"),
            QStringLiteral("--max-kb"),     QStringLiteral("--timeout"), QStringLiteral("--start"),
            QStringLiteral("--search-base")};
        if (valued.contains(a)) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("option %1 needs a value").arg(a));
            const QString v = args.at(++i);
            if (a == QLatin1String("--main")) {
                opts.terms1.append(v);
            } else if (a == QLatin1String("--and1")) {
                opts.terms2.append(v);
            } else if (a == QLatin1String("--and2")) {
                opts.bonus1.append(v);
            } else if (a == QLatin1String("--and3")) {
                opts.bonus2.append(v);
            } else if (a == QLatin1String("--include")) {
                include.append(v);
                includeGiven = true;
            } else if (a == QLatin1String("--ignore")) {
                ignore.append(v);
                ignoreGiven = true;
            } else if (a == QLatin1String("--search-base")) {
                searchBase = v;
                baseGiven = true;
            } else {
                qint64 n = 0;
                const bool number = a == QLatin1String("--max-kb")
                                        ? allDigits(v) && thousandsOf(v, n)
                                        : !v.isEmpty() && allDigits(v) && thousandsOf(v, n);
                if (!number)
                    return usageError(QStringLiteral("%1 needs a number, not '%2'").arg(a, v));
                if (a == QLatin1String("--max-kb"))
                    opts.maxKb = v;
                else if (a == QLatin1String("--timeout"))
                    opts.timeoutSec = v;
                else
                    opts.startString = v;
            }
            continue;
        }
        if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return usageError(QStringLiteral("unknown option ") + a);
        lists.append(a);
    }
    if (lists.isEmpty())
        return usageError(QStringLiteral("no LIST named"));
    if (lists.size() > 1)
        return usageError(QStringLiteral("only one LIST may be named"));
    if (includeGiven)
        opts.include = include;
    if (ignoreGiven)
        opts.ignore = ignore;

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
