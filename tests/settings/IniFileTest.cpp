#include "settings/IniFile.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(IniFile, UpdatesInPlaceAndKeepsEveryOtherByte) {
    const std::string before = "; written by hand\n"
                               "[setting]\r\n"
                               "  scheduleRUN = 0\r\n"
                               "Unknown=keep me\n"
                               "\r\n"
                               "[Sound]\r\n"
                               "Kind=2\r\n";
    IniFile ini = IniFile::Parse(before);
    ini.WriteBool("Setting", "ScheduleRun", true);
    ini.WriteBool("Setting", "SettingTask", true);
    ini.WriteInteger("Sound", "Kind", 2);
    ini.WriteString("FPN", "Login", "1");
    EXPECT_EQ(ini.Bytes(), "; written by hand\n"
                           "[setting]\r\n"
                           "  scheduleRUN = 1\r\n"
                           "Unknown=keep me\n"
                           "SettingTask=1\r\n"
                           "\r\n"
                           "[Sound]\r\n"
                           "Kind=2\r\n"
                           "[FPN]\r\n"
                           "Login=1\r\n");
}

TEST(IniFile, RewritingAnUnchangedValueChangesNothing) {
    const std::string before = "[A]\nKey =  v  \nOther=1";
    IniFile ini = IniFile::Parse(before);
    ini.WriteString("a", "KEY", "v");
    EXPECT_EQ(ini.Bytes(), before);
}

TEST(IniFile, AppendsAfterALastLineWithoutLineEnd) {
    IniFile ini = IniFile::Parse("[A]\nx=1");
    ini.WriteString("A", "y", "2");
    ini.WriteString("B", "z", "3");
    EXPECT_EQ(ini.Bytes(), "[A]\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
}

TEST(IniFile, ReadsTheFirstMatchTrimmedAndCut) {
    const std::string longValue(1500, 'v');
    const IniFile ini = IniFile::Parse("[A]\r\n"
                                       "novalue\r\n"
                                       ";k=comment\r\n"
                                       "k = first \r\n"
                                       "k=second\r\n"
                                       "long=" +
                                       longValue +
                                       "\r\n"
                                       "[B]\r\n"
                                       "only=b\r\n"
                                       "[a]\r\n"
                                       "late=ignored\r\n");
    EXPECT_EQ(ini.Value("A", "k"), "first");
    EXPECT_EQ(ini.Value("A", "long"), std::string(1023, 'v'));
    EXPECT_EQ(ini.Value("A", "novalue"), std::nullopt);
    EXPECT_EQ(ini.Value("A", ";k"), std::nullopt);
    EXPECT_EQ(ini.Value("A", "only"), std::nullopt);
    EXPECT_EQ(ini.Value("A", "late"), std::nullopt);
    EXPECT_EQ(ini.Value("B", "only"), "b");
}

TEST(IniFile, WritesGoToTheFirstOfRepeatedSectionsAndKeys) {
    IniFile ini = IniFile::Parse("[B]\nk=b\n[A]\nk=1\nK=2\n\n[b]\nk=late\n[a]\nnew=late");
    ini.WriteString("a", "k", "3");
    ini.WriteString("A", "new", "4");
    ini.WriteString("b", "new", "5");
    ini.WriteString("A", "NEW", "6");
    EXPECT_EQ(ini.Bytes(),
              "[B]\nk=b\nnew=5\r\n[A]\nk=3\nK=2\nnew=6\r\n\n[b]\nk=late\n[a]\nnew=late");
    EXPECT_EQ(ini.Value("A", "new"), "6");
    EXPECT_EQ(ini.Value("b", "K"), "b");
}

TEST(IniFile, AValueCannotBreakOutOfItsLine) {
    IniFile ini;
    ini.WriteString("Account0", "Name", "x\r\n[FPN]\r\nPasswordCheck=0");
    EXPECT_EQ(ini.Value("FPN", "PasswordCheck"), std::nullopt);
    EXPECT_EQ(ini.Value("Account0", "Name"), "x  [FPN]  PasswordCheck=0");
}

} // namespace
} // namespace pim
