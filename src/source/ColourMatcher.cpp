#include "source/ColourMatcher.h"

#include <algorithm>
#include <bitset>

namespace lb {

namespace {

inline char16_t foldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

inline bool isLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'@';
}

inline bool isLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n';
}

// A small trie of begin tokens: finds, from a position on, the earliest
// place where any token begins, and there the earliest entry.
class TokenTrie {
public:
    void add(const QString& token, int entry) {
        int node = 0;
        for (QChar qc : token) {
            const char16_t c = qc.unicode();
            int next = child(node, c);
            if (next < 0) {
                next = int(m_nodes.size());
                m_nodes[size_t(node)].next.emplace_back(c, next);
                m_nodes.emplace_back();
            }
            node = next;
        }
        if (!token.isEmpty())
            m_first.set(token.at(0).unicode());
        Node& n = m_nodes[size_t(node)];
        if (n.entry < 0 || entry < n.entry)
            n.entry = entry;
    }

    // Returns the position (or -1) and sets entry.
    int find(const char16_t* text, int size, int from, int& entry) const {
        for (int p = from; p < size; ++p) {
            if (!m_first.test(text[p]))
                continue;
            int best = -1;
            int node = 0;
            for (int q = p; q < size; ++q) {
                node = child(node, text[q]);
                if (node < 0)
                    break;
                const int e = m_nodes[size_t(node)].entry;
                if (e >= 0 && (best < 0 || e < best))
                    best = e;
            }
            if (best >= 0) {
                entry = best;
                return p;
            }
        }
        return -1;
    }

private:
    struct Node {
        std::vector<std::pair<char16_t, int>> next;
        int entry = -1;
    };
    int child(int node, char16_t c) const {
        for (const auto& [ch, n] : m_nodes[size_t(node)].next)
            if (ch == c)
                return n;
        return -1;
    }
    std::vector<Node> m_nodes{1};
    std::bitset<65536> m_first;
};

// Aho-Corasick automaton over the keywords: every occurrence of every
// keyword in one walk over the text.
class KeywordAutomaton {
public:
    void build(const QList<KeywordEntry>& words) {
        m_lengths.clear();
        for (int k = 0; k < words.size(); ++k) {
            const QString& w = words.at(k).word;
            m_lengths.push_back(int(w.size()));
            int node = 0;
            for (QChar qc : w) {
                const char16_t c = qc.unicode();
                int next = child(node, c);
                if (next < 0) {
                    next = int(m_nodes.size());
                    m_nodes[size_t(node)].next.emplace_back(c, next);
                    m_nodes.emplace_back();
                }
                node = next;
            }
            m_nodes[size_t(node)].out.push_back(k);
            m_first.set(w.at(0).unicode());
        }
        // Failure and output links, breadth first.
        std::vector<int> queue;
        for (const auto& [c, n] : m_nodes[0].next) {
            m_nodes[size_t(n)].fail = 0;
            queue.push_back(n);
        }
        for (size_t qi = 0; qi < queue.size(); ++qi) {
            const int u = queue[qi];
            for (const auto& [c, v] : m_nodes[size_t(u)].next) {
                int f = m_nodes[size_t(u)].fail;
                while (f > 0 && child(f, c) < 0)
                    f = m_nodes[size_t(f)].fail;
                const int fc = child(f, c);
                m_nodes[size_t(v)].fail = (fc >= 0 && fc != v) ? fc : 0;
                const int fv = m_nodes[size_t(v)].fail;
                m_nodes[size_t(v)].dict =
                    m_nodes[size_t(fv)].out.empty() ? m_nodes[size_t(fv)].dict : fv;
                queue.push_back(v);
            }
        }
    }

    bool empty() const { return m_lengths.empty(); }
    int length(int keyword) const { return m_lengths[size_t(keyword)]; }

