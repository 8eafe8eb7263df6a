#include "update/Updater.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/LineSplitter.h"
#include "common/Paths.h"
#include "engines/EngineCipher.h"
#include "net/HttpProt.h"
#include "update/TRAR.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace lb {

Updater::Updater(QString appDir, net::THttpCli& client, TRAR& rar, Dialogs& dialogs,
                 QObject* parent)
    : QObject(parent), m_appDir(std::move(appDir)), m_client(client), m_rar(rar),
      m_dialogs(dialogs) {}

QString Updater::configuredHost(const QString& appDir) {
    const IniFile ini(appPath(appDir, QStringLiteral("\\zkt.ini")));
    const QString h = ini.readString(QStringLiteral("Update"), QStringLiteral("Host")).trimmed();
    return h.isEmpty() ? QString::fromLatin1(DefaultHost) : h;
}

QString Updater::dataPath(const QString& name) const {
    return appPath(m_appDir, QStringLiteral("\\data\\")) + name;
}

void Updater::setStatus(const QString& text) {
    m_status = text;
    emit statusShown(text);
    emit changed();
}

void Updater::setButtons(bool updateOn, bool cancelOn) {
    m_updateEnabled = updateOn;
    m_cancelEnabled = cancelOn;
    emit changed();
}

void Updater::UpdateAbortClick() {
    m_client.Abort();
}

Updater::Outcome Updater::UpdateButtonClick() {
    if (m_running)
        return Outcome::Busy;
    m_running = true;
    m_windowVisible = true;
    emit changed();

    const QString archive = dataPath(QStringLiteral("kestrel.hlz"));
    Outcome outcome = Outcome::NoUpdate;
    auto finish = [&] {
        QFile::remove(archive);
        m_progressVisible = false;
        m_windowVisible = false;
        m_running = false;
        emit changed();
        return outcome;
    };

    m_client.URL = QStringLiteral("http://") + host + QLatin1String(ArchivePath);
    QFile download(archive);
    if (!download.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_dialogs.showError(QStringLiteral("Cannot create file ") + archive);
        outcome = Outcome::FileFailed;
        return finish();
    }
    m_client.ReceiveStream = &download;
    setButtons(false, true);
    setStatus(QStringLiteral("Status: Loading"));
    try {
        m_client.Get();
        download.flush();
        setStatus(QStringLiteral("Status: Received %1 bytes").arg(QFileInfo(archive).size()));
    } catch (const std::exception&) {
        setStatus(QStringLiteral("Status: Failed : %1 %2")
                      .arg(m_client.StatusCode())
                      .arg(m_client.ReasonPhrase()));
    }
    setButtons(true, false);
    m_client.ReceiveStream = nullptr;
    const bool written = download.error() == QFileDevice::NoError;
    download.close();

    if (m_client.StatusCode() != 200) {
        m_dialogs.inform(
            QStringLiteral("No Update Available at this time... Please try again later."),
            QStringLiteral("No Update"), Dialogs::Icon::Exclamation);
        return finish();
    }
    if (!written) {
        m_dialogs.showError(QStringLiteral("Unable to write to ") + archive);
        outcome = Outcome::FileFailed;
        return finish();
    }

    setStatus(QStringLiteral("Status: Extracting"));
    m_progressVisible = true;
    emit changed();
    m_rar.ArchiveName = archive;
    m_rar.OnExtracting = [this](TRAR*, const RARHeaderData& h) {
        m_progressPos = 0;
        m_progressMax = qint64(h.UnpSize);
        emit changed();
    };
    m_rar.OnProcessData = [this](TRAR*, const char*, int, qint64 position) {
        m_progressPos = position;
        emit changed();
        return 1;
    };

    outcome = Outcome::Corrupted;
    if (m_rar.Test()) {
        // Staged next to the data, so moving it in is a rename on one file system.
        QTemporaryDir staging(dataPath(QStringLiteral(".update-XXXXXX")));
        m_rar.TargetDir = staging.path();
        if (!staging.isValid()) {
            m_dialogs.showError(QStringLiteral("Unable to write to ") + dataPath(QString()));
            outcome = Outcome::FileFailed;
        } else if (m_rar.Extract()) {
            try {
                install(staging.path());
                outcome = Outcome::Complete;
            } catch (const FileError& e) {
                m_dialogs.showError(e.message());
                outcome = Outcome::FileFailed;
            }
        }
    }
    if (outcome == Outcome::Corrupted)
        m_dialogs.inform(QStringLiteral("Archive is corrupted"), QString(),
                         Dialogs::Icon::Information);
    if (outcome == Outcome::Complete &&
        m_dialogs.askYesNo(
            QStringLiteral("Update Complete.\n Do you wish to Load the updated database  ?"),
            QStringLiteral("Update Complete")) &&
        loadDatabase)
        loadDatabase();
    return finish();
}

