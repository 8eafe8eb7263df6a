// The manual page made from the command table (scripts/check-package reads
// it with man --warnings).
#include "cli/Documents.h"
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

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

} // namespace
