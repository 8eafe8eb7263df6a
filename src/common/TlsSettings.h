#pragma once
// The "TLS" section of "\zkt.ini": how every HTTP client the program creates
// checks https servers. Read when a client is created; written by the proxy
// panel's "Apply".
#include <QString>

namespace lb {

struct TlsSettings {
    QString caFile;     // "CAFile" as written: absolute, or relative to the program folder
    bool verify = true; // "Verify": "0" switches certificate checks off

    static TlsSettings load(const QString& appDir);
    void save(const QString& appDir) const;
    // The CA file as a path on this system, empty when none is set.
    QString caFilePath(const QString& appDir) const;
};

} // namespace lb
