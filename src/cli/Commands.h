#pragma once
// Subcommands of linkbeacon-cli. Each gets its parsed arguments (see the
// table in CommandTable.cpp) and returns the process exit code.
namespace lb::cli {

class CommandLine;

int runCipher(const CommandLine& line);
int runFetch(const CommandLine& line);
int runSubmit(const CommandLine& line);
int runQdb(const CommandLine& line);
int runProfiles(const CommandLine& line);
int runRar(const CommandLine& line);
int runUpdate(const CommandLine& line);
int runColour(const CommandLine& line);
int runMeta(const CommandLine& line);
int runAnalyse(const CommandLine& line);
int runExtract(const CommandLine& line);
int runFfa(const CommandLine& line);
int runIndexNow(const CommandLine& line);
int runSpider(const CommandLine& line);
int runAudit(const CommandLine& line);

} // namespace lb::cli
