#pragma once
// A fresh copy of the bundled program folder whose demo targets point at a
// target-sim on another port than the bundled 8642, so tests can run beside
// a demo (or each other) without sharing a server.
#include <QString>

namespace lb::test {

// Copies the bundled folder into `to` (which must exist), rewriting
// "127.0.0.1:8642" to "127.0.0.1:" + port in the plain files and, through
// the cipher, in the enciphered engine files. False when something could
// not be copied.
bool copyBundledFolder(const QString& to, quint16 port);

} // namespace lb::test
