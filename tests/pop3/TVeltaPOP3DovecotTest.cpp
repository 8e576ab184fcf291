// The component against a real Dovecot: the demo's sample mailbox and mail of
// other kinds, a wrong password, and TLS (STLS and pop3s) with a trusted and an
// untrusted authority.
#include "common/Cp932.h"
#include "pop3/HeaderExtraction.h"
#include "pop3/TVeltaPOP3.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/MailGenerator.h"
#include "support/Pop3TestClient.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct Fetched {
    std::vector<MailSummary> mails;
    int count = -1;
    int error = 0;
    bool disconnected = false;
    TlsOutcome tls;
};

// Fetches every message the way a check does and returns what was reported.
Fetched FetchAll(const std::string& host, const std::string& user, const std::string& password,
                 const TlsPolicy& security = {}) {
    TVeltaPOP3 pop3;
    pop3.Security = security;
    Fetched result;
    int next = 1;
    const auto advance = [&] {
        if (next <= result.count)
            pop3.Retr(next++);
        else
            pop3.Quit();
    };
    pop3.OnConnect = [&](TVeltaPOP3* p, int count) {
        result.count = count;
        QMetaObject::invokeMethod(p, advance, Qt::QueuedConnection);
    };
    pop3.OnGetMailInformation = [&](TVeltaPOP3* p, const std::string& title,
                                    const std::string& sender, const std::string& date) {
        result.mails.push_back({title, sender, date});
        QMetaObject::invokeMethod(p, advance, Qt::QueuedConnection);
    };
    pop3.OnDisconnect = [&](TVeltaPOP3*) { result.disconnected = true; };
    pop3.OnError = [&](TVeltaPOP3* p, uint8_t error) {
        result.error = error;
        result.tls = p->SecurityOutcome();
    };
    EXPECT_TRUE(pop3.Connect(host, user, password));
    EXPECT_TRUE(test::RunUntil([&] { return result.disconnected || result.error; }, 30s));
    if (!result.error)
        result.tls = pop3.SecurityOutcome();
    return result;
}

std::string Sjis(const char* utf8) {
    return cp932::FromUtf8(utf8);
}

// The sample mailbox of the demo server and mail of other kinds.
std::vector<std::string> Mailbox() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(PIM_SAMPLE_MAILBOX))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> mail;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        mail.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // What the body says is not the message's title or date.
    mail.push_back(test::MakeMessage("", "a@example.jp", "Mon, 1 Jan 2001 00:00:00 +0900",
                                     "Subject: not this\nDate: Sun, 7 Jan 2001 00:00:00 +0900\n"));
    mail.push_back(test::MakeMessage("", "", "", "From: nobody\n.\n..\n"));
    // Far longer than what is kept of a message.
    std::string big = "Subject: big\r\nFrom: b@example.jp\r\n\r\n";
    while (big.size() < 300 * 1024)
        big += std::string(76, 'A') + "\r\n";
    mail.push_back(big);
    mail.push_back("Subject: no body\r\nFrom: c@example.jp\r\n");
    return mail;
}

// What RETR makes of the reply the server sends for a message.
MailSummary ByRetr(const std::string& reply) {
    struct Host : Pop3SessionHost {
        MailSummary got;
        bool SendLine(const std::string&) override { return true; }
        void StartTimer(Wait) override {}
        void StopTimer() override {}
        void StartSessionTimer() override {}
        void StopSessionTimer() override {}
        void CloseConnection() override {}
        void StartTls() override {}
        bool HandlesConnect() const override { return true; }
        void Connected(int) override {}
        void MailInformation(const MailSummary& summary) override { got = summary; }
        void Disconnected() override {}
        void Failed(uint8_t) override {}
    } host;
    Pop3Session session(host);
    session.Begin("u", "p");
    // A server that knows CAPA but not TOP.
    for (const char* line :
         {"+OK\r\n", "+OK\r\nUSER\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 0\r\n"})
        session.Receive(line);
    session.Retr(1);
    session.Receive(reply);
    return host.got;
}

class TVeltaPOP3Dovecot : public ::testing::Test {
protected:
    static inline test::DovecotServer* server = nullptr;
    // What RETR gave for each message.
    static inline std::vector<MailSummary> retrieved;

    static void SetUpTestSuite() {
        if (!test::DovecotServer::SkipReason(true).empty())
            return;
        const std::vector<std::string> mail = Mailbox();
        server = new test::DovecotServer;
        if (!server->Start({{"sample", "pass word", mail}}, true)) {
            ADD_FAILURE() << server->error() << server->Log();
            return;
        }
        test::Pop3TestClient client;
        ASSERT_TRUE(client.Connect(server->Port()) && client.ReadLine());
        client.Command("USER sample");
        client.Command("PASS pass word");
        for (size_t i = 1; i <= mail.size(); ++i) {
            ASSERT_TRUE(client.Send("RETR " + std::to_string(i) + "\r\n"));
            const auto reply = client.ReadMultiline();
            ASSERT_TRUE(reply);
            retrieved.push_back(ByRetr(*reply));
        }
    }

    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(true); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(server && server->Running());
        // The plain port offers STLS: every session is upgraded.
        original_ = QSslConfiguration::defaultConfiguration();
        TrustOnly(server->CaCertificatePath());
    }

    void TearDown() override { QSslConfiguration::setDefaultConfiguration(original_); }

    static void TrustOnly(const std::string& authority) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(authority)));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }

    QSslConfiguration original_;
};

