// linkbeacon-cli's --help and --version, and each command's --help.
#include "support/CliRun.h"

#include <gtest/gtest.h>
#include <QRegularExpression>

namespace {

struct CliRun {
    int code = -1;
    QString out, err;
};

CliRun cli(const QStringList& args) {
    const auto r = lb::test::runCli(QString(), args);
    return {r.exitCode, QString::fromUtf8(r.out), QString::fromUtf8(r.err)};
}

} // namespace

TEST(CliHelp, HelpListsEveryCommandAndEachCommandExplainsItself) {
    const CliRun top = cli({"--help"});
    EXPECT_EQ(top.code, 0);
    EXPECT_TRUE(top.err.isEmpty());
    EXPECT_TRUE(top.out.startsWith("usage: linkbeacon-cli COMMAND"));

    // Every command the bare usage names is listed by --help and answers its own --help.
    const CliRun bare = cli({});
    EXPECT_EQ(bare.code, 2);
    QStringList names;
    const QRegularExpression line("linkbeacon-cli ([a-z]+)");
    for (auto it = line.globalMatch(bare.err); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (!names.contains(name))
            names.append(name);
    }
    EXPECT_GE(names.size(), 10);
    for (const QString& name : std::as_const(names)) {
        EXPECT_TRUE(top.out.contains(QStringLiteral("\n  ") + name + QLatin1Char(' ')))
            << qPrintable(name);
        const CliRun own = cli({name, "--help"});
        EXPECT_EQ(own.code, 0) << qPrintable(name);
        EXPECT_TRUE(own.out.startsWith(QStringLiteral("usage: linkbeacon-cli ") + name))
            << qPrintable(own.out);
        EXPECT_TRUE(own.err.isEmpty()) << qPrintable(name);
    }
}

TEST(CliHelp, VersionAndUnknownCommand) {
    const CliRun v = cli({"--version"});
    EXPECT_EQ(v.code, 0);
    EXPECT_TRUE(
        QRegularExpression("^linkbeacon-cli \\d+\\.\\d+(\\.\\d+)?\n$").match(v.out).hasMatch())
        << qPrintable(v.out);
    const CliRun bad = cli({"frobnicate"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.startsWith("linkbeacon-cli: unknown command 'frobnicate'\nusage:"));
    EXPECT_TRUE(bad.out.isEmpty());
}
