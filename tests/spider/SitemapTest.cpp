// The sitemap of a crawl: its bytes, spider --sitemap, and the window's file.
#include "spider/Sitemap.h"
#include "engines/ProgramFolder.h"
#include "support/CliRun.h"
#include "support/TargetSim.h"

#include <gtest/gtest.h>
#include <QDir>

using lb::test::ProgramFolder;
using lb::test::TargetSim;

TEST(Sitemap, EscapesMarkupKeepsOrderAndLeavesOutOverlongAddresses) {
    const QString longest = QStringLiteral("http://a/") + QString(2048 - 9, QLatin1Char('x'));
    const QString tooLong = longest + QLatin1Char('y');
    const QByteArray doc =
        lb::sitemapDocument({"http://b/?a=1&b='<2>'\"", tooLong, "http://a/é", longest});
    EXPECT_EQ(doc,
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                         "<url><loc>http://b/?a=1&amp;b=&apos;&lt;2&gt;&apos;&quot;</loc></url>\n"
                         "<url><loc>http://a/\xC3\xA9</loc></url>\n"
                         "<url><loc>") +
                  longest.toUtf8() + "</loc></url>\n</urlset>\n");
    EXPECT_EQ(lb::sitemapDocument({}),
              QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                         "</urlset>\n"));
}

namespace {

int spiderCli(const QString& folder, const QStringList& args, QByteArray* err = nullptr) {
    const auto r = lb::test::runCli(folder, QStringList{"spider"} + args);
    if (err)
        *err = r.err;
    return r.exitCode;
}

} // namespace

TEST(Sitemap, SpiderWritesTheFoundUrlsInTheOrderFoundOnlyWhenTheCrawlEnds) {
    TargetSim sim;
    ASSERT_TRUE(sim.ok());
    ProgramFolder pf;
    const QString s = sim.url("/site");
    ASSERT_EQ(spiderCli(pf.dir.path(), {"--yes", "--sitemap", "out/map.xml", s + QLatin1Char('/')}),
              0);
    const QList<QByteArray> lines = pf.readBytes("out/map.xml").split('\n');
    ASSERT_EQ(lines.size(), 10); // declaration, urlset, six pages, closing tag, and the final LF
    EXPECT_EQ(lines[2], "<url><loc>" + (s + QLatin1Char('/')).toUtf8() + "</loc></url>");
    EXPECT_EQ(lines[3], "<url><loc>" + s.toUtf8() + "</loc></url>");
    EXPECT_EQ(lines[8], "</urlset>");
    EXPECT_TRUE(lines[9].isEmpty());

    // A start check that refuses writes no sitemap; an unwritable one is exit 1.
    ProgramFolder fresh;
    EXPECT_EQ(spiderCli(fresh.dir.path(), {"--sitemap", "map.xml", s}), 1);
    EXPECT_FALSE(fresh.exists("map.xml"));
    QDir(fresh.dir.path()).mkpath("taken.xml");
    QByteArray err;
    EXPECT_EQ(
        spiderCli(fresh.dir.path(), {"--yes", "--sitemap", "taken.xml", s + "/about.html"}, &err),
        1);
    EXPECT_TRUE(err.endsWith("Unable to write to " + fresh.path("taken.xml").toUtf8() + "\n"))
        << err.toStdString();
}
