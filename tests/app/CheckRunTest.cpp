// Whole check runs: the real POP3 component against a small POP3 server on
// loopback, or against a real Dovecot for TLS (STLS and pop3s, with a trusted
// and an untrusted authority) and IMAP push; the dial-up component and the
// window played by test doubles. And each account's own states.
#include "app/check/CheckRun.h"

#include "app/CheckRunFakes.h"
#include "imap/TVeltaIMAP.h"
#include "mail/Credentials.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"
#include "support/Relay.h"
#include "support/TempDir.h"

#include <QDate>
#include <QSslConfiguration>
#include <gtest/gtest.h>
#include <limits>
#include <map>

namespace pim {
namespace {

using namespace std::chrono_literals;
using test::Box;
using test::Mailbox;
using State = Account::State;

class CheckRunTest : public ::testing::Test {
protected:
    test::MailboxServer server;
    TSettings settings;
    TAccounts accounts{};
    FakePasswords keyring; // the run's when a test gives it
    FakeStart start{accounts, settings};
    AccountList& list = start.list;
    FakeDialup& dialup = start.dialup;
    FakeHost& host = start.host;
    CheckRun& run = start.run;

    void SetUp() override {
        dialup.dialOutcome = [this] { run.DialFinished(); };
    }
    void Add(size_t slot, const std::string& user, bool enabled = true) {
        accounts[slot] = {enabled, "acct-" + user, server.Host(), user, "pw"};
    }
    bool Check(CheckRun::Sender sender = CheckRun::Sender::Other) { return start.Check(sender); }
    const AccountResult& Shown(size_t slot) const { return run.ShownResults()[slot]; }
    // The account of this user as configured now.
    Account& Of(const std::string& user) {
        list.Sync();
        for (const auto& account : list.All())
            if (account->Settings().UserID == user)
                return *account;
        throw std::out_of_range(user);
    }
};

// Each account ends with its own status and an empty host ends the run: a wrong
// password; a refused message ends the account, a refused QUIT does not; a
// time-out; nothing listening; no session could be started. A password from a
// hand-edited Pim.INI or the keyring never carries a command of its own to the
// server, nor megabytes at every login; a token-sized one goes out.
TEST_F(CheckRunTest, EachAccountEndsWithItsOwnStatusAndAnEmptyHostEndsTheRun) {
    list.SetTimeOut(300);
    server.Set("mail", Box({"one", "two"}));
    server.Set("a", Box({"one"}));
    server.Set("empty", Box({}));
    server.Set("retr", Box({"r1", "r2", "r3"}, [](Mailbox& b) { b.refusedRetr = {2}; }));
    server.Set("quit", Box({"q1"}, [](Mailbox& b) { b.refuseQuit = true; }));
    server.Set("silent", Box({"x"}, [](Mailbox& b) { b.silentAfterPass = true; }));
    const std::string closed = "127.0.0.1:" + std::to_string(test::ScriptedServer::ClosedPort());
    const struct {
        std::string user;
        int32_t count; // -5 for the credentials: refused here, with a reason
        std::string host = {}, password = "pw";
    } rows[] = {
        {"mail", 2},
        {"empty", 0},
        {"nobody", -4},
        {"retr", -5},
        {"quit", 1},
        {"silent", -3},
        {"closed", -2, closed},
        {"badport", -2, "127.0.0.1:99999"},
        {"a", -5, {}, "pw\rDELE 1"},
        {"a\nQUIT", -5},
        {"a", -5, {}, std::string("pw\0", 3)},
        {"a", -5, "imap://" + closed, std::string("p\0w", 3)},
        {"a", -5, {}, std::string(kMaxSecretBytes + 1, 'p')},
        {"a", -4, {}, std::string(kMaxSecretBytes, 'p')},
        {"a", -2, "imap://" + closed, "pw\r\n"}, // a literal: it would have gone out
    };
    size_t slot = 0;
    for (const auto& row : rows) {
        if (slot == 2)
            Add(slot++, "off", false); // not enabled: not even listed
        accounts[slot++] = {true, "acct-" + row.user, row.host.empty() ? server.Host() : row.host,
                            row.user, row.password};
    }
    accounts[slot] = {true, "no host", "", "u", "p"};
    Add(slot + 1, "mail");

    // A second start before the first account's turn must not interleave with the run.
    run.pbCheckClick(CheckRun::Sender::Other);
    ASSERT_TRUE(Check(CheckRun::Sender::CheckButton));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::pair(Shown(i).Name, Shown(i).Count),
                  std::pair("acct-" + rows[i].user, rows[i].count));
        EXPECT_TRUE(rows[i].count != -5 || rows[i].user == "retr" || !Shown(i).Reason.empty());
    }
    EXPECT_EQ(Shown(std::size(rows)).Count, -2) << "not checked after the empty host";
    EXPECT_EQ(host.last.TotalMail, 2 + 1) << "r1 of the failed account is not shown";
    EXPECT_EQ(server.passes, 6 + 1) << "of the credentials refused here, only the 16 KB one";
    EXPECT_TRUE(Of("nobody").state() == State::NeedsSignIn && Of("mail").state() == State::Idle);
    test::RunFor(100ms);
    EXPECT_EQ(host.over, 1);
    // Every slot filled: the run checks the twentieth and ends there, past a count
    // claimed beyond reason, which the total stops at the largest int.
    constexpr int kMax = std::numeric_limits<int>::max();
    server.Set("huge", Box(std::vector<std::string>(kMaxMails, "m"),
                           [&](Mailbox& b) { b.claimedCount = kMax; }));
    for (size_t i = 0; i < accounts.size(); ++i)
        Add(i, i == 18 ? "huge" : "mail");
    ASSERT_TRUE(Check());
    EXPECT_EQ(std::tuple(Shown(18).Count, Shown(19).Count, host.last.TotalMail, host.last.Reached),
              std::tuple(kMax, 2, kMax, true));
    // A run that met no server (nothing listening, a time-out, no TLS) leaves the
    // network's return its check; a refused password met one.
    for (const auto& [user, reached] : {std::pair{"silent", false}, {"nobody", true}}) {
        accounts = {};
        Add(0, "closed"), Add(1, user);
        accounts[0].HostName = closed;
        ASSERT_TRUE(Check());
        EXPECT_EQ(host.last.Reached, reached) << user;
    }
}

