// The window's logic without the window: the schedule, the notices, the trees,
// following the tray, and the language of the summaries.
#include "app/ArrivalNotice.h"
#include "app/check/Notification.h"
#include "app/check/OldMail.h"
#include "app/check/Scheduler.h"
#include "app/check/StatusTexts.h"
#include "app/window/MailTree.h"
#include "app/window/ShownSummary.h"
#include "app/window/TrayFollow.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "support/EventLoop.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <vector>

namespace pim {
namespace {

TEST(Scheduler, ChecksEveryIntervalExceptWhileTheMailIsLookedAtAndOnlyIntervalChangesRearm) {
    TSettings settings;
    bool paused = false;
    int checks = 0;
    Scheduler scheduler{settings, [&] { return paused; }, [&] { ++checks; }};
    const auto Ticks = [&](int n, int expectedChecks) {
        while (n-- > 0)
            scheduler.ScheduleTimerTimer();
        EXPECT_EQ(checks, expectedChecks);
    };
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 3;
    scheduler.Arm();
    Ticks(2, 0);
    Ticks(2, 1);
    paused = true;
    Ticks(10, 1);
    paused = false; // minimised, hidden or folded: it runs on from where it stopped
    Ticks(1, 1);
    // A check at a moment of its own starts the interval again.
    scheduler.CheckNow();
    Ticks(2, 2);
    Ticks(1, 3);
    // Interval 1: every minute; a run going drops the check, the next minute tries again.
    settings.ScheduleTimeCount = 1;
    scheduler.Rearm(true, 3);
    Ticks(2, 5);
    for (const int count : {0, -5}) {
        settings.ScheduleTimeCount = count;
        scheduler.Arm();
        Ticks(50, 5);
    }
    // A new dial-up connection checks only when asked to.
    scheduler.VeltaRASFirstConnect();
    settings.ScheduleDialup = true;
    scheduler.VeltaRASFirstConnect();
    EXPECT_EQ(checks, 6);

    // Only changes of the interval settings rearm.
    settings.ScheduleTimeCount = 5;
    scheduler.Arm();
    Ticks(3, 6);
    scheduler.Rearm(true, 5); // other options changed
    EXPECT_EQ(scheduler.ScheduleCountdown, 2);
    settings.ScheduleTimeCount = 10;
    scheduler.Rearm(true, 5);
    EXPECT_EQ(scheduler.ScheduleCountdown, 10);
    settings.ScheduleTime = false;
    scheduler.Rearm(true, 10);
    EXPECT_FALSE(scheduler.TimerOn());
    // Switched off while ticking: the timer stops itself.
    settings.ScheduleTime = true;
    scheduler.Rearm(false, 10);
    EXPECT_TRUE(scheduler.TimerOn());
    settings.ScheduleTime = false;
    Ticks(1, 6);
    EXPECT_FALSE(scheduler.TimerOn());
    // Armed, its own timer brings the check when the countdown ends.
    settings.ScheduleTime = true;
    settings.ScheduleTimeCount = 2;
    scheduler.TickInterval = 1;
    scheduler.Arm();
    EXPECT_TRUE(test::RunUntil([&] { return checks > 6; }, std::chrono::seconds(5)));
}

TEST(Notification, UnchangedOrNoMailIsSkippedWhereTheOptionsSaySo) {
    TSettings all; // every option that skips unchanged mail
    all.SameCheck = all.MailerAutoRun = all.MailerAutoRunSameCheck = true;
    all.SettingAutoShowCheck = all.SettingAutoShowChange = true;
    TSettings counting = all;
    counting.SettingCountOnly = true;
    TSettings mailerOnly, every; // every: each run with mail announced, the window shown
    mailerOnly.MailerAutoRun = every.MailerAutoRun = every.SettingAutoShow = true;
    // Each row: the settings, the run (total, changed, any account), then
    // whether the sound plays, the mailer starts, the window shows.
    const std::tuple<TSettings, RunOutcome, std::string> rows[] = {
        {all, {3, false, true}, "---"},
        {all, {3, true, true}, "smw"},
        {counting, {3, false, true}, "smw"}, // counting only, every run with mail
        {mailerOnly, {0, true, true}, "--w"},
        {all, {0, true, true}, "---"},
        {TSettings{}, {2, true, false}, "s--"}, // no account took part
        // a push: only new mail is told, whatever the options say of unchanged mail
        {every, {3, false, true, true}, "---"},
        {all, {3, true, true, true}, "smw"},
    };
    for (const auto& [settings, outcome, wanted] : rows)
        EXPECT_EQ(std::string() + "-s"[SoundWanted(settings, outcome)] +
                      "-m"[MailerWanted(settings, outcome)] +
                      "-w"[AutoShowWanted(settings, outcome)],
                  wanted);
}

// Between runs the status says what will tell of mail: the interval check, or
// push when no interval check falls due.
TEST(Notification, TheIdleStatusSaysPushIsOnWhereNoAutomaticCheckFallsDue) {
    TSettings settings;
    EXPECT_EQ(cp932::ToUtf8(IdleStatusText(settings, false, "2", false, true)),
              "<着信メール 2通> プッシュ受信中");
    EXPECT_EQ(IdleStatusText(settings, false, "0", false, false), texts::AutoCheckStopped());
}

// One account's result: its name, the count at the last run and now, the
// subjects, and one old message beyond the old count, known by its id.
AccountResult Account(const char* name, int oldCount, int count,
                      const std::vector<std::string>& subjects = {}, int oldAfter = -1) {
    AccountResult r;
    r.Name = name, r.OldCount = oldCount, r.Count = count;
    if (oldAfter >= 0)
        r.OldAfter.set(size_t(oldAfter));
    for (size_t i = 0; i < subjects.size(); ++i) {
        r.Subjects[i] = cp932::FromUtf8(subjects[i]);
        r.Senders[i] = cp932::FromUtf8("差出人" + std::to_string(i + 1));
    }
    return r;
}

TEST(Notification, TheArrivalNoticeNamesWhatIsNewElseWhatWaits) {
    const std::vector<AccountResult> sixAndOne = {
        Account("A", 0, 6, {"1", "2", "3", "4", "5", "6"}), Account("B", 1, 2, {"b1", "b2"})};
    const struct {
        std::vector<AccountResult> accounts;
        int totalMail;
        QString text;    // summary | body
        int pushed = -1; // the slot a push checked
    } rows[] = {
        // Old: the first of A and, by its id, its third.
        {{Account("A", 1, 4, {"old1", "new", "old2", "new2"}, 2), Account("B", 0, 1, {"B1"}),
          Account("C", 0, -4)},
         5,
         "新着メールが 3 通あります|A: 2 通の新着メール\nnew2（差出人4）\nnew（差出人2）\n"
         "B: 1 通の新着メール\nB1（差出人1）"},
        {{Account("A", 2, 2, {"s1", "s2"})},
         2,
         "メールが 2 通届いています|s2（差出人2）\ns1（差出人1）"},
        {{Account("A", -1, -1, {"4"}), Account("B", 0, 0)}, 4, "メールが 4 通届いています|A: 4 通"},
        // A subject on one line and not at any length; more than are named.
        {{Account("A", 0, 7, {"1", "2", "3", "4", "5", "6", "a\tb" + std::string(120, 'x')})},
         7,
         "新着メールが 7 通あります|a b" + QString(96, QLatin1Char('x')) +
             "…（差出人7）\n6（差出人6）\n5（差出人5）\n4（差出人4）\n3（差出人3）\nほか 2 通"},
        // The named lines shared, newest first; a push tells of its account alone.
        {sixAndOne, 8,
         "新着メールが 7 通あります|A: 6 通の新着メール\n6（差出人6）\n5（差出人5）\n4（差出人4）\n"
         "3（差出人3）\nB: 1 通の新着メール\nb2（差出人2）\nほか 2 通"},
        {sixAndOne, 8, "新着メールが 1 通あります|B: 1 通の新着メール\nb2（差出人2）", 1},
    };
    for (const auto& row : rows) {
        Results shown;
        std::copy(row.accounts.begin(), row.accounts.end(), shown.begin());
        const auto notice = ArrivalNotice(shown, row.totalMail, false, row.pushed);
        EXPECT_EQ(notice.summary + "|" + notice.body, row.text);
        // Showing the window always; starting the mail program when there is one.
        EXPECT_TRUE(notice.actions.size() == 1 &&
                    ArrivalNotice(shown, row.totalMail, true, row.pushed).actions.size() == 2);
    }
    // Every account with news is named, also beyond the lines.
    Results six;
    for (size_t i = 0; i < 6; ++i)
        six[i] = Account(std::string(1, char('A' + i)).c_str(), 0, 1, {"s"});
    EXPECT_TRUE(ArrivalNotice(six, 6, false).body.endsWith("\nF: 1 通の新着メール\nほか 1 通"));
}

// A list of `count` messages whose summaries have the ids of `uids`; with
// `newest`, of more than 255 the newest were read.
AccountResult Listed(int count, std::vector<int> uids, bool newest = false) {
    AccountResult r;
    r.Count = count, r.NewestSummarised = newest;
    for (size_t i = 0; i < uids.size(); ++i)
        r.Subjects[i] = "s", r.Ids[i] = "7." + std::to_string(uids[i]);
    return r;
}
std::vector<int> Uids(int from, int to, int except = 0) {
    std::vector<int> uids;
    for (int uid = from; uid <= to; ++uid)
        if (uid != except)
            uids.push_back(uid);
    return uids;
}

// The same list as a server without ids gives it.
AccountResult Unlisted(int count) {
    AccountResult r = Listed(count, Uids(1, count));
    return r.Ids = {}, r;
}

// The same list with its first message's header empty.
AccountResult Blank(AccountResult r) {
    return r.Subjects[0].clear(), r;
}

// New is an id the list before did not hold, wherever it stands; of more than
// 255 where the newest are read (IMAP), the older ones and those that come up
// from below count as old once there was a list; where the first are read
// (POP3), a count that did not grow is no news.
TEST(OldMail, NewIsAnIdNotThereBeforeAndBeyond255TheCountOrTheWindowTells) {
    const std::string window(255, '.');
    const struct {
        const char* name;
        AccountResult before, now;
        std::string marks; // of the summaries: N new
        int old;
    } rows[] = {
        {"first run", {}, Listed(2, {1, 2}), "NN", 0},
        {"one left the middle", Listed(3, {1, 2, 3}), Listed(3, {1, 3, 4}), "..N", 2},
        {"one back in the middle", Listed(2, {1, 3}), Listed(3, {1, 2, 3}), ".N.", 2},
        {"a list before without ids: the order tells", Unlisted(2), Listed(3, {7, 8, 9}), "..N", 2},
        {"so too where its first had no subject", Blank(Unlisted(1)), Blank(Listed(2, {7, 8})),
         ".N", 1},
        {"one message before", Listed(1, {2}), Listed(2, {1, 2}), "N.", 1},
        {"a blank header after an empty list", Listed(0, {}), Blank(Listed(1, {5})), "N", 0},
        {"one arrives above the window", Listed(300, Uids(46, 300), true),
         Listed(301, Uids(47, 301), true), window.substr(1) + "N", 300},
        {"one read in the window, one up from below", Listed(301, Uids(47, 301), true),
         Listed(300, Uids(46, 301, 100), true), window, 300},
        {"more new than the window", Listed(300, Uids(46, 300), true),
         Listed(555, Uids(301, 555), true), std::string(255, 'N'), 300},
        {"the first read, the count grown", Listed(300, Uids(1, 255)), Listed(301, Uids(1, 255)),
         window, 300},
        {"the first read, the count the same", Listed(300, Uids(1, 255)), Listed(300, Uids(1, 255)),
         window, 300},
        {"the first read, one gone beyond them", Listed(301, Uids(1, 255)),
         Listed(300, Uids(1, 255)), window, 300},
    };
    for (auto row : rows) {
        MarkOldMail(row.now, row.before);
        std::string marks;
        for (int j = 0; j < std::min(row.now.Count, kMaxMails); ++j)
            marks += row.now.IsNew(j) ? 'N' : '.';
        EXPECT_EQ(marks, row.marks) << row.name;
        EXPECT_EQ(row.now.Old(), row.old) << row.name;
    }
}

// A tree as one text: each line's text and image, `!` on the newest, its
// children in braces.
std::string Text(const std::vector<TreeLine>& lines) {
    std::string text;
    for (const TreeLine& line : lines)
        text += cp932::ToUtf8(line.text) + "/" + std::to_string(line.image) +
                (line.newest ? "!" : "") +
                (line.children.empty() ? " " : " {" + Text(line.children) + "} ");
    return text;
}

TEST(MailTree, EveryCountHasItsLineAndImageAndOldMailCanBeHidden) {
    // Accounts a0..a6 with every kind of count: the errors, counted only, none,
    // two mails; a7 a TLS failure.
    Results shown;
    const int counts[] = {-5, -4, -3, -2, -1, 0, 2, -6};
    for (size_t i = 0; i < 8; ++i)
        shown[i].Name = "a" + std::to_string(i), shown[i].Count = counts[i];
    shown[4].Subjects[0] = "7";
    shown[3].Reason = "why"; // why no connection came up: beside the error line, not in it
    shown[6].Subjects = {"s1", "s2"};
    shown[6].Senders = {"f1", "f2"};
    shown[6].Dates = {"d1", "d2"};
    EXPECT_EQ(Text(AccountTree(shown)),
              "すべてのアカウント/0 a0/1 a1/1 a2/1 a3/1 a4/0 a5/0 a6/0 a7/1 ");
    EXPECT_EQ(
        Text(MailTree(shown, 0, false)),
        "a0/1 {メール情報の取得に失敗しました。/4 } "
        "a1/1 {ユーザID、またはパスワードが違います。/4 } "
        "a2/1 {サーバへの接続がタイムアウトしました。/4 } "
        "a3/1 {サーバが応答しませんでした。/4 why/4 } "
        "a4/0 {メールが 7通、届いています。/2 } a5/0 {メールは届いていません。/3 } "
        "a6/0 {s1/2 {f1/5 d1/6 } s2/2! {f2/5 d2/6 } } a7/1 {安全な接続ができませんでした。/4 } ");
    EXPECT_EQ(MailTree(shown, 4, false), MailTree(shown, 0, false).at(3).children);
    Results first = shown; // the second seen before: the first is the newest new one
    first[6].OldAfter[1] = true;
    EXPECT_EQ(Text(MailTree(first, 7, false)), "s1/2! {f1/5 d1/6 } s2/2 {f2/5 d2/6 } ");
    first[7] = first[6], first[7].OldAfter.set(0); // all seen: the mark stays with a6
    EXPECT_EQ(Text(MailTree(first, 0, false).at(6).children), Text(MailTree(first, 7, false)));
    EXPECT_EQ(Text(AccountTree(Results{})) + "|" + Text(MailTree(Results{}, 0, false)),
              "すべてのアカウント/0 |");

    // One account stands without a heading; old mail can be hidden, or come last;
    // counting only there is just the count; what the server said must reach the
    // user stands first, whatever the count.
    shown[6].Count = 4, shown[6].OldCount = 2;
    shown[6].Subjects = {"old1", "old2", "new1", "new2"};
    const std::string single =
        "以前から届いているメールが 2通あります。/2 new1/2 {/5 /6 } new2/2! {/5 /6 } ";
    EXPECT_EQ(Text(MailTree(shown, 7, true)), single);
    EXPECT_EQ(Text(MailTree(shown, 7, false)),
              "old1/2 {f1/5 d1/6 } old2/2 {f2/5 d2/6 } new1/2 {/5 /6 } new2/2! {/5 /6 } ");
    EXPECT_EQ(Text(MailTree(shown, 7, false, true)),
              "new2/2! {/5 /6 } new1/2 {/5 /6 } old2/2 {f2/5 d2/6 } old1/2 {f1/5 d1/6 } ");
    EXPECT_EQ(Text(MailTree(shown, 5, true)) + "|" + Text(MailTree(shown, 10, false)),
              "メールが 7通、届いています。/2 |");
    shown[6].Alert = "quota 95%";
    EXPECT_EQ(Text(MailTree(shown, 7, true)), "サーバからの警告：quota 95%/4 " + single);
}

using W = TrayFollow::Window;
constexpr W S = W::Shown, M = W::Minimised, H = W::Hidden;

// (A hidden start and a tray that goes and comes back: the real-X ScreenTest.)
// A tray host (A)ppears or (V)anishes with the window `now`, and the window goes
// to `then`; or the (U)ser shows it, or the platform leaves it shown at a hidden
// start for want of a tray (N).
struct Step {
    char event;
    W now = S, then = S;
};

TEST(TrayFollow, TheWindowFollowsTheTrayHostOnlyWhereItLivesThere) {
    const std::tuple<const char*, bool, std::vector<Step>> cases[] = {
        {"a hidden start the platform could not minimise goes in when a tray comes",
         true,
         {{'N'}, {'A', S, H}}},
        {"asked for meanwhile, it stays out", true, {{'V', H, S}, {'U'}, {'A', S, S}}},
        {"out for want of a tray and then minimised, it goes in", true, {{'V', H, S}, {'A', M, H}}},
        {"out before, it stays out both ways", true, {{'V', S, S}, {'A', S, S}, {'V', M, M}}},
        {"with a taskbar button nothing moves", false, {{'A', M, M}, {'V', S, S}, {'A', S, S}}},
    };
    for (const auto& [name, livesInTray, steps] : cases) {
        TrayFollow follow;
        for (const Step& s : steps)
            if (s.event == 'U')
                follow.Shown();
            else if (s.event == 'N')
                follow.NoTrayAtStart();
            else
                EXPECT_EQ(s.event == 'A' ? follow.HostAppeared(livesInTray, s.now)
                                         : follow.HostVanished(livesInTray, s.now),
                          s.then)
                    << name << ", " << s.event;
    }
}

// The language the user reads, by locale, and what changes with it: the way
// the summaries read, never the summaries themselves.
// English for the test, Japanese again after it, whatever happens in it.
class InEnglish : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SetUiLanguage(UiLanguage::English)); }
    void TearDown() override { SetUiLanguage(UiLanguage::Japanese); }
};

