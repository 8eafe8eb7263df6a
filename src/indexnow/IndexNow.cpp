#include "indexnow/IndexNow.h"

#include "common/AsciiText.h"
#include "common/FileError.h"
#include "common/IniFile.h"
#include "common/Paths.h"
#include "net/HttpProt.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTimer>

namespace lb {

namespace {
const QString kSection = QStringLiteral("IndexNow");

QString zktPath(const QString& appDir) {
    return appPath(appDir, QStringLiteral("\\zkt.ini"));
}

void jsonString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}
} // namespace

const QString IndexNowSettings::DefaultEndpoint =
    QStringLiteral("https://api.indexnow.org/indexnow");

IndexNowSettings IndexNowSettings::load(const QString& appDir) {
    const IniFile ini(zktPath(appDir));
    IndexNowSettings s;
    s.key = ini.readString(kSection, QStringLiteral("Key")).trimmed();
    s.keyLocation = ini.readString(kSection, QStringLiteral("KeyLocation")).trimmed();
    s.endpoints = splitEndpoints(ini.readString(kSection, QStringLiteral("Endpoints")));
    return s;
}

QStringList IndexNowSettings::splitEndpoints(const QString& list) {
    QStringList endpoints;
    for (const QString& item : list.split(QLatin1Char(','))) {
        const QString e = item.trimmed();
        if (!e.isEmpty())
            endpoints.append(e);
    }
    return endpoints;
}

void IndexNowSettings::save(const QString& appDir) const {
    IniFile ini(zktPath(appDir));
    ini.writeString(kSection, QStringLiteral("Key"), key);
    ini.writeString(kSection, QStringLiteral("KeyLocation"), keyLocation);
    ini.writeString(kSection, QStringLiteral("Endpoints"), endpoints.join(QLatin1Char(',')));
}

QStringList IndexNowSettings::effectiveEndpoints() const {
    return endpoints.isEmpty() ? QStringList{DefaultEndpoint} : endpoints;
}

bool isValidIndexNowKey(const QString& key) {
    if (key.size() < 8 || key.size() > 128)
        return false;
    for (QChar c : key) {
        const ushort u = c.unicode();
        const bool ok =
            (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

QString indexNowHost(const QString& url) {
    QString proto, user, pass, host, port, path;
    net::SplitUrl(url, proto, user, pass, host, port, path);
    return asciiLower(host);
}

QByteArray indexNowBody(const QString& host, const QString& key, const QString& keyLocation,
                        const QStringList& urls) {
    QByteArray out;
    qsizetype size = 64 + host.size() + key.size() + keyLocation.size();
    for (const QString& u : urls)
        size += u.size() + 3;
    out.reserve(size);
    out += "{\"host\":";
    jsonString(out, host);
    out += ",\"key\":";
    jsonString(out, key);
    if (!keyLocation.isEmpty()) {
        out += ",\"keyLocation\":";
        jsonString(out, keyLocation);
    }
    out += ",\"urlList\":[";
    for (qsizetype i = 0; i < urls.size(); ++i) {
        if (i)
            out += ',';
        jsonString(out, urls.at(i));
    }
    out += "]}";
    return out;
}

QString indexNowExplanation(int statusCode) {
    switch (statusCode) {
    case 400:
        return QStringLiteral("Bad request");
    case 403:
        return QStringLiteral("Forbidden: key not valid");
    case 422:
        return QStringLiteral("Unprocessable Entity: URLs do not belong to the host");
    case 429:
        return QStringLiteral("Too Many Requests");
    default:
        return QString();
    }
}

QList<IndexNowPost> planIndexNowPosts(const QStringList& endpoints, const QStringList& urls) {
    QStringList hosts;
    QHash<QString, QStringList> byHost;
    for (const QString& u : urls) {
        const QString h = indexNowHost(u);
        auto it = byHost.find(h);
        if (it == byHost.end()) {
            hosts.append(h);
            it = byHost.insert(h, {});
        }
        it->append(u);
    }
    QList<IndexNowPost> posts;
    for (const QString& endpoint : endpoints) {
        for (const QString& h : std::as_const(hosts)) {
            const QStringList& all = byHost[h];
            for (qsizetype from = 0; from < all.size(); from += IndexNowSettings::MaxUrlsPerPost)
                posts.append({endpoint, h, all.mid(from, IndexNowSettings::MaxUrlsPerPost)});
        }
    }
    return posts;
}

QStringList indexNowSessionUrls(const QString& appDir, const QStringList& sessions) {
    QStringList urls;
    for (const QString& name : sessions) {
        if (!isSafeFileName(name))
            continue;
        const IniFile ini(
            appPath(appDir, QStringLiteral("\\data\\session\\") + name + QStringLiteral(".hlx")));
        const QString url = ini.readString(name, QStringLiteral("url"));
        if (!url.isEmpty())
            urls.append(url);
    }
    return urls;
}

QString writeIndexNowKeyFile(const QString& dir, const QString& key) {
    const QString path = QDir(dir).absoluteFilePath(key + QStringLiteral(".txt"));
    if (!QDir().mkpath(dir))
        throw FileError::cannotWrite(path);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(key.toUtf8()) < 0 || !f.commit())
        throw FileError::cannotWrite(path);
    return QDir::cleanPath(path);
}

IndexNowSubmitter::IndexNowSubmitter(QObject* parent) : QObject(parent), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_client)
            m_client->Abort();
    });
}