// An account's state follows its client and the program, and an account that
// is pushed, dropped or could not sign in for now asks for a check when it may.
// Steps: b/e its check begins/ends; i idles; d drops; p a change told; s/S no
// password (may come later / refused); h/H holding off/on; w wake-up; + 3 s.
TEST(AccountTest, EachEventMovesItsStateAndChecksComeAtTheirPace) {
    const struct {
        const char* steps;
        State state;
        int checks;
        bool quiet = false; // the last check's
    } rows[] = {
        {"", State::Idle, 0},
        {"b", State::Checking, 0},
        {"be", State::Idle, 0}, // a server without IDLE
        {"bie", State::Idling, 0},
        {"bied", State::WaitingToReconnect, 0},
        {"biedw", State::Idle, 1, true}, // at once, the drop a moment ago
        {"biew", State::Idle, 1},
        {"biep", State::Idling, 1},
        {"biepp", State::Idling, 1}, // the second held back
        {"biep+p", State::Idling, 2},
        {"bieh", State::Idle, 0},
        {"biehH", State::Idle, 1},
        {"bh", State::Checking, 0}, // push turned off leaves a check alone
        {"hbd", State::Idle, 0},    // dropped while nothing is held: no wait
        {"bse", State::NeedsSignIn, 0},
        {"bsw", State::NeedsSignIn, 1}, // tries again
        {"bSw", State::NeedsSignIn, 0}, // refused: only a check the user starts
        {"bsb", State::Checking, 0},
        {"bsbw", State::Checking, 0}, // a wake-up leaves a check alone
        {"bpp+w", State::Checking, 1},
        {"bsb~", State::Checking, 0}, // nor does the try again it waited for
        // told in a loop: at most one in 2 s and ten a minute (0 to 18 s, then 60,
        // 62 and 64 s); the one held back when its time comes
        {"L", State::Idle, 13},
        {"L~", State::Idle, 14},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.steps);
        TAccounts configured{};
        configured[0] = {true, "i", "imap://127.0.0.1:1", "i", "pw"};
        AccountList list(configured);
        std::chrono::milliseconds now{100000};
        list.Now = [&] { return now; };
        list.Sync();
        Account& account = *list.All().front();
        std::vector<bool> checks;
        QObject::connect(&list, &AccountList::checkWanted,
                         [&](Account::Id, bool quiet) { checks.push_back(quiet); });
        auto* client = qobject_cast<TVeltaIMAP*>(account.Checker());
        ASSERT_NE(client, nullptr) << "there from the start";
        const std::map<char, std::function<void()>> act{
            {'b', [&] { account.BeginCheck(); }},
            {'e', [&] { account.EndCheck(); }},
            {'i', [&] { client->OnIdling(client); }},
            {'d', [&] { client->OnDropped(client, 2); }},
            {'p', [&] { client->OnPush(client); }},
            {'s', [&] { account.SignInFailed(true); }},
            {'S', [&] { account.SignInFailed(false); }},
            {'h', [&] { list.SetHolding(false); }},
            {'H', [&] { list.SetHolding(true); }},
            {'w', [&] { list.Wake(); }},
            {'+', [&] { now += 3s; }},
            {'L',
             [&] {
                 for (int i = 0; i < 660; ++i, now += 100ms)
                     client->OnPush(client);
             }},
            {'~', [&] { test::RunFor(2s); }}};
        for (const char* step = row.steps; *step; ++step)
            std::invoke(act.at(*step));
        EXPECT_EQ(std::tuple(account.state(), list.Pushing(), int(checks.size()),
                             !checks.empty() && checks.back()),
                  std::tuple(row.state, row.state == State::Idling, row.checks, row.quiet));
    }
}

