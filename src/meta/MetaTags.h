#pragma once
// The META tag creator's data: the tag fields, the check boxes that choose
// the tags, the HEAD block built from them and its injection into an HTML
// document held as memo lines.
#include <QString>
#include <QStringList>

#include <optional>

namespace lb {

struct MetaFields {
    QString url; // urllist
    QString title;
    QString description;
    QString keywords; // Key1
    QString author;
    QString creator;
    QString copyright;
    QString publisher;
    QString owner; // Ownere
    QString revisit;
    QString distribution;
    QString rating;
    QString robots;
    QString charset;
    QString language;
    QString day;          // EDay
    QString date;         // EDate
    QString month;        // EMonth
    QString year;         // EYear
    QStringList comments; // Comment, one per line

    bool operator==(const MetaFields&) const = default;
};

// The "Select Meta tags to use" check boxes.
struct MetaChecks {
    bool description = false;
    bool keywords = false;
    bool author = false;
    bool creator = false;
    bool robots = false;
    bool copyright = false;
    bool publisher = false;
    bool distribution = false;
    bool rating = false;
    bool expires = false;
    bool charset = false;
    bool owner = false;
    bool language = false;
    bool revisit = false;

    // The check box by its lower-case tag name ("description", ... "revisit"); null if none.
    bool* byName(const QString& name);
    static QStringList names();
};

// The lines of the HEAD block, in their fixed order.
QStringList buildMetaBlock(const MetaFields& f, const MetaChecks& checks);

// Where the block goes: from the first "<HTML" (any case) to the end of the
// first "</HEAD>" (any case) after it. Columns are offsets in their lines;
// the end is exclusive.
struct HeadRange {
    int startLine = 0, startColumn = 0;
    int endLine = 0, endColumn = 0;
};
std::optional<HeadRange> findHeadRange(const QStringList& lines);

// The text put in place of the range: the block's lines, with "<HTML>" in
// front when the language tag is not chosen (so the page keeps its start tag).
QStringList injectionLines(const QStringList& block, bool languageChosen);

// Replaces the range of the document's lines by the given lines; returns
// false (document unchanged) when there is no "<HTML" ... "</HEAD>" pair.
bool injectIntoLines(QStringList& document, const QStringList& replacement);

// A text file as a memo loads it: UTF-8 (Latin-1 where not valid), split at
// CR LF, LF and lone CR; a line end at the very end adds no empty line.
QStringList documentLines(const QByteArray& bytes);
// The memo's lines as a file: each followed by CR LF, UTF-8.
QByteArray documentBytes(const QStringList& lines);

// The messages of the creator.
namespace metaText {
inline const char* const InvalidName = "Sorry that name is being used by this program";
inline const char* const InvalidNameCaption = "Invalid Tag Name";
inline const char* const NoName = "You have no Tag to save.";
inline const char* const NoNameCaption = "No Tag Name";
inline const char* const Modify = "Tag name already exists.\nDo you wish to modify it  ?";
inline const char* const ModifyCaption = "Modify Session Tag Name";
inline const char* const NoItem = "You have not selected an item to Delete";
inline const char* const NoItemCaption = "No Item";
inline const char* const NoTags = "You need to make some meta tags First.";
inline const char* const NoHead = "You must have a missing or incorrect <head> or </head> Tag.";
} // namespace metaText

} // namespace lb
