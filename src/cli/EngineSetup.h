#pragma once
// What the engine commands of linkbeacon-cli share: messages on stderr in
// place of message boxes, and the start-up steps of the main window that
// concern engines followed by the database chosen with --database.
#include "common/Dialogs.h"

#include <QString>

namespace lb {
class EngineDatabase;
}

namespace lb::cli {

// Message boxes go to stderr as caption + ": " + text and questions are
// answered No; the only file dialog answered is the custom database's.
class ConsoleDialogs : public Dialogs {
public:
    QString customFile;
    int shown = 0;
    void inform(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    void showError(const QString& text) override;
    QString openFileName(const QString&, const QString&, const QString&) override;
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override;
};

// True for "data", "engines", "all" or the name of an existing file.
bool isDatabaseChoice(const QString& database);

// Loads data.hlz, the category file, the batch list and the ignore list as
// the main window does at start, then selects the chosen database as its
// radio button would. File errors are written to stderr; the steps go on.
void openEngineDatabase(EngineDatabase& db, ConsoleDialogs& dialogs, const QString& database);

} // namespace lb::cli
