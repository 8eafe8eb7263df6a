// linkbeacon-cli extract: the auto extractor of the "Auto Extractor" sheet
// without a window; the add question is answered No.
#include "cli/Commands.h"
#include "cli/EngineSetup.h"
#include "common/ProxySettings.h"
#include "engines/EngineDatabase.h"
#include "extractor/AutoExtractor.h"
#include "net/HttpProt.h"

#include <cstdio>
#include <QDir>

namespace lb::cli {

namespace {

int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli extract: %s\n", qPrintable(message));
    return 2;
}

// Nobody can press Abort here: a server that sends nothing for this long is
// given up on, and what arrived is analysed.
constexpr int IdleTimeoutMs = 60000;

} // namespace

int runExtract(const QStringList& args) {
    QString url;
    QString database = QStringLiteral("data");
    bool haveUrl = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--database")) {
            if (i + 1 >= args.size())
                return usageError(a + QStringLiteral(" needs a value"));
            database = args.at(++i);
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else if (haveUrl) {
            return usageError(QStringLiteral("more than one URL named"));
        } else {
            url = a;
            haveUrl = true;
        }
    }
    if (!haveUrl)
        return usageError(QStringLiteral("no URL named"));
    if (!isDatabaseChoice(database))
        return usageError(QStringLiteral("unknown database ") + database);

    const QString appDir = QDir::currentPath();
    ConsoleDialogs dialogs;
    EngineDatabase db(appDir, dialogs);
    openEngineDatabase(db, dialogs, database);

    net::THttpCli http9;
    const ProxySettings proxy = ProxySettings::load(appDir);
    if (proxy.behindProxy) {
        http9.Proxy = proxy.host;
        http9.ProxyPort = proxy.port;
        http9.ProxyUsername = proxy.userName;
        http9.ProxyPassword = proxy.password;
    }
    AutoExtractor extractor(db, dialogs, http9);
    extractor.setIdleTimeout(IdleTimeoutMs);
    extractor.StartdaClick(url);
    std::fflush(stderr);
    if (extractor.outcome() != AutoExtractor::Outcome::Finished)
        return 1;

    std::fprintf(stdout, "%s\n", qPrintable(db.editor().toLine()));
    for (const auto& [caption, value] : db.nameValueView())
        std::fprintf(stdout, "%s\t%s\n", qPrintable(caption), qPrintable(value));
    std::fflush(stdout);
    return db.editor()[EngineRecord::UrlVar].isEmpty() ? 1 : 0;
}

} // namespace lb::cli
