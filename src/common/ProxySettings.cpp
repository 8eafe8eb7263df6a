#include "common/ProxySettings.h"

#include "common/IniFile.h"
#include "common/Paths.h"

namespace lb {

static const QString kSection = QStringLiteral("Proxy");

QString ProxySettings::filePath(const QString& appDir) {
    return appPath(appDir, QStringLiteral("\\zkt.ini"));
}

ProxySettings ProxySettings::load(const QString& appDir) {
    const IniFile ini(filePath(appDir));
    ProxySettings s;
    s.host = ini.readString(kSection, QStringLiteral("ProxyHost"));
    s.password = ini.readString(kSection, QStringLiteral("ProxyPassword"));
    s.port = ini.readString(kSection, QStringLiteral("ProxyPort"));
    s.userName = ini.readString(kSection, QStringLiteral("ProxyUserName"));
    s.behindProxy = ini.readBool(kSection, QStringLiteral("KeyProxy"), false);
    return s;
}

void ProxySettings::save(const QString& appDir) const {
    IniFile ini(filePath(appDir));
    ini.writeString(kSection, QStringLiteral("ProxyHost"), host);
    ini.writeString(kSection, QStringLiteral("ProxyPassword"), password);
    ini.writeString(kSection, QStringLiteral("ProxyPort"), port);
    ini.writeString(kSection, QStringLiteral("ProxyUserName"), userName);
    ini.writeBool(kSection, QStringLiteral("KeyProxy"), behindProxy);
}

} // namespace lb
