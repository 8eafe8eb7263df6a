#pragma once
// IndexNow: tells search engines that accept the protocol which URLs are new
// or changed, as one JSON POST per host and chunk of URLs. The settings live
// in our own section "IndexNow" of "zkt.ini".
#include "common/ProxySettings.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QBuffer;
class QTimer;

namespace lb {
namespace net {
class THttpCli;
}

struct IndexNowSettings {
    QString key;
    QString keyLocation;
    QStringList endpoints; // as configured, possibly empty

    static const QString DefaultEndpoint;
    static constexpr int MaxUrlsPerPost = 10000;

    // "Key", "KeyLocation" and "Endpoints" (split at ",", items trimmed,
    // empty ones dropped) of section "IndexNow"; missing keys read empty.
    static IndexNowSettings load(const QString& appDir);
    void save(const QString& appDir) const;
    // Items of a comma-separated list, trimmed, empty ones dropped.
    static QStringList splitEndpoints(const QString& list);
    // The configured endpoints, or the default one when there are none.
    QStringList effectiveEndpoints() const;
};

// 8 to 128 characters, each one of A-Z a-z 0-9 "-".
bool isValidIndexNowKey(const QString& key);
// The host of a URL as SplitUrl gives it (no user, password or port), in
// ASCII lower case.
QString indexNowHost(const QString& url);
// The JSON body of one post, UTF-8, without blanks; "keyLocation" is left
// out when empty.
QByteArray indexNowBody(const QString& host, const QString& key, const QString& keyLocation,
                        const QStringList& urls);
// The line the protocol gives a refusal, or an empty string.
QString indexNowExplanation(int statusCode);

struct IndexNowPost {
    QString endpoint;
    QString host;
    QStringList urls;
};

// For each endpoint in order, for each host in order of first appearance,
// that host's URLs in consecutive chunks of at most MaxUrlsPerPost.
QList<IndexNowPost> planIndexNowPosts(const QStringList& endpoints, const QStringList& urls);

// The "url" of each saved session in order; missing files, keys, empty URLs
// and names that are not plain file names are skipped.
QStringList indexNowSessionUrls(const QString& appDir, const QStringList& sessions);

// Writes DIR/KEY.txt holding exactly KEY, creating DIR; returns the file's
// absolute path. Throws FileError when it cannot be written.
QString writeIndexNowKeyFile(const QString& dir, const QString& key);

// Sends planned posts one at a time, each answered before the next starts,
// every one whatever the earlier answers were.
class IndexNowSubmitter : public QObject {
    Q_OBJECT
public:
    explicit IndexNowSubmitter(QObject* parent = nullptr);
    ~IndexNowSubmitter() override;

    ProxySettings proxy;         // applied when behindProxy
    int postTimeoutSeconds = 60; // a post not done by then is aborted; 0: none

    void start(const QList<IndexNowPost>& posts, const QString& key, const QString& keyLocation);
    void stop(); // aborts the post in flight; no further posts start
    bool running() const { return m_running; }

signals:
    void posted(const lb::IndexNowPost& post, int statusCode, const QString& reasonPhrase);
    // allAccepted: every post answered 200 or 202.
    void finished(bool allAccepted);

private:
    void next();
    void done();

    QList<IndexNowPost> m_posts;
    QString m_key, m_keyLocation;
    int m_index = 0;
    bool m_running = false;
    bool m_allAccepted = true;
    bool m_stopped = false;
    QPointer<net::THttpCli> m_client;
    QBuffer* m_body = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace lb
