#include "submit/FormEncoding.h"

#include "common/IniFile.h"
#include "common/Paths.h"

namespace lb {

namespace {
const QString kSection = QStringLiteral("Submit");
const QString kKey = QStringLiteral("EncodeValues");
} // namespace

QString formEncode(const QString& value) {
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = value.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '*' || c == '-' || c == '.' || c == '_') {
            out += QLatin1Char(char(c));
        } else if (c == ' ') {
            out += QLatin1Char('+');
        } else {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 15]);
        }
    }
    return out;
}

bool readEncodeValues(const QString& appDir) {
    const IniFile ini(appPath(appDir, QStringLiteral("\\zkt.ini")));
    return ini.readString(kSection, kKey).trimmed() != QLatin1String("0");
}

void writeEncodeValues(const QString& appDir, bool encode) {
    IniFile ini(appPath(appDir, QStringLiteral("\\zkt.ini")));
    ini.writeString(kSection, kKey, encode ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace lb
