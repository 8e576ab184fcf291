#include "app/Notification.h"

#include "app/ArrivalNotice.h"
#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(Notification, UnchangedOrNoMailIsSkippedWhereTheOptionsSaySo) {
    TSettings all; // every option that skips unchanged mail
    all.SameCheck = all.MailerAutoRun = all.MailerAutoRunSameCheck = true;
    all.SettingAutoShowCheck = all.SettingAutoShowChange = true;
    TSettings counting = all;
    counting.SettingCountOnly = true;
    TSettings mailerOnly;
    mailerOnly.MailerAutoRun = true;
    // Each row: the settings, the run (total, changed, any account), then
    // whether the sound plays, the mailer starts, the window shows.
    const std::tuple<TSettings, RunOutcome, std::string> rows[] = {
        {all, {3, false, true}, "---"},         {all, {3, true, true}, "smw"},
        {counting, {3, false, true}, "smw"}, // counting only, every run with mail
        {mailerOnly, {0, true, true}, "--w"},   {all, {0, true, true}, "---"},
        {TSettings{}, {2, true, false}, "s--"}, // no account took part
    };
    for (const auto& [settings, outcome, wanted] : rows)
        EXPECT_EQ(std::string() + "-s"[SoundWanted(settings, outcome)] +
                      "-m"[MailerWanted(settings, outcome)] +
                      "-w"[AutoShowWanted(settings, outcome)],
                  wanted);
}

TEST(Notification, TheIdleStatusNamesMailOfflineAndTheSchedule) {
    TSettings s;
    EXPECT_EQ(cp932::ToUtf8(IdleStatusText(s, false, "---", false)), "自動チェック停止中");
    s.ScheduleTime = true;
    EXPECT_EQ(cp932::ToUtf8(IdleStatusText(s, false, "0", true)), "自動チェック停止中");
    EXPECT_EQ(cp932::ToUtf8(IdleStatusText(s, false, "12", false)),
              "<着信メール 12通> 自動チェック待機中");
    EXPECT_EQ(cp932::ToUtf8(IdleStatusText(s, true, "12", false)),
              "<着信メール 12通> オフライン作業中");
}

// One account's result: its name, the count at the last run and now, the subjects.
AccountResult Account(const char* name, int oldCount, int count,
                      const std::vector<std::string>& subjects = {}) {
    AccountResult r;
    r.Name = name, r.OldCount = oldCount, r.Count = count;
    for (size_t i = 0; i < subjects.size(); ++i) {
        r.Subjects[i] = cp932::FromUtf8(subjects[i]);
        r.Senders[i] = cp932::FromUtf8("差出人" + std::to_string(i + 1));
    }
    return r;
}

TEST(Notification, TheArrivalNoticeNamesWhatIsNewElseWhatWaits) {
    const struct {
        std::vector<AccountResult> accounts;
        int totalMail;
        QString text; // summary | body
    } rows[] = {
        {{Account("A", 2, 3, {"old1", "old2", "new"}), Account("B", 0, 1, {"B1"}),
          Account("C", 0, -4)},
         4,
         "新着メールが 2 通あります|new（差出人3）\nB1（差出人1）"},
        {{Account("A", 2, 2, {"s1", "s2"})},
         2,
         "メールが 2 通届いています|s1（差出人1）\ns2（差出人2）"},
        {{Account("A", -1, -1, {"4"}), Account("B", 0, 0)}, 4, "メールが 4 通届いています|A: 4 通"},
        // A subject on one line and not at any length; more than are named.
        {{Account("A", 0, 7, {"a\tb" + std::string(120, 'x'), "2", "3", "4", "5", "6", "7"})},
         7,
         "新着メールが 7 通あります|a b" + QString(96, QLatin1Char('x')) +
             "…（差出人1）\n2（差出人2）\n3（差出人3）\n4（差出人4）\n5（差出人5）\nほか 2 通"},
    };
    for (const auto& row : rows) {
        Results shown;
        std::copy(row.accounts.begin(), row.accounts.end(), shown.begin());
        const auto notice = ArrivalNotice(shown, row.totalMail, false);
        EXPECT_EQ(notice.summary + "|" + notice.body, row.text);
        // Showing the window always; starting the mail program when there is one.
        EXPECT_EQ(notice.actions.size(), 1u);
        EXPECT_EQ(ArrivalNotice(shown, row.totalMail, true).actions.size(), 2u);
    }
}

} // namespace
} // namespace pim