// The options applied: an account that is still the same mailbox keeps its
// object and its connection; one that is another now, or no longer checked,
// is freed (the run hears it first) and made anew.
TEST(AccountListTest, TheSameMailboxKeepsItsObjectAndAnotherIsMadeAnew) {
    TAccounts configured{};
    configured[0] = {true, "a", "imap://127.0.0.1:1", "a", "pw"};
    configured[1] = {true, "b", "127.0.0.1:1", "b", "pw"};
    AccountList list(configured);
    list.Sync();
    const auto idOf = [&](const std::string& name) {
        for (const auto& account : list.All())
            if (account->Settings().Name == name)
                return account->id();
        return Account::Id{0};
    };
    std::vector<Account::Id> removed;
    QObject::connect(&list, &AccountList::removing, [&](Account::Id id) { removed.push_back(id); });
    const struct {
        const char* change;
        std::function<void()> apply;
        const char* kept; // of a (named A once renamed) and b
    } rows[] = {
        {"renamed, new password", [&] { configured[0].Name = "A", configured[0].Password = "x"; },
         "Ab"},
        {"moved down a slot", [&] { std::swap(configured[0], configured[2]); }, "Ab"},
        {"another server", [&] { configured[2].HostName = "imap://127.0.0.1:2"; }, "b"},
        {"another user", [&] { configured[2].UserID = "z"; }, "b"},
        {"disabled", [&] { configured[1].Enabled = false; }, "A"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        const Account::Id a = idOf("a") + idOf("A"), b = idOf("b");
        removed.clear();
        row.apply();
        list.Sync();
        const std::string kept =
            std::string(idOf("A") == a ? "A" : "") + (idOf("b") == b ? "b" : "");
        EXPECT_EQ(kept, row.kept);
        EXPECT_EQ(removed.size(), 2 - kept.size()) << "each freed is told first";
    }
    ASSERT_EQ(list.All().size(), 2u);
    EXPECT_TRUE(list.All()[0]->state() == State::Off && list.All()[1]->Settings().Password == "x");
}

// Whatever happens to an account while a run checks another one (a change told,
// a client that refuses a message, says nothing or alerts, the account removed
// in the options) the run ends with every other account checked, and
// each change told is checked once more at most, right after the run.
TEST_F(CheckRunTest, WhatHappensToAnAccountDuringARunNeverStallsIt) {
    for (size_t slot = 0; slot < 3; ++slot)
        Add(slot, std::string(1, char('a' + slot)));
    for (const char* user : {"a", "c"})
        server.Set(user, Box({std::string(user) + "1"}));
    const Account::ClientMaker real = list.MakeClient;
    const struct {
        const char* name;
        std::function<void(FakeChecker&)> client;
        std::vector<std::string> pushed; // when b's turn begins
        int runs;                        // this one and the push checks after it
        int32_t b = 1;
        std::string alert = {};
        bool removed = false; // b, a moment into its turn
    } rows[] = {
        {"push of a, checked before", nullptr, {"a"}, 2},
        {"push of c, not reached yet", nullptr, {"c"}, 1},
        {"push of b itself", nullptr, {"b"}, 2},
        {"push of a, b and a again", nullptr, {"a", "b", "a"}, 3},
        {"a message refused", [](FakeChecker& c) { c.refusesRetr = true; }, {}, 1, -5},
        {"its session gone before its quit", [](FakeChecker& c) { c.gone = true; }, {}, 1, 1},
        {"an alert", [](FakeChecker& c) { c.alert = "quota"; }, {}, 1, 1, "quota"},
        {"silent, then removed", [](FakeChecker& c) { c.silent = true; }, {}, 1, -2, "", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Add(1, "b");
        list.MakeClient = [&](const TAccount& account) -> std::unique_ptr<MailChecker> {
            if (account.UserID != "b")
                return real(account);
            auto client = std::make_unique<FakeChecker>();
            if (row.client)
                row.client(*client);
            return client;
        };
        bool told = false;
        host.onStatus = [&](const std::string& text) {
            if (text.find("acct-b") == std::string::npos || std::exchange(told, true))
                return;
            for (const std::string& user : row.pushed)
                run.PushCheck(Of(user).id());
            if (row.removed)
                QTimer::singleShot(50, [&] { accounts[1] = {}, list.Sync(); });
        };
        const int before = host.over;
        ASSERT_TRUE(Check());
        host.onStatus = nullptr;
        EXPECT_TRUE(test::RunUntil([&] { return host.over == before + row.runs; }, 10s));
        test::RunFor(100ms);
        EXPECT_EQ(host.over, before + row.runs) << "each once more, then no more";
        EXPECT_TRUE(Shown(0).Count == 1 && Shown(2).Count == 1 && host.last.Push == (row.runs > 1));
        EXPECT_TRUE(row.runs > 1 || (Shown(1).Count == row.b && Shown(1).Alert == row.alert));
    }
}

// Counting only, a run shows each count in place of the subjects and tells of
// no change, and a push tells of a larger count alone, of its own account. Back
// online from the check button, the run checks every account, and the push
// checks the return would start are its own.
TEST_F(CheckRunTest, APushCountingOnlyTellsALargerCountAndGoingOnlineChecksAll) {
    for (const char* user : {"a", "b"})
        Add(user[0] == 'b', user), server.Set(user, Box({std::string(user) + "1"}));
    settings.SettingCountOnly = true;
    ASSERT_TRUE(Check());
    EXPECT_FALSE(host.last.Changed) << "counting only never tells of a change";
    EXPECT_TRUE(Shown(1).Count == -1 && Shown(1).OldCount == -1);
    EXPECT_EQ(Shown(1).Subjects[0], "1") << "the count, shown in place of a subject";
    server.Set("b", Box({"b1", "b2"}));
    for (const bool larger : {true, false}) {
        const int before = host.over;
        run.PushCheck(Of("b").id());
        ASSERT_TRUE(test::RunUntil([&] { return host.over > before; }, 10s));
        EXPECT_TRUE(host.last.Push && host.last.Changed == larger);
        EXPECT_EQ(host.last.PushSlot, 1) << "the one account the notice may tell of";
        EXPECT_EQ(host.last.TotalMail, 1 + 2) << "the other account's count stands";
    }
    // The options renamed an account meanwhile: what is shown would mix two
    // lists, so the push checks every account.
    accounts[0].Name = "renamed";
    const int before = host.over;
    run.PushCheck(Of("b").id());
    ASSERT_TRUE(test::RunUntil([&] { return host.over > before; }, 10s));
    EXPECT_TRUE(!host.last.Push && Shown(0).Name == "renamed");
    // Told just before the options turned b off, its push checks nothing: no
    // other account in its place.
    accounts[1].Enabled = false;
    int passes = server.passes, runs = host.over;
    run.PushCheck(Of("b").id());
    test::RunFor(200ms);
    EXPECT_TRUE(host.over == runs && server.passes == passes);
    accounts[1].Enabled = true;

    host.offline = true, host.answer = IDYES;
    host.onGoOnline = [&] { run.PushCheck(Of("a").id()); };
    passes = server.passes, runs = host.over;
    ASSERT_TRUE(Check(CheckRun::Sender::CheckButton));
    test::RunFor(100ms);
    EXPECT_TRUE(host.over == runs + 1 && !host.last.Push && server.passes == passes + 2);
    EXPECT_FALSE(host.offline);
}

// The keyring's unlock prompt holds only the accounts whose passwords it keeps:
// the others are checked meanwhile, and the run ends when the answer has come
// and those too are checked, or told unreadable.
TEST_F(CheckRunTest, AKeyringPromptHoldsOnlyTheAccountsItKeeps) {
    const char* users[] = {"k0", "p", "k2"};
    for (size_t slot = 0; slot < 3; ++slot)
        Add(slot, users[slot]), server.Set(users[slot], Box({"m"}));
    keyring.users = {"k0", "k2"};
    list.Passwords = &keyring;
    // Locked, the prompt's answer, the prompting account removed meanwhile; the
    // keyring's accounts' counts.
    const std::tuple<bool, bool, bool, int, int> rows[] = {{false, true, false, 1, 1},
                                                           {true, true, false, 1, 1},
                                                           {true, false, false, -5, -5},
                                                           {true, true, true, -2, 1}};
    for (const auto& [locked, unlock, removed, first, count] : rows) {
        keyring.locked = locked;
        server.passes = 0;
        const int before = host.over;
        run.pbCheckClick(CheckRun::Sender::CheckButton);
        if (locked) {
            ASSERT_TRUE(test::RunUntil([&] { return server.passes == 1; }, 5s)) << "p meanwhile";
            if (removed)
                accounts[0] = {}, list.Sync();
            keyring.locked = !unlock;
            keyring.prompt(unlock ? std::optional<std::string>("pw") : std::nullopt);
        }
        ASSERT_TRUE(test::RunUntil([&] { return host.over > before; }, 5s));
        EXPECT_TRUE(Shown(0).Count == first && Shown(1).Count == 1 && Shown(2).Count == count);
        EXPECT_EQ(Of("k2").state(), count < 0 ? State::NeedsSignIn : State::Idle);
    }
    EXPECT_EQ(keyring.prompts, 3);
    // The keyring given up while the run goes on: k2 sends the password put back
    // in the settings, not the empty one it had.
    accounts[2].Password.clear(), accounts[2].Keyring = TAccount::KeyringEntry{"k2", "", "k2"};
    host.onStatus = [&](const std::string&) {
        keyring.users.clear(), accounts[2].Password = "pw", accounts[2].Keyring.reset();
    };
    ASSERT_TRUE(Check());
    EXPECT_EQ(Shown(1).Name + " " + std::to_string(Shown(1).Count), "acct-k2 1");
}

// Each run compares with the list shown before: what is new, and what a failed
// account keeps. After it, hanging up as the three settings (D, M, O) say.
TEST_F(CheckRunTest, OldAndNewMailAreToldApartAndAFailedAccountKeepsItsOldList) {
    Add(0, "a");
    Add(1, "b");
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
        EXPECT_EQ(std::tuple(host.last.Changed, host.last.TotalMail, Shown(0).OldCount,
                             Shown(0).Subjects[a.size() - 1], std::exchange(dialup.hangUps, 0)),
                  std::tuple(changed, total, oldCount, a.back(), hangUps));
    }
    EXPECT_EQ(std::to_string(Shown(1).Count) + Shown(1).Subjects[0], "-4b1");
    // So too an account whose password could not go out at all.
    accounts[1].Password = "pw\r\nDELE 1";
    ASSERT_TRUE(Check());
    EXPECT_EQ(std::to_string(Shown(1).Count) + Shown(1).Subjects[0], "-5b1");
    accounts[1].Password = "pw";
    // Account a deleted, b moves up into its slot: b's mail is as old as it was.
    server.Set("b", Box({"b1", "b2"}));
    ASSERT_TRUE(Check());
    accounts[0] = accounts[1], accounts[1] = {};
    ASSERT_TRUE(Check());
    EXPECT_TRUE(!host.last.Changed && Shown(0).Old() == 2);
}

// Without an account nothing runs (it would show 0 mail and a time of check as
// if it had looked), and only the user is offered one. Offline or without a
// connection only the button asks (36 and 48: the box's buttons and icon); a
// dial that cannot find or reach its entry says why.
TEST_F(CheckRunTest, AStartThatCannotGoOnSaysWhyAndClosingEndsADialsWait) {
    Add(0, "mail", false);
    accounts[1] = {true, "", server.Host(), "mail", "pw"}; // unnamed: not checked
    for (const auto sender :
         {CheckRun::Sender::Other, CheckRun::Sender::Menu, CheckRun::Sender::CheckButton})
        run.pbCheckClick(sender);
    ASSERT_EQ(host.asked.size(), 2u);
    EXPECT_EQ(host.asked[0].second, mb::YesNo | mb::IconQuestion);
    EXPECT_TRUE(host.optionsOpened == 0 && !run.Running()) << "answered No";
    accounts[1] = {};
    Add(0, "mail");
    // Offline, CustomizeDial, entry, the dial starts, connects; what is said, flags (0: any).
    const std::tuple<bool, int, const char*, bool, bool, std::string, unsigned> rows[] = {
        {true, 0, "", true, true, "", 36},
        {false, 1, "", true, true,
         "ダイヤルアップ接続されていない為、メールチェックを行うことはできません。", 48},
        {false, 2, "Missing", true, true, "Missing", 0},
        {false, 2, "", true, true, "ダイヤル先が指定されていません。\r", 0},
        {false, 2, "VPN", false, true, "エラーが発生しました", 0},
        {false, 2, "ISP", true, false, "ISP", 0}, // the first entry
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
        EXPECT_TRUE(!flags || host.asked[0].second == flags);
        EXPECT_TRUE(host.offline == offline && run.CheckIndex() == CheckRun::kIdle)
            << "a No keeps the program offline";
    }
    test::RunFor(50ms);
    EXPECT_TRUE(host.failedDials == 1 && host.over == 0);
    dialup.dialConnects = true;
    std::string status;
    host.onStatus = [&](const std::string& text) { status += cp932::ToUtf8(text) + "\n"; };
    ASSERT_TRUE(Check());
    host.onStatus = nullptr;
    EXPECT_TRUE(run.DialledByCheck() && status.find("ISPへダイヤル中") != std::string::npos)
        << status;
    const int dials = dialup.dials; // none without the setting, whatever is up
    settings.CustomizeDial = 0;
    dialup.active = 0;
    ASSERT_TRUE(Check());
    EXPECT_EQ(dialup.dials, dials);
    settings.CustomizeDial = 2;

    // A dial that never ends: closing the program ends the wait.
    dialup.active = 0;
    dialup.dialOutcome = nullptr;
    QTimer::singleShot(100, [&] {
        run.pbCheckClick(CheckRun::Sender::Other); // finds CheckIndex -2
        run.Abandon();
    });
    run.pbCheckClick(CheckRun::Sender::Other);
    EXPECT_TRUE(host.over == 2 && dialup.dials == 4);
}

class CheckRunDovecotTls : public CheckRunTest {
protected:
    static inline test::DovecotServer* dovecot = nullptr;
    static inline const test::MailUser taro{
        "taro", "pass word", {"Subject: Hello\r\nFrom: boss@example.jp\r\n\r\nx\r\n"}};

    static void SetUpTestSuite() {
        dovecot = new test::DovecotServer;
        if (!test::DovecotServer::SkipReason().empty())
            return;
        // Hanako's INBOX is read over IMAP: three unseen messages to begin with.
        const test::MailUser hanako{
            "hanako",
            "pw-hanako",
            {test::SimpleMessage("h1"), test::SimpleMessage("h2"), test::SimpleMessage("h3")}};
        if (!dovecot->Start({taro, hanako}, true))
            ADD_FAILURE() << dovecot->error();
    }
    static void TearDownTestSuite() { delete dovecot, dovecot = nullptr; }

    test::TempDir dir;
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(dovecot->Running());
        CheckRunTest::SetUp();
        host.profile = dir.file("Pim.INI");
        Taro(dovecot->Port());
        // The plain port offers STLS: every session is upgraded.
        TrustOnly(dovecot->File("ca.pem"));
    }
    void TearDown() override { QSslConfiguration::setDefaultConfiguration(original); }

    // Taro's account, by default on a plain port, as it stands in Pim.INI.
    void Taro(uint16_t port, const std::string& trusted = {}, bool tlsRequired = false,
              const std::string& at = "localhost:") {
        accounts[0] = {true, "Taro", at + std::to_string(port), "taro", "pass word"};
        accounts[0].TlsRequired = tlsRequired;
        accounts[0].TrustedCertificate = trusted;
        ASSERT_TRUE(SaveSettings(host.profile, settings, accounts));
    }
    static void TrustOnly(const std::string& authority) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(authority)));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    const MailChecker& TaroClient() { return *Of("taro").Client(); }
    std::string Stored(const char* key) const {
        return IniFile::Load(host.profile).Value("Account0", key).value_or("");
    }
};

