#include "common/LinkScanner.h"

#include "common/AsciiText.h"

namespace lb {

MarkedLink FindMarkedLink(QByteArrayView text, QByteArrayView upper, QByteArrayView marker,
                          qsizetype pos) {
    MarkedLink link;
    const qsizetype at = upper.indexOf(marker, pos);
    if (at < 0)
        return link;
    link.marker = at;
    link.value = at + marker.size();
    const qsizetype s = link.value;
    if (text.size() - s > 2 && text.at(s) == '"') {
        link.from = s + 1;
        link.end = text.indexOf('"', link.from);
    } else {
        link.from = s;
        link.end = text.indexOf('>', link.from);
    }
    return link;
}

bool HtmlTag::has(QByteArrayView attribute) const {
    for (const HtmlAttribute& a : attributes)
        if (QByteArrayView(a.name) == attribute)
            return true;
    return false;
}

QByteArray HtmlTag::attribute(QByteArrayView name) const {
    for (const HtmlAttribute& a : attributes)
        if (QByteArrayView(a.name) == name)
            return a.value;
    return {};
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

qsizetype indexOfIgnoreCase(QByteArrayView text, QByteArrayView what, qsizetype from) {
    for (qsizetype i = from; i + what.size() <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < what.size() && asciiLower(text.at(i + k)) == what.at(k))
            ++k;
        if (k == what.size())
            return i;
    }
    return -1;
}

} // namespace

void HtmlTagScanner::skipRawText(QByteArrayView closing) {
    const qsizetype at = indexOfIgnoreCase(m_text, closing, m_pos);
    m_pos = at < 0 ? m_text.size() : at;
}

bool HtmlTagScanner::next(HtmlTag& tag) {
    const qsizetype n = m_text.size();
    for (;;) {
        const qsizetype lt = m_text.indexOf('<', m_pos);
        if (lt < 0 || lt + 1 >= n) {
            m_pos = n;
            return false;
        }
        const char c = m_text.at(lt + 1);
        if (c == '!' || c == '?') {
            qsizetype close;
            if (m_text.sliced(lt).startsWith("<!--")) {
                close = m_text.indexOf("-->", lt + 4);
                close = close < 0 ? -1 : close + 3;
            } else {
                close = m_text.indexOf('>', lt + 2);
                close = close < 0 ? -1 : close + 1;
            }
            if (close < 0) {
                m_pos = n;
                return false;
            }
            m_pos = close;
            continue;
        }
        const bool closing = c == '/';
        qsizetype p = lt + (closing ? 2 : 1);
        if (p >= n || !isLetter(m_text.at(p))) {
            m_pos = lt + 1;
            continue;
        }
        tag = HtmlTag();
        tag.begin = lt;
        const qsizetype nameStart = p;
        while (p < n && !isSpace(m_text.at(p)) && m_text.at(p) != '>' && m_text.at(p) != '/')
            ++p;
        tag.name = asciiLower(m_text.sliced(nameStart, p - nameStart).toByteArray());
        if (closing)
            tag.name.prepend('/');
        for (;;) {
            while (p < n && (isSpace(m_text.at(p)) || m_text.at(p) == '/'))
                ++p;
            if (p >= n) {
                m_pos = n;
                return false;
            }
            if (m_text.at(p) == '>') {
                ++p;
                break;
            }
            const qsizetype an = p;
            while (p < n && !isSpace(m_text.at(p)) && m_text.at(p) != '>' && m_text.at(p) != '=' &&
                   (m_text.at(p) != '/' || p == an))
                ++p;
            HtmlAttribute attribute;
            attribute.name = asciiLower(m_text.sliced(an, p - an).toByteArray());
            qsizetype q = p;
            while (q < n && isSpace(m_text.at(q)))
                ++q;
            if (q < n && m_text.at(q) == '=') {
                ++q;
                while (q < n && isSpace(m_text.at(q)))
                    ++q;
                if (q >= n) {
                    m_pos = n;
                    return false;
                }
                const char quote = m_text.at(q);
                if (quote == '"' || quote == '\'') {
                    const qsizetype e = m_text.indexOf(quote, q + 1);
                    if (e < 0) {
                        m_pos = n;
                        return false;
                    }
                    attribute.value = m_text.sliced(q + 1, e - q - 1).toByteArray();
                    p = e + 1;
                } else {
                    const qsizetype vs = q;
                    while (q < n && !isSpace(m_text.at(q)) && m_text.at(q) != '>')
                        ++q;
                    attribute.value = m_text.sliced(vs, q - vs).toByteArray();
                    p = q;
                }
            }
            if (!closing)
                tag.attributes.append(std::move(attribute));
        }
        tag.end = p;
        m_pos = p;
        if (tag.name == "script")
            skipRawText("</script");
        else if (tag.name == "style")
            skipRawText("</style");
        return true;
    }
}

} // namespace lb
