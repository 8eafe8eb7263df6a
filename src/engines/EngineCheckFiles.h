#pragma once
// The files around the engine health check: the database it reads (the file
// itself, the ignore list not applied), its reports under "reports/", and the
// names it adds to the ignore list "data/exclude.tmp".
#include "engines/EngineCheck.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lb {

// The engines of a database, in file order ("all": engines.hlz, then
// data.hlz); a line equal to an earlier one (ignoring case) is left out.
// database: "data", "engines", "all" or a file (".CHC" enciphered, any other
// name plain). Throws FileError "Cannot open file " + path.
QList<EngineRecord> readCheckDatabase(const QString& appDir, const QString& database);

// The name the reports carry: "data", "engines", "all", or the file's name
// without its extension.
QString checkDatabaseName(const QString& database);

// "reports/engines-" + name + ".csv" / ".htm" under the program folder.
QString checkCsvPath(const QString& appDir, const QString& databaseName);
QString checkHtmlPath(const QString& appDir, const QString& databaseName);

// UTF-8 with a byte order mark, CR LF, a header row, one row per engine.
QByteArray checkCsv(const QList<EngineCheckResult>& results);
QByteArray checkHtml(const QString& databaseName, const QList<EngineCheckResult>& results);
// Written beside the old file and renamed over it; the folder is made when
// missing. Throws FileError "Unable to write to " + path.
void writeCheckFile(const QString& path, const QByteArray& bytes);

// The names of the gone and dead engines, in result order.
QStringList goneAndDeadNames(const QList<EngineCheckResult>& results);

// Adds each name not yet on the ignore list (compared ignoring case) as a
// line of its own, ended by CR LF; the lines already there stay as they
// are. Returns how many names were added; the file is not written when none
// is. Throws FileError "Unable to write to " + path.
int addToIgnoreList(const QString& excludeFile, const QStringList& names);

} // namespace lb
