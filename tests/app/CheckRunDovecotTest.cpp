// A real Dovecot: the component reads the demo's sample mailbox, tells a wrong
// password, and uses TLS (STLS and pop3s) with a trusted and an untrusted
// authority; check runs meet an account with TLS.
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
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

struct NoDialupControl : DialupControl {
    int ActiveEntryCount() override { return -1; }
    int EntryCount() override { return -1; }
    std::string GetEntryName(int) override { return {}; }
    bool Dial(int) override { return false; }
    bool HangUp() override { return false; }
};

struct Fetched {
    std::vector<MailSummary> mails;
    int error = 0;
    TlsOutcome tls;
};

// Fetches every message the way a check does and returns what was reported.
Fetched FetchAll(const std::string& host, const std::string& password,
                 const TlsPolicy& security = {}) {
    TVeltaPOP3 pop3;
    pop3.Security = security;
    Fetched result;
    int count = 0, next = 1;
    bool ended = false;
    const auto advance = [&] { next <= count ? pop3.Retr(next++) : pop3.Quit(); };
    pop3.OnConnect = [&](TVeltaPOP3* p, int n) {
        count = n;
        QMetaObject::invokeMethod(p, advance, Qt::QueuedConnection);
    };
    pop3.OnGetMailInformation = [&](TVeltaPOP3* p, const std::string& title,
                                    const std::string& sender, const std::string& date) {
        result.mails.push_back({title, sender, date});
        QMetaObject::invokeMethod(p, advance, Qt::QueuedConnection);
    };
    pop3.OnDisconnect = [&](TVeltaPOP3*) { ended = true; };
    pop3.OnError = [&](TVeltaPOP3*, uint8_t error) {
        result.error = error;
        ended = true;
    };
    EXPECT_TRUE(pop3.Connect(host, "sample", password));
    EXPECT_TRUE(test::RunUntil([&] { return ended; }, 30s));
    result.tls = pop3.SecurityOutcome();
    return result;
}

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

class Dovecot : public ::testing::Test {
protected:
    static inline test::DovecotServer* server = nullptr;
    static inline const test::MailUser taro{
        "taro", "pw-taro", {"Subject: Hello\r\nFrom: boss@example.jp\r\n\r\nx\r\n"}};

    // What the header of each message of the sample mailbox gives.
    static inline std::vector<MailSummary> expected;

    static void SetUpTestSuite() {
        server = new test::DovecotServer;
        expected.clear();
        if (!test::DovecotServer::SkipReason().empty())
            return;
        const std::set<std::filesystem::path> files(
            std::filesystem::directory_iterator(PIM_SAMPLE_MAILBOX), {});
        std::vector<std::string> mail;
        for (const auto& file : files)
            mail.push_back(test::ReadFile(file));
        mail.push_back("Subject: no body\r\nFrom: c@example.jp\r\n");
        // Each has its markers in the header: what the body says does not count.
        for (const std::string& message : mail)
            expected.push_back(ExtractMailInformation(message));
        if (!server->Start({taro, {"sample", "pass word", mail}}, true))
            ADD_FAILURE() << server->error();
    }
    static void TearDownTestSuite() { delete server, server = nullptr; }

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
        // The plain port offers STLS: every session is upgraded.
        TrustOnly(server->CaCertificatePath());
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

using CheckRunDovecotTls = Dovecot;
using TVeltaPOP3Dovecot = Dovecot;

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
        for (const std::string& part :
             {"localhost"s, cp932::ToUtf8(TlsReasonText(pop3.SecurityOutcome()))})
            EXPECT_NE(text.find(part), std::string::npos) << text;
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

// Dovecot offers TOP, UIDL and pipelining: the header alone gives the texts,
// the first time and from memory the second.
TEST_F(TVeltaPOP3Dovecot, TheHeaderGivesTheTextsOfTheWholeMessage) {
    for (int round = 0; round < 2; ++round) {
        const Fetched fetched =
            FetchAll("127.0.0.1:" + std::to_string(server->Port()), "pass word");
        EXPECT_EQ(fetched.error, 0);
        EXPECT_EQ(fetched.mails, expected) << "round " << round;
    }
    ASSERT_EQ(expected.size(), 7u);
    // Folded ISO-2022-JP words; a space does not continue a From line.
    EXPECT_EQ(expected[0], (MailSummary{cp932::FromUtf8("会議室変更のお知らせ（12月3日 定例会議）"),
                                        cp932::FromUtf8("佐藤 花子"),
                                        cp932::FromUtf8("2024年12月02日（") + SystemDayNames()[0] +
                                            cp932::FromUtf8("） 09:12:45")}));
}

TEST_F(TVeltaPOP3Dovecot, AWrongPasswordIsReportedAsSuch) {
    const Fetched fetched = FetchAll("127.0.0.1:" + std::to_string(server->Port()), "wrong");
    EXPECT_EQ(fetched.error, 4);
    EXPECT_TRUE(fetched.mails.empty());
}

// What TLS does with each certificate, over STLS on the plain port and over pop3s.
TEST_F(TVeltaPOP3Dovecot, ACertificateIsUsedWhenItVerifiesOrIsTheOneTrusted) {
    const QList<QSslCertificate> shown =
        QSslCertificate::fromPath(QString::fromStdString(server->CertificatePath()));
    ASSERT_EQ(shown.size(), 1);
    const std::string pin = shown.front().digest(QCryptographicHash::Sha256).toHex().toStdString();
    const std::string plain = "localhost:" + std::to_string(server->Port());
    const std::string pop3s = "pop3s://localhost:" + std::to_string(server->TlsPort());
    const std::string misnamed = "127.0.0.2:" + std::to_string(server->Port());
    const auto ok = TlsFailure::None;
    const struct {
        const char* name;
        std::string host;
        bool knownAuthority;
        TlsPolicy security;
        uint8_t problems; // none: it verifies
    } cases[] = {
        {"STLS", plain, true, {true, ""}, 0},
        {"pop3s", pop3s, true, {}, 0},
        {"STLS, unknown authority", plain, false, {}, cpUnknownAuthority},
        {"pop3s, unknown authority", pop3s, false, {}, cpUnknownAuthority},
        {"the certificate trusted", plain, false, {false, pin}, 0},
        {"another than the one trusted",
         plain,
         false,
         {false, std::string(64, '0')},
         cpUnknownAuthority},
        {"a name it does not carry", misnamed, true, {}, cpWrongName},
        {"a name it does not carry, trusted", misnamed, true, {false, pin}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrustOnly(c.knownAuthority ? server->CaCertificatePath()
                                   : server->UntrustedCaCertificatePath());
        const Fetched fetched = FetchAll(c.host, "pass word", c.security);
        const bool fails = c.problems != 0;
        EXPECT_EQ(fetched.error, fails ? 2 : 0);
        EXPECT_EQ(fetched.mails, fails ? std::vector<MailSummary>{} : expected);
        EXPECT_TRUE(fetched.tls.Offered);
        EXPECT_EQ(fetched.tls.Encrypted, !fails);
        EXPECT_EQ(fetched.tls.Failure, fails ? TlsFailure::Untrusted : ok);
        EXPECT_EQ(fetched.tls.Problems, c.problems);
        EXPECT_EQ(fetched.tls.FingerprintChanged, fails && !c.security.TrustedFingerprint.empty());
        if (fails) {
            EXPECT_EQ(fetched.tls.Fingerprint, pin);
            EXPECT_EQ(fetched.tls.Host, c.host.starts_with("127") ? "127.0.0.2" : "localhost");
        }
    }
}

} // namespace
} // namespace pim
