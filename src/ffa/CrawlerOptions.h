#pragma once
// The crawler's options as the options window holds them: limits, the
// include and ignore lists and the four keyword lists whose combinations
// become search queries. The crawler reads them at the moment of use, so an
// edit counts from the next use on, saved or not.
#include <QList>
#include <QString>
#include <QStringList>

namespace lb {

// The options panel's controls, in panel order (also the order of a
// profile's fields and of the panel signature).
enum class OptionControl { Ckb, Csec, Memo3, Memo1, Cstring, Terms1, Terms2, Bonus1, Bonus2 };
constexpr int OptionControlCount = 9;

struct OptionControlInfo {
    QString name;        // objectName: "Ckb", "Memo3" ...
    QString className;   // "TEdit" or "TMemo"
    bool memo;           // several lines
    QString defaultText; // a memo's lines joined with CR LF
};
const QList<OptionControlInfo>& optionControls();
const OptionControlInfo& optionControl(OptionControl c);

// Memo lines: CR LF, a lone CR and a lone LF each end a line; a line end at
// the very end starts no further line; an empty memo has no lines.
QStringList memoLines(const QString& text);
int memoLineCount(const QString& text);

// Product of the four keyword lists' line counts (0 when one is empty).
quint64 combinationCount(const QString& terms1, const QString& terms2, const QString& bonus1,
                         const QString& bonus2);

// What the crawler reads. The options window implements it; tests and the
// command line can use CrawlerOptionValues.
class CrawlerOptions {
public:
    virtual ~CrawlerOptions() = default;
    // The texts of the controls as they stand, by control.
    virtual QString optionText(OptionControl c) const = 0;

    QString loadMaxSizeText() const {
        return optionText(OptionControl::Ckb);
    }                                                                       // "Load Max Size: Kb"
    QString timeOutText() const { return optionText(OptionControl::Csec); } // "Time out: sec"
    QString startStringText() const { return optionText(OptionControl::Cstring); } // "String #:"
    QStringList includeList() const { return memoLines(optionText(OptionControl::Memo3)); }
    QStringList ignoreList() const { return memoLines(optionText(OptionControl::Memo1)); }
    // Keyword list 0 "Boolean Keywords Main", 1 "And 1", 2 "And 2", 3 "And 3".
    QStringList keywordList(int list) const;
    quint64 combinationCount() const;
};

// Plain option values, starting at the window's defaults.
class CrawlerOptionValues : public CrawlerOptions {
public:
    CrawlerOptionValues();
    QString optionText(OptionControl c) const override { return m_texts[int(c)]; }
    void setOptionText(OptionControl c, const QString& text) { m_texts[int(c)] = text; }

private:
    QStringList m_texts;
};

} // namespace lb
