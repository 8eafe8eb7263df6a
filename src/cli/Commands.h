#pragma once
// Subcommands of linkbeacon-cli. Each gets the arguments after its own name
// and returns the process exit code.
#include <QStringList>

namespace lb::cli {

int runCipher(const QStringList& args);
int runFetch(const QStringList& args);
int runSubmit(const QStringList& args);
int runQdb(const QStringList& args);
int runProfiles(const QStringList& args);
int runRar(const QStringList& args);
int runUpdate(const QStringList& args);
int runColour(const QStringList& args);
int runMeta(const QStringList& args);
int runAnalyse(const QStringList& args);
int runExtract(const QStringList& args);
int runFfa(const QStringList& args);
int runIndexNow(const QStringList& args);
int runSpider(const QStringList& args);

} // namespace lb::cli
