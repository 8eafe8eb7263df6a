// linkbeacon-cli: the program's logic without windows, run in the program folder.
#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include <cstdio>
#include <QCoreApplication>

namespace {

using lb::cli::Command;

void printSynopsis(FILE* out, const Command& c, bool first) {
    for (const QString& line : lb::cli::synopsis(c)) {
        std::fprintf(out, "%s linkbeacon-cli %s\n", first ? "usage:" : "      ", qPrintable(line));
        first = false;
    }
}

void usage(FILE* out) {
    bool first = true;
    for (const Command& c : lb::cli::commands()) {
        printSynopsis(out, c, first);
        first = false;
    }
}

void help() {
    std::printf("usage: linkbeacon-cli COMMAND [ARGUMENTS]\n"
                "       linkbeacon-cli COMMAND --help\n"
                "       linkbeacon-cli --help | --version\n\n"
                "Linkbeacon without windows. Every command runs in the program folder (the\n"
                "current directory) with the same logic as the desktop program.\n"
                "--program-folder DIR before the command names another folder; an installed\n"
                "program started outside one uses ~/.local/share/linkbeacon.\n\n"
                "Commands:\n");
    for (const Command& c : lb::cli::commands())
        std::printf("  %-9s %s\n", c.name, c.summary);
    std::printf("\nExit codes: 0 success, 1 failure or refusal, 2 bad arguments.\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Linkbeacon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LB_VERSION));
    QStringList args = QCoreApplication::arguments().mid(1);
    QString programFolder;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--program-folder"))) {
        const QString option = args.takeFirst();
        if (option.startsWith(QLatin1String("--program-folder=")))
            programFolder = option.mid(17);
        else if (option == QLatin1String("--program-folder") && !args.isEmpty())
            programFolder = args.takeFirst();
        else
            programFolder.clear();
        if (programFolder.isEmpty()) {
            std::fputs("linkbeacon-cli: --program-folder needs DIR\n", stderr);
            return 2;
        }
    }
    lb::cli::warnWhenChecksOff();
    if (args.isEmpty()) {
        usage(stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        help();
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("linkbeacon-cli %s\n", LB_VERSION);
        return 0;
    }
    if (const Command* c = lb::cli::findCommand(command))
        return lb::cli::dispatch(*c, args, programFolder);
    std::fprintf(stderr, "linkbeacon-cli: unknown command '%s'\n", qPrintable(command));
    usage(stderr);
    return 2;
}