// A login refused over STLS still learns that the server offers it.
TEST_F(CheckRunDovecotTls, ARefusedLoginStillLearnsThatTlsIsOffered) {
    accounts[0].Password = "wrong";
    ASSERT_TRUE(SaveSettings(host.profile, settings, accounts));
    ASSERT_TRUE(Check());
    EXPECT_EQ(std::to_string(Shown(0).Count) + " " + Stored("TlsRequired"), "-4 1");
}

// Once a server offered STLS, a plain one is refused before the login; only a
// check the user started asks to trust a certificate, and Yes reads the mail, over
// STLS and pop3s, also from a server whose certificate does not carry its name; a
// server with a new certificate at every connection is asked about once. What is
// learnt is dated; a pin goes once the certificate verifies, and only then.
TEST_F(CheckRunDovecotTls, StlsOnceOfferedIsRequiredAndOnlyAUserStartedCheckAsksToTrust) {
    using Sender = CheckRun::Sender;
    run.Today = [] { return QDate(2025, 3, 14); };
    Taro(dovecot->Port(), std::string(64, '0'));
    ASSERT_TRUE(Check(Sender::Other));
    EXPECT_EQ(std::to_string(Shown(0).Count) + Stored("TlsRequired") + " " +
                  Stored("TlsRequiredDate"),
              "11 2025-03-14");
    EXPECT_EQ(Stored("TrustedCertificate"), "") << "the authority vouched for it";
    test::DovecotServer plain, other;
    ASSERT_TRUE(plain.Start({taro})) << plain.error();
    Taro(plain.Port(), "", true);
    ASSERT_TRUE(Check(Sender::CheckButton));
    EXPECT_TRUE(TaroClient().SecurityOutcome().Failure == TlsFailure::Downgrade &&
                Shown(0).Count == -6 && host.asked.empty());

    const std::string learnt = "the one trusted by the Yes";
    const uint8_t misnamed = cpUnknownAuthority | cpWrongName;
    const struct {
        const char* name;
        Sender sender;
        int answer;
        std::string trusted; // before the check
        bool asked, read;
        uint8_t problems = cpUnknownAuthority;
        const char* at = "localhost:";
    } rows[] = {
        {"check button, No", Sender::CheckButton, IDNO, "", true, false},
        {"tray menu, Yes", Sender::Menu, IDYES, "", true, true},
        {"scheduled", Sender::Other, IDYES, "", false, false},
        {"another certificate trusted before, No", Sender::CheckButton, IDNO, std::string(64, '0'),
         true, false},
        {"trusted, scheduled", Sender::Other, IDNO, learnt, false, true, 0},
        {"trusted, pop3s", Sender::Other, IDNO, learnt, false, true, 0, "pop3s://localhost:"},
        {"a name it does not carry", Sender::Other, IDNO, "", false, false, misnamed, "127.0.0.2:"},
        {"a name it does not carry, trusted", Sender::Other, IDNO, learnt, false, true, 0,
         "127.0.0.2:"},
    };
    TrustOnly(dovecot->File("untrusted-ca.pem"));
    std::string trusted;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool pop3s = std::string(row.at).starts_with("pop3s");
        Taro(pop3s ? dovecot->TlsPort() : dovecot->Port(),
             row.trusted == learnt ? trusted : row.trusted, false, row.at);
        const std::string before = accounts[0].TrustedCertificate;
        host.asked.clear();
        host.answer = row.answer;
        ASSERT_TRUE(Check(row.sender));
        ASSERT_EQ(host.asked.size(), row.asked ? 1u : 0u);
        EXPECT_EQ(std::pair(Shown(0).Count, TaroClient().SecurityOutcome().Problems),
                  std::pair(row.read ? 1 : -6, uint8_t(row.read ? 0 : row.problems)));
        if (row.read && row.asked) {
            EXPECT_EQ(Shown(0).Subjects[0], "Hello");
            trusted = accounts[0].TrustedCertificate;
            ASSERT_EQ(trusted.size(), 64u);
        }
        EXPECT_EQ(Stored("TrustedCertificate"), row.read && row.asked ? trusted : before);
        if (!row.asked)
            continue;
        EXPECT_EQ(Stored("TrustedCertificateDate"), row.read ? "2025-03-14" : "");
        const auto& [text, flags] = host.asked[0];
        EXPECT_EQ(flags, mb::YesNo | mb::IconQuestion | mb::DefButton2);
        for (const std::string& part :
             {std::string("localhost"),
              cp932::ToUtf8(TlsReasonText(TaroClient().SecurityOutcome()))})
            EXPECT_NE(text.find(part), std::string::npos) << text;
        EXPECT_EQ(text.find("警告") != std::string::npos, !row.trusted.empty()) << text;
        // The fingerprint trusted by Yes as certificate viewers show it, 16 pairs a line.
        const QByteArray pairs = QByteArray::fromHex(trusted.c_str()).toHex(':').toUpper();
        EXPECT_TRUE(!row.read || text.find((pairs.left(47) + '\r' + pairs.mid(48)).toStdString()) !=
                                     std::string::npos)
            << text;
    }

    // Trusted, and the next connection shows another certificate.
    ASSERT_TRUE(other.Start({taro}, true)) << other.error();
    test::Relay relay;
    ASSERT_TRUE(relay.Listen());
    relay.target = dovecot->Port();
    Taro(relay.Port());
    host.answer = IDYES;
    host.asked.clear();
    host.onAsk = [&] { relay.target = other.Port(); };
    ASSERT_TRUE(Check(Sender::CheckButton));
    EXPECT_TRUE(host.asked.size() == 1 && TaroClient().SecurityOutcome().FingerprintChanged);
    EXPECT_EQ(std::pair(Shown(0).Count, Shown(0).Reason),
              std::pair(-6, TlsReasonText(TaroClient().SecurityOutcome())));
}

