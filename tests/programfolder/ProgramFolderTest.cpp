// Checks the program folder the build lays out: what a fresh install loads at
// start must be readable by the program's own loaders and consistent with
// itself (engines, categories, batch sites, pictures, help pages).
#include "common/AsciiText.h"
#include "common/IniFile.h"
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineRecord.h"
#include "engines/FormNames.h"
#include "reports/HelpPages.h"
#include "sessions/SessionRecord.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

using lb::test::readFile;
using namespace lb;

namespace {

const QString Folder = QStringLiteral(LB_PROGRAMFOLDER);
const QString DemoPrefix = QStringLiteral("http://127.0.0.1:8642/demo/");

QString path(const QString& rel) {
    return Folder + QLatin1Char('/') + rel;
}

// Every line must be written back by the program's own engine record as it
// stands (name, "=", exactly 37 fields each followed by "|"); a malformed
// line fails here and is left out.
QList<EngineRecord> loadEngines(const QString& rel) {
    QByteArray text = readFile(path(rel));
    if (rel.endsWith(".hlz"))
        text = decipherEngineText(text);
    QList<EngineRecord> engines;
    for (const QString& line : splitLines(text)) {
        const EngineRecord e = EngineRecord::fromLine(line);
        EXPECT_EQ(e.toLine(), line) << rel.toStdString();
        if (e.toLine() == line)
            engines.append(e);
    }
    return engines;
}

QSet<QString> toSet(const QStringList& list) {
    return QSet<QString>(list.begin(), list.end());
}

template <std::size_t N> QSet<QString> toSet(const char* const (&names)[N]) {
    QSet<QString> out;
    for (const char* n : names)
        out.insert(QString::fromLatin1(n));
    return out;
}

QStringList catTypes() {
    return IniFile(path("data/catagory.hlx")).readSection("CatType");
}

} // namespace

// ---------------------------------------------------------------- engines

