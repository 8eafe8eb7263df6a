// The commands of linkbeacon-cli: one entry each, in the order --help lists them.
// A new command is one entry here plus its run function in Commands.h.
#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace lb::cli {

namespace {

const Option kDatabase{"database", "D",
                       "the engine database: data, engines, all or a file (default: data)"};

std::vector<Option> metaTagOptions() {
    std::vector<Option> options = {
        {"set", "NAME", "start from the saved tag set NAME"},
        {"session", "NAME", "take address, title, description and keywords from a session"},
    };
    static const char* const fields[] = {
        "url",       "title", "description", "keywords",     "author", "creator", "copyright",
        "publisher", "owner", "revisit",     "distribution", "rating", "robots",  "charset",
        "language",  "day",   "date",        "month",        "year"};
    for (const char* f : fields)
        options.push_back({f, "TEXT", "the field's text"});
    options.push_back({"comment", "LINE", "a comment line; may be given more than once"});
    options.push_back({"use", "TAGS", "the tags to write: names joined by commas, or all"});
    options.push_back({"yes", nullptr, "save: answer Yes when asked before overwriting"});
    return options;
}

} // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {.name = "cipher",
         .summary = "Encipher or decipher an engine file with the engine file cipher.",
         .operands = {{"encode|decode", "the direction"},
                      {"IN", "the file to read"},
                      {"OUT", "the file to write"}},
         .run = runCipher,
         .dashWords = DashWords::Literal,
         .inProgramFolder = false},
        {.name = "fetch",
         .summary = "Fetch a URL: the body on stdout, the status on stderr.",
         .options = {{"post", "DATA", "POST DATA as a form body instead of GET"},
                     {"user", "USER:PASSWORD", "server authentication"},
                     {"proxy", "HOST[:PORT]", "go through a proxy"},
                     {"proxy-user", "USER:PASSWORD", "proxy authentication"},
                     {"referer", "URL", "send a Referer line"},
                     {"timeout", "SECONDS", "give up after SECONDS (more than 0; default: never)",
                      "--timeout needs SECONDS (more than 0)"},
                     {"cacert", "FILE",
                      "also trust the PEM certificates in FILE; may be given more than once"},
                     {"insecure", nullptr, "accept any server certificate"},
                     {"trace", nullptr, "print the client's events on stderr"}},
         .operands = {{"URL", "the address to fetch (http or https)"}},
         .run = runFetch,
         .missingValue = "%1 needs %2"},
        {.name = "submit",
         .summary = "Submit saved sessions to an engine database.",
         .options = {kDatabase,
                     {"speed", "N", "requests in flight: 1 5 10 25 ... 300 (default 25)"},
                     {"no-reports", nullptr, "write no HTML or CSV report"},
                     {"no-batch", nullptr, "leave out the batch sites"}},
         .operands = {{"SESSION...", "the saved sessions to submit"}},
         .run = runSubmit,
         .missingValue = "option needs a value"},
        {.name = "qdb",
         .summary = "Create, list, show, add to and delete from a list store file.",
         .options = {{"password", "P", "the store's password (UTF-8 bytes of P; default empty)"},
                     {"raw", nullptr, "show: the item's bytes exactly"},
                     {"compress", nullptr, "put: store the body compressed"}},
         .operands = {{"create|list|show|put|delete", "what to do"},
                      {"FILE", "the list store file"},
                      {"[KEY]", "show, put, delete: the item's key"},
                      {"[FIELD...]", "put: the item's fields"}},
         .run = runQdb,
         .usageLine = "usage: qdb create|list|show|put|delete FILE [KEY] [FIELD...] "
                      "[--password P] [--raw] [--compress]",
         .inProgramFolder = false},
        {.name = "profiles",
         .summary = "List, show and save the crawler options window's profiles in setting.set.",
         .options = {{"yes", nullptr,
                      "save: answer Yes when asked before overwriting \"default\""}},
         .operands = {{"list|show|save", "what to do"},
                      {"[NAME]", "show, save: the profile"},
                      {"[CONTROL=TEXT...]", "save: the text of a control of the options window"}},
         .run = runProfiles,
         .forms = {"profiles list", "profiles show [NAME]",
                   "profiles save NAME [CONTROL=TEXT]... [--yes]"},
         .usageLine = "usage: profiles list | show [NAME] | save NAME [CONTROL=TEXT]... [--yes]"},
        {.name = "rar",
         .summary = "Test or unpack a RAR archive, checking every entry.",
         .operands = {{"test|extract", "what to do"},
                      {"ARCHIVE", "the RAR archive"},
                      {"[DIR]", "extract: the folder to unpack into"},
                      {"[NAME...]", "only these entries"}},
         .run = runRar,
         .forms = {"rar test ARCHIVE [NAME...]", "rar extract ARCHIVE DIR [NAME...]"},
         .usageLine = "%1 (usage: rar test ARCHIVE [NAME...] | rar extract ARCHIVE DIR [NAME...])",
         .unknownOption = "unknown option '%1'",
         .dashWords = DashWords::Options,
         .inProgramFolder = false},
        {.name = "update",
         .summary = "Download the engine database update, unpack it into data/ and encipher it.",
         .options = {{"host", "HOST[:PORT]",
                      "update server (default: Host of [Update] in zkt.ini, else "
                      "127.0.0.1:8642)"},
                     {"recover", nullptr, "only finish or roll back an interrupted install"}},
         .run = runUpdate,
         .usageLine = "%1 (usage: update [--host HOST[:PORT]] [--recover])",
         .unknownOption = "unknown option '%1'",
         .missingValue = "%1 needs %2",
         .dashWords = DashWords::Options},
        {.name = "colour",
         .summary = "Print the coloured runs of a file, as the source viewer paints them.",
         .options = {{"rules", "source|meta",
                      "the source viewer's rules (default) or the META "
                      "tag creator's"},
                     {"rules-file", "RULES", "read the rules from the file RULES"}},
         .operands = {{"FILE", "the text to colour"}},
         .run = runColour,
         .forms = {"colour [--rules source|meta | --rules-file RULES] FILE"},
         .inProgramFolder = false},
        {.name = "meta",
         .summary = "Build, insert and keep META tag sets.",
         .options = metaTagOptions(),
         .operands = {{"build|insert|save|list|delete", "what to do"},
                      {"[DOC OUT]", "insert: the document and the file to write"},
                      {"[NAME]", "save, delete: the tag set"}},
         .run = runMeta,
         .forms = {"meta build [options]", "meta insert [options] DOC OUT",
                   "meta save NAME [options] [--yes]", "meta list", "meta delete NAME"}},
        {.name = "analyse",
         .summary = "Turn the submission form of a saved page into an engine record.",
         .options = {{"page-url", "URL",
                      "the address the page was downloaded from (default: none)"},
                     {"database", "D",
                      "the engine list new names are numbered against: data, engines, all or "
                      "a file (default: data)"}},
         .operands = {{"FILE", "the saved page"}},
         .run = runAnalyse},
        {.name = "extract",
         .summary = "Download a submission page and turn its form into an engine record.",
         .options = {{"database", "D",
                      "the engine list the page is checked and numbered against: data, "
                      "engines, all or a file (default: data)"}},
         .operands = {{"URL", "the submission page"}},
         .run = runExtract},
        {.name = "ffa",
         .summary = "Crawl for FFA link pages and save their forms into an FFA list.",
         .options =
             {{"main", "LINE", "add a line to the main keyword list (repeatable)"},
              {"and1", "LINE", "add a line to the first AND list (repeatable)"},
              {"and2", "LINE", "add a line to the second AND list (repeatable)"},
              {"and3", "LINE", "add a line to the third AND list (repeatable)"},
              {"include", "LINE", "a line of \"Extract Urls Containing\" (replaces the default)"},
              {"ignore", "LINE", "a line of \"Ignore Urls Containing\" (replaces the default)"},
              {"max-kb", "TEXT", "\"Load Max Size: Kb\" (default 200)"},
              {"timeout", "TEXT", "\"Time out: sec\" (default 30)"},
              {"start", "TEXT", "\"String #\", the first combination (default 1)"},
              {"no-engine-contact", nullptr, "ask the search service without waiting for pages"},
              {"no-extractor", nullptr, "no link scan; a page ends at its closing form tag"},
              {"search-base", "URL",
               "the search service (default: SearchBase of [Crawler] in zkt.ini, else "
               "http://127.0.0.1:8642/altavista)"}},
         .operands = {{"LIST", "the FFA list file, made when it does not exist"}},
         .run = runFfa,
         .missingValue = "option %1 needs a value",
         .dashWords = DashWords::Options},
        {.name = "indexnow",
         .summary = "Tell IndexNow search engines about new or changed URLs.",
         .options = {{"key", "KEY", "the site's key (default: Key of [IndexNow] in zkt.ini)"},
                     {"key-location", "URL", "where the key file is, when not at the site's root"},
                     {"endpoint", "URL", "an endpoint; may be given more than once"},
                     {"url", "URL", "a URL to submit; may be given more than once"},
                     {"write-key", "DIR", "write DIR/KEY.txt holding the key"}},
         .operands = {{"[SESSION...]", "the saved sessions whose addresses are submitted"}},
         .run = runIndexNow,
         .forms = {"indexnow [--key KEY] [--key-location URL] [--endpoint URL]... "
                   "(--url URL... | SESSION...)",
                   "indexnow [--key KEY] --write-key DIR"},
         .missingValue = "option %1 needs a value"},
        {.name = "spider",
         .summary = "Walk a site from URL and save every page found as a session.",
         .options = {{"contact", "SESSION",
                      "take contact fields and category from a saved session"},
                     {"yes", nullptr, "answer Yes when contact fields or the category are missing"},
                     {"timeout", "SECONDS", "give up a page after SECONDS (default 60, 0: never)"},
                     {"sitemap", "FILE", "also write the pages found as a sitemap to FILE"}},
         .operands = {{"URL", "the page to start from"}},
         .run = runSpider},
        {.name = "audit",
         .summary = "Crawl a site and report what keeps it from being found.",
         .options = {{"max-pages", "N", "request at most N pages (default 10000)"},
                     {"in-flight", "N", "requests at the same time (default 4)"},
                     {"timeout", "SECONDS", "give up a request after SECONDS (default 30)"},
                     {"ignore-robots", nullptr, "fetch pages robots.txt disallows (your own site)"},
                     {"csv", "FILE", "the page table here instead of reports/audit-HOST.csv"},
                     {"html", "FILE", "the report here instead of reports/audit-HOST.htm"}},
         .operands = {{"URL", "the http or https address to start from"}},
         .run = runAudit},
    };
    return table;
}

} // namespace lb::cli
