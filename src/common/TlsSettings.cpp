#include "common/TlsSettings.h"

#include "common/IniFile.h"
#include "common/Paths.h"
#include "common/ProxySettings.h"

#include <QDir>

namespace lb {

static const QString kSection = QStringLiteral("TLS");

TlsSettings TlsSettings::load(const QString& appDir) {
    const IniFile ini(ProxySettings::filePath(appDir));
    TlsSettings s;
    s.caFile = ini.readString(kSection, QStringLiteral("CAFile")).trimmed();
    s.verify = ini.readString(kSection, QStringLiteral("Verify")).trimmed() != QLatin1String("0");
    return s;
}

void TlsSettings::save(const QString& appDir) const {
    IniFile ini(ProxySettings::filePath(appDir));
    ini.writeString(kSection, QStringLiteral("CAFile"), caFile);
    ini.writeString(kSection, QStringLiteral("Verify"),
                    verify ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TlsSettings::caFilePath(const QString& appDir) const {
    if (caFile.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(caFile))
        return caFile;
    return appPath(appDir, caFile);
}

} // namespace lb
