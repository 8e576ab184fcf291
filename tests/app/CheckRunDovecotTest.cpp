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
#include "support/Pop3Client.h"
#include "support/TempDir.h"

#include <QDate>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

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

// Fetches every message the way a check does.
void Fetch(test::Pop3Client& client, const std::string& host, const std::string& password) {
    EXPECT_TRUE(client.pop3.Connect(host, "sample", password));
    EXPECT_TRUE(test::RunUntil([&] { return client.ended; }, 30s));
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
        return onAsk ? onAsk() : void(), answer;
    }
    bool Offline() const override { return false; }
    void GoOnline() override {}
    void SetStatus(const std::string&) override {}
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override {}
    void OpenAccountOptions() override {}
    void ShowRun(const RunOutcome&) override {}
    void RunOver(const RunOutcome&) override { ++runs; }
    void RememberSecurity(const TlsLesson& lesson) override {
        StoreSecurity(profile, *accounts, lesson);
    }
};

class CheckRunDovecotTls : public ::testing::Test {
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
        TrustOnly(server->File("ca.pem"));
    }
    void TearDown() override { QSslConfiguration::setDefaultConfiguration(original); }

    // Taro's account on a plain port, as it stands in Pim.INI.
    void Account(uint16_t port, const std::string& trusted = {}, bool tlsRequired = false) {
        accounts[0] = {true, "Taro", "localhost:" + std::to_string(port), "taro", "pw-taro"};
        accounts[0].TlsRequired = tlsRequired;
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

using TVeltaPOP3Dovecot = CheckRunDovecotTls;

// Once a server offered STLS, a plain one is refused before the login; only a
// check the user started asks to trust a certificate, and Yes reads the mail; a
// server with a new certificate at every connection is asked about once. What
// is learnt is dated; a pin goes once the certificate verifies.
TEST_F(CheckRunDovecotTls, StlsOnceOfferedIsRequiredAndOnlyAUserStartedCheckAsksToTrust) {
    using Sender = CheckRun::Sender;
    run.Today = [] { return QDate(2025, 3, 14); };
    Account(server->Port(), std::string(64, '0'));
    ASSERT_TRUE(Check(Sender::Other));
    EXPECT_EQ(run.ShownResults[0].Count, 1);
    EXPECT_EQ(Stored("TlsRequired") + " " + Stored("TlsRequiredDate"), "1 2025-03-14");
    EXPECT_EQ(Stored("TrustedCertificate"), "") << "the authority vouched for it";
    EXPECT_TRUE(accounts[0].TrustedCertificate.empty());
    test::DovecotServer plain, other;
    ASSERT_TRUE(plain.Start({taro})) << plain.error();
    Account(plain.Port(), "", true);
    ASSERT_TRUE(Check(Sender::CheckButton));
    EXPECT_EQ(pop3.SecurityOutcome().Failure, TlsFailure::Downgrade);
    EXPECT_EQ(run.ShownResults[0].Count, -2);
    EXPECT_EQ(run.ShownResults[0].Reason, TlsReasonText(pop3.SecurityOutcome()));
    EXPECT_TRUE(window.asked.empty());

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
    TrustOnly(server->File("untrusted-ca.pem"));
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
        EXPECT_EQ(Stored("TrustedCertificateDate"), row.read ? "2025-03-14" : "");
        if (!row.asked)
            continue;
        const auto& [text, flags] = window.asked[0];
        EXPECT_EQ(flags, mb::YesNo | mb::IconQuestion | mb::DefButton2);
        for (const std::string& part :
             {std::string("localhost"), cp932::ToUtf8(TlsReasonText(pop3.SecurityOutcome()))})
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

    // Trusted, and the next connection shows another certificate.
    ASSERT_TRUE(other.Start({taro}, true)) << other.error();
    Account(server->Port());
    window.answer = IDYES;
    window.onAsk = [&] { run.CheckList[0].HostName = "localhost:" + std::to_string(other.Port()); };
    ASSERT_TRUE(Check(Sender::CheckButton));
    EXPECT_EQ(window.asked.size(), 1u);
    EXPECT_TRUE(pop3.SecurityOutcome().FingerprintChanged);
    EXPECT_EQ(run.ShownResults[0].Count, -2);
    EXPECT_EQ(run.ShownResults[0].Reason, TlsReasonText(pop3.SecurityOutcome()));
}

// Dovecot offers TOP, UIDL and pipelining: the header alone gives the texts, the
// first time and from memory after. What TLS does with each certificate, over
// STLS on the plain port and over pop3s; a wrong password is told as such.
TEST_F(TVeltaPOP3Dovecot, TheHeaderGivesTheTextsWhereTheCertificateVerifiesOrIsTrusted) {
    test::Pop3Client wrong;
    Fetch(wrong, "127.0.0.1:" + std::to_string(server->Port()), "wrong");
    EXPECT_EQ(wrong.error, 4);
    ASSERT_EQ(expected.size(), 7u);
    // Folded ISO-2022-JP words; a From line folded before its address.
    EXPECT_EQ(expected[0], (MailSummary{cp932::FromUtf8("会議室変更のお知らせ（12月3日 定例会議）"),
                                        cp932::FromUtf8("佐藤 花子 <hanako.sato@example.co.jp>"),
                                        cp932::FromUtf8("2024年12月02日（") + SystemDayNames()[0] +
                                            cp932::FromUtf8("） 09:12:45")}));
    const QList<QSslCertificate> shown =
        QSslCertificate::fromPath(QString::fromStdString(server->File("server.pem")));
    ASSERT_EQ(shown.size(), 1);
    const std::string pin = shown.front().digest(QCryptographicHash::Sha256).toHex().toStdString();
    const std::string plain = "localhost:" + std::to_string(server->Port());
    const std::string pop3s = "pop3s://localhost:" + std::to_string(server->TlsPort());
    const std::string misnamed = "127.0.0.2:" + std::to_string(server->Port());
    const struct {
        const char* name;
        std::string host;
        bool knownAuthority;
        TlsPolicy security;
        uint8_t problems; // none: it verifies
    } cases[] = {
        {"STLS", plain, true, {true, ""}, 0},
        {"STLS, the texts from memory", plain, true, {}, 0},
        {"pop3s", pop3s, true, {}, 0},
        {"STLS, unknown authority", plain, false, {}, cpUnknownAuthority},
        {"pop3s, unknown authority", pop3s, false, {}, cpUnknownAuthority},
        {"the certificate trusted", plain, false, {false, pin}, 0},
        // clang-format off
        {"another than the one trusted", plain, false, {false, std::string(64, '0')}, cpUnknownAuthority},
        // clang-format on
        {"a name it does not carry", misnamed, true, {}, cpWrongName},
        {"a name it does not carry, trusted", misnamed, true, {false, pin}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrustOnly(c.knownAuthority ? server->File("ca.pem") : server->File("untrusted-ca.pem"));
        test::Pop3Client fetched;
        fetched.pop3.Security = c.security;
        Fetch(fetched, c.host, "pass word");
        const TlsOutcome tls = fetched.pop3.SecurityOutcome();
        const bool fails = c.problems != 0;
        EXPECT_EQ(fetched.error, fails ? 2 : 0);
        EXPECT_EQ(fetched.mails, fails ? std::vector<MailSummary>{} : expected);
        EXPECT_TRUE(tls.Offered);
        EXPECT_EQ(tls.Encrypted, !fails);
        EXPECT_EQ(tls.Verified, !fails && c.security.TrustedFingerprint != pin);
        EXPECT_EQ(tls.Failure, fails ? TlsFailure::Untrusted : TlsFailure::None);
        EXPECT_EQ(tls.Problems, c.problems);
        EXPECT_EQ(tls.FingerprintChanged, fails && !c.security.TrustedFingerprint.empty());
        if (fails) {
            EXPECT_EQ(tls.Fingerprint, pin);
            EXPECT_EQ(tls.Host, c.host.starts_with("127") ? "127.0.0.2" : "localhost");
        }
    }
}

} // namespace
} // namespace pim
