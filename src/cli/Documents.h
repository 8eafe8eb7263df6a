#pragma once
// The manual page and the bash completion of linkbeacon-cli, made from the
// command table so they name every command and option it takes.
#include <QString>

namespace lb::cli {

// linkbeacon-cli(1) in roff; date as YYYY-MM-DD.
QString manPage(const QString& version, const QString& date);

// A bash script defining the completion of linkbeacon-cli.
QString bashCompletion();

} // namespace lb::cli