TEST_F(InEnglish, SummariesReadInTheLanguageAndDatesAsTheLocaleWritesThem) {
    const auto J = UiLanguage::Japanese, E = UiLanguage::English;
    const auto D = SummaryField::Date, T = SummaryField::Title, S = SummaryField::Sender;
    const std::string monday = "2024年12月02日（Monday） 10:00:00";
    // The text shown, or "" for the data as it is.
    const std::tuple<UiLanguage, SummaryField, std::string, const char*, std::string> rows[] = {
        {J, D, "2024年12月02日（月曜日） 10:00:00", "en_US", ""},
        {E, D, "（受信日時不明）", "en_US", "(no date)"},
        // Only a date is read as one, only a fallback of its own field replaced.
        {E, T, monday, "en_US", ""},
        {E, S, "（タイトル未設定）", "en_US", ""},
        {E, D, monday, "en_US", "Monday, December 2, 2024 10:00 AM"},
        // A header without seconds leaves its zone in the eight characters.
        {E, D, "2024年12月02日（Monday） 10:00 +0", "de_DE", "Montag, 2. Dezember 2024 10:00"},
        {E, D, "2024年02月30日（Friday） 10:00:00", "en_US", ""},
        // Control characters a header decoded to, in either language.
        {J, T, std::string("a\r\nb\0c\t\x7f", 8), "en_US", "a  b c  "},
    };
    for (const auto& [language, field, data, locale, expected] : rows) {
        SetUiLanguage(language);
        QString shown =
            ShownSummary(field, cp932::FromUtf8(data), QLocale(QString::fromLatin1(locale)));
        // Newer locale data puts a narrow space before AM.
        EXPECT_EQ(shown.replace(QChar(0x202F), QLatin1Char(' ')).toStdString(),
                  expected.empty() ? data : expected)
            << data << " " << locale;
    }
}

} // namespace
} // namespace pim
