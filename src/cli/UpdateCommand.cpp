// linkbeacon-cli update: the "DB Update" button without a window. Status
// texts and message boxes are printed as they come; questions answer No.
// Every run first finishes or rolls back an install that was interrupted.
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Dialogs.h"
#include "common/FileError.h"
#include "common/ProxySettings.h"
#include "net/HttpProt.h"
#include "update/TRAR.h"
#include "update/Updater.h"

#include <cstdio>
#include <QDir>

namespace lb::cli {

namespace {

void print(const QString& text) {
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class PrintingDialogs : public Dialogs {
public:
    void inform(const QString& text, const QString& caption, Icon) override { show(caption, text); }
    bool askYesNo(const QString& text, const QString& caption) override {
        show(caption, text);
        return false;
    }
    void showError(const QString& text) override { show(QString(), text); }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override {
        return {};
    }

private:
    static void show(const QString& caption, const QString& text) {
        // A box without a caption shows the program's title.
        print((caption.isEmpty() ? QStringLiteral("Linkbeacon") : caption) + QStringLiteral(": ") +
              text);
    }
};

} // namespace

int runUpdate(const CommandLine& line) {
    if (!line.operands().isEmpty())
        return line.usageError(
            QStringLiteral("unexpected operand '%1'").arg(line.operands().first()));
    if (line.isSet("host") && line.value("host").isEmpty())
        return line.usageError(QStringLiteral("--host needs HOST[:PORT]"));
    QString host = line.value("host");
    const QString appDir = QDir::currentPath();
    InstallJournal::Recovery recovered;
    try {
        recovered = Updater::recoverInstall(appDir);
    } catch (const FileError& e) {
        print(QStringLiteral("update: cannot recover: ") + e.message());
        return 1;
    }
    if (recovered == InstallJournal::Recovery::Finished)
        print(QStringLiteral("update: finished an interrupted install"));
    else if (recovered == InstallJournal::Recovery::RolledBack)
        print(QStringLiteral("update: rolled back an interrupted install"));
    else if (line.isSet("recover"))
        print(QStringLiteral("update: nothing to recover"));
    if (line.isSet("recover"))
        return 0;

    if (host.isEmpty())
        host = Updater::configuredHost(appDir);

    net::THttpCli httpCli2;
    const ProxySettings proxy = ProxySettings::load(appDir);
    if (proxy.behindProxy) {
        httpCli2.Proxy = proxy.host;
        httpCli2.ProxyPort = proxy.port;
        httpCli2.ProxyUsername = proxy.userName;
        httpCli2.ProxyPassword = proxy.password;
    }
    TRAR rar1;
    PrintingDialogs dialogs;
    Updater updater(appDir, httpCli2, rar1, dialogs);
    updater.host = host;
    QObject::connect(&updater, &Updater::statusShown, [](const QString& s) { print(s); });
    return updater.UpdateButtonClick() == Updater::Outcome::Complete ? 0 : 1;
}

} // namespace lb::cli
