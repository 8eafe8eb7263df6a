// The list store with 10,000 items of 1 KB: open, look up every key, save;
// plain, compressed, with a password and with both. Each measurement runs in
// a process of its own so its peak memory is its own:
//
//   bench_liststore make DIR            writes the four stores into DIR
//   bench_liststore run FILE [PASSWORD] open, 10,000 look-ups, save; times and peak memory
//   bench_liststore ratio               compression ratios: profiles and 1 MB of HTML
#include "ffa/CrawlerOptions.h"
#include "liststore/QDB.h"
#include "liststore/QDBCompress.h"
#include "liststore/QDBFields.h"
#include "liststore/QDBView.h"

#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <random>

namespace {

constexpr int ItemCount = 10000;

const char* const Words[] = {"links", "free",   "submit",   "your",      "site",
                             "to",    "search", "engines",  "directory", "classified",
                             "page",  "the",    "best",     "web",       "promotion",
                             "add",   "url",    "keywords", "traffic",   "home"};

// About 1 KB of page-like text: words, tags, a number or two.
QByteArray itemBody(std::mt19937& rng, int i) {
    QByteArray b = "<tr><td><a href=\"http://www.example" + QByteArray::number(i) + ".com/\">";
    while (b.size() < 1024) {
        b += Words[rng() % 20];
        b += (rng() % 7 == 0) ? "</a></td><td>" : " ";
        if (rng() % 13 == 0)
            b += QByteArray::number(rng() % 100000);
    }
    b.truncate(1024);
    return b;
}

QString keyOf(int i) {
    return QStringLiteral("Item %1 %2").arg((i * 7919) % 100003).arg(i);
}

qint64 peakKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

int make(const QString& dir) {
    struct Kind {
        const char* name;
        bool compress;
        const char* password;
    };
    for (const Kind& k : {Kind{"plain", false, ""}, Kind{"compressed", true, ""},
                          Kind{"password", false, "secret"}, Kind{"both", true, "secret"}}) {
        lb::TQDB db;
        db.compression = k.compress;
        db.password = k.password;
        db.setFileName(dir + "/" + k.name + ".QDB");
        std::mt19937 rng(42);
        for (int i = 0; i < ItemCount; ++i)
            db.addItem(keyOf(i), itemBody(rng, i));
        db.save();
        std::printf("%-10s %9lld bytes\n", k.name, QFile(db.fileName()).size());
    }
    return 0;
}

int run(const QString& file, const QByteArray& password) {
    QElapsedTimer t;
    lb::TQDB db;
    db.password = password;
    t.start();
    db.setFileName(file);
    const double openMs = t.nsecsElapsed() / 1e6;

    t.restart();
    qint64 bytes = 0;
    for (int i = 0; i < ItemCount; ++i) {
        if (!db.findKey(keyOf(i).toLower()))
            return std::fprintf(stderr, "missing %d\n", i), 1;
        bytes += db.currentItem().size();
    }
    const double lookupMs = t.nsecsElapsed() / 1e6;

    t.restart();
    db.addItem("one more", "x"); // a change, so the save is a real one
    db.save();
    const double saveMs = t.nsecsElapsed() / 1e6;
    std::printf("%-40s open %7.1f ms  lookups %7.1f ms (%lld bytes)  save %7.1f ms  peak %lld kB\n",
                qPrintable(file.section('/', -1)), openMs, lookupMs, bytes, saveMs, peakKb());
    return 0;
}

QByteArray html(qsizetype size) {
    std::mt19937 rng(7);
    QByteArray h = "<html><head><title>Free links page</title></head><body><table>\n";
    int i = 0;
    while (h.size() < size) {
        h += itemBody(rng, i++);
        h += "</td></tr>\n";
    }
    h.truncate(size);
    return h;
}

int ratio() {
    lb::CrawlerOptionValues defaults;
    QList<QByteArray> fields;
    for (int c = 0; c < lb::OptionControlCount; ++c)
        fields << lb::editField(defaults.optionText(lb::OptionControl(c)),
                                lb::optionControls().at(c).memo);
    const QByteArray defaultProfile = lb::qdb::packFields(fields);
    // A profile as a user fills it: keyword lists of a few dozen lines.
    QStringList terms;
    for (int i = 0; i < 40; ++i)
        terms << QStringLiteral("\"free links\" OR \"ffa page %1\"").arg(i);
    fields[5] = lb::editField(terms.join('\n'), true);
    fields[6] = lb::editField(terms.mid(0, 10).join('\n'), true);
    fields[7] = lb::editField(QStringLiteral("submit\nadd url\nlinks"), true);
    fields[8] = lb::editField(QStringLiteral("2024\n2025"), true);
    const QByteArray userProfile = lb::qdb::packFields(fields);
    const QByteArray page = html(1000000);
    for (const auto& [name, data] :
         {std::pair{"default profile", defaultProfile}, std::pair{"filled profile", userProfile},
          std::pair{"1 MB of HTML", page}}) {
        QElapsedTimer t;
        t.start();
        const QByteArray packed = lb::qdb::compress(data);
        const double ms = t.nsecsElapsed() / 1e6;
        t.restart();
        const bool same = lb::qdb::expand(packed) == data;
        const double ems = t.nsecsElapsed() / 1e6;
        std::printf("%-16s %8lld -> %8lld bytes  %5.1f %%  compress %6.2f ms  expand %6.2f ms %s\n",
                    name, qint64(data.size()), qint64(packed.size()),
                    100.0 * packed.size() / qMax<qsizetype>(1, data.size()), ms, ems,
                    same ? "" : "MISMATCH");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 2 && args[0] == "make")
            return make(args[1]);
        if ((args.size() == 2 || args.size() == 3) && args[0] == "run")
            return run(args[1], args.size() == 3 ? args[2].toUtf8() : QByteArray());
        if (args.size() == 1 && args[0] == "ratio")
            return ratio();
    } catch (const lb::EQDBError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    std::fputs("usage: bench_liststore make DIR | run FILE [PASSWORD] | ratio\n", stderr);
    return 2;
}
