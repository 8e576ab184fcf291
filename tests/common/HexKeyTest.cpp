#include "common/HexKey.h"

#include "common/Random.h"

#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

TEST(HexKey, EncodesWithTheKeyFirstAndWrapsAt256) {
    EXPECT_EQ(HexKeyEncode("AB", 0x50), "509192");
    EXPECT_EQ(HexKeyEncode("\xC0", 0x50), "5010");
    EXPECT_EQ(HexKeyEncode("", 0xC7), "C7");
}

TEST(HexKey, EveryByteRoundTripsUnderEveryKey) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    for (int key = 50; key <= 199; ++key)
        ASSERT_EQ(HexKeyDecode(HexKeyEncode(all, key)), all) << key;
}

TEST(HexKey, DrawsEveryKeyFrom50To199AndNoOther) {
    SeedRandom(12345);
    std::set<int> keys;
    for (int i = 0; i < 20000; ++i)
        keys.insert(std::stoi(EncodePassword("x").substr(0, 2), nullptr, 16));
    EXPECT_EQ(keys.size(), 150u);
    EXPECT_EQ(*keys.begin(), 50);
    EXPECT_EQ(*keys.rbegin(), 199);
}

TEST(HexKey, DecodesShortOddAndLowerCaseTexts) {
    EXPECT_EQ(DecodePassword(""), "");
    EXPECT_EQ(DecodePassword("50"), "");
    EXPECT_EQ(DecodePassword("509192"), "AB");
    EXPECT_EQ(DecodePassword("50919c"), "AL");
    // A last group of one digit is read on its own: 5 - 0x50 + 256 = 0xB5.
    EXPECT_EQ(DecodePassword("50915"), "A\xB5");
}

TEST(HexKey, AnyGroupThatIsNotHexEmptiesTheWholeResult) {
    EXPECT_EQ(DecodePassword("5G91"), "");
    EXPECT_EQ(DecodePassword("5091ZZ"), "");
    EXPECT_EQ(DecodePassword("5091 2"), "");
    EXPECT_EQ(DecodePassword("50-1"), "");
}

} // namespace
} // namespace pim
