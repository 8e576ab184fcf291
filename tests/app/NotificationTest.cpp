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
    const struct {
        const char* name;
        const TSettings& settings;
        RunOutcome outcome; // total, changed, any account
        bool sound, mailer, show;
    } rows[] = {
        {"unchanged", all, {3, false, true}, false, false, false},
        {"changed", all, {3, true, true}, true, true, true},
        {"counting only, every run with mail", counting, {3, false, true}, true, true, true},
        {"no mail may still show", mailerOnly, {0, true, true}, false, false, true},
        {"no mail, shown only with mail", all, {0, true, true}, false, false, false},
        {"no account took part", TSettings{}, {2, true, false}, true, false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SoundWanted(row.settings, row.outcome), row.sound) << row.name;
        EXPECT_EQ(MailerWanted(row.settings, row.outcome), row.mailer) << row.name;
        EXPECT_EQ(AutoShowWanted(row.settings, row.outcome), row.show) << row.name;
    }
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
    const QString cut = QStringLiteral("a b") + QString(96, QLatin1Char('x')) + QStringLiteral("…");
    const struct {
        const char* name;
        std::vector<AccountResult> accounts;
        int totalMail;
        QString summary, body;
    } rows[] = {
        {"only what lies beyond the last run is new",
         {Account("A", 2, 3, {"old1", "old2", "new"}), Account("B", 0, 1, {"B1"}),
          Account("C", 0, -4)},
         4,
         QStringLiteral("新着メールが 2 通あります"),
         QStringLiteral("new（差出人3）\nB1（差出人1）")},
        {"nothing new: what waits, when the run announces it",
         {Account("A", 2, 2, {"s1", "s2"})},
         2,
         QStringLiteral("メールが 2 通届いています"),
         QStringLiteral("s1（差出人1）\ns2（差出人2）")},
        {"counted only",
         {Account("A", -1, -1, {"4"}), Account("B", 0, 0)},
         4,
         QStringLiteral("メールが 4 通届いています"),
         QStringLiteral("A: 4 通")},
        {"a subject on one line and not at any length",
         {Account("A", 0, 1, {"a\tb" + std::string(120, 'x')})},
         1,
         QStringLiteral("新着メールが 1 通あります"),
         cut + QStringLiteral("（差出人1）")},
        {"more than are named",
         {Account("A", 0, 7, {"1", "2", "3", "4", "5", "6", "7"})},
         7,
         QStringLiteral("新着メールが 7 通あります"),
         QStringLiteral(
             "1（差出人1）\n2（差出人2）\n3（差出人3）\n4（差出人4）\n5（差出人5）\nほか 2 通")},
    };
    for (const auto& row : rows) {
        Results shown;
        std::copy(row.accounts.begin(), row.accounts.end(), shown.begin());
        const auto notice = ArrivalNotice(shown, row.totalMail, false);
        EXPECT_EQ(notice.summary, row.summary) << row.name;
        EXPECT_EQ(notice.body, row.body) << row.name;
        // Showing the window always; starting the mail program when there is one.
        EXPECT_EQ(notice.actions.size(), 1u);
        EXPECT_EQ(ArrivalNotice(shown, row.totalMail, true).actions.size(), 2u);
    }
}

} // namespace
} // namespace pim
