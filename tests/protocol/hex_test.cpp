// Hexadecimal texts.

#include <gtest/gtest.h>

#include "protocol/Hex.h"

namespace {

TEST(HexToIntTest, Digits) {
    EXPECT_EQ(HexToInt("3F"), 63);
    EXPECT_EQ(HexToInt("ff"), 255);
    EXPECT_EQ(HexToInt("Ab"), 171);
    EXPECT_EQ(HexToInt("09"), 9);
    EXPECT_EQ(HexToInt("1000"), 4096);
    EXPECT_EQ(HexToInt("7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(HexToInt(""), 0);
}

TEST(HexToIntTest, PrefixUpToTheFirstX) {
    EXPECT_EQ(HexToInt("0x10"), 16);
    EXPECT_EQ(HexToInt("0x1F"), 31);
    EXPECT_EQ(HexToInt("0x"), 0);
    // Only a lower-case "x" in a later place is a prefix; in the first place it is a bad digit.
    EXPECT_EQ(HexToInt("x1"), -1);
    EXPECT_EQ(HexToInt("0X10"), -1);
    // Everything up to the first "x" goes, whatever it is.
    EXPECT_EQ(HexToInt("zzx2a"), 42);
}

TEST(HexToIntTest, BadDigitsGiveMinusOne) {
    for (const char* text : {"G1", "1G", "g", " 1", "1 ", "-1", "0x1x", "12#", "q,"})
        EXPECT_EQ(HexToInt(text), -1) << text;
}

TEST(IntToHexTest, UpperCaseWithoutLeadingZeros) {
    EXPECT_EQ(IntToHex(0), "0");
    EXPECT_EQ(IntToHex(9), "9");
    EXPECT_EQ(IntToHex(10), "A");
    EXPECT_EQ(IntToHex(255), "FF");
    EXPECT_EQ(IntToHex(4096), "1000");
    EXPECT_EQ(IntToHex(0xFFFFFFFFu), "FFFFFFFF");
}

TEST(IntToHexTest, RoundTripsThroughHexToInt) {
    for (uint32_t v : {0u, 1u, 15u, 16u, 0xB4u, 0x168u, 0xBEEFu, 0x7FFFFFFFu})
        EXPECT_EQ(HexToInt(IntToHex(v)), static_cast<int>(v)) << v;
}

}  // namespace
