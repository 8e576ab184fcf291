#include "app/Notification.h"

#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(Notification, UnchangedMailIsSkippedOnlyWhereTheOptionsSaySo) {
    TSettings s;
    s.SameCheck = true;
    s.MailerAutoRun = true;
    s.MailerAutoRunSameCheck = true;
    s.SettingAutoShowCheck = true;
    s.SettingAutoShowChange = true;
    const RunOutcome same{3, false, true};
    const RunOutcome changed{3, true, true};
    EXPECT_FALSE(SoundWanted(s, same));
    EXPECT_FALSE(MailerWanted(s, same));
    EXPECT_FALSE(AutoShowWanted(s, same));
    EXPECT_TRUE(SoundWanted(s, changed) && MailerWanted(s, changed) && AutoShowWanted(s, changed));
    // Counting only, every run with mail notifies.
    s.SettingCountOnly = true;
    EXPECT_TRUE(SoundWanted(s, same) && MailerWanted(s, same) && AutoShowWanted(s, same));
}

TEST(Notification, NoMailNeverSoundsOrStartsTheMailerButMayStillShow) {
    TSettings s;
    s.MailerAutoRun = true;
    const RunOutcome none{0, true, true};
    EXPECT_FALSE(SoundWanted(s, none));
    EXPECT_FALSE(MailerWanted(s, none));
    EXPECT_TRUE(AutoShowWanted(s, none));
    s.SettingAutoShowCheck = true;
    EXPECT_FALSE(AutoShowWanted(s, none));
    EXPECT_FALSE(AutoShowWanted(TSettings{}, RunOutcome{2, true, false})) << "no account took part";
    s.MailerAutoRun = false;
    EXPECT_FALSE(MailerWanted(s, RunOutcome{2, true, true}));
}

TEST(Notification, TheIdleStatusNamesMailOfflineAndTheSchedule) {
    TSettings s;
    const auto text = [&](bool offline, const char* label, bool paused) {
        return cp932::ToUtf8(IdleStatusText(s, offline, label, paused));
    };
    EXPECT_EQ(text(false, "---", false), "自動チェック停止中");
    s.ScheduleTime = true;
    EXPECT_EQ(text(false, "0", false), "自動チェック待機中");
    EXPECT_EQ(text(false, "0", true), "自動チェック停止中");
    EXPECT_EQ(text(false, "12", false), "<着信メール 12通> 自動チェック待機中");
    EXPECT_EQ(text(true, "12", false), "<着信メール 12通> オフライン作業中");
}

} // namespace
} // namespace pim
