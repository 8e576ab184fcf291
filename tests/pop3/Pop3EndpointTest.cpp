#include "pop3/Pop3Endpoint.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(Pop3Endpoint, ReadsHostPortAndTls) {
    EXPECT_EQ(ParsePop3Endpoint("pop.example.jp"), (Pop3Endpoint{"pop.example.jp", 110, false}));
    EXPECT_EQ(ParsePop3Endpoint("192.168.0.10:1110"), (Pop3Endpoint{"192.168.0.10", 1110, false}));
    EXPECT_EQ(ParsePop3Endpoint("pop3s://pop.example.jp"),
              (Pop3Endpoint{"pop.example.jp", 995, true}));
    EXPECT_EQ(ParsePop3Endpoint("POP3S://pop.example.jp:1995/"),
              (Pop3Endpoint{"pop.example.jp", 1995, true}));
    EXPECT_EQ(ParsePop3Endpoint("[::1]:2110"), (Pop3Endpoint{"::1", 2110, false}));
    EXPECT_EQ(ParsePop3Endpoint("fe80::1"), (Pop3Endpoint{"fe80::1", 110, false}));
}

TEST(Pop3Endpoint, RefusesWhatNamesNoHost) {
    for (const char* text : {"", "pop3s://", ":110", "host:", "host:0", "host:65536", "host:x",
                             "[::1", "[::1]x", "two words", "pop3s://a/b"})
        EXPECT_EQ(ParsePop3Endpoint(text), std::nullopt) << text;
}

} // namespace
} // namespace pim
