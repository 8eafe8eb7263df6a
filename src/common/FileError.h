#pragma once
// A file that cannot be opened, read or written. The message is what the
// user sees ("Cannot open file " + path, "Unable to write to " + path).
#include <QString>
#include <stdexcept>

namespace lb {

class FileError : public std::runtime_error {
public:
    explicit FileError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

    static FileError cannotOpen(const QString& path) {
        return FileError(QStringLiteral("Cannot open file ") + path);
    }
    static FileError cannotWrite(const QString& path) {
        return FileError(QStringLiteral("Unable to write to ") + path);
    }

private:
    QString m_message;
};

} // namespace lb