    // Calls hit(keyword, start) for every occurrence, in order of their end.
    template <typename Hit> void scan(const char16_t* text, int size, bool fold, Hit hit) const {
        int state = 0;
        for (int i = 0; i < size; ++i) {
            const char16_t c = fold ? foldAscii(text[i]) : text[i];
            if (state == 0 && !m_first.test(c))
                continue;
            int next;
            while ((next = child(state, c)) < 0 && state != 0)
                state = m_nodes[size_t(state)].fail;
            state = next < 0 ? 0 : next;
            for (int o = m_nodes[size_t(state)].out.empty() ? m_nodes[size_t(state)].dict : state;
                 o > 0; o = m_nodes[size_t(o)].dict)
                for (int k : m_nodes[size_t(o)].out)
                    hit(k, i - m_lengths[size_t(k)] + 1);
        }
    }

private:
    struct Node {
        std::vector<std::pair<char16_t, int>> next;
        std::vector<int> out;
        int fail = 0;
        int dict = 0; // nearest node down the failure chain with output (0: none)
    };
    int child(int node, char16_t c) const {
        for (const auto& [ch, n] : m_nodes[size_t(node)].next)
            if (ch == c)
                return n;
        return -1;
    }
    std::vector<Node> m_nodes{1};
    std::vector<int> m_lengths;
    std::bitset<65536> m_first;
};

} // namespace

struct ColourMatcher::Compiled {
    TKeyDrawingType type = dtBeginEnd;
    quint8 zorder = 0;
    bool enabled = true;
    bool keyCase = false;
    bool partWord = false;
    struct Token {
        QString begin, end;
        quint16 slot;
    };
    std::vector<Token> tokens;
    TokenTrie trie;
    std::vector<quint16> keywordSlots;
    KeywordAutomaton keywords;
};

ColourMatcher::ColourMatcher() = default;
ColourMatcher::~ColourMatcher() = default;
ColourMatcher::ColourMatcher(ColourMatcher&&) noexcept = default;
ColourMatcher& ColourMatcher::operator=(ColourMatcher&&) noexcept = default;

quint16 ColourMatcher::slotOf(RgbColor c) {
    const auto it = std::find(m_palette.begin(), m_palette.end(), c);
    if (it != m_palette.end())
        return quint16(it - m_palette.begin() + 1);
    m_palette.push_back(c);
    return quint16(m_palette.size());
}

ColourMatcher::ColourMatcher(const TDrawRules& rules) {
    for (const TColorRule& r : rules) {
        auto c = std::make_unique<Compiled>();
        c->type = r.KeyDrawingType;
        c->zorder = r.ZOrder;
        c->enabled = r.Enabled;
        c->keyCase = r.KeyCase;
        c->partWord = r.PartWord;
        if (r.KeyDrawingType == dtBeginEnd || r.KeyDrawingType == dtBeginLineEnd) {
            const QList<TokenEntry> entries =
                r.KeyDrawingType == dtBeginEnd ? parseBeginEndList(r.KeyBegEndLst, r.DefKeyColor)
                                               : parseLineEndList(r.KeyLineEndLst, r.DefKeyColor);
            for (const TokenEntry& e : entries) {
                c->trie.add(e.begin, int(c->tokens.size()));
                c->tokens.push_back({e.begin, e.end, slotOf(e.colour)});
            }
        } else if (r.KeyDrawingType == dtKeyShow) {
            const QList<KeywordEntry> words =
                parseKeywordList(r.Keywords, r.KeyCase, r.DefKeyColor);
            for (const KeywordEntry& w : words)
                c->keywordSlots.push_back(slotOf(w.colour));
            c->keywords.build(words);
        }
        m_rules.push_back(std::move(c));
    }
}

