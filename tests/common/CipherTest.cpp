#include "engines/EngineCipher.h"

#include <gtest/gtest.h>

using namespace lb;

// Worked out by hand: K = 5861 = 0x16E5, 'A' (0x41) ^ 0x16 = 0x57;
// K = ((5861 + 0x57) * 7946 + 37052) mod 65536 = 48404 = 0xBD14, 'B' (0x42) ^
// 0xBD = 0xFF. (Any bytes round trip: fuzz_engineline.)
TEST(EngineCipher, FixedVectorWorkedOutByHand) {
    EXPECT_EQ(encipherEngineText("AB"), QByteArray::fromHex("57ff"));
    EXPECT_EQ(decipherEngineText(QByteArray::fromHex("57ff")), QByteArray("AB"));
}
