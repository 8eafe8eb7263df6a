// linkbeacon-cli update: the "DB Update" button without a window. Status
// texts and message boxes are printed as they come; questions answer No.
#include "cli/Commands.h"
#include "common/Dialogs.h"
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

int usageError(const QString& message) {
    std::fprintf(stderr, "linkbeacon-cli update: %s (usage: update [--host HOST[:PORT]])\n",
                 message.toUtf8().constData());
    return 2;
}

} // namespace

int runUpdate(const QStringList& args) {
    QString host;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--host")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return usageError(QStringLiteral("--host needs HOST[:PORT]"));
            host = args[++i];
        } else if (args[i].startsWith(QLatin1Char('-'))) {
            return usageError(QStringLiteral("unknown option '%1'").arg(args[i]));
        } else {
            return usageError(QStringLiteral("unexpected operand '%1'").arg(args[i]));
        }
    }
    const QString appDir = QDir::currentPath();
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
