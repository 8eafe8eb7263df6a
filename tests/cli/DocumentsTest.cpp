// The manual page and the bash completion made from the command table
// (scripts/check-package reads the page with man --warnings).
#include "cli/Documents.h"
#include "cli/CommandLine.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

using lb::cli::Command;

TEST(ManPage, NamesEveryCommandAndOption) {
    const QString page = lb::cli::manPage("9.8", "2026-01-02");
    EXPECT_TRUE(page.startsWith(".TH LINKBEACON\\-CLI 1 \"2026-01-02\" \"Linkbeacon 9.8\""));
    for (const Command& c : lb::cli::commands()) {
        EXPECT_TRUE(page.contains(QStringLiteral("\n.SS %1\n").arg(c.name))) << c.name;
        for (const lb::cli::Option& o : c.options) {
            const QString option = QString::fromLatin1(o.name).replace('-', "\\-");
            EXPECT_TRUE(page.contains("\n\\fB\\-\\-" + option + "\\fR")) << c.name << " " << o.name;
        }
    }
}

class Completion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QFile f(dir.filePath("linkbeacon-cli"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lb::cli::bashCompletion().toUtf8());
    }
    // What Tab offers after the words, the last being the one being typed.
    QStringList complete(const QStringList& words) {
        QProcess bash;
        bash.setWorkingDirectory(dir.path());
        bash.start("bash",
                   QStringList{"-c",
                               "source \"$1\"; shift; COMP_WORDS=(\"$@\"); "
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _linkbeacon_cli; "
                               "printf '%s\\n' \"${COMPREPLY[@]}\"",
                               "complete", dir.filePath("linkbeacon-cli"), "linkbeacon-cli"} +
                       words);
        if (!bash.waitForFinished(20000))
            return {"(timed out)"};
        const QString err = QString::fromUtf8(bash.readAllStandardError());
        if (!err.isEmpty())
            return {err};
        QStringList out = QString::fromUtf8(bash.readAllStandardOutput()).split('\n');
        out.removeAll(QString());
        out.sort();
        return out;
    }
    QTemporaryDir dir;
};

TEST_F(Completion, CompletesCommandsActionsAndEveryOptionOfEveryCommand) {
    struct Case {
        QStringList words, offered;
    };
    std::vector<Case> cases = {
        {{"--program-folder", "somewhere", "sp"}, {"spider"}},
        {{"--ver"}, {"--version"}},
        {{"fetch", "--ti"}, {"--timeout"}},
        {{"qdb", "--password", "p", "li"}, {"list"}},
        {{"rar", ""}, {"extract", "test"}},
        // After an action, and as an option's value, files are offered.
        {{"qdb", "list", "linkbeacon-c"}, {"linkbeacon-cli"}},
        {{"spider", "--sitemap", "link"}, {"linkbeacon-cli"}},
        {{"nosuchcommand", "--"}, {}},
    };
    for (const Command& c : lb::cli::commands()) {
        QStringList options;
        for (const lb::cli::Option& o : c.options)
            options << QStringLiteral("--") + o.name;
        if (c.dashWords != lb::cli::DashWords::Literal)
            options << "--help";
        options.sort();
        cases.push_back({{c.name, "--"}, options});
    }
    for (const Case& c : cases)
        EXPECT_EQ(complete(c.words), c.offered) << qPrintable(c.words.join(' '));
}

} // namespace
