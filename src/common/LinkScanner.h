#pragma once
// The one link scanner of the program. Two readings share it:
// - marked links: a marker such as "HREF=" found in the ASCII upper-cased copy,
//   then the link after it (quoted, or up to '>'); each caller keeps its own
//   marker and what it does with a link cut off by the end of its buffer;
// - tags: the tags of a page with their attributes, for readers that need
//   to know which tag a link stands in (anchors against images, rel=canonical).
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace lb {

struct MarkedLink {
    qsizetype marker = -1; // start of the marker; -1 when none is left
    qsizetype value = -1;  // just past the marker
    qsizetype from = -1;   // the link's text is [from, end)
    qsizetype end = -1;    // -1 when its closing quote or '>' is not in the text yet
};

// Finds the next marker in upper (text upper-cased, same length) at or after pos.
// A link longer than two characters that opens with a double quote runs to the
// next double quote; anything else runs to the next '>'.
MarkedLink FindMarkedLink(QByteArrayView text, QByteArrayView upper, QByteArrayView marker,
                          qsizetype pos);

struct HtmlAttribute {
    QByteArray name;  // lower-cased
    QByteArray value; // raw: entities are left to the reader
};

struct HtmlTag {
    QByteArray name; // lower-cased, "/a" for a closing tag
    QList<HtmlAttribute> attributes;
    qsizetype begin = 0; // offset of '<'
    qsizetype end = 0;   // just past '>'
    bool has(QByteArrayView attribute) const;
    QByteArray attribute(QByteArrayView name) const;
};

// Walks the tags of a page once. Comments are skipped, and so is the content of
// script and style elements; a tag cut off by the end of the text ends the walk.
class HtmlTagScanner {
public:
    explicit HtmlTagScanner(QByteArrayView text) : m_text(text) {}
    bool next(HtmlTag& tag);
    qsizetype position() const { return m_pos; }

private:
    void skipRawText(QByteArrayView closing);
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

} // namespace lb