class ShippedDatabase : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedDatabase, DistinctEnginesOnTheDemoHostWithUsableRequests) {
    const QList<EngineRecord> engines = loadEngines(QString::fromLatin1(GetParam()));
    ASSERT_GE(engines.size(), 4);
    const QStringList types = catTypes();
    const QStringList covered = IniFile(path("data/batch.hlx")).readSection("batchlist");
    QSet<QString> names;
    for (const EngineRecord& e : engines) {
        const std::string n = e.name.toStdString();
        EXPECT_FALSE(e.name.trimmed().isEmpty());
        EXPECT_FALSE(names.contains(asciiUpper(e.name)))
            << "duplicate (lookups ignore case): " << n;
        names.insert(asciiUpper(e.name));
        EXPECT_TRUE(e[EngineRecord::SiteUrl].startsWith(DemoPrefix)) << n;
        EXPECT_TRUE(e[EngineRecord::CgiUrl].startsWith(DemoPrefix)) << n;
        const QString method = e[EngineRecord::Method];
        ASSERT_TRUE(method == "GET" || method == "POST") << n << ": " << method.toStdString();
        // The pair string is appended to a GET address as it is.
        if (method == "GET")
            EXPECT_TRUE(e[EngineRecord::CgiUrl].contains('?')) << n;
        EXPECT_FALSE(e[EngineRecord::UrlVar].isEmpty()) << n << " sends no URL";
        // Variable names and hidden pairs go into the request unescaped.
        for (int i = 0; i < EngineRecord::FieldCount; ++i) {
            if (i == EngineRecord::SiteUrl || i == EngineRecord::CgiUrl ||
                i == EngineRecord::Method || i == EngineRecord::CategoryType ||
                i == EngineRecord::HiddenValues)
                continue;
            static const QRegularExpression plainName("^[A-Za-z0-9_]*$");
            EXPECT_TRUE(plainName.match(e[i]).hasMatch())
                << n << " field " << i + 1 << ": " << e[i].toStdString();
        }
        const QString hidden = e[EngineRecord::HiddenValues];
        if (!hidden.isEmpty()) {
            static const QRegularExpression pairs("^(&[A-Za-z0-9_]+=[A-Za-z0-9_.+-]*)+$");
            EXPECT_TRUE(pairs.match(hidden).hasMatch()) << n << ": " << hidden.toStdString();
        }
        // A category variable needs a type whose Sub section gives its value.
        const QString& type = e[EngineRecord::CategoryType];
        if (e[EngineRecord::CategoryVar].isEmpty())
            EXPECT_TRUE(type.isEmpty()) << n;
        else
            EXPECT_TRUE(types.contains(type)) << n << ": " << type.toStdString();
        // The editor refuses engines whose form a batch site already covers.
        for (const QString& page : covered)
            EXPECT_FALSE(e[EngineRecord::CgiUrl].contains(page)) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(ProgramFolder, ShippedDatabase,
                         ::testing::Values("data/data.hlz", "data/engines.hlz",
                                           "data/custom/custom.hlx"));

// ---------------------------------------------------------- category file

// Items 0, 1 and 2 of the type list hold the names the form analyser
// recognises a target's category list by.
TEST(ProgramFolderCategories, TypesAreListedInTheOrderTheFormAnalyserPicksThem) {
    EXPECT_EQ(catTypes(), QStringList({"Cat1", "Cat2", "Cat3"}));
    const IniFile ini(path("data/catagory.hlx"));
    EXPECT_EQ(toSet(SmallestCategorySet), toSet(ini.readSection("Cat1")));
    EXPECT_EQ(toSet(MiddleCategorySet), toSet(ini.readSection("Cat2")));
    EXPECT_EQ(toSet(LargestCategorySet), toSet(ini.readSection("Cat3")));
    EXPECT_EQ(toSet(LargestCategorySet), toSet(sessionCategories()));
}

TEST(ProgramFolderCategories, EverySessionCategoryMapsToAValueOfEachType) {
    const IniFile ini(path("data/catagory.hlx"));
    for (const QString& type : catTypes()) {
        QSet<QString> values;
        for (const QString& key : ini.readSection(type))
            values.insert(ini.readString(type, key));
        ASSERT_FALSE(values.isEmpty()) << type.toStdString();
        for (const QString& category : sessionCategories()) {
            const QString v = ini.readString("Sub" + type, category);
            EXPECT_TRUE(values.contains(v))
                << "Sub" << type.toStdString() << " " << category.toStdString() << " -> '"
                << v.toStdString() << "'";
            EXPECT_FALSE(v.contains(' ') || v.contains('&') || v.contains('=')) << v.toStdString();
        }
    }
}

// ------------------------------------------------------------ batch sites

TEST(ProgramFolderBatch, SitesAreCompleteAndTheirPageListsDecipher) {
    const IniFile ini(path("data/batch.hlx"));
    EXPECT_FALSE(ini.readSection("batchlist").isEmpty());
    const QStringList sites = ini.readSection("batchsites");
    ASSERT_FALSE(sites.isEmpty());
    int pages = 0;
    for (const QString& site : sites) {
        const std::string s = site.toStdString();
        for (const char* key : {"count", "site", "parse", "title", "url", "email", "catagory",
                                "cattype", "description", "pagename", "cgiur"})
            EXPECT_TRUE(ini.valueExists(site, key)) << s << " lacks " << key;
        EXPECT_TRUE(ini.readString(site, "site").startsWith(DemoPrefix)) << s;
        EXPECT_TRUE(ini.readString(site, "cgiur").startsWith(DemoPrefix)) << s;
        EXPECT_TRUE(catTypes().contains(ini.readString(site, "cattype"))) << s;
        const QStringList lines =
            splitLines(decipherEngineText(readFile(path("data/" + site + ".hlz"))));
        EXPECT_FALSE(lines.isEmpty()) << s;
        for (const QString& line : lines)
            EXPECT_TRUE(line.startsWith(DemoPrefix)) << s << ": " << line.toStdString();
        EXPECT_EQ(ini.readInteger(site, "count", -1), lines.size()) << s;
        pages += lines.size();
    }
    EXPECT_EQ(ini.readInteger("count", "count", -1), pages);
}

// ------------------------------------------------------ files and folders

TEST(ProgramFolderFiles, StartUpFilesAndFoldersArePresent) {
    const QFileInfo exclude(path("data/exclude.tmp"));
    EXPECT_TRUE(exclude.isFile() && exclude.size() == 0);
    EXPECT_TRUE(QFileInfo(path("data/custom")).isDir());
    EXPECT_TRUE(QFileInfo(path("reports")).isDir() && QDir(path("reports")).isEmpty());
    // Plain engine sources are enciphered, not copied.
    EXPECT_FALSE(QFileInfo::exists(path("src")));
    EXPECT_FALSE(QImage(path("kwnlogo.bmp")).isNull());
    EXPECT_TRUE(QImage(path("kwnico.ico")).hasAlphaChannel());
}

// Every help button's page is shipped, and every link and picture on those
// pages leads to a file (and anchor) inside the help folder.
TEST(ProgramFolderHelp, EveryPageOfAHelpButtonLinksOnlyInsideTheHelpFolder) {
    const auto captures = [](const QString& file, const QString& pattern) {
        QStringList out;
        const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
        for (auto m = re.globalMatch(QString::fromUtf8(readFile(file))); m.hasNext();)
            out << m.next().captured(1);
        return out;
    };
    for (int t = int(HelpTopic::StartUp); t <= int(HelpTopic::MetaCreator); ++t) {
        const QFileInfo page(helpPagePath(Folder, HelpTopic(t)));
        ASSERT_TRUE(page.isFile()) << page.filePath().toStdString();
        for (const QString& link :
             captures(page.filePath(), R"re(\b(?:href|src)\s*=\s*"([^"]*)")re")) {
            const std::string where = page.fileName().toStdString() + " -> " + link.toStdString();
            const QUrl url(link);
            ASSERT_TRUE(url.isRelative() && !url.path().contains("..")) << where;
            const QString target =
                url.path().isEmpty() ? page.filePath() : page.dir().filePath(url.path());
            ASSERT_TRUE(QFileInfo(target).isFile()) << where;
            if (url.hasFragment())
                EXPECT_TRUE(captures(target, R"re(<a\s+name="([^"]+)")re").contains(url.fragment()))
                    << where;
        }
    }
}