void encipherFileInPlace(const QString& path, const QString& shownPath) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(shownPath);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError::cannotWrite(shownPath);
    std::uint16_t key = EngineFileKey;
    QByteArray block(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0)
            throw FileError::cannotOpen(shownPath);
        if (n == 0)
            break;
        auto* p = reinterpret_cast<unsigned char*>(block.data());
        for (qint64 i = 0; i < n; ++i) {
            const unsigned char c = p[i] ^ static_cast<unsigned char>(key >> 8);
            p[i] = c;
            key = std::uint16_t((std::uint32_t(key) + c) * EngineCipherC1 + EngineCipherC2);
        }
        if (out.write(block.constData(), n) != n)
            throw FileError::cannotWrite(shownPath);
    }
    if (!out.commit())
        throw FileError::cannotWrite(shownPath);
}

void Updater::install(const QString& staging) {
    const QString listPath = staging + QStringLiteral("/un.pac");
    QFile list(listPath);
    if (!QFileInfo(listPath).isFile() || !list.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(dataPath(QStringLiteral("un.pac")));
    const QStringList lines = splitLines(list.readAll());
    list.close();
    for (const QString& line : lines) {
        // Only a file the archive itself put straight into the data folder.
        const QString staged = staging + QLatin1Char('/') + line;
        const QFileInfo fi(staged);
        if (line.contains(QLatin1Char('/')) || line.contains(QLatin1Char('\\')) ||
            line == QLatin1String("..") || line == QLatin1String(".") || !fi.isFile() ||
            fi.isSymLink())
            throw FileError::cannotOpen(dataPath(line));
        encipherFileInPlace(staged, dataPath(line));
    }
    if (!QFile::remove(listPath))
        throw FileError::cannotWrite(dataPath(QStringLiteral("un.pac")));

    // Everything staged, parents before their contents.
    QStringList staged;
    QDirIterator it(staging, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        staged << QDir(staging).relativeFilePath(it.next());
    staged.sort();

    // Check every destination before anything moves, so a clash cannot leave
    // half an install: a folder must meet a real folder (never a link), a
    // file must not meet a folder.
    const QString data = dataPath(QString());
    for (const QString& rel : staged) {
        const QByteArray from = QFile::encodeName(staging + QLatin1Char('/') + rel);
        const QByteArray to = QFile::encodeName(data + rel);
        struct stat src {
        }, dst{};
        if (::lstat(from.constData(), &src) != 0)
            throw FileError::cannotOpen(data + rel);
        if (::lstat(to.constData(), &dst) != 0)
            continue;
        if (S_ISDIR(src.st_mode) ? !S_ISDIR(dst.st_mode) : S_ISDIR(dst.st_mode))
            throw FileError::cannotWrite(data + rel);
    }
    for (const QString& rel : staged) {
        const QString from = staging + QLatin1Char('/') + rel;
        const QString to = data + rel;
        if (QFileInfo(from).isDir()) {
            if (!QFileInfo(to).isDir() && !QDir().mkdir(to))
                throw FileError::cannotWrite(to);
        } else if (::rename(QFile::encodeName(from).constData(),
                            QFile::encodeName(to).constData()) != 0) {
            throw FileError::cannotWrite(to);
        }
    }
}

} // namespace lb