// IMAP accounts beside a POP3 one, over STARTTLS and imaps: the unseen
// messages of INBOX, oldest first; one read elsewhere leaves the list and is no
// news, one delivered is; and no check changes a flag, a count or a
// modification sequence.
TEST_F(CheckRunDovecotTls, ImapAccountsShowTheUnseenOfInboxAndNeverChangeIt) {
    const auto imap = [&](size_t slot, const std::string& host) {
        accounts[slot] = {true, "Hanako" + std::to_string(slot), host, "hanako", "pw-hanako"};
    };
    imap(1, "imap://localhost:" + std::to_string(dovecot->ImapPort()));
    imap(2, "imaps://localhost:" + std::to_string(dovecot->ImapTlsPort()));
    const auto state = [&] {
        return dovecot->Doveadm(
                   {"fetch", "-u", "hanako", "uid flags modseq", "mailbox", "INBOX", "all"}) +
               dovecot->Doveadm(
                   {"mailbox", "status", "-u", "hanako", "messages unseen highestmodseq", "INBOX"});
    };
    const auto subjects = [&](size_t slot) {
        std::string text;
        for (int i = 0; i < Shown(slot).Count; ++i)
            text += Shown(slot).Subjects[size_t(i)] + (Shown(slot).IsNew(i) ? "* " : " ");
        return text;
    };
    list.SetHolding(false); // no push: every check is one of these
    const std::string before = state();
    ASSERT_NE(before.find("highestmodseq="), std::string::npos) << before;
    ASSERT_TRUE(Check());
    EXPECT_EQ(subjects(0) + subjects(1) + subjects(2), "Hello* h1* h2* h3* h1* h2* h3* ");
    EXPECT_TRUE(accounts[1].TlsRequired) << "STARTTLS was offered";
    ASSERT_TRUE(Check());
    EXPECT_EQ(state(), before);

    ASSERT_EQ(dovecot->Doveadm(
                  {"flags", "add", "-u", "hanako", "\\Seen", "mailbox", "INBOX", "uid", "1"}),
              "");
    ASSERT_TRUE(Check());
    EXPECT_TRUE(subjects(1) == "h2 h3 " && !host.last.Changed) << "one read elsewhere is no news";
    ASSERT_EQ(dovecot->Doveadm({"save", "-u", "hanako"}, test::SimpleMessage("h4")), "");
    const std::string delivered = state();
    ASSERT_TRUE(Check());
    EXPECT_TRUE(subjects(2) == "h2 h3 h4* " && host.last.Changed && state() == delivered);
}

