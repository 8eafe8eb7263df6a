// linkbeacon-cli analyse: the submission form analyser on a page saved in a file.
#include "cli/Commands.h"
#include "cli/EngineSetup.h"
#include "engines/EngineDatabase.h"
#include "extractor/AutoExtractor.h"

#include <cstdio>
#include <QDir>
#include <QFile>

namespace lb::cli {

namespace {

int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli analyse: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int runAnalyse(const QStringList& args) {
    QString file;
    QString pageUrl;
    QString database = QStringLiteral("data");
    bool haveFile = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--page-url") || a == QLatin1String("--database")) {
            if (i + 1 >= args.size())
                return usageError(a + QStringLiteral(" needs a value"));
            (a == QLatin1String("--page-url") ? pageUrl : database) = args.at(++i);
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else if (haveFile) {
            return usageError(QStringLiteral("more than one file named"));
        } else {
            file = a;
            haveFile = true;
        }
    }
    if (!haveFile)
        return usageError(QStringLiteral("no file named"));
    if (!isDatabaseChoice(database))
        return usageError(QStringLiteral("unknown database ") + database);

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