IndexNowSubmitter::~IndexNowSubmitter() {
    if (m_client) {
        m_client->OnRequestDone = nullptr;
        m_client->Abort();
        delete m_client.data();
    }
    delete m_body;
}

void IndexNowSubmitter::start(const QList<IndexNowPost>& posts, const QString& key,
                              const QString& keyLocation) {
    if (m_running)
        return;
    m_posts = posts;
    m_key = key;
    m_keyLocation = keyLocation;
    m_index = 0;
    m_allAccepted = true;
    m_stopped = false;
    m_running = true;
    QMetaObject::invokeMethod(this, &IndexNowSubmitter::next, Qt::QueuedConnection);
}

void IndexNowSubmitter::stop() {
    m_stopped = true;
    if (m_client)
        m_client->Abort();
}

void IndexNowSubmitter::next() {
    if (m_stopped || m_index >= m_posts.size()) {
        done();
        return;
    }
    const IndexNowPost& post = m_posts.at(m_index);
    delete m_body;
    m_body = new QBuffer(this);
    m_body->setData(indexNowBody(post.host, m_key, m_keyLocation, post.urls));
    m_body->open(QIODevice::ReadOnly);

    auto* client = new net::THttpCli(this);
    if (proxy.behindProxy) {
        client->Proxy = proxy.host;
        client->ProxyPort = proxy.port;
        client->ProxyUsername = proxy.userName;
        client->ProxyPassword = proxy.password;
    }
    client->URL = post.endpoint;
    client->ContentTypePost = QStringLiteral("application/json; charset=utf-8");
    client->SendStream = m_body;
    client->OnRequestDone = [this](net::THttpCli* sender, net::THttpRequest, quint16) {
        m_timer->stop();
        const int code = sender->StatusCode();
        const QString phrase = sender->ReasonPhrase();
        sender->OnRequestDone = nullptr;
        sender->deleteLater();
        m_client = nullptr;
        if (code != 200 && code != 202)
            m_allAccepted = false;
        const IndexNowPost done = m_posts.at(m_index);
        ++m_index;
        emit posted(done, code, phrase);
        QMetaObject::invokeMethod(this, &IndexNowSubmitter::next, Qt::QueuedConnection);
    };
    m_client = client;
    if (postTimeoutSeconds > 0)
        m_timer->start(postTimeoutSeconds * 1000);
    client->PostAsync();
}

void IndexNowSubmitter::done() {
    if (!m_running)
        return;
    m_running = false;
    if (m_index < m_posts.size())
        m_allAccepted = false;
    emit finished(m_allAccepted);
}

} // namespace lb
