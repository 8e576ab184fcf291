// Whole check runs: the real POP3 component against a small POP3 server on
// loopback, the dial-up component and the window played by test doubles.
#include "app/CheckRun.h"

#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "pop3/TVeltaPOP3.h"
#include "support/EventLoop.h"
#include "support/MailboxServer.h"

#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

namespace pim {
namespace {

using namespace std::chrono_literals;
using test::Mailbox;

struct FakeDialup : DialupControl {
    int active = 1, dials = 0, hangUps = 0;
    bool dialStarts = true, dialConnects = true;
    std::function<void()> dialOutcome; // delivered later, as the component would

    int ActiveEntryCount() override { return active; }
    int EntryCount() override { return 2; }
    std::string GetEntryName(int i) override { return i == 0 ? "ISP" : "VPN"; }
    bool Dial(int) override {
        ++dials;
        if (dialStarts)
            QTimer::singleShot(
                50, [this] { active = dialConnects, dialOutcome ? dialOutcome() : void(); });
        return dialStarts;
    }
    bool HangUp() override { return ++hangUps; }
};

// Every question is answered No.
struct FakeHost : CheckRunHost {
    std::vector<std::pair<std::string, unsigned>> asked;
    int over = 0, failedDials = 0, optionsOpened = 0;
    bool offline = false;
    RunOutcome last;

    int Ask(const std::string& text, unsigned flags) override {
        asked.emplace_back(cp932::ToUtf8(text), flags);
        return IDNO;
    }
    bool Offline() const override { return offline; }
    void GoOnline() override { offline = false; }
    void SetStatus(const std::string&) override {}
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override { ++failedDials; }
    void OpenAccountOptions() override { ++optionsOpened; }
    void ShowRun(const RunOutcome& outcome) override { last = outcome; }
    void RunOver(const RunOutcome&) override { ++over; }
    void RememberSecurity(const TlsLesson&) override {}
};

Mailbox Box(std::vector<std::string> subjects, std::function<void(Mailbox&)> change = {}) {
    Mailbox box;
    for (const std::string& s : subjects)
        box.messages.push_back(test::SimpleMessage(s));
    if (change)
        change(box);
    return box;
}

class CheckRunTest : public ::testing::Test {
protected:
    test::MailboxServer server;
    TVeltaPOP3 pop3;
    FakeDialup dialup;
    FakeHost host;
    TSettings settings;
    TAccounts accounts{};
    CheckRun run{pop3, dialup, host, settings, accounts};