std::vector<ColourMatcher::Match> ColourMatcher::ruleMatches(int rule, const QString& text) const {
    std::vector<Match> out;
    if (rule < 0 || rule >= int(m_rules.size()))
        return out;
    const Compiled& r = *m_rules[size_t(rule)];
    if (!r.enabled)
        return out;
    const char16_t* t = reinterpret_cast<const char16_t*>(text.constData());
    const int n = int(text.size());

    if (r.type == dtBeginEnd && !r.tokens.empty()) {
        int pos = 0;
        while (pos < n) {
            int entry = 0;
            const int b = r.trie.find(t, n, pos, entry);
            if (b < 0)
                break;
            const Compiled::Token& tok = r.tokens[size_t(entry)];
            if (tok.end.isEmpty()) {
                // Nothing to look for: the begin token alone is coloured.
                out.push_back({b, b + int(tok.begin.size()) - 1, tok.slot});
                pos = b + 1;
                continue;
            }
            const int e = int(text.indexOf(tok.end, b + 1));
            if (e < 0)
                break; // an unclosed span ends the search
            out.push_back({b, e + int(tok.end.size()) - 1, tok.slot});
            pos = e + 1;
        }
    } else if (r.type == dtBeginLineEnd && !r.tokens.empty()) {
        int pos = 0;
        while (pos < n) {
            int entry = 0;
            const int b = r.trie.find(t, n, pos, entry);
            if (b < 0)
                break;
            int e = b;
            while (e < n && !isLineBreak(t[e]))
                ++e;
            out.push_back({b, e - 1, r.tokens[size_t(entry)].slot});
            pos = e;
        }
    } else if (r.type == dtKeyShow && !r.keywords.empty()) {
        struct Hit {
            int start, keyword;
        };
        std::vector<Hit> hits;
        r.keywords.scan(t, n, !r.keyCase, [&](int k, int start) {
            const int end = start + r.keywords.length(k) - 1;
            // Whole words only: no letter may touch either side.
            if (!r.partWord &&
                ((start > 0 && isLetter(t[start - 1])) || (end + 1 < n && isLetter(t[end + 1]))))
                return;
            hits.push_back({start, k});
        });
        // Text order; at one start the earlier keyword is applied last, so it wins.
        std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
            return a.start != b.start ? a.start < b.start : a.keyword > b.keyword;
        });
        out.reserve(hits.size());
        for (const Hit& h : hits)
            out.push_back({h.start, h.start + r.keywords.length(h.keyword) - 1,
                           r.keywordSlots[size_t(h.keyword)]});
    }
    return out;
}

void ColourMatcher::colourMap(const QString& text, std::vector<quint16>& cells) const {
    const size_t n = size_t(text.size());
    cells.assign(n, 0);
    std::vector<quint8> prio(n, 0);
    std::vector<Match> stack;
    for (int ri = 0; ri < int(m_rules.size()); ++ri) {
        const Compiled& r = *m_rules[size_t(ri)];
        if (!r.enabled)
            continue;
        const std::vector<Match> matches = ruleMatches(ri, text);
        const quint8 z = r.zorder;
        // Within one rule the later match wins: sweep with a stack whose top
        // is the latest match still covering the position.
        stack.clear();
        size_t i = 0;
        int p = 0;
        while (i < matches.size() || !stack.empty()) {
            if (stack.empty())
                p = std::max(p, matches[i].start);
            while (i < matches.size() && matches[i].start <= p)
                stack.push_back(matches[i++]);
            while (!stack.empty() && stack.back().end < p)
                stack.pop_back();
            if (stack.empty())
                continue;
            const Match& top = stack.back();
            int q = top.end + 1;
            if (i < matches.size())
                q = std::min(q, matches[i].start);
            q = std::min(q, int(n));
            for (int x = p; x < q; ++x) {
                if (prio[size_t(x)] <= z) {
                    prio[size_t(x)] = z;
                    cells[size_t(x)] = top.slot;
                }
            }
            p = q;
            if (p >= int(n))
                break;
        }
    }
}

QList<ColourRun> ColourMatcher::runsOf(const std::vector<quint16>& cells,
                                       const std::vector<RgbColor>& palette) {
    QList<ColourRun> out;
    const int n = int(cells.size());
    int i = 0;
    while (i < n) {
        if (cells[size_t(i)] == 0) {
            ++i;
            continue;
        }
        const RgbColor c = palette[cells[size_t(i)] - 1u];
        int j = i + 1;
        while (j < n && cells[size_t(j)] != 0 && palette[cells[size_t(j)] - 1u] == c)
            ++j;
        out.append({i, j - i, c});
        i = j;
    }
    return out;
}

QList<ColourRun> ColourMatcher::runs(const QString& text) const {
    std::vector<quint16> cells;
    colourMap(text, cells);
    return runsOf(cells, m_palette);
}

} // namespace lb
