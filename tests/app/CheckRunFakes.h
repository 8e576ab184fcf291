// The dial-up component and the window as a check run sees them, played by the tests.
#pragma once

#include "app/check/CheckRun.h"
#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "settings/SettingsFile.h"
#include "support/EventLoop.h"

#include <QTimer>
#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pim {

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
    std::function<void()> onHangUp; // within its wait, as the component's runs the event loop
    bool HangUp() override { return onHangUp ? onHangUp() : void(), ++hangUps; }
};

// A mail client whose every mailbox holds one message, answering from the event
// loop; it may refuse every message, or never answer at all.
struct FakeChecker : MailChecker {
    bool silent = false, refusesRetr = false, gone = false; // gone: no session to quit
    std::string alert;                                      // said at the login
    TlsOutcome tls;

    bool Connect(const std::string&, const std::string&, const std::string&) override {
        return silent || Later([this] {
                   if (!alert.empty())
                       TellAlert(alert);
                   TellConnect(1);
               });
    }
    bool Retr(int) override {
        return !refusesRetr && Later([this] { TellMail({"m", "s", "d"}, "1"); });
    }
    bool Quit() override {
        return !gone && Later([this] { TellDisconnect(); });
    }
    const TlsOutcome& SecurityOutcome() const override { return tls; }
    bool Later(std::function<void()> step) {
        QTimer::singleShot(0, this, std::move(step));
        return true;
    }
};

// The keyring as a check sees it, holding "pw" for the users named: unlocked it
// answers at once; locked, a read that may prompt waits for `prompt` to be
// answered and the others find it locked.
struct FakePasswords : PasswordStore {
    std::set<std::string> users;
    bool locked = false;
    int prompts = 0;
    std::function<void(std::optional<std::string>)> prompt;

    bool Keeps(const TAccount& account) const override { return users.contains(account.UserID); }
    void Read(const TAccount&, bool mayPrompt,
              std::function<void(std::optional<std::string>)> done) override {
        if (locked && mayPrompt)
            return ++prompts, void(prompt = std::move(done));
        QTimer::singleShot(0, [done = std::move(done), locked = locked] {
            done(locked ? std::nullopt : std::optional<std::string>("pw"));
        });
    }
};

// Questions answered as the test says, No by default. With a profile, what a
// run learnt of TLS goes to the accounts and to Pim.INI as the main window does.
struct FakeHost : CheckRunHost {
    TAccounts& accounts;
    std::string profile;
    std::vector<std::pair<std::string, unsigned>> asked; // UTF-8
    int answer = IDNO, over = 0, failedDials = 0, optionsOpened = 0;
    std::function<void()> onAsk;
    std::function<void(const std::string&)> onStatus;
    std::function<void()> onGoOnline; // after the switch
    bool offline = false;
    RunOutcome last;
    std::vector<Account::Id> signIns; // asked for

    explicit FakeHost(TAccounts& a) : accounts(a) {}
    int Ask(const std::string& text, unsigned flags) override {
        asked.emplace_back(cp932::ToUtf8(text), flags);
        return onAsk ? onAsk() : void(), answer;
    }
    bool Offline() const override { return offline; }
    void GoOnline() override { offline = false, onGoOnline ? onGoOnline() : void(); }
    void SetStatus(const std::string& text) override { onStatus ? onStatus(text) : void(); }
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override { ++failedDials; }
    void OpenAccountOptions() override { ++optionsOpened; }
    void ShowRun(const RunOutcome& outcome) override { last = outcome; }
    void RunOver(const RunOutcome&) override { ++over; }
    void SignInWanted(Account::Id id) override { signIns.push_back(id); }
    void RememberSecurity(const TlsLesson& lesson) override {
        if (!profile.empty())
            StoreSecurity(profile, accounts, lesson);
    }
};

// One start of the program as a check sees it: its accounts, its run, and
// the window and the dial-up component played by the fakes above.
struct FakeStart {
    AccountList list;
    FakeDialup dialup;
    FakeHost host;
    CheckRun run;

    FakeStart(TAccounts& accounts, const TSettings& settings)
        : list(accounts), host(accounts), run(list, dialup, host, settings) {}
    // One whole run; false when it did not end.
    bool Check(CheckRun::Sender sender = CheckRun::Sender::Other) {
        const int before = host.over;
        run.pbCheckClick(sender);
        return test::RunUntil([&] { return host.over > before; }, std::chrono::seconds(20));
    }
};

} // namespace pim
