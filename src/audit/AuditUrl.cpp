#include "audit/AuditUrl.h"

#include "common/AsciiText.h"

namespace lb::audit {

namespace {

struct Parts {
    bool hasScheme = false, hasAuthority = false, hasQuery = false;
    QByteArray scheme, authority, path, query;
};

// RFC 3986 appendix B, on bytes.
Parts split(QByteArray ref) {
    Parts p;
    if (const qsizetype hash = ref.indexOf('#'); hash >= 0)
        ref.truncate(hash);
    qsizetype i = 0;
    while (i < ref.size()) {
        const char c = ref.at(i);
        if (c == ':' || c == '/' || c == '?')
            break;
        ++i;
    }
    if (i > 0 && i < ref.size() && ref.at(i) == ':') {
        p.hasScheme = true;
        p.scheme = asciiLower(ref.first(i));
        ref.remove(0, i + 1);
    }
    if (ref.startsWith("//")) {
        p.hasAuthority = true;
        qsizetype e = 2;
        while (e < ref.size() && ref.at(e) != '/' && ref.at(e) != '?')
            ++e;
        p.authority = ref.mid(2, e - 2);
        ref.remove(0, e);
    }
    if (const qsizetype q = ref.indexOf('?'); q >= 0) {
        p.hasQuery = true;
        p.query = ref.mid(q);
        ref.truncate(q);
    }
    p.path = ref;
    return p;
}

QByteArray removeDotSegments(QByteArray in) {
    QByteArray out;
    while (!in.isEmpty()) {
        if (in.startsWith("../"))
            in.remove(0, 3);
        else if (in.startsWith("./"))
            in.remove(0, 2);
        else if (in.startsWith("/./"))
            in.remove(0, 2);
        else if (in == "/.")
            in = "/";
        else if (in.startsWith("/../") || in == "/..") {
            in = in.size() == 3 ? QByteArray("/") : in.mid(3);
            const qsizetype last = out.lastIndexOf('/');
            out.truncate(last < 0 ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            qsizetype next = in.indexOf('/', in.startsWith('/') ? 1 : 0);
            if (next < 0)
                next = in.size();
            out += in.first(next);
            in.remove(0, next);
        }
    }
    return out;
}

QByteArray merge(const AuditUrl& base, const QByteArray& path) {
    const qsizetype last = base.path.lastIndexOf('/');
    return base.path.first(last + 1) + path;
}

// Bytes a request line cannot carry as they are.
QByteArray escapeForWire(const QByteArray& s) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(s.size());
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

bool setAuthority(AuditUrl& url, QByteArray authority) {
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0)
        authority.remove(0, at + 1);
    QByteArray host = authority, port;
    const qsizetype bracket = authority.lastIndexOf(']');
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon > bracket) {
        host = authority.first(colon);
        port = authority.mid(colon + 1);
    }
    if (host.isEmpty())
        return false;
    url.host = asciiLower(host);
    for (char c : url.host)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == '\\')
            return false;
    url.port = -1;
    if (!port.isEmpty()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok || n < 0 || n > 65535 || port.startsWith('+') || port.startsWith('-'))
            return false;
        const int standard = url.scheme == "https" ? 443 : 80;
        url.port = n == standard ? -1 : n;
    }
    return true;
}

AuditUrl finish(AuditUrl url) {
    if (url.path.isEmpty())
        url.path = "/";
    url.path = escapeForWire(url.path);
    url.query = escapeForWire(url.query);
    return url;
}

} // namespace

QByteArray AuditUrl::origin() const {
    QByteArray out = scheme + "://" + host;
    if (port >= 0)
        out += ':' + QByteArray::number(port);
    return out;
}

QString AuditUrl::toString() const {
    return isValid() ? QString::fromLatin1(origin() + path + query) : QString();
}

AuditUrl parseAuditUrl(const QString& text) {
    const Parts p = split(text.trimmed().toUtf8());
    AuditUrl url;
    if (!p.hasScheme || !p.hasAuthority || (p.scheme != "http" && p.scheme != "https"))
        return AuditUrl();
    url.scheme = p.scheme;
    if (!setAuthority(url, p.authority))
        return AuditUrl();
    url.path = removeDotSegments(p.path);
    url.query = p.query;
    return finish(url);
}

AuditUrl resolveAuditUrl(const AuditUrl& base, const QString& reference) {
    // Browsers drop tabs and line breaks anywhere in an address.
    QByteArray ref = reference.trimmed().toUtf8();
    ref.removeIf([](char c) { return c == '\t' || c == '\n' || c == '\r'; });
    const Parts r = split(ref);
    if (r.hasScheme) {
        if (r.scheme != "http" && r.scheme != "https")
            return AuditUrl();
        return parseAuditUrl(QString::fromUtf8(ref));
    }
    if (!base.isValid())
        return AuditUrl();
    AuditUrl url;
    url.scheme = base.scheme;
    if (r.hasAuthority) {
        if (!setAuthority(url, r.authority))
            return AuditUrl();
        url.path = removeDotSegments(r.path);
        url.query = r.query;
        return finish(url);
    }
    url.host = base.host;
    url.port = base.port;
    if (r.path.isEmpty()) {
        url.path = base.path;
        url.query = r.hasQuery ? r.query : base.query;
    } else {
        url.path = removeDotSegments(r.path.startsWith('/') ? r.path : merge(base, r.path));
        url.query = r.query;
    }
    return finish(url);
}

} // namespace lb::audit
