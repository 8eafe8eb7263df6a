#include "engines/EngineCipher.h"

#include <gtest/gtest.h>
#include <random>

using namespace lb;

// Worked out by hand: K = 5861 = 0x16E5, 'A' (0x41) ^ 0x16 = 0x57;
// K = ((5861 + 0x57) * 7946 + 37052) mod 65536 = 48404 = 0xBD14, 'B' (0x42) ^ 0xBD = 0xFF.
TEST(EngineCipher, FixedVectorWorkedOutByHand) {
    EXPECT_EQ(encipherEngineText("AB"), QByteArray::fromHex("57ff"));
    EXPECT_EQ(decipherEngineText(QByteArray::fromHex("57ff")), QByteArray("AB"));
}

TEST(EngineCipher, RoundTripsArbitraryBytesAndKeepsLength) {
    std::mt19937 rng(7);
    for (int len : {0, 1, 2, 255, 4096, 100000}) {
        QByteArray data(len, Qt::Uninitialized);
        for (char& c : data)
            c = static_cast<char>(rng());
        const QByteArray enc = encipherEngineText(data);
        EXPECT_EQ(enc.size(), data.size());
        EXPECT_EQ(decipherEngineText(enc), data);
        if (len > 16)
            EXPECT_NE(enc, data);
    }
}
