#pragma once
// Which program folder a run works in. From a build tree it is always the
// current directory. An installed program (PREFIX/bin beside
// PREFIX/share/linkbeacon/programfolder) started outside a program folder
// works in the user's own folder, made once as a copy of the installed one.
#include <QString>

namespace lb {

// The installed program folder beside the executable's folder, or empty.
QString installedTemplate(const QString& executableDir);

// A folder holding the settings file or the engine database.
bool isProgramFolder(const QString& dir);

// ${XDG_DATA_HOME:-~/.local/share}/linkbeacon; a relative XDG_DATA_HOME is ignored.
QString userProgramFolder();

// Copies templateDir to folder unless folder exists already. The copy is
// made beside it and renamed at the end, so a broken copy never looks like a
// program folder; the user may write to every file of it.
bool makeFromTemplate(const QString& templateDir, const QString& folder, QString& error);

struct FolderChoice {
    QString folder; // where to work; empty when error says why not
    QString error;
};

// requested (when not empty) is made from the template if missing; else the
// current directory when it is a program folder or there is no template;
// else the user's folder, made from the template on first use.
FolderChoice chooseProgramFolder(const QString& current, const QString& requested,
                                 const QString& templateDir);

} // namespace lb
