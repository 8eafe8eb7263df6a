#pragma once
// The list store's exception family. Every error carries the message the user
// sees; file errors also carry the code they were chosen by.
#include <QString>
#include <stdexcept>

namespace lb {

class EQDBError : public std::runtime_error {
public:
    explicit EQDBError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

class EQDBListError : public EQDBError {
    using EQDBError::EQDBError;
};

// File errors are picked by a negative code: -1 carries the caller's own
// message, the others a fixed text with the file name filled in.
class EQDBFileError : public EQDBError {
public:
    EQDBFileError(int code, const QString& fileName, const QString& ownMessage = QString())
        : EQDBError(textFor(code, fileName, ownMessage)), m_code(code) {}
    int code() const { return m_code; }

    static QString textFor(int code, const QString& fileName, const QString& ownMessage);

private:
    int m_code;
};

class EQDBIndexError : public EQDBError {
    using EQDBError::EQDBError;
};
class EQDBOutOfBounds : public EQDBIndexError {
    using EQDBIndexError::EQDBIndexError;
};
class EQDBNoData : public EQDBIndexError {
    using EQDBIndexError::EQDBIndexError;
};
class EQDBReadOnly : public EQDBIndexError {
    using EQDBIndexError::EQDBIndexError;
};
class EQDBNoFile : public EQDBIndexError {
    using EQDBIndexError::EQDBIndexError;
};
class EQDBInvalidPW : public EQDBError {
    using EQDBError::EQDBError;
};
class EQDBNoCompress : public EQDBError {
    using EQDBError::EQDBError;
};
class EQDBBadKey : public EQDBError {
    using EQDBError::EQDBError;
};
class EQDBItemError : public EQDBError {
    using EQDBError::EQDBError;
};
class EQDBKeyError : public EQDBItemError {
    using EQDBItemError::EQDBItemError;
};
class EQDBViewError : public EQDBError {
    using EQDBError::EQDBError;
};

// The messages, %s already filled in where they take one.
struct qdbtext {
    static QString noFile() { return QStringLiteral("Illegal operation - no file assigned"); }
    static QString invalidFile(const QString& f) {
        return QStringLiteral("The file %1 is not a valid QDB file").arg(f);
    }
    static QString invalidPassword() {
        return QStringLiteral("The password you have provided is invalid");
    }
    static QString duplicateKey() { return QStringLiteral("Duplicate keys are not allowed"); }
    static QString keyMissing(const QString& k) {
        return QStringLiteral("The key '%1' does not exist").arg(k);
    }
    static QString indexFull(const QString& c) {
        return QStringLiteral("Not enough memory to extend the index to %1").arg(c);
    }
    static QString cannotExtend(const QString& f) {
        return QStringLiteral("Unable to extend the file %1").arg(f);
    }
    static QString outOfBounds() { return QStringLiteral("The list index is out of bounds"); }
    static QString readOnly(const QString& f) {
        return QStringLiteral("%1 is marked as read-only").arg(f);
    }
    static QString noCompressMemory() {
        return QStringLiteral("Insufficient memory to compress or expand");
    }
    static QString noTempFile() {
        return QStringLiteral("Could not create a necessary temporary file");
    }
    static QString emptyFile(const QString& f) { return QStringLiteral("File %1 is empty").arg(f); }
    static QString noKeyHandler() {
        return QStringLiteral("Cannot store data unless an OnKey handler is assigned");
    }
    static QString panelMismatch() { return QStringLiteral("File doesn't match panel"); }
    static QString badKeyLength() { return QStringLiteral("A key must be 1 to 255 bytes long"); }
};

} // namespace lb
