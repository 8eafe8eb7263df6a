// cli-docs: writes linkbeacon-cli's manual page and bash completion, both
// made from its command table, for the package.
//   cli-docs man OUT VERSION DATE
//   cli-docs bash-completion OUT
#include "cli/Documents.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QString text;
    if (args.size() == 4 && args[0] == QLatin1String("man")) {
        text = lb::cli::manPage(args[2], args[3]);
    } else if (args.size() == 2 && args[0] == QLatin1String("bash-completion")) {
        text = lb::cli::bashCompletion();
    } else {
        std::fputs("usage: cli-docs man OUT VERSION DATE | cli-docs bash-completion OUT\n", stderr);
        return 2;
    }
    QSaveFile out(args[1]);
    const QByteArray bytes = text.toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        std::fprintf(stderr, "cli-docs: cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
