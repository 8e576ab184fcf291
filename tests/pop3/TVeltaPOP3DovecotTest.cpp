// The component against a real Dovecot: realistic Japanese mail, a large
// attachment, a wrong password, and TLS with a trusted and an untrusted authority.
#include "common/Cp932.h"
#include "pop3/HeaderExtraction.h"
#include "pop3/TVeltaPOP3.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/MailGenerator.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;
using test::MailUser;

struct Fetched {
    std::vector<MailSummary> mails;
    int count = -1;
    int error = 0;
    bool disconnected = false;
};

// Fetches every message the way a check does and returns what was reported.
Fetched FetchAll(const std::string& host, const std::string& user, const std::string& password) {
    TVeltaPOP3 pop3;
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
    pop3.OnError = [&](TVeltaPOP3*, uint8_t error) { result.error = error; };
    EXPECT_TRUE(pop3.Connect(host, user, password));
    EXPECT_TRUE(test::RunUntil([&] { return result.disconnected || result.error; }, 30s));
    return result;
}

std::string Sjis(const char* utf8) {
    return cp932::FromUtf8(utf8);
}

class TVeltaPOP3Dovecot : public ::testing::Test {
protected:
    static inline test::DovecotServer* server = nullptr;
    static inline std::vector<MailSummary> expected;

    static void SetUpTestSuite() {
        if (!test::DovecotServer::SkipReason(true).empty())
            return;
        MailUser hanako{"hanako", "pass word", {}};
        hanako.messages = {
            test::MakeMessage(
                test::EncodeIso2022JpHeader("来週の定例会議の議題と会議室の変更についてのお知らせ"),
                test::EncodeIso2022JpHeader("佐藤 太郎", 6) + " <taro@example.jp>",
                "Fri, 5 Jan 2001 10:00:00 +0900", test::ToIso2022Jp("よろしく。\n")),
            test::MakeAttachmentMessage(test::EncodeIso2022JpHeader("【資料送付】売上報告書"),
                                        "keiri@example.jp", "Sun, 7 Jan 2001 23:59:01 +0900",
                                        test::ToIso2022Jp("資料を添付します。\n")),
            test::MakeMessage(test::EncodeUtf8Word("ご注文の発送 🚚"), "shop@example.com", "",
                              "Thanks\n"),
        };
        const auto date = [](int weekday, const char* day, const char* time) {
            return Sjis(day) + Sjis("（") + SystemDayNames()[static_cast<size_t>(weekday)] +
                   Sjis("） ") + time;
        };
        expected = {
            {Sjis("来週の定例会議の議題と会議室の変更についてのお知らせ"),
             Sjis("佐藤 太郎 <taro@example.jp>"), date(4, "2001年01月05日", "10:00:00")},
            {Sjis("【資料送付】売上報告書"), "keiri@example.jp",
             date(6, "2001年01月07日", "23:59:01")},
            {Sjis("ご注文の発送 〓"), "shop@example.com", Sjis("（受信日時不明）")},
        };
        server = new test::DovecotServer;
        if (!server->Start({hanako}, true))
            ADD_FAILURE() << server->error() << server->Log();
    }

    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(true); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(server && server->Running());
    }

    static void TrustOnly(const std::string& authority) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(authority)));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
};

TEST_F(TVeltaPOP3Dovecot, ReadsEveryMessageWithItsThreeTexts) {
    const Fetched fetched =
        FetchAll("127.0.0.1:" + std::to_string(server->Port()), "hanako", "pass word");
    EXPECT_EQ(fetched.error, 0);
    EXPECT_TRUE(fetched.disconnected);
    EXPECT_EQ(fetched.count, 3);
    EXPECT_EQ(fetched.mails, expected);
}

TEST_F(TVeltaPOP3Dovecot, AWrongPasswordIsReportedAsSuch) {
    const Fetched fetched =
        FetchAll("127.0.0.1:" + std::to_string(server->Port()), "hanako", "wrong");
    EXPECT_EQ(fetched.error, 4);
    EXPECT_TRUE(fetched.mails.empty());
}

TEST_F(TVeltaPOP3Dovecot, TlsWorksWithATrustedAuthorityAndRefusesAnUnknownOne) {
    const std::string host = "pop3s://localhost:" + std::to_string(server->TlsPort());
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();

    TrustOnly(server->CaCertificatePath());
    const Fetched trusted = FetchAll(host, "hanako", "pass word");
    EXPECT_EQ(trusted.error, 0);
    EXPECT_EQ(trusted.mails, expected);

    TrustOnly(server->UntrustedCaCertificatePath());
    const Fetched untrusted = FetchAll(host, "hanako", "pass word");
    EXPECT_EQ(untrusted.error, 2);
    EXPECT_EQ(untrusted.count, -1);

    QSslConfiguration::setDefaultConfiguration(original);
}

} // namespace
} // namespace pim
