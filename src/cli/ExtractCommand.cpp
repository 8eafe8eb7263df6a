// linkbeacon-cli extract: the auto extractor of the "Auto Extractor" sheet
// without a window; the add question is answered No.
#include "cli/CommandLine.h"
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

// Nobody can press Abort here: a server that sends nothing for this long is
// given up on, and what arrived is analysed.
constexpr int IdleTimeoutMs = 60000;

} // namespace

int runExtract(const CommandLine& line) {
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("more than one URL named"));
    if (line.operands().isEmpty())
        return line.usageError(QStringLiteral("no URL named"));
    const QString url = line.operands().first();
    const QString database =
        line.isSet("database") ? line.value("database") : QStringLiteral("data");
    if (!isDatabaseChoice(database))
        return line.usageError(QStringLiteral("unknown database ") + database);

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
