#pragma once
// The proxy of "\zkt.ini", section "Proxy": read when the main window is
// created (and by the command line), written by the panel's "Apply".
#include <QString>

namespace lb {

struct ProxySettings {
    QString host;
    QString port;
    QString userName;
    QString password;
    bool behindProxy = false; // "I am behind a firewall or proxy"

    static QString filePath(const QString& appDir);
    // Missing file or keys read as empty strings and false.
    static ProxySettings load(const QString& appDir);
    // Writes the four strings in the panel's order, then "KeyProxy" as "1" or "0".
    void save(const QString& appDir) const;
};

} // namespace lb
