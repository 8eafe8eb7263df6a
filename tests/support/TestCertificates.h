#pragma once
// Certificates made for one test: a private CA, a server certificate it
// signed for localhost, 127.0.0.1 and ::1, and one it signed for another
// name only. PEM files in a temporary folder.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lb::test {

class TestCertificates {
public:
    TestCertificates();
    bool ok() const { return ok_; }

    QString caFile() const { return path("ca.pem"); }
    QString serverCert() const { return path("server.pem"); }
    QString serverKey() const { return path("server.key"); }
    // Signed by the same CA for "other.invalid" (no IP address).
    QString otherCert() const { return path("other.pem"); }
    QString otherKey() const { return path("other.key"); }

private:
    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    QTemporaryDir dir_;
    bool ok_ = false;
};

// One set for the whole test program: making keys is not free.
const TestCertificates& sharedCertificates();

// target-sim's arguments for an https port serving the shared server certificate.
QStringList simTlsArgs();

} // namespace lb::test
