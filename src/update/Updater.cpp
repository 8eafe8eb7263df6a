#include "update/Updater.h"

#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/LineSplitter.h"
#include "common/Paths.h"
#include "engines/EngineCipher.h"
#include "net/HttpProt.h"
#include "update/TRAR.h"
#include "update/UpdateSignature.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

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

Updater::Limits Updater::configuredLimits(const QString& appDir) {
    const IniFile ini(appPath(appDir, QStringLiteral("\\zkt.ini")));
    Limits limits;
    bool ok = false;
    const qint64 maxBytes = ini.readString(QStringLiteral("Update"), QStringLiteral("MaxBytes"))
                                .trimmed()
                                .toLongLong(&ok);
    if (ok && maxBytes > 0)
        limits.maxBytes = maxBytes;
    const int timeout =
        ini.readString(QStringLiteral("Update"), QStringLiteral("Timeout")).trimmed().toInt(&ok);
    // Beyond a day the timer's milliseconds would not fit.
    if (ok && timeout > 0 && timeout <= 24 * 3600)
        limits.timeoutSeconds = timeout;
    return limits;
}

namespace {

const char kDownloadName[] = "kestrel.hlz";
const char kListName[] = "un.pac";

} // namespace

InstallJournal::Recovery Updater::recoverInstall(const QString& appDir) {
    const QString data = appPath(appDir, QStringLiteral("\\data"));
    const DataFolderLock lock(data);
    if (!lock.held())
        return InstallJournal::Recovery::Nothing;
    return InstallJournal::recover(data, {QLatin1String(kDownloadName), QLatin1String(kListName)});
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

Updater::Fetch Updater::fetch(const QString& url, QIODevice& sink, qint64 maxBytes,
                              int timeoutSeconds) {
    Fetch stopped = Fetch::Done;
    auto stop = [&](Fetch why) {
        if (stopped == Fetch::Done) {
            stopped = why;
            m_client.Abort();
        }
    };
    // Counted from the request on; every byte that arrives starts it again.
    QTimer silence;
    silence.setSingleShot(true);
    silence.setInterval(timeoutSeconds * 1000);
    QObject::connect(&silence, &QTimer::timeout, [&] { stop(Fetch::Silent); });
    m_client.OnHeaderData = [&](net::THttpCli*) { silence.start(); };
    m_client.OnHeaderEnd = [&](net::THttpCli* c) {
        if (c->ContentLength() > maxBytes)
            stop(Fetch::TooLarge);
    };
    m_client.OnDocData = [&](net::THttpCli* c, const char*, int) {
        silence.start();
        if (c->ReceivedCount() > maxBytes)
            stop(Fetch::TooLarge);
    };
    m_client.URL = url;
    m_client.ReceiveStream = &sink;
    bool failed = false;
    silence.start();
    try {
        m_client.Get();
    } catch (const std::exception&) {
        failed = true;
    }
    silence.stop();
    m_client.ReceiveStream = nullptr;
    m_client.OnHeaderData = nullptr;
    m_client.OnHeaderEnd = nullptr;
    m_client.OnDocData = nullptr;
    if (stopped != Fetch::Done)
        return stopped;
    // A body the server stopped short of is a failed download, not an archive.
    return failed || !m_client.BodyComplete() ? Fetch::Failed : Fetch::Done;
}

bool Updater::signatureTrusted(const QString& archive, const QString& url, int timeoutSeconds) {
    QFile keyFile(dataPath(QStringLiteral("update.pub")));
    if (!keyFile.exists())
        return true; // program folders from before signed updates
    if (!keyFile.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> keys = parseTrustedKeys(keyFile.readAll());
    QBuffer signature;
    signature.open(QIODevice::WriteOnly);
    // A signature is 64 bytes; anything longer is refused without reading it all.
    return fetch(url + QStringLiteral(".sig"), signature, 64, timeoutSeconds) == Fetch::Done &&
           m_client.StatusCode() == 200 && signedByTrustedKey(archive, signature.data(), keys);
}

Updater::Outcome Updater::UpdateButtonClick() {
    if (m_running)
        return Outcome::Busy;
    // Held to the end, so a program started meanwhile leaves this install
    // alone; the other program's download is not ours to delete either.
    const DataFolderLock lock(dataPath(QString()));
    if (!lock.held()) {
        m_dialogs.showError(QStringLiteral("Another update is running in ") + dataPath(QString()));
        return Outcome::Busy;
    }
    m_running = true;
    m_windowVisible = true;
    emit changed();

    const QString archive = dataPath(QLatin1String(kDownloadName));
    Outcome outcome = Outcome::NoUpdate;
    auto finish = [&] {
        QFile::remove(archive);
        m_progressVisible = false;
        m_windowVisible = false;
        m_running = false;
        emit changed();
        return outcome;
    };

    const Limits limits = configuredLimits(m_appDir);
    const QString url = QStringLiteral("http://") + host + QLatin1String(ArchivePath);
    QFile download(archive);
    if (!download.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_dialogs.showError(QStringLiteral("Cannot create file ") + archive);
        outcome = Outcome::FileFailed;
        return finish();
    }
    setButtons(false, true);
    setStatus(QStringLiteral("Status: Loading"));
    const Fetch fetched = fetch(url, download, limits.maxBytes, limits.timeoutSeconds);
    download.flush();
    switch (fetched) {
    case Fetch::Done:
        setStatus(QStringLiteral("Status: Received %1 bytes").arg(QFileInfo(archive).size()));
        break;
    case Fetch::Failed:
        setStatus(QStringLiteral("Status: Failed : %1 %2")
                      .arg(m_client.StatusCode())
                      .arg(m_client.ReasonPhrase()));
        break;
    case Fetch::TooLarge:
        setStatus(QStringLiteral("Status: Failed : 0 Update too large"));
        break;
    case Fetch::Silent:
        setStatus(QStringLiteral("Status: Failed : 408 Request_Timeout"));
        break;
    }
    setButtons(true, false);
    const bool written = download.error() == QFileDevice::NoError;
    download.close();

    if (fetched != Fetch::Done || m_client.StatusCode() != 200) {
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
    if (!signatureTrusted(archive, url, limits.timeoutSeconds)) {
        m_dialogs.inform(
            QStringLiteral("The update is not signed by a trusted key; nothing was installed."),
            QString(), Dialogs::Icon::Exclamation);
        outcome = Outcome::Untrusted;
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
        QTemporaryDir staging(
            dataPath(QLatin1String(InstallJournal::StagingPrefix) + QStringLiteral("XXXXXX")));
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
    const QString listPath = staging + QLatin1Char('/') + QLatin1String(kListName);
    QFile list(listPath);
    if (!QFileInfo(listPath).isFile() || !list.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(dataPath(QLatin1String(kListName)));
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
        throw FileError::cannotWrite(dataPath(QLatin1String(kListName)));
    InstallJournal::install(appPath(m_appDir, QStringLiteral("\\data")), staging,
                            {QLatin1String(kDownloadName)});
}

} // namespace lb
