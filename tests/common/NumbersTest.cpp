#include "common/Numbers.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

struct Case {
    const char* text;
    std::optional<int32_t> expected;
};

TEST(ParseInteger, ReadsDecimalAndBothHexForms) {
    const Case cases[] = {
        {"2", 2},
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
        {"-2147483648", INT32_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInteger(c.text), c.expected) << c.text;
}

TEST(ParseInteger, RejectsWhatIsNotANumber) {
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
