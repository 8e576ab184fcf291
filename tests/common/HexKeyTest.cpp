#include "common/HexKey.h"

#include "common/Random.h"

#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

TEST(HexKey, EncodesWithTheKeyFirstAndEveryByteRoundTripsUnderEveryKey) {
    EXPECT_EQ(HexKeyEncode("AB", 0x50), "509192");
    EXPECT_EQ(HexKeyEncode("\xC0", 0x50), "5010");
    EXPECT_EQ(HexKeyEncode("", 0xC7), "C7");
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

TEST(HexKey, DecodesShortOddAndLowerCaseTextsAndAnyGroupNotHexEmptiesAll) {
    // A last group of one digit is read on its own: 5 - 0x50 + 256 = 0xB5.
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},     {"50", ""},     {"509192", "AB"}, {"50919c", "AL"}, {"50915", "A\xB5"},
        {"5G91", ""}, {"5091ZZ", ""}, {"5091 2", ""},   {"50-1", ""}};
    for (const auto& [text, password] : cases)
        EXPECT_EQ(DecodePassword(text), password) << text;
}

} // namespace
} // namespace pim