    void SetUp() override {
        dialup.dialOutcome = [this] { run.DialFinished(); };
    }
    void Account(size_t slot, const std::string& user, bool enabled = true) {
        accounts[slot] = {enabled, "acct-" + user, server.Host(), user, "pw"};
    }
    // One whole run; false when it did not end.
    bool Check(CheckRun::Sender sender = CheckRun::Sender::Other) {
        const int before = host.over;
        run.pbCheckClick(sender);
        return test::RunUntil([&] { return host.over > before; }, 15s);
    }
    const AccountResult& Shown(size_t slot) const { return run.ShownResults[slot]; }
};

TEST_F(CheckRunTest, EachAccountEndsWithItsOwnStatusAndAnEmptyHostEndsTheRun) {
    pop3.TimeOutCount = 300;
    server.Set("mail", Box({"one", "two"}));
    server.Set("empty", Box({}));
    server.Set("retr", Box({"r1", "r2", "r3"}, [](Mailbox& b) { b.refusedRetr = {2}; }));
    server.Set("quit", Box({"q1"}, [](Mailbox& b) { b.refuseQuit = true; }));
    server.Set("silent", Box({"x"}, [](Mailbox& b) { b.silentAfterPass = true; }));
    // Wrong password; a refused message ends the account, a refused QUIT does
    // not; a time-out; nothing listening; no session could be started.
    const std::pair<const char*, int32_t> rows[] = {{"mail", 2},    {"empty", 0},   {"nobody", -4},
                                                    {"retr", -5},   {"quit", 1},    {"silent", -3},
                                                    {"closed", -2}, {"badport", -2}};
    size_t slot = 0;
    for (const auto& [user, count] : rows) {
        if (slot == 2)
            Account(slot++, "off", false); // not enabled: not even listed
        Account(slot++, user);
    }
    accounts[7].HostName = "127.0.0.1:" + std::to_string(test::ScriptedServer::ClosedPort());
    accounts[8].HostName = "127.0.0.1:99999";
    accounts[9] = {true, "no host", "", "u", "p"};
    Account(10, "mail");

    // A second start before the first account's turn must not interleave with the run.
    run.pbCheckClick(CheckRun::Sender::Other);
    ASSERT_TRUE(Check(CheckRun::Sender::CheckButton));
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(Shown(i).Name, std::string("acct-") + rows[i].first);
        EXPECT_EQ(Shown(i).Count, rows[i].second) << rows[i].first;
    }
    EXPECT_EQ(Shown(0).Subjects[1], "two");
    EXPECT_EQ(Shown(9).Count, -2) << "not checked after the empty host";
    EXPECT_EQ(host.last.TotalMail, 2 + 1) << "r1 of the failed account is not shown";
    EXPECT_TRUE(host.last.Changed);
    EXPECT_EQ(run.CheckIndex, -1);
    test::RunFor(100ms);
    EXPECT_EQ(host.over, 1);
}

// Each run compares with the list shown before: what is new, and what a failed
// account keeps. After it, hanging up as the three settings (D, M, O) say.
TEST_F(CheckRunTest, OldAndNewMailAreToldApartAndAFailedAccountKeepsItsOldList) {
    Account(0, "a");
    Account(1, "b");
    server.Set("b", Box({"b1"}));
    // Mail of account a; b fails; then new, old count, total, hang-up settings and hang-ups.
    const std::tuple<std::vector<std::string>, bool, bool, int, int, std::string, int> runs[] = {
        {{"a", "b"}, false, true, 0, 3, "D", 1},
        {{"a", "b"}, false, false, 2, 3, "DM", 0},     // not while there is mail
        {{"a", "b", "c"}, false, true, 2, 4, "DO", 0}, // only what the run dialled
        {{"b", "c"}, false, true, 0, 3, "", 0},        // deleted at the top: all count as new
        {{"b", "c"}, true, true, 2, 2, "", 0},         // only the error is new
    };
    for (const auto& [a, bFails, changed, oldCount, total, hangUp, hangUps] : runs) {
        SCOPED_TRACE(a.size());
        server.Set("a", Box(a));
        if (bFails)
            server.Set("b", Box({"b1", "b2"}, [](Mailbox& b) { b.password = "changed"; }));
        settings.SettingDeconnect = std::ranges::count(hangUp, 'D');
        settings.DialMailNonDisconnect = std::ranges::count(hangUp, 'M');
        settings.DialExistingNonDisconnect = std::ranges::count(hangUp, 'O');
        ASSERT_TRUE(Check());
        EXPECT_EQ(host.last.Changed, changed);
        EXPECT_EQ(host.last.TotalMail, total);
        EXPECT_EQ(Shown(0).OldCount, oldCount);
        EXPECT_EQ(Shown(0).Subjects[a.size() - 1], a.back());
        EXPECT_EQ(std::exchange(dialup.hangUps, 0), hangUps);
    }
    EXPECT_EQ(Shown(1).Count, -4);
    EXPECT_EQ(Shown(1).Subjects[0], "b1");
}

TEST_F(CheckRunTest, BeyondTwoHundredFiftyFiveOnlyTheCountIsCompared) {
    std::vector<std::string> subjects;
    for (int i = 0; i < 300; ++i)
        subjects.push_back("s" + std::to_string(i));
    Account(0, "big");
    // Added at the end, deleted beyond the 255th (fewer and none new), changed.
    const std::tuple<int, int, bool> runs[] = {
        {0, -1, true}, {0, -1, false}, {1, -1, true}, {0, 280, false}};
    for (const auto& [added, deletedAt, changed] : runs) {
        if (added)
            subjects.push_back("new");
        if (deletedAt >= 0)
            subjects.erase(subjects.begin() + deletedAt);
        server.Set("big", Box(subjects));
        ASSERT_TRUE(Check());
        EXPECT_EQ(host.last.Changed, changed);
        EXPECT_EQ(host.last.TotalMail, int(subjects.size()));
        EXPECT_EQ(Shown(0).Count, int(subjects.size()));
    }
    EXPECT_EQ(Shown(0).Subjects[254], "s254");
}

// A server may claim any count: the total stops at the largest int, and the
// run goes on to the next account. Counting only never reports a change.
TEST_F(CheckRunTest, ACountClaimedBeyondReasonSaturatesTheTotalAndCountOnlyOnlyCounts) {
    constexpr int kMax = std::numeric_limits<int>::max();
    server.Set("other", Box({"o1", "o2"}));
    Account(0, "huge");
    Account(1, "other");
    for (const bool countOnly : {true, false}) {
        SCOPED_TRACE(countOnly);
        server.Set("huge", Box(std::vector<std::string>(countOnly ? 1 : kMaxMails, "m"),
                               [&](Mailbox& b) { b.claimedCount = kMax; }));
        settings.SettingCountOnly = countOnly;
        ASSERT_TRUE(Check());
        EXPECT_EQ(Shown(0).Count, countOnly ? -1 : kMax);
        EXPECT_EQ(Shown(1).Count, countOnly ? -1 : 2);
        EXPECT_EQ(Shown(1).OldCount, countOnly ? -1 : 0);
        EXPECT_EQ(Shown(1).Subjects[0], countOnly ? "2" : "o1")
            << "the count, shown in place of a subject";
        EXPECT_EQ(host.last.TotalMail, kMax);
        EXPECT_NE(host.last.Changed, countOnly);
    }
}

// Offline or without a connection only the button asks (36 and 48: the box's
// buttons and icon); a dial that cannot find or reach its entry says why.
TEST_F(CheckRunTest, AStartThatCannotGoOnSaysWhyAndClosingEndsADialsWait) {
    Account(0, "mail");
    // Offline, CustomizeDial, entry, the dial starts, connects; what is said, flags (0: any).
    const std::tuple<bool, int, const char*, bool, bool, std::string, unsigned> rows[] = {
        {true, 0, "", true, true, "", 36},
        {false, 1, "", true, true,
         "ダイヤルアップ接続されていない為、メールチェックを行うことはできません。", 48},
        {false, 2, "Missing", true, true, "Missing", 0},
        {false, 2, "", true, true, "ダイヤル先が指定されていません。\r", 0},
        {false, 2, "VPN", false, true, "エラーが発生しました", 0},
        {false, 2, "VPN", true, false, "VPN", 0},
    };
    for (const auto& [offline, dial, entry, starts, connects, said, flags] : rows) {
        SCOPED_TRACE(said);
        host.offline = offline;
        settings.CustomizeDial = dial;
        settings.CustomizeDialName = entry;
        dialup.active = 0;
        dialup.dialStarts = starts;
        dialup.dialConnects = connects;
        host.asked.clear();
        if (dial < 2) {
            run.pbCheckClick(CheckRun::Sender::Other);
            run.pbCheckClick(CheckRun::Sender::Menu);
            EXPECT_TRUE(host.asked.empty());
        }
        run.pbCheckClick(dial < 2 ? CheckRun::Sender::CheckButton : CheckRun::Sender::Other);
        ASSERT_EQ(host.asked.size(), 1u);
        EXPECT_NE(host.asked[0].first.find(said), std::string::npos) << host.asked[0].first;
        EXPECT_EQ(host.asked[0].second, flags ? flags : host.asked[0].second);
        EXPECT_EQ(host.offline, offline) << "a No keeps the program offline";
        EXPECT_EQ(run.CheckIndex, -1);
    }
    EXPECT_EQ(host.failedDials, 1);
    test::RunFor(50ms);
    EXPECT_EQ(host.over, 0);
    dialup.dialConnects = true;
    ASSERT_TRUE(Check());
    EXPECT_TRUE(run.DialledByCheck);

    // A dial that never ends: closing the program ends the wait.
    dialup.active = 0;
    dialup.dialOutcome = nullptr;
    QTimer::singleShot(100, [&] {
        run.pbCheckClick(CheckRun::Sender::Other); // finds CheckIndex -2
        run.Abandon();
    });
    run.pbCheckClick(CheckRun::Sender::Other);
    EXPECT_EQ(host.over, 1);
    EXPECT_EQ(dialup.dials, 4);
}

// A run over no account would show 0 mail and a time of check as if it had looked.
TEST_F(CheckRunTest, WithoutAnAccountNothingRunsAndOnlyTheUserIsOffered) {
    Account(0, "mail", false);
    accounts[1] = {true, "", server.Host(), "mail", "pw"}; // unnamed: not checked
    for (const auto sender :
         {CheckRun::Sender::Other, CheckRun::Sender::Menu, CheckRun::Sender::CheckButton})
        run.pbCheckClick(sender);
    EXPECT_EQ(host.asked.size(), 2u);
    EXPECT_EQ(host.asked[0].second, mb::YesNo | mb::IconQuestion);
    EXPECT_EQ(host.optionsOpened, 0) << "answered No";
    EXPECT_FALSE(run.Running());
    test::RunFor(50ms);
    EXPECT_EQ(host.over, 0);
}

} // namespace
} // namespace pim
