// linkbeacon-cli meta: the META tag creator without its window. Every message
// box becomes one line on standard error ("caption: text").
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/TextFiles.h"
#include "common/Dialogs.h"
#include "common/Paths.h"
#include "meta/MetaCreator.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <map>

namespace lb::cli {

namespace {

class StderrDialogs : public Dialogs {
public:
    bool yes = false;
    void inform(const QString& text, const QString& caption, Icon) override { line(text, caption); }
    bool askYesNo(const QString& text, const QString& caption) override {
        line(text, caption);
        return yes;
    }
    void showError(const QString& text) override { line(text, QString()); }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }

private:
    static void line(const QString& text, const QString& caption) {
        const QString l = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
        std::fprintf(stderr, "%s\n", l.toUtf8().constData());
    }
};

const char* const kUsage = "usage: meta build [tag options] | insert [tag options] DOC OUT | "
                           "save NAME [tag options] [--yes] | list | delete NAME";

struct TagOptions {
    QString set, session;
    bool hasSet = false, hasSession = false;
    std::map<QString, QString> values; // field option without "--" -> value
    QStringList comments;
    bool hasComments = false;
    QString use;
    bool hasUse = false;
};

QString* fieldByOption(MetaFields& f, const QString& option) {
    static const std::pair<const char*, QString MetaFields::*> table[] = {
        {"url", &MetaFields::url},
        {"title", &MetaFields::title},
        {"description", &MetaFields::description},
        {"keywords", &MetaFields::keywords},
        {"author", &MetaFields::author},
        {"creator", &MetaFields::creator},
        {"copyright", &MetaFields::copyright},
        {"publisher", &MetaFields::publisher},
        {"owner", &MetaFields::owner},
        {"revisit", &MetaFields::revisit},
        {"distribution", &MetaFields::distribution},
        {"rating", &MetaFields::rating},
        {"robots", &MetaFields::robots},
        {"charset", &MetaFields::charset},
        {"language", &MetaFields::language},
        {"day", &MetaFields::day},
        {"date", &MetaFields::date},
        {"month", &MetaFields::month},
        {"year", &MetaFields::year}};
    for (const auto& [name, member] : table)
        if (option == QLatin1String(name))
            return &(f.*member);
    return nullptr;
}

// Applies the options in their fixed order: tag set, session, fields, check boxes.
bool applyTagOptions(MetaCreator& creator, const TagOptions& o) {
    if (o.hasSet && !creator.loadTagSetByName(o.set, true))
        return false;
    if (o.hasSession &&
        !creator.importSession(appPath(creator.appDir(), QStringLiteral("\\data\\session\\") +
                                                             o.session + QStringLiteral(".hlx"))))
        return false;
    for (const auto& [option, value] : o.values)
        *fieldByOption(creator.fields, option) = value;
    if (o.hasComments)
        creator.fields.comments = o.comments;
    if (o.hasUse) {
        creator.checks = MetaChecks();
        if (o.use == QLatin1String("all")) {
            for (const QString& n : MetaChecks::names())
                *creator.checks.byName(n) = true;
        } else if (!o.use.isEmpty()) {
            for (const QString& n : o.use.split(QLatin1Char(',')))
                *creator.checks.byName(n) = true;
        }
    }
    return true;
}

} // namespace

int runMeta(const CommandLine& line) {
    if (line.operands().isEmpty())
        return line.usageError(QLatin1String(kUsage));
    const QString sub = line.operands().first();
    const QStringList positional = line.operands().mid(1);
    const bool takesTags = sub == QLatin1String("build") || sub == QLatin1String("insert") ||
                           sub == QLatin1String("save");
    if (!takesTags && sub != QLatin1String("list") && sub != QLatin1String("delete"))
        return line.usageError(QStringLiteral("unknown subcommand ") + sub);
    for (const QString& name : line.optionsGiven())
        if (!takesTags || (name == QLatin1String("yes") && sub != QLatin1String("save")))
            return line.usageError(QStringLiteral("unknown option --") + name);

    TagOptions o;
    o.hasSet = line.isSet("set");
    o.set = line.value("set");
    o.hasSession = line.isSet("session");
    o.session = line.value("session");
    o.comments = line.values("comment");
    o.hasComments = line.isSet("comment");
    o.hasUse = line.isSet("use");
    o.use = line.value("use");
    const bool yes = line.isSet("yes");
    MetaFields probe;
    for (const Option& option : line.command().options) {
        const QString name = QLatin1String(option.name);
        if (fieldByOption(probe, name) && line.isSet(option.name))
            o.values[name] = line.value(option.name);
    }
    for (const QString& use : line.values("use")) {
        MetaChecks c;
        if (use != QLatin1String("all") && !use.isEmpty())
            for (const QString& n : use.split(QLatin1Char(',')))
                if (!c.byName(n))
                    return line.usageError(QStringLiteral("--use: unknown tag ") + n);
    }

    const int wanted = sub == QLatin1String("insert")                                     ? 2
                       : (sub == QLatin1String("save") || sub == QLatin1String("delete")) ? 1
                                                                                          : 0;
    if (positional.size() != wanted)
        return line.usageError(QLatin1String(kUsage));

    // Names that would leave their folder are refused before any file is touched.
    QStringList names;
    if (o.hasSet)
        names << o.set;
    if (o.hasSession)
        names << o.session;
    if (sub == QLatin1String("save") || sub == QLatin1String("delete"))
        names << positional.first();
    for (const QString& n : names)
        if (MetaCreator::isUnsafeName(n))
            return failLine(QLatin1String(metaText::InvalidNameCaption) + QStringLiteral(": ") +
                            QLatin1String(metaText::InvalidName));

    StderrDialogs dialogs;
    dialogs.yes = yes;
    MetaCreator creator(QDir::currentPath(), dialogs);

    if (sub == QLatin1String("list")) {
        creator.readIndex();
        QByteArray out;
        for (const QString& n : creator.sesList().names())
            out += n.toUtf8() + '\n';
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return 0;
    }
    if (sub == QLatin1String("delete")) {
        creator.readIndex();
        creator.selectRow(int(creator.sesList().names().indexOf(positional.first())));
        return creator.deleteSelected() ? 0 : 1;
    }

    if (!applyTagOptions(creator, o))
        return 1;

    if (sub == QLatin1String("save")) {
        creator.readIndex();
        creator.sessionName = positional.first();
        return creator.addEdit() ? 0 : 1;
    }

    const QStringList block = creator.buildBlock();
    if (sub == QLatin1String("build")) {
        QByteArray out;
        for (const QString& l : block)
            out += l.toUtf8() + "\r\n";
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return 0;
    }

    // insert
    const QString doc = positional.at(0);
    const QString outPath = positional.at(1);
    QFile in(doc);
    if (!in.open(QIODevice::ReadOnly))
        return failLine(QStringLiteral("Cannot open file ") + doc);
    QStringList lines = documentLines(in.readAll());
    if (!creator.inject(block, lines))
        return 1;
    if (!writeBytesFile(outPath, documentBytes(lines)))
        return failLine(QStringLiteral("Unable to write to ") + outPath);
    return 0;
}

} // namespace lb::cli