// Kept open, an IMAP account's connection idles after the check: new mail is
// checked and told the moment it is delivered, a keyring locked meanwhile does
// not matter, and a server that goes and comes back is tried again by itself,
// its line showing the error only once it is lost for longer; nothing old is news.
TEST_F(CheckRunDovecotTls, PushTellsNewMailAtOnceAndADroppedConnectionTriesAgain) {
    test::DovecotServer own;
    ASSERT_TRUE(own.Start({{"saburo", "pw", {test::SimpleMessage("s1")}}})) << own.error();
    accounts[1] = {true, "Saburo", "imap://127.0.0.1:" + std::to_string(own.ImapPort()), "saburo",
                   "pw"};
    auto& saburo = *qobject_cast<TVeltaIMAP*>(Of("saburo").Checker());
    const auto over = [&](int runs) {
        return test::RunUntil([&] { return host.over == runs; }, 10s);
    };
    const auto idling = [&] { return test::RunUntil([&] { return saburo.IsIdling(); }, 5s); };
    run.pbCheckClick(CheckRun::Sender::Other);
    ASSERT_TRUE(over(1) && idling());
    keyring.users = {"saburo"};
    keyring.locked = true;
    list.Passwords = &keyring;
    ASSERT_EQ(own.Doveadm({"save", "-u", "saburo"}, test::SimpleMessage("s2")), "");
    ASSERT_TRUE(over(2)) << "delivered, checked at once";
    list.Passwords = nullptr;
    EXPECT_TRUE(host.last.Push && host.last.Changed && Shown(1).IsNew(1));
    EXPECT_TRUE(Shown(0).Count == 1 && host.last.TotalMail == 1 + 2)
        << "the POP3 account stands as shown";
    // Offline it holds nothing; back online it checks and idles again.
    ASSERT_TRUE(idling());
    list.SetHolding(false);
    EXPECT_FALSE(saburo.IsIdling());
    list.SetHolding(true);
    ASSERT_TRUE(over(3) && idling());
    own.Stop();
    ASSERT_TRUE(over(4)) << "tried again after its first wait";
    EXPECT_EQ(Shown(1).Count, 2) << "lost a moment ago: the line stands";
    list.SetTimeOut(100);
    ASSERT_TRUE(over(5)) << "tried again after the next wait";
    // Lost for longer, the error shows; an error of a push says nothing.
    EXPECT_TRUE(Shown(1).Count == -2 && host.last.Push && !host.last.Changed);
    list.SetTimeOut(5000); // a busy machine's restarted server may take its time to answer
    ASSERT_TRUE(own.Restart()) << own.error();
    ASSERT_TRUE(over(6)) << "back after the next wait";
    EXPECT_TRUE(Shown(1).Count == 2 && !host.last.Changed);
    EXPECT_TRUE(idling()) << "and watches again";
    // A wake-up drops the connection, which may have died in the sleep, for a new one;
    // lost again after that, it is lost a moment ago, not since the first cut.
    const std::string before = own.Doveadm({"who", "-1"});
    list.Wake();
    ASSERT_TRUE(over(7) && idling());
    EXPECT_NE(own.Doveadm({"who", "-1"}), before);
    own.Stop();
    ASSERT_TRUE(over(8));
    EXPECT_EQ(Shown(1).Count, 2);
}

} // namespace
} // namespace pim
