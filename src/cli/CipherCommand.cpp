// linkbeacon-cli cipher encode|decode IN OUT: the engine file cipher on whole files.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "engines/EngineCipher.h"

#include <cstdio>
#include <QFile>
#include <QSaveFile>

namespace lb::cli {

int runCipher(const CommandLine& line) {
    const QStringList& args = line.operands();
    if (args.size() != 3 ||
        (args[0] != QLatin1String("encode") && args[0] != QLatin1String("decode"))) {
        std::fputs("linkbeacon-cli cipher: usage: cipher encode|decode IN OUT\n", stderr);
        return 1;
    }
    QFile in(args[1]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "linkbeacon-cli cipher: cannot read %s: %s\n", qPrintable(args[1]),
                     qPrintable(in.errorString()));
        return 1;
    }
    const QByteArray data = in.readAll();
    const QByteArray result =
        args[0] == QLatin1String("encode") ? encipherEngineText(data) : decipherEngineText(data);
    QSaveFile out(args[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(result) != result.size() || !out.commit()) {
        std::fprintf(stderr, "linkbeacon-cli cipher: cannot write %s: %s\n", qPrintable(args[2]),
                     qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace lb::cli
