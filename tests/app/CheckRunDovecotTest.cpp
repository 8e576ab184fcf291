// A check run over three accounts of a real Dovecot.
#include "app/CheckRun.h"
#include "common/Cp932.h"
#include "pop3/TVeltaPOP3.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/MailGenerator.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct NoDialupControl : DialupControl {
    int ActiveEntryCount() override { return -1; }
    int EntryCount() override { return -1; }
    std::string GetEntryName(int) override { return {}; }
    bool Dial(int) override { return false; }
    bool HangUp() override { return false; }
};

struct Host : CheckRunHost {
    std::vector<RunOutcome> runs;
    int Ask(const std::string&, unsigned) override { return 6; }
    bool Offline() const override { return false; }
    void GoOnline() override {}
    void SetStatus(const std::string&) override {}
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override {}
    void ShowRun(const RunOutcome& outcome) override { runs.push_back(outcome); }
    void RunOver(const RunOutcome&) override {}
    void RememberSecurity(const TAccount&) override {}
};

TEST(CheckRunDovecot, ThreeAccountsShowTheirMailAndASecondRunNoChange) {
    if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
        GTEST_SKIP() << reason;
    test::MailUser taro{"taro", "pw-taro", {}};
    taro.messages = {
        test::MakeMessage(test::EncodeIso2022JpHeader("会議のお知らせ"), "boss@example.jp",
                          "Fri, 5 Jan 2001 10:00:00 +0900", "x\n"),
        test::MakeMessage("Lunch?", test::EncodeIso2022JpHeader("花子", 6) + " <hanako@example.jp>",
                          "", "y\n")};
    test::MailUser jiro{"jiro", "pw-jiro", {}};
    test::MailUser saburo{"saburo", "pw-saburo", {}};
    saburo.messages = {test::MakeMessage("Invoice", "shop@example.com", "", "z\n")};
    test::DovecotServer server;
    ASSERT_TRUE(server.Start({taro, jiro, saburo})) << server.error();

    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    TAccounts accounts{};
    accounts[0] = {true, "Taro", host, "taro", "pw-taro"};
    accounts[1] = {true, "Jiro", host, "jiro", "pw-jiro"};
    accounts[2] = {true, "Saburo", host, "saburo", "pw-saburo"};
    TSettings settings;
    TVeltaPOP3 pop3;
    NoDialupControl dialup;
    Host window;
    CheckRun run(pop3, dialup, window, settings, accounts);

    for (int round = 0; round < 2; ++round) {
        run.pbCheckClick(CheckRun::Sender::Other);
        ASSERT_TRUE(test::RunUntil([&] { return window.runs.size() == size_t(round + 1); }, 20s));
    }
    const Results& shown = run.ShownResults;
    EXPECT_EQ(shown[0].Count, 2);
    EXPECT_EQ(shown[0].Subjects[0], cp932::FromUtf8("会議のお知らせ"));
    EXPECT_EQ(shown[0].Senders[0], "boss@example.jp");
    EXPECT_EQ(shown[0].Senders[1], cp932::FromUtf8("花子 <hanako@example.jp>"));
    EXPECT_EQ(shown[0].Dates[1], cp932::FromUtf8("（受信日時不明）"));
    EXPECT_EQ(shown[1].Count, 0);
    EXPECT_EQ(shown[2].Count, 1);
    EXPECT_EQ(shown[2].Subjects[0], "Invoice");
    EXPECT_EQ(window.runs[0].TotalMail, 3);
    EXPECT_TRUE(window.runs[0].Changed);
    EXPECT_FALSE(window.runs[1].Changed);
}

} // namespace
} // namespace pim
