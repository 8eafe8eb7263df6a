#include "liststore/QDBCompress.h"

#include <QtEndian>
#include <vector>

namespace lb::qdb {

namespace {

constexpr int WindowSize = 4096;
constexpr int MinMatch = 3;
constexpr int MaxMatch = 18;

inline unsigned hash3(const unsigned char* p) {
    return ((40543u * ((((unsigned(p[0]) << 4) ^ p[1]) << 4) ^ p[2])) >> 4) & 0xFFF;
}

} // namespace

QByteArray compress(const QByteArray& data) {
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype n = data.size();
    QByteArray out;
    // Worst case: every item a literal, two control bytes per 16 of them.
    out.reserve(4 + n + (n / 16 + 1) * 2);
    char len[4];
    qToLittleEndian<quint32>(quint32(n), len);
    out.append(len, 4);

    std::vector<qsizetype> table(4096, -1);
    qsizetype controlAt = -1;
    unsigned control = 0;
    int items = 16;
    qsizetype i = 0;
    while (i < n) {
        if (items == 16) {
            if (controlAt >= 0)
                qToLittleEndian<quint16>(quint16(control), out.data() + controlAt);
            controlAt = out.size();
            out.append(2, '\0');
            control = 0;
            items = 0;
        }
        int matchLen = 0;
        qsizetype distance = 0;
        if (i + MinMatch <= n) {
            const unsigned h = hash3(in + i);
            const qsizetype cand = table[h];
            table[h] = i;
            if (cand >= 0 && i - cand < WindowSize) {
                const qsizetype limit = qMin<qsizetype>(MaxMatch, n - i);
                int l = 0;
                while (l < limit && in[cand + l] == in[i + l])
                    ++l;
                if (l >= MinMatch) {
                    matchLen = l;
                    distance = i - cand;
                }
            }
        }
        if (matchLen) {
            control |= 1u << items;
            char item[2];
            qToLittleEndian<quint16>(quint16((distance << 4) | (matchLen - MinMatch)), item);
            out.append(item, 2);
            i += matchLen;
        } else {
            out.append(char(in[i]));
            ++i;
        }
        ++items;
    }
    if (controlAt >= 0)
        qToLittleEndian<quint16>(quint16(control), out.data() + controlAt);
    return out;
}

std::optional<QByteArray> expand(const QByteArray& packed) {
    const auto* in = reinterpret_cast<const unsigned char*>(packed.constData());
    const qsizetype n = packed.size();
    if (n < 4)
        return std::nullopt;
    const quint64 expected = qFromLittleEndian<quint32>(in);
    // A group of 16 two-byte matches expands 34 bytes into 288: anything
    // claiming more than that ratio is not ours, and must not size a buffer.
    if (expected > quint64(n) * 9)
        return std::nullopt;
    QByteArray out;
    out.resize(qsizetype(expected));
    char* o = out.data();
    quint64 produced = 0;
    qsizetype pos = 4;
    while (produced < expected) {
        if (pos + 2 > n)
            return std::nullopt;
        const unsigned control = qFromLittleEndian<quint16>(in + pos);
        pos += 2;
        for (int bit = 0; bit < 16 && produced < expected; ++bit) {
            if (control & (1u << bit)) {
                if (pos + 2 > n)
                    return std::nullopt;
                const unsigned item = qFromLittleEndian<quint16>(in + pos);
                pos += 2;
                const quint64 distance = item >> 4;
                const quint64 length = (item & 0xF) + MinMatch;
                if (distance == 0 || distance > produced || length > expected - produced)
                    return std::nullopt;
                // Byte by byte: a match may overlap the bytes it produces.
                for (quint64 k = 0; k < length; ++k, ++produced)
                    o[produced] = o[produced - distance];
            } else {
                if (pos >= n)
                    return std::nullopt;
                o[produced++] = char(in[pos++]);
            }
        }
    }
    if (pos != n)
        return std::nullopt;
    return out;
}

} // namespace lb::qdb
