// Check runs against a real Dovecot that meets an account with TLS.
#include "app/CheckRun.h"
#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "pop3/TVeltaPOP3.h"
#include "settings/SettingsFile.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <functional>
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

// The host keeps what the run learnt in the accounts and in Pim.INI as the main
// window does, and answers the trust question.
struct TlsHost : CheckRunHost {
    std::string profile;
    TAccounts* accounts = nullptr;
    std::vector<std::pair<std::string, unsigned>> asked; // UTF-8
    int answer = IDNO;
    std::function<void()> onAsk;
    int runs = 0;
    int Ask(const std::string& text, unsigned flags) override {
        asked.emplace_back(cp932::ToUtf8(text), flags);
        if (onAsk)
            onAsk();
        return answer;
    }
    bool Offline() const override { return false; }
    void GoOnline() override {}
    void SetStatus(const std::string&) override {}
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override {}
    void ShowRun(const RunOutcome&) override {}
    void RunOver(const RunOutcome&) override { ++runs; }
    void RememberSecurity(const TAccount& learnt) override {
        StoreSecurity(profile, *accounts, learnt);
    }
};

class CheckRunDovecotTls : public ::testing::Test {
protected:
    static inline test::DovecotServer* server = nullptr;
    static inline const test::MailUser taro{
        "taro", "pw-taro", {"Subject: Hello\r\nFrom: boss@example.jp\r\n\r\nx\r\n"}};

    static void SetUpTestSuite() {
        server = new test::DovecotServer;
        if (test::DovecotServer::SkipReason().empty() && !server->Start({taro}, true))
            ADD_FAILURE() << server->error();
    }
    static void TearDownTestSuite() { delete server; }

    test::TempDir dir;
    TSettings settings;
    TAccounts accounts{};
    TVeltaPOP3 pop3;
    NoDialupControl dialup;
    TlsHost window;
    CheckRun run{pop3, dialup, window, settings, accounts};
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(server->Running());
        window.profile = dir.file("Pim.INI");
        window.accounts = &accounts;
        Account(server->Port());
    }
    void TearDown() override { QSslConfiguration::setDefaultConfiguration(original); }

    // Taro's account on a plain port, as it stands in Pim.INI.
    void Account(uint16_t port, const std::string& trusted = {}, bool tlsRequired = false) {
        accounts[0] = {true, "Taro", "localhost:" + std::to_string(port), "taro", "pw-taro"};
        accounts[0].TlsRequired = tlsRequired || !trusted.empty();
        accounts[0].TrustedCertificate = trusted;
        ASSERT_TRUE(SaveSettings(window.profile, settings, accounts));
    }
    static void TrustOnly(const std::string& authority) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(authority)));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    bool Check(CheckRun::Sender sender) {
        const int before = window.runs;
        run.pbCheckClick(sender);
        return test::RunUntil([&] { return window.runs > before; }, 20s);
    }
    std::string Stored(const char* key) const {
        return IniFile::Load(window.profile).Value("Account0", key).value_or("");
    }
};

