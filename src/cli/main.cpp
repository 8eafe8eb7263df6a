// linkbeacon-cli: the program's logic without windows, run in the program folder.
#include "cli/Commands.h"

#include <cstdio>
#include <QCoreApplication>

static void usage() {
    std::fputs("usage: linkbeacon-cli cipher encode|decode IN OUT\n"
               "       linkbeacon-cli fetch [options] URL\n"
               "       linkbeacon-cli submit [options] SESSION...\n"
               "       linkbeacon-cli rar test ARCHIVE [NAME...]\n"
               "       linkbeacon-cli rar extract ARCHIVE DIR [NAME...]\n"
               "       linkbeacon-cli colour [--rules source|meta | --rules-file RULES] FILE\n"
               "       linkbeacon-cli meta build|insert|save|list|delete ...\n"
               "       linkbeacon-cli analyse FILE [--page-url URL] [--database D]\n"
               "       linkbeacon-cli extract URL [--database D]\n"
               "       linkbeacon-cli ffa [options] LIST\n",
               stderr);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Linkbeacon"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        usage();
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("cipher"))
        return lb::cli::runCipher(args);
    if (command == QLatin1String("fetch"))
        return lb::cli::runFetch(args);
    if (command == QLatin1String("submit"))
        return lb::cli::runSubmit(args);
    if (command == QLatin1String("rar"))
        return lb::cli::runRar(args);
    if (command == QLatin1String("colour"))
        return lb::cli::runColour(args);
    if (command == QLatin1String("meta"))
        return lb::cli::runMeta(args);
    if (command == QLatin1String("analyse"))
        return lb::cli::runAnalyse(args);
    if (command == QLatin1String("extract"))
        return lb::cli::runExtract(args);
    if (command == QLatin1String("ffa"))
        return lb::cli::runFfa(args);
    std::fprintf(stderr, "linkbeacon-cli: unknown command '%s'\n", qPrintable(command));
    usage();
    return 2;
}
