// Loading and showing a 100,000-engine enciphered database: the file alone,
// the database steps of start-up, and the whole main window shown.
#include "../tests/support/ScriptedDialogs.h"
#include "app/TKestrel.h"
#include "common/LineSplitter.h"
#include "engines/EngineCipher.h"
#include "engines/EngineDatabase.h"
#include "engines/EngineFile.h"
#include "engines/EngineRecord.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

namespace {

constexpr int EngineCount = 100000;

QTemporaryDir* folder() {
    static QTemporaryDir* dir = [] {
        auto* d = new QTemporaryDir;
        QDir(d->path()).mkpath("data/session");
        std::mt19937 rng(1);
        QStringList lines;
        for (int i = 0; i < EngineCount; ++i) {
            lb::EngineRecord r;
            r.name = QStringLiteral("Engine %1 %2").arg(rng() % 1000000).arg(i);
            r[lb::EngineRecord::SiteUrl] = "http://www.example" + QString::number(i) + ".com/";
            r[lb::EngineRecord::CgiUrl] = r[lb::EngineRecord::SiteUrl] + "cgi-bin/add.cgi";
            r[lb::EngineRecord::TitleVar] = "title";
            r[lb::EngineRecord::UrlVar] = "url";
            r[lb::EngineRecord::EmailVar] = "email";
            r[lb::EngineRecord::HiddenValues] = "&action=add";
            r.setPost(i % 2 == 0);
            lines.append(r.toLine());
        }
        auto write = [&](const QString& rel, const QByteArray& bytes) {
            QFile f(d->filePath(rel));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
        };
        write("data/data.hlz", lb::encipherEngineText(lb::joinLinesCrLf(lines)));
        QStringList ignored;
        for (int i = 0; i < 100; ++i)
            ignored.append(lb::engineLineName(lines.at(i * 997)));
        write("data/exclude.tmp", lb::joinLinesCrLf(ignored));
        write("kwnlogo.bmp", {});
        write("kwnico.ico", {});
        return d;
    }();
    return dir;
}

void BM_LoadEngineFile(benchmark::State& state) {
    const QString path = folder()->filePath("data/data.hlz");
    for (auto _ : state) {
        lb::EngineLines lines;
        lb::LoadEngineFile(path, lines);
        benchmark::DoNotOptimize(lines.count());
    }
    state.SetItemsProcessed(state.iterations() * EngineCount);
}
BENCHMARK(BM_LoadEngineFile)->Unit(benchmark::kMillisecond);

void BM_DatabaseStartSteps(benchmark::State& state) {
    lb::test::ScriptedDialogs dialogs;
    for (auto _ : state) {
        lb::EngineDatabase db(folder()->path(), dialogs);
        db.runStartSteps();
        benchmark::DoNotOptimize(db.keyList().count());
    }
}
BENCHMARK(BM_DatabaseStartSteps)->Unit(benchmark::kMillisecond);

void BM_MainWindowLoadAndShow(benchmark::State& state) {
    lb::test::ScriptedDialogs dialogs;
    const QString old = QDir::currentPath();
    QDir::setCurrent(folder()->path());
    for (auto _ : state) {
        lb::TKestrel w(dialogs);
        w.notebook()->setCurrentIndex(lb::TKestrel::EngineDatabasePage);
        w.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w.engines().keyList().count());
    }
    QDir::setCurrent(old);
    if (!dialogs.shown.isEmpty())
        state.SkipWithError("a message was shown");
}
BENCHMARK(BM_MainWindowLoadAndShow)->Unit(benchmark::kMillisecond);

// Add one engine to the full database: a sorted insert, not a re-sort.
void BM_AddOneEngine(benchmark::State& state) {
    lb::EngineLines lines;
    lb::LoadEngineFile(folder()->filePath("data/data.hlz"), lines);
    int i = 0;
    for (auto _ : state) {
        lines.add(QStringLiteral("Added %1=|").arg(i++));
        benchmark::DoNotOptimize(lines.count());
    }
}
BENCHMARK(BM_AddOneEngine)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
