#pragma once
// The command table of linkbeacon-cli and the parsed command line a command
// runs on. Each command names its options and operands once; the parser,
// --help, the manual page and the shell completion are all made from that.
#include <QCommandLineParser>
#include <QStringList>

#include <vector>

namespace lb::cli {

class CommandLine;

struct Option {
    const char* name;            // given as "--name"
    const char* value = nullptr; // the value's name; a switch has none
    const char* help = "";
    // The usage error when the value is missing, if not the command's usual one.
    const char* missing = nullptr;
};

struct Operand {
    const char* syntax; // as the synopsis shows it: "URL", "[KEY]", "SESSION..."
    const char* help = "";
};

// How a word with one leading dash ("-5", "-x") is read.
enum class DashWords {
    Operands, // an operand, as the command has always taken it
    Options,  // an option (so unknown unless declared)
    Literal,  // every word is an operand, "--name" included
};

struct Command {
    const char* name;
    const char* summary;
    std::vector<Option> options = {};
    std::vector<Operand> operands = {};
    int (*run)(const CommandLine&) = nullptr;
    // Synopsis lines (without the program name) where the operands alone do
    // not tell the forms apart; otherwise "NAME [options] OPERANDS".
    std::vector<const char*> forms = {};
    // Usage errors are "linkbeacon-cli NAME: " + usageLine with %1 the reason.
    const char* usageLine = "%1";
    const char* unknownOption = "unknown option %1"; // %1 as typed
    const char* missingValue = "%1 needs a value";   // %1 the option, %2 its value's name
    DashWords dashWords = DashWords::Operands;
    // False for commands on single files, which never change directory.
    bool inProgramFolder = true;
};

// Every command, in the order --help lists them.
const std::vector<Command>& commands();
const Command* findCommand(const QString& name);

// Synopsis lines of a command, each without the program name.
QStringList synopsis(const Command& command);
// The text of "linkbeacon-cli NAME --help".
QString helpText(const Command& command);
// "--name VALUE" as help and the manual page show it.
QString optionLabel(const Option& option);

// One command's arguments, parsed by its table entry.
class CommandLine {
public:
    explicit CommandLine(const Command& command);

    // False on a usage error; error() is then the line's reason.
    bool parse(const QStringList& args);
    const QString& error() const { return m_error; }

    const Command& command() const { return m_command; }
    bool isSet(const char* option) const;
    QString value(const char* option) const;      // the last one given
    QStringList values(const char* option) const; // all, in the order given
    QStringList optionsGiven() const;             // names in the order given
    const QStringList& operands() const { return m_operands; }

    // Prints the usage error line on stderr and returns exit code 2.
    int usageError(const QString& reason) const;

private:
    QString restore(const QString& word) const;
    QString firstBadWord(const QStringList& words) const;

    const Command& m_command;
    QCommandLineParser m_parser;
    QStringList m_args;
    QStringList m_operands;
    QString m_error;
};

// Runs a command on the arguments after its name: --help, usage errors, then
// the command in its program folder (programFolder, when not empty, as
// --program-folder named it).
int dispatch(const Command& command, const QStringList& args, const QString& programFolder = {});

} // namespace lb::cli