TEST_F(CheckRunDovecotTls, OnlyAUserStartedCheckAsksToTrustACertificateAndYesReadsTheMail) {
    using Sender = CheckRun::Sender;
    const struct {
        const char* name;
        Sender sender;
        int answer;
        std::string trusted; // before the check
        bool asked, read;
    } rows[] = {
        {"check button, No", Sender::CheckButton, IDNO, "", true, false},
        {"tray menu, Yes", Sender::Menu, IDYES, "", true, true},
        {"scheduled", Sender::Other, IDYES, "", false, false},
        {"another certificate trusted before, No", Sender::CheckButton, IDNO, std::string(64, '0'),
         true, false},
    };
    TrustOnly(server->UntrustedCaCertificatePath());
    std::string trusted;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Account(server->Port(), row.trusted);
        window.asked.clear();
        window.answer = row.answer;
        ASSERT_TRUE(Check(row.sender));
        ASSERT_EQ(window.asked.size(), row.asked ? 1u : 0u);
        EXPECT_EQ(Stored("TlsRequired"), "1") << "STLS was offered";
        EXPECT_EQ(run.ShownResults[0].Count, row.read ? 1 : -2);
        if (row.read) {
            EXPECT_EQ(run.ShownResults[0].Subjects[0], "Hello");
            trusted = accounts[0].TrustedCertificate;
            ASSERT_EQ(trusted.size(), 64u);
        }
        EXPECT_EQ(Stored("TrustedCertificate"), row.read ? trusted : row.trusted);
        if (!row.asked)
            continue;
        const auto& [text, flags] = window.asked[0];
        EXPECT_EQ(flags, mb::YesNo | mb::IconQuestion | mb::DefButton2);
        EXPECT_NE(text.find("localhost"), std::string::npos) << text;
        EXPECT_NE(text.find(cp932::ToUtf8(TlsReasonText(pop3.SecurityOutcome()))),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("警告") != std::string::npos, !row.trusted.empty()) << text;
        // The fingerprint shown is the one stored after Yes, in upper-case pairs.
        QString pairs = QString::fromStdString(trusted.substr(0, 6)).toUpper();
        if (row.read) {
            EXPECT_NE(text.find(pairs.insert(4, u':').insert(2, u':').toStdString()),
                      std::string::npos);
        }
    }
    // Trusted now: a scheduled check reads the mail without a word.
    window.asked.clear();
    Account(server->Port(), trusted);
    ASSERT_TRUE(Check(Sender::Other));
    EXPECT_TRUE(window.asked.empty());
    EXPECT_EQ(run.ShownResults[0].Count, 1);
}

TEST_F(CheckRunDovecotTls, AServerWithANewCertificateAtEveryConnectionIsAskedAboutOnce) {
    test::DovecotServer other;
    ASSERT_TRUE(other.Start({taro}, true)) << other.error();
    TrustOnly(server->UntrustedCaCertificatePath());
    window.answer = IDYES;
    // Trusted, and the next connection shows another certificate.
    window.onAsk = [&] { run.CheckList[0].HostName = "localhost:" + std::to_string(other.Port()); };
    ASSERT_TRUE(Check(CheckRun::Sender::CheckButton));
    EXPECT_EQ(window.asked.size(), 1u);
    EXPECT_TRUE(pop3.SecurityOutcome().FingerprintChanged);
    EXPECT_EQ(run.ShownResults[0].Count, -2);
    EXPECT_EQ(run.ShownResults[0].Reason, TlsReasonText(pop3.SecurityOutcome()));
}

TEST_F(CheckRunDovecotTls, OnceAServerOfferedStlsAPlainOneIsRefusedBeforeTheLogin) {
    TrustOnly(server->CaCertificatePath());
    ASSERT_TRUE(Check(CheckRun::Sender::Other));
    EXPECT_EQ(run.ShownResults[0].Count, 1);
    EXPECT_TRUE(accounts[0].TlsRequired);
    EXPECT_EQ(Stored("TlsRequired"), "1");
    EXPECT_EQ(Stored("TrustedCertificate"), "") << "the authority vouched for it";
    // The same account, answered by a server that offers no STLS.
    test::DovecotServer plain;
    ASSERT_TRUE(plain.Start({taro})) << plain.error();
    Account(plain.Port(), "", true);
    ASSERT_TRUE(Check(CheckRun::Sender::CheckButton));
    EXPECT_EQ(pop3.SecurityOutcome().Failure, TlsFailure::Downgrade);
    EXPECT_EQ(run.ShownResults[0].Count, -2);
    EXPECT_EQ(run.ShownResults[0].Reason, TlsReasonText(pop3.SecurityOutcome()));
    EXPECT_FALSE(run.ShownResults[0].Reason.empty());
    EXPECT_TRUE(window.asked.empty());
}

} // namespace
} // namespace pim
