#pragma once
// Colours a text by a list of rules. Every rule walks the text once
// (begin tokens through a small trie, keywords through an Aho-Corasick
// automaton), so the cost grows with the text, not with text × tokens.
//
// Priority: the enabled rules' matches are applied in rule order; a match
// colours each of its characters whose priority is not higher than the
// match's ZOrder and gives them that priority. So the highest ZOrder wins and
// among equal ones the later match. Offsets are UTF-16 positions in the text.
#include "source/ColorRule.h"

#include <memory>
#include <vector>

namespace lb {

struct ColourRun {
    int start = 0;
    int length = 0;
    RgbColor colour = 0;
    bool operator==(const ColourRun&) const = default;
};

class ColourMatcher {
public:
    struct Match {
        int start = 0;
        int end = 0; // inclusive
        quint16 slot = 0;
    };

    ColourMatcher();
    explicit ColourMatcher(const TDrawRules& rules);
    ~ColourMatcher();
    ColourMatcher(ColourMatcher&&) noexcept;
    ColourMatcher& operator=(ColourMatcher&&) noexcept;

    // The colours the rules use; a slot n > 0 of a colour map is palette()[n - 1].
    const std::vector<RgbColor>& palette() const { return m_palette; }

    // One slot per UTF-16 unit of the text: 0 where no match colours it.
    void colourMap(const QString& text, std::vector<quint16>& cells) const;
    // The maximal runs of equal colour, in text order.
    QList<ColourRun> runs(const QString& text) const;
    static QList<ColourRun> runsOf(const std::vector<quint16>& cells,
                                   const std::vector<RgbColor>& palette);

    // The raw matches of one enabled rule (index into the rule list), in the
    // order they are applied. Empty for disabled rules.
    std::vector<Match> ruleMatches(int rule, const QString& text) const;

private:
    struct Compiled;
    quint16 slotOf(RgbColor c);
    std::vector<std::unique_ptr<Compiled>> m_rules;
    std::vector<RgbColor> m_palette;
};

} // namespace lb
