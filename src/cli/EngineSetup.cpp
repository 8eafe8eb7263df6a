#include "cli/EngineSetup.h"

#include "common/FileError.h"
#include "engines/EngineDatabase.h"

#include <cstdio>
#include <QFileInfo>

namespace lb::cli {

void ConsoleDialogs::inform(const QString& text, const QString& caption, Icon) {
    ++shown;
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
}

bool ConsoleDialogs::askYesNo(const QString& text, const QString& caption) {
    inform(text, caption, Icon::Question);
    return false;
}

void ConsoleDialogs::showError(const QString& text) {
    ++shown;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString ConsoleDialogs::openFileName(const QString&, const QString&, const QString&) {
    return customFile;
}

QString ConsoleDialogs::saveFileName(const QString&, const QString&, const QString&,
                                     const QString&) {
    return QString();
}

bool isDatabaseChoice(const QString& database) {
    return database == QLatin1String("data") || database == QLatin1String("engines") ||
           database == QLatin1String("all") || QFileInfo(database).isFile();
}

void openEngineDatabase(EngineDatabase& db, ConsoleDialogs& dialogs, const QString& database) {
    try {
        db.runStartSteps();
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
    }
    if (database == QLatin1String("data")) {
        db.selectClassifieds();
    } else if (database == QLatin1String("engines")) {
        db.selectSearchEngines();
    } else if (database == QLatin1String("all")) {
        db.selectAllEngines();
    } else {
        dialogs.customFile = QFileInfo(database).absoluteFilePath();
        db.selectCustom();
    }
}

} // namespace lb::cli
