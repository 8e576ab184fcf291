// The dial-up component and the window as a check run sees them, played by the tests.
#pragma once

#include "app/CheckRun.h"
#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "settings/SettingsFile.h"

#include <QTimer>
#include <functional>
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
    bool HangUp() override { return ++hangUps; }
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
    bool offline = false;
    RunOutcome last;

    explicit FakeHost(TAccounts& a) : accounts(a) {}
    int Ask(const std::string& text, unsigned flags) override {
        asked.emplace_back(cp932::ToUtf8(text), flags);
        return onAsk ? onAsk() : void(), answer;
    }
    bool Offline() const override { return offline; }
    void GoOnline() override { offline = false; }
    void SetStatus(const std::string& text) override { onStatus ? onStatus(text) : void(); }
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override { ++failedDials; }
    void OpenAccountOptions() override { ++optionsOpened; }
    void ShowRun(const RunOutcome& outcome) override { last = outcome; }
    void RunOver(const RunOutcome&) override { ++over; }
    void RememberSecurity(const TlsLesson& lesson) override {
        if (!profile.empty())
            StoreSecurity(profile, accounts, lesson);
    }
};

} // namespace pim
