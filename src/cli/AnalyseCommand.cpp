// linkbeacon-cli analyse: the submission form analyser on a page saved in a file.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/EngineSetup.h"
#include "engines/EngineDatabase.h"
#include "extractor/AutoExtractor.h"

#include <cstdio>
#include <QDir>
#include <QFile>

namespace lb::cli {

int runAnalyse(const CommandLine& line) {
    if (line.operands().size() > 1)
        return line.usageError(QStringLiteral("more than one file named"));
    if (line.operands().isEmpty())
        return line.usageError(QStringLiteral("no file named"));
    const QString file = line.operands().first();
    const QString pageUrl = line.value("page-url");
    const QString database =
        line.isSet("database") ? line.value("database") : QStringLiteral("data");
    if (!isDatabaseChoice(database))
        return line.usageError(QStringLiteral("unknown database ") + database);

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "linkbeacon-cli analyse: cannot read %s\n", qPrintable(file));
        return 1;
    }
    const QByteArray page = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "linkbeacon-cli analyse: cannot read %s\n", qPrintable(file));
        return 1;
    }

    ConsoleDialogs dialogs;
    EngineDatabase db(QDir::currentPath(), dialogs);
    openEngineDatabase(db, dialogs, database);
    db.ClearEngineEditor();
    analysePageIntoEditor(db, page, pageUrl);
    std::fprintf(stdout, "%s\n", qPrintable(db.editor().toLine()));
    std::fflush(stdout);
    return 0;
}

} // namespace lb::cli
