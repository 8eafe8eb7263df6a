// The command table of linkbeacon-cli: how a command's words are parsed, and
// for every command in the table that its --help lists every option and
// operand and that its parser refuses what it does not know with one line.
// (Names and texts of the table itself are not restated here.)
#include "cli/CommandLine.h"
#include "support/CliRun.h"
#include "support/DemoFolder.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using lb::cli::Command;
using lb::cli::CommandLine;

const Command& command(const char* name) {
    const Command* c = lb::cli::findCommand(QString::fromLatin1(name));
    if (!c)
        throw std::runtime_error(name);
    return *c;
}

struct ParseCase {
    const char* command;
    QStringList args;
    QString error;        // empty: parses
    QStringList operands; // when it parses
    const char* option = nullptr;
    QStringList values; // of that option
};

TEST(CommandLine, ParsesEachCommandsWordsTheWayItAlwaysHas) {
    // clang-format off
    const ParseCase cases[] = {
        // A word with one dash stays an operand, also as an option's value.
        {"qdb", {"put", "s", "-k", "-5", "-"}, {}, {"put", "s", "-k", "-5", "-"}},
        {"qdb", {"show", "--password", "-pw", "s", "k"}, {}, {"show", "s", "k"}, "password",
         {"-pw"}},
        {"qdb", {"put", "s", "k", "--", "--raw"}, {}, {"put", "s", "k", "--raw"}},
        {"qdb", {"list", "--password=a=b", "s"}, {}, {"list", "s"}, "password", {"a=b"}},
        // Repeated options keep their order; a value may look like an option.
        {"ffa", {"--main", "a", "L", "--main", "--and1"}, {}, {"L"}, "main", {"a", "--and1"}},
        // Where a single dash marks options, an unknown one is refused as typed.
        {"ffa", {"-x", "L"}, "unknown option -x"},
        {"rar", {"test", "-v", "a.rar"}, "unknown option '-v'"},
        {"cipher", {"encode", "--x", "-y"}, {}, {"encode", "--x", "-y"}},
        // The first fault is named, in the command's own words.
        {"fetch", {"--zz", "--timeout"}, "unknown option --zz"},
        {"fetch", {"u", "--timeout"}, "--timeout needs SECONDS (more than 0)"},
        {"fetch", {"u", "--user"}, "--user needs USER:PASSWORD"},
        {"submit", {"s", "--database"}, "option needs a value"},
        {"indexnow", {"--url"}, "option --url needs a value"},
        {"analyse", {"f", "--page-url"}, "--page-url needs a value"},
        {"update", {"--host"}, "--host needs HOST[:PORT]"},
        {"update", {"--port", "1"}, "unknown option '--port'"},
    };
    // clang-format on
    for (const ParseCase& c : cases) {
        const QString what = QString::fromLatin1(c.command) + ' ' + c.args.join(' ');
        CommandLine line(command(c.command));
        const bool ok = line.parse(c.args);
        EXPECT_EQ(ok, c.error.isEmpty()) << qPrintable(what);
        EXPECT_EQ(line.error(), c.error) << qPrintable(what);
        if (!ok)
            continue;
        EXPECT_EQ(line.operands(), c.operands) << qPrintable(what);
        if (c.option)
            EXPECT_EQ(line.values(c.option), c.values) << qPrintable(what);
    }
}

TEST(CommandTable, EveryHelpListsWhatTheParserTakes) {
    for (const Command& c : lb::cli::commands()) {
        const QString name = QString::fromLatin1(c.name);
        const QString help = lb::cli::helpText(c);
        EXPECT_TRUE(help.startsWith("usage: linkbeacon-cli " + name)) << qPrintable(help);
        for (const lb::cli::Option& o : c.options) {
            EXPECT_TRUE(help.contains("\n  " + lb::cli::optionLabel(o)))
                << qPrintable(name + " --" + o.name);
            // Left without its value, or a switch given one: one reason.
            if (c.dashWords == lb::cli::DashWords::Literal)
                continue;
            CommandLine line(c);
            const QStringList args = o.value ? QStringList{"x", QStringLiteral("--") + o.name}
                                             : QStringList{QStringLiteral("--%1=1").arg(o.name)};
            EXPECT_FALSE(line.parse(args)) << qPrintable(name + " " + args.join(' '));
            EXPECT_FALSE(line.error().isEmpty() || line.error().contains('\n'))
                << qPrintable(name + " " + o.name);
        }
        for (const lb::cli::Operand& o : c.operands)
            EXPECT_TRUE(help.contains("\n  " + QString::fromUtf8(o.syntax)))
                << qPrintable(name + " " + o.syntax);
        // Entries are wrapped to fit a terminal.
        const QStringList lines = help.split('\n');
        for (const QString& l : lines.mid(int(lb::cli::synopsis(c).size())))
            EXPECT_LE(l.size(), 79) << qPrintable(l);
    }
}

// The program's own options, and usage errors before and after a command.
TEST(CommandTable, TheProgramsOwnOptionsAndUsageErrors) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(lb::test::copyBundledFolder(folder, 8642));
    const QString elsewhere = dir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QByteArray none = dir.filePath("none").toUtf8();
    const struct {
        QStringList args;
        int exitCode;
        QByteArray out, err; // what each starts with
    } cases[] = {
        // clang-format off
        {{"--help"}, 0, "usage: linkbeacon-cli COMMAND", ""},
        {{"--version"}, 0, "linkbeacon-cli ", ""}, // the number: scripts/check-package
        // One dispatch answers every command's help: alone, or among other words.
        {{"fetch", "-h"}, 0, lb::cli::helpText(command("fetch")).toUtf8(), ""},
        {{"spider", "u", "--help"}, 0, lb::cli::helpText(command("spider")).toUtf8(), ""},
        {{}, 2, "", "usage: linkbeacon-cli "},
        {{"frobnicate"}, 2, "", "linkbeacon-cli: unknown command 'frobnicate'\nusage:"},
        {{"fetch", "--no-such-option", "u"}, 2, "", "linkbeacon-cli fetch: "},
        {{"--program-folder", folder, "profiles", "list"}, 0, "default\n", ""},
        {{"--program-folder=" + folder, "profiles", "list"}, 0, "default\n", ""},
        {{"--program-folder", none, "profiles", "list"}, 1, "",
         "linkbeacon-cli: no folder " + none + "\n"},
        {{"--program-folder"}, 2, "", "linkbeacon-cli: --program-folder needs DIR\n"},
        // Commands on single files read their names where they were started
        // (qdb list makes a missing store: an empty one here, not the folder's).
        {{"--program-folder", folder, "qdb", "list", "setting.set"}, 0, "", ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        const lb::test::CliResult r = lb::test::runCli(elsewhere, c.args);
        const QString what = c.args.join(' ');
        EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(what) << r.err.constData();
        EXPECT_TRUE(r.out.startsWith(c.out)) << qPrintable(what) << r.out.constData();
        EXPECT_TRUE(r.err.startsWith(c.err)) << qPrintable(what) << r.err.constData();
        EXPECT_EQ(r.out.isEmpty(), c.out.isEmpty()) << qPrintable(what);
        EXPECT_EQ(r.err.isEmpty(), c.err.isEmpty()) << qPrintable(what);
    }
    EXPECT_TRUE(QFileInfo::exists(elsewhere + "/setting.set"));
}

} // namespace
