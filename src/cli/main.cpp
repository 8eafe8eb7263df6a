// linkbeacon-cli: the program's logic without windows, run in the program folder.
#include "cli/Commands.h"

#include <cstdio>
#include <QCoreApplication>

namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList&);
    const char* synopsis; // one or more lines, each without the program name
    const char* summary;
    const char* details; // options, or empty
};

const Command kCommands[] = {
    {"cipher", lb::cli::runCipher, "cipher encode|decode IN OUT",
     "Encipher or decipher an engine file with the engine file cipher.", ""},
    {"fetch", lb::cli::runFetch, "fetch [options] URL",
     "Fetch a URL: the body on stdout, the status on stderr.",
     "  --post DATA         POST DATA as a form body instead of GET\n"
     "  --user USER:PASS    server authentication\n"
     "  --proxy HOST[:PORT] go through a proxy\n"
     "  --proxy-user USER:PASS  proxy authentication\n"
     "  --referer URL       send a Referer line\n"
     "  --trace             print the client's events on stderr\n"},
    {"submit", lb::cli::runSubmit, "submit [options] SESSION...",
     "Submit saved sessions to an engine database.",
     "  --database data|engines|all|FILE   the engine database (default: data)\n"
     "  --speed N           requests in flight: 1 5 10 25 ... 300 (default 25)\n"
     "  --no-reports        write no HTML or CSV report\n"
     "  --no-batch          leave out the batch sites\n"},
    {"qdb", lb::cli::runQdb,
     "qdb create|list|show|put|delete FILE [KEY] [FIELD...] [--password P] [--raw] [--compress]",
     "Create, list, show, add to and delete from a list store file.",
     "  --password P        the store's password (UTF-8 bytes of P; default empty)\n"
     "  --raw               show: the item's bytes exactly\n"
     "  --compress          put: store the body compressed\n"},
    {"profiles", lb::cli::runProfiles,
     "profiles list\nprofiles show [NAME]\nprofiles save NAME [CONTROL=TEXT]... [--yes]",
     "List, show and save the crawler options window's profiles in setting.set.",
     "  --yes               save: answer Yes when asked before overwriting \"default\"\n"},
    {"rar", lb::cli::runRar, "rar test ARCHIVE [NAME...]\nrar extract ARCHIVE DIR [NAME...]",
     "Test or unpack a RAR archive, checking every entry.", ""},
    {"update", lb::cli::runUpdate, "update [--host HOST[:PORT]]",
     "Download the engine database update, unpack it into data/ and encipher it.",
     "  --host HOST[:PORT]  update server (default: Host of [Update] in zkt.ini, else\n"
     "                      127.0.0.1:8642)\n"},
    {"colour", lb::cli::runColour, "colour [--rules source|meta | --rules-file RULES] FILE",
     "Print the coloured runs of a file, as the source viewer paints them.", ""},
    {"meta", lb::cli::runMeta, "meta build|insert|save|list|delete ...",
     "Build, insert and keep META tag sets.", ""},
    {"analyse", lb::cli::runAnalyse, "analyse FILE [--page-url URL] [--database D]",
     "Turn the submission form of a saved page into an engine record.",
     "  --page-url URL      the address the page was downloaded from (default: none)\n"
     "  --database data|engines|all|FILE   the engine list new names are numbered\n"
     "                      against (default: data)\n"},
    {"extract", lb::cli::runExtract, "extract URL [--database D]",
     "Download a submission page and turn its form into an engine record.",
     "  --database data|engines|all|FILE   the engine list the page is checked and\n"
     "                      numbered against (default: data)\n"},
    {"ffa", lb::cli::runFfa, "ffa [options] LIST",
     "Crawl for FFA link pages and save their forms into an FFA list.",
     "  --main LINE, --and1 LINE, --and2 LINE, --and3 LINE\n"
     "                      add a line to a keyword list (repeatable, in order)\n"
     "  --include LINE      a line of \"Extract Urls Containing\" (replaces the default)\n"
     "  --ignore LINE       a line of \"Ignore Urls Containing\" (replaces the default)\n"
     "  --max-kb TEXT       \"Load Max Size: Kb\" (default 200)\n"
     "  --timeout TEXT      \"Time out: sec\" (default 30)\n"
     "  --start TEXT        \"String #\", the first combination (default 1)\n"
     "  --no-engine-contact ask the search service without waiting for pages\n"
     "  --no-extractor      no link scan; a page ends at its closing form tag\n"
     "  --search-base URL   the search service (default: SearchBase of [Crawler] in\n"
     "                      zkt.ini, else http://127.0.0.1:8642/altavista)\n"},
    {"indexnow", lb::cli::runIndexNow,
     "indexnow [--key KEY] [--key-location URL] [--endpoint URL]... (--url URL... | SESSION...)\n"
     "indexnow [--key KEY] --write-key DIR",
     "Tell IndexNow search engines about new or changed URLs.",
     "  --key KEY           the site's key (default: Key of [IndexNow] in zkt.ini)\n"
     "  --key-location URL  where the key file is, when not at the site's root\n"
     "  --endpoint URL      an endpoint; may be given more than once\n"
     "  --url URL           a URL to submit; may be given more than once\n"
     "  --write-key DIR     write DIR/KEY.txt holding the key\n"},
    {"spider", lb::cli::runSpider, "spider [--contact SESSION] [--yes] [--timeout SECONDS] [--sitemap FILE] URL",
     "Walk a site from URL and save every page found as a session.",
     "  --contact SESSION   take contact fields and category from a saved session\n"
     "  --yes               answer Yes when contact fields or the category are missing\n"
     "  --timeout SECONDS   give up a page after SECONDS (default 60, 0: never)\n"},
};

void printSynopsis(FILE* out, const Command& c, bool first) {
    const QStringList lines = QString::fromUtf8(c.synopsis).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        std::fprintf(out, "%s linkbeacon-cli %s\n", first ? "usage:" : "      ", qPrintable(line));
        first = false;
    }
}

void usage(FILE* out) {
    bool first = true;
    for (const Command& c : kCommands) {
        printSynopsis(out, c, first);
        first = false;
    }
}

void help() {
    std::printf("usage: linkbeacon-cli COMMAND [ARGUMENTS]\n"
                "       linkbeacon-cli COMMAND --help\n"
                "       linkbeacon-cli --help | --version\n\n"
                "Linkbeacon without windows. Every command runs in the program folder (the\n"
                "current directory) with the same logic as the desktop program.\n\n"
                "Commands:\n");
    for (const Command& c : kCommands)
        std::printf("  %-9s %s\n", c.name, c.summary);
    std::printf("\nExit codes: 0 success, 1 failure or refusal, 2 bad arguments.\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Linkbeacon"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LB_VERSION));
    QStringList args = QCoreApplication::arguments().mid(1);
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
    for (const Command& c : kCommands) {
        if (command != QLatin1String(c.name))
            continue;
        if (args.size() == 1 &&
            (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h"))) {
            printSynopsis(stdout, c, true);
            std::printf("\n%s\n", c.summary);
            if (*c.details)
                std::printf("\nOptions:\n%s", c.details);
            return 0;
        }
        return c.run(args);
    }
    std::fprintf(stderr, "linkbeacon-cli: unknown command '%s'\n", qPrintable(command));
    usage(stderr);
    return 2;
}
