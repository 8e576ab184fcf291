#include "common/Numbers.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(ParseInteger, ReadsDecimalAndBothHexFormsAndRejectsWhatIsNotANumber) {
    const std::pair<const char*, int32_t> cases[] = {{"2", 2},
                                                     {"-5", -5},
                                                     {"+7", 7},
                                                     {"0", 0},
                                                     {"$1F", 31},
                                                     {"$1f", 31},
                                                     {"-$10", -16},
                                                     {"0x1F", 31},
                                                     {"0X1f", 31},
                                                     {"$FFFFFFFF", -1},
                                                     {"0x80000000", INT32_MIN},
                                                     {"2147483647", INT32_MAX},
                                                     {"-2147483648", INT32_MIN}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseInteger(text), expected) << text;
    // "0x" alone is two characters, so it is read as decimal, and fails.
    const char* unreadable[] = {"",           "0x",          "$",    "yes",        "1.5",
                                "12a",        " 3",          "-",    "2147483648", "-2147483649",
                                "$100000000", "0x123456789", "0xG1", "--1"};
    for (const char* text : unreadable)
        EXPECT_EQ(ParseInteger(text), std::nullopt) << text;
    EXPECT_EQ(ReadInteger("yes", 42), 42);
}

} // namespace
} // namespace pim
