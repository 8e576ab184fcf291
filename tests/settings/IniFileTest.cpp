#include "settings/IniFile.h"

#include <array>
#include <gtest/gtest.h>

namespace pim {
namespace {

// A write changes its value in place or appends, and keeps every other byte.
TEST(IniFile, WritesUpdateInPlaceOrAppendAndKeepEveryOtherByte) {
    const struct {
        std::string before;
        std::vector<std::array<const char*, 3>> writes; // section, key, value
        std::string after;
    } cases[] = {
        {"; by hand\n[setting]\r\n  scheduleRUN = 0\r\nUnknown=keep me\n\r\n[Sound]\r\nKind=2\r\n",
         {{"Setting", "ScheduleRun", "1"},
          {"Setting", "Task", "1"},
          {"Sound", "Kind", "2"},
          {"FPN", "Login", "1"}},
         "; by hand\n[setting]\r\n  scheduleRUN = 1\r\nUnknown=keep me\nTask=1\r\n\r\n"
         "[Sound]\r\nKind=2\r\n[FPN]\r\nLogin=1\r\n"},
        {"[A]\nKey =  v  \nOther=1", {{"a", "KEY", "v"}}, "[A]\nKey =  v  \nOther=1"},
        {"[A]\nx=1", {{"A", "y", "2"}, {"B", "z", "3"}}, "[A]\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n"},
        // A byte order mark hides no first section.
        {"\xEF\xBB\xBF[A]\r\nx=1\r\n", {{"A", "x", "2"}}, "\xEF\xBB\xBF[A]\r\nx=2\r\n"},
        // The first of repeated sections and keys.
        {"[B]\nk=b\n[A]\nk=1\nK=2\n\n[b]\nk=late\n[a]\nnew=late",
         {{"a", "k", "3"}, {"A", "new", "4"}, {"b", "new", "5"}, {"A", "NEW", "6"}},
         "[B]\nk=b\nnew=5\r\n[A]\nk=3\nK=2\nnew=6\r\n\n[b]\nk=late\n[a]\nnew=late"},
        // A value cannot break out of its line.
        {"", {{"A", "Name", "x\r\n[FPN]\nCheck=0"}}, "[A]\r\nName=x  [FPN] Check=0\r\n"},
    };
    for (const auto& c : cases) {
        IniFile ini = IniFile::Parse(c.before);
        for (const auto& [section, key, value] : c.writes)
            ini.WriteString(section, key, value);
        EXPECT_EQ(ini.Bytes(), c.after);
    }
}

TEST(IniFile, ReadsTheFirstMatchTrimmedAndCut) {
    const IniFile ini =
        IniFile::Parse("[A]\r\nnovalue\r\n;k=comment\r\nk = first \r\nk=second\r\n"
                       "long=" +
                       std::string(1500, 'v') + "\r\n[B]\r\nonly=b\r\n[a]\r\nlate=ignored\r\n");
    EXPECT_EQ(ini.Value("a", "K"), "first");
    EXPECT_EQ(ini.Value("A", "long"), std::string(1023, 'v'));
    for (const char* key : {"novalue", ";k", "only", "late"})
        EXPECT_EQ(ini.Value("A", key), std::nullopt) << key;
    EXPECT_EQ(ini.Value("B", "only"), "b");
}

} // namespace
} // namespace pim
