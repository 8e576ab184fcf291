#include "common/Bytes.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(Bytes, ReplaceAllGoesLeftToRightNeverRescanningWhatItInserted) {
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("a\\|b\\|", "\\|", "\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(ReplaceAll("xyz", "", "q"), "xyz");
    EXPECT_EQ(ReplaceAll("aba", "a", "aa"), "aabaa");
    EXPECT_EQ(ReplaceAll(std::string(200000, '\n'), "\n", "\r\n").size(), 400000u);
}

TEST(Bytes, CaseChangesAndComparisonsTouchOnlyAsciiLetters) {
    // Bytes above 0x7F belong to CP932 characters and must survive any locale.
    EXPECT_EQ(AsciiUpper("subject: \xE9\xFF\x82\xC4z"), "SUBJECT: \xE9\xFF\x82\xC4Z");
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Account0", "ACCOUNT0"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("Account0", "Account01"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("\xE9", "\xC9"));
}

} // namespace
} // namespace pim
