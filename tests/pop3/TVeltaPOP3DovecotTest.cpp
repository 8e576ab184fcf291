// The component against a real Dovecot: the demo's sample mailbox, a wrong
// password, and TLS (STLS and pop3s) with a trusted and an untrusted authority.
#include "common/Cp932.h"
#include "pop3/TVeltaPOP3.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

using namespace std::chrono_literals;

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

class TVeltaPOP3Dovecot : public ::testing::Test {
protected:
    static inline test::DovecotServer* server = nullptr;
    // What the header of each message gives.
    static inline std::vector<MailSummary> expected;

    static void SetUpTestSuite() {
        if (!test::DovecotServer::SkipReason().empty())
            return;
        const std::set<std::filesystem::path> files(
            std::filesystem::directory_iterator(PIM_SAMPLE_MAILBOX), {});
        std::vector<std::string> mail;
        for (const auto& file : files)
            mail.push_back(test::ReadFile(file));
        mail.push_back("Subject: no body\r\nFrom: c@example.jp\r\n");
        for (const std::string& message : mail) {
            const size_t body = message.find("\r\n\r\n");
            expected.push_back(ExtractMailInformation(
                message.substr(0, body == std::string::npos ? body : body + 2)));
        }
        server = new test::DovecotServer;
        if (!server->Start({{"sample", "pass word", mail}}, true))
            ADD_FAILURE() << server->error();
    }
    static void TearDownTestSuite() { delete server; }

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(server && server->Running());
        // The plain port offers STLS: every session is upgraded.
        TrustOnly(server->CaCertificatePath());
    }
    void TearDown() override { QSslConfiguration::setDefaultConfiguration(original_); }

    static void TrustOnly(const std::string& authority) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(authority)));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }

    const QSslConfiguration original_ = QSslConfiguration::defaultConfiguration();
};

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
