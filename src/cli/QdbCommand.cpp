// linkbeacon-cli qdb create|list|show|put|delete: the list store file from the command line.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "liststore/QDB.h"
#include "liststore/QDBFields.h"

#include <cstdio>
#include <QFileInfo>

namespace lb::cli {

QByteArray escapeFieldBytes(const QByteArray& bytes) {
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = quint8(ch);
        if (c == '\\') {
            out.append("\\\\");
        } else if (c >= 0x20 && c <= 0x7E) {
            out.append(char(c));
        } else {
            out.append("\\x");
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    return out;
}

void writeOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printError(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
}

int runQdb(const CommandLine& line) {
    QStringList positional = line.operands();
    const QByteArray password = line.value("password").toUtf8();
    const bool raw = line.isSet("raw");
    const bool compress = line.isSet("compress");
    if (positional.isEmpty())
        return line.usageError(QString());
    const QString sub = positional.takeFirst();
    const int n = int(positional.size());
    const bool known = sub == QLatin1String("create") || sub == QLatin1String("list") ||
                       sub == QLatin1String("show") || sub == QLatin1String("put") ||
                       sub == QLatin1String("delete");
    if (!known)
        return line.usageError(QString());
    if ((sub == QLatin1String("create") || sub == QLatin1String("list")) && n != 1)
        return line.usageError(QString());
    if ((sub == QLatin1String("show") || sub == QLatin1String("delete")) && n != 2)
        return line.usageError(QString());
    if (sub == QLatin1String("put") && n < 2)
        return line.usageError(QString());
    if ((raw && sub != QLatin1String("show")) || (compress && sub != QLatin1String("put")))
        return line.usageError(QString());

    try {
        if (sub == QLatin1String("create")) {
            const QString path = TQDB::expandFileName(positional[0]);
            if (QFileInfo::exists(path)) {
                printError(QStringLiteral("The file %1 already exists").arg(path));
                return 1;
            }
            TQDB::createEmptyFile(path, password);
            return 0;
        }
        TQDB store;
        store.password = password;
        store.compression = compress;
        store.setFileName(positional[0]);
        if (sub == QLatin1String("list")) {
            for (int i = 0; i < store.count(); ++i) {
                writeOut(store.keyBytes(i));
                writeOut("\n");
            }
            return 0;
        }
        const QString key = positional[1];
        if (sub == QLatin1String("show")) {
            if (!store.findKey(key))
                throw EQDBBadKey(qdbtext::keyMissing(key));
            const QByteArray body = store.currentItem();
            if (raw) {
                writeOut(body);
                return 0;
            }
            const auto fields = qdb::unpackFields(body);
            if (!fields)
                throw EQDBFileError(-1, store.fileName(), qdbtext::invalidFile(store.fileName()));
            for (const QByteArray& f : *fields) {
                writeOut(escapeFieldBytes(f));
                writeOut("\n");
            }
            return 0;
        }
        if (sub == QLatin1String("put")) {
            QList<QByteArray> fields;
            for (int i = 2; i < positional.size(); ++i)
                fields.append(positional[i].toUtf8());
            store.addItem(key, qdb::packFields(fields));
            store.save();
            return 0;
        }
        store.deleteItem(key);
        store.save();
        return 0;
    } catch (const EQDBError& e) {
        printError(e.message());
        return 1;
    }
}

} // namespace lb::cli