// Dovecot offers TOP, UIDL and pipelining: the header alone gives what the whole
// message gave, the first time and from memory the second.
TEST_F(TVeltaPOP3Dovecot, TheHeaderGivesTheTextsOfTheWholeMessage) {
    for (int round = 0; round < 2; ++round) {
        const Fetched fetched =
            FetchAll("127.0.0.1:" + std::to_string(server->Port()), "sample", "pass word");
        EXPECT_EQ(fetched.error, 0);
        EXPECT_EQ(fetched.mails, retrieved) << "round " << round;
    }
    ASSERT_EQ(retrieved.size(), 10u);
    // Folded ISO-2022-JP words; a space does not continue a From line.
    EXPECT_EQ(retrieved[0],
              (MailSummary{Sjis("会議室変更のお知らせ（12月3日 定例会議）"), Sjis("佐藤 花子"),
                           Sjis("2024年12月02日（") + SystemDayNames()[0] + Sjis("） 09:12:45")}));
    EXPECT_EQ(retrieved[6].MailTitle, Sjis("（タイトル未設定）"));
    EXPECT_TRUE(retrieved[6].RecvTime.starts_with(Sjis("2001年01月01日")));
}

TEST_F(TVeltaPOP3Dovecot, AWrongPasswordIsReportedAsSuch) {
    const Fetched fetched =
        FetchAll("127.0.0.1:" + std::to_string(server->Port()), "sample", "wrong");
    EXPECT_EQ(fetched.error, 4);
    EXPECT_TRUE(fetched.mails.empty());
}

// What TLS does with each certificate, over STLS on the plain port and over pop3s.
TEST_F(TVeltaPOP3Dovecot, ACertificateIsUsedWhenItVerifiesOrIsTheOneTrusted) {
    const QList<QSslCertificate> shown =
        QSslCertificate::fromPath(QString::fromStdString(server->Folder() + "/tls/server.pem"));
    ASSERT_EQ(shown.size(), 1);
    const std::string pin = shown.front().digest(QCryptographicHash::Sha256).toHex().toStdString();
    const std::string otherPin(64, '0');
    // The account's host, and the name the certificate is checked against.
    const std::pair<std::string, std::string> plain = {
        "localhost:" + std::to_string(server->Port()), "localhost"};
    const std::pair<std::string, std::string> pop3s = {
        "pop3s://localhost:" + std::to_string(server->TlsPort()), "localhost"};
    const std::pair<std::string, std::string> misnamed = {
        "127.0.0.2:" + std::to_string(server->Port()), "127.0.0.2"};

    const auto ok = TlsFailure::None;
    const auto untrusted = TlsFailure::Untrusted;
    const struct {
        const char* name;
        std::pair<std::string, std::string> host;
        bool knownAuthority;
        TlsPolicy security;
        TlsFailure failure;
        uint8_t problems;
    } cases[] = {
        {"STLS", plain, true, {true, ""}, ok, 0},
        {"pop3s", pop3s, true, {}, ok, 0},
        {"STLS, unknown authority", plain, false, {}, untrusted, cpUnknownAuthority},
        {"pop3s, unknown authority", pop3s, false, {}, untrusted, cpUnknownAuthority},
        {"the certificate trusted", plain, false, {false, pin}, ok, 0},
        {"another than the one trusted",
         plain,
         false,
         {false, otherPin},
         untrusted,
         cpUnknownAuthority},
        {"a name it does not carry", misnamed, true, {}, untrusted, cpWrongName},
        {"a name it does not carry, trusted", misnamed, true, {false, pin}, ok, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrustOnly(c.knownAuthority ? server->CaCertificatePath()
                                   : server->UntrustedCaCertificatePath());
        const Fetched fetched = FetchAll(c.host.first, "sample", "pass word", c.security);
        const bool fails = c.failure != ok;
        EXPECT_EQ(fetched.error, fails ? 2 : 0);
        EXPECT_EQ(fetched.mails, fails ? std::vector<MailSummary>{} : retrieved);
        EXPECT_TRUE(fetched.tls.Offered);
        EXPECT_EQ(fetched.tls.Encrypted, !fails);
        EXPECT_EQ(fetched.tls.Failure, c.failure);
        EXPECT_EQ(fetched.tls.Problems, c.problems);
        EXPECT_EQ(fetched.tls.FingerprintChanged, fails && !c.security.TrustedFingerprint.empty());
        if (fails) {
            EXPECT_EQ(fetched.tls.Fingerprint, pin);
            EXPECT_EQ(fetched.tls.Host, c.host.second);
        }
    }
}

} // namespace
} // namespace pim
