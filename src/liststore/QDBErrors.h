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
namespace qdbtext {
QString noFile();
QString invalidFile(const QString& fileName);
QString invalidPassword();
QString duplicateKey();
QString keyMissing(const QString& key);
QString indexFull(const QString& count);
QString cannotExtend(const QString& fileName);
QString outOfBounds();
QString readOnly(const QString& fileName);
QString noCompressMemory();
QString noTempFile();
QString emptyFile(const QString& fileName);
QString noKeyHandler();
QString panelMismatch();
QString badKeyLength();
} // namespace qdbtext

} // namespace lb
