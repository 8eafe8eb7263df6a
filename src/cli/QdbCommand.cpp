// linkbeacon-cli qdb create|list|show|put|delete: the list store file from the command line.
#include "cli/Commands.h"
#include "liststore/QDB.h"
#include "liststore/QDBFields.h"

#include <cstdio>
#include <QFileInfo>

namespace lb::cli {

namespace {

const char QdbUsage[] = "linkbeacon-cli qdb: usage: qdb create|list|show|put|delete FILE [KEY] "
                        "[FIELD...] [--password P] [--raw] [--compress]\n";

int badArguments(const char* usage) {
    std::fputs(usage, stderr);
    return 2;
}

} // namespace

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

int runQdb(const QStringList& args) {
    QStringList positional;
    QByteArray password;
    bool raw = false;
    bool compress = false;
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
            positional.append(a);
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--password")) {
            if (i + 1 >= args.size())
                return badArguments(QdbUsage);
            password = args[++i].toUtf8();
        } else if (a.startsWith(QLatin1String("--password="))) {
            password = a.mid(11).toUtf8();
        } else if (a == QLatin1String("--raw")) {
            raw = true;
        } else if (a == QLatin1String("--compress")) {
            compress = true;
        } else {
            return badArguments(QdbUsage);
        }
    }
    if (positional.isEmpty())
        return badArguments(QdbUsage);
    const QString sub = positional.takeFirst();
    const int n = int(positional.size());
    const bool known = sub == QLatin1String("create") || sub == QLatin1String("list") ||
                       sub == QLatin1String("show") || sub == QLatin1String("put") ||
                       sub == QLatin1String("delete");
    if (!known)
        return badArguments(QdbUsage);
    if ((sub == QLatin1String("create") || sub == QLatin1String("list")) && n != 1)
        return badArguments(QdbUsage);
    if ((sub == QLatin1String("show") || sub == QLatin1String("delete")) && n != 2)
        return badArguments(QdbUsage);
    if (sub == QLatin1String("put") && n < 2)
        return badArguments(QdbUsage);
    if ((raw && sub != QLatin1String("show")) || (compress && sub != QLatin1String("put")))
        return badArguments(QdbUsage);

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
