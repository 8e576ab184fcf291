// The OAuth sign-in's messages: what goes to the provider and the mail server,
// and what comes back from them, hostile answers included.
#include "mail/SaslToken.h"
#include "oauth/AuthServer.h"
#include "oauth/LoopbackRedirect.h"
#include "oauth/OAuthClient.h"
#include "oauth/RedirectRequest.h"
#include "oauth/TokenEndpoint.h"
#include "oauth/TokenReply.h"
#include "support/EventLoop.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

const OAuthClient kClient{QStringLiteral("https://login.example/authorize?tenant=a%26b"),
                          QStringLiteral("https://login.example/token"), QStringLiteral("app-1"),
                          QString(), QStringLiteral("imap offline_access")};

// The server of the whole sign-in checks the S256 challenge; a verifier or
// state repeated would pass it.
TEST(OAuthClientTest, EachSignInGetsItsOwnVerifierAndState) {
    EXPECT_NE(MakePkce().verifier, MakePkce().verifier);
    EXPECT_NE(MakeState(), MakeState());
}

// What the tests' own provider checks (the code, S256, the redirect, the state,
// the challenge) its sign-in walks show.
TEST(OAuthClientTest, AuthorizationUrlCarriesEveryFieldWithoutOneLeakingIntoAnother) {
    const QUrl url = AuthorizationUrl(kClient, QStringLiteral("http://127.0.0.1:5000/"), "st-1",
                                      "ch-1", QStringLiteral("taro+news@example.jp"));
    EXPECT_EQ(url.host(), QStringLiteral("login.example"));
    QStringList values;
    for (const char* name : {"tenant", "client_id", "scope"})
        values << QUrlQuery(url).queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    EXPECT_EQ(values, (QStringList{"a&b", "app-1", "imap offline_access"}));
    // A '+' left bare would reach the provider as a space.
    EXPECT_TRUE(url.toEncoded().contains("login_hint=taro%2Bnews%40example.jp"));
    // Microsoft gets the localhost name it was registered with, others the address.
    OAuthClient microsoft = kClient;
    microsoft.authorizeUrl = QStringLiteral("https://login.microsoftonline.com/common/authorize");
    EXPECT_EQ(RedirectUri(kClient, 5000) + RedirectUri(microsoft, 5),
              QStringLiteral("http://127.0.0.1:5000/http://localhost:5/"));
}

TEST(OAuthClientTest, TokenRequestsAreFormEncodedAndLeaveOutAnEmptySecret) {
    EXPECT_EQ(CodeExchangeBody(kClient, "c+/=", "v-1", QStringLiteral("http://localhost:9/")),
              "grant_type=authorization_code&code=c%2B%2F%3D&redirect_uri=http%3A%2F%2F"
              "localhost%3A9%2F&client_id=app-1&code_verifier=v-1");
    OAuthClient google = kClient;
    google.clientSecret = QStringLiteral("s&1");
    EXPECT_EQ(RefreshBody(google, "r 1"),
              "grant_type=refresh_token&refresh_token=r%201&client_id=app-1&client_secret=s%261");
}

TEST(OAuthClientTest, OnlyAClientWithAnIdAndHttpsEndpointsCanSignIn) {
    const std::tuple<const char*, const char*, const char*, OAuthClientProblem> rows[] = {
        {"https://a.example/auth", "https://a.example/token", "id", OAuthClientProblem::None},
        {"https://a.example/auth", "https://a.example/token", " ", OAuthClientProblem::NoClientId},
        {"http://a.example/auth", "https://a.example/token", "id", OAuthClientProblem::NotHttps},
        {"https://a.example/auth", "https:///token", "id", OAuthClientProblem::NotHttps},
    };
    for (const auto& [authorize, token, id, problem] : rows)
        EXPECT_EQ(ProblemOf({QString::fromLatin1(authorize), QString::fromLatin1(token),
                             QString::fromLatin1(id), QString(), QString()}),
                  problem)
            << authorize << " " << token;
}

TEST(TokenReplyTest, OnlyTokensThatCanGoOutUnchangedAreGranted) {
    const QByteArray huge = "{\"access_token\":\"" + QByteArray(kMaxTokenReply, 'a') + "\"}";
    // Each: its name, the body, then the outcome, refresh token, lifetime and error read.
    using Row = std::tuple<const char*, QByteArray, TokenOutcome, const char*, int, const char*>;
    const Row rows[] = {
        {"full", R"({"access_token":"ya29.a-b_c~d+e/f==","token_type":"Bearer",
            "refresh_token":"1//0g-x","expires_in":3599})",
         TokenOutcome::Granted, "1//0g-x", 3599, ""},
        {"lifetime as text, no rotation", R"({"access_token":"t","expires_in":"60"})",
         TokenOutcome::Granted, "", 60, ""},
        {"no lifetime", R"({"access_token":"t","token_type":"bearer","expires_in":-5})",
         TokenOutcome::Granted, "", 0, ""},
        {"centuries", R"({"access_token":"t","expires_in":1e30})", TokenOutcome::Granted, "",
         365 * 24 * 3600, ""},
        {"revoked", R"({"error":"invalid_grant","error_description":"Token has been\nrevoked."})",
         TokenOutcome::InvalidGrant, "", 0, "invalid_grant: Token has been revoked."},
        {"other error", R"({"error":"invalid_client"})", TokenOutcome::Refused, "", 0,
         "invalid_client"},
        {"not JSON", "<html>502</html>", TokenOutcome::Malformed, "", 0, ""},
        {"no token", R"({"token_type":"Bearer"})", TokenOutcome::Malformed, "", 0, ""},
        {"another type", R"({"access_token":"t","token_type":"mac"})", TokenOutcome::Malformed, "",
         0, ""},
        {"separator in token", "{\"access_token\":\"t\\u0001auth=x\"}", TokenOutcome::Malformed, "",
         0, ""},
        {"padding inside", R"({"access_token":"t=u"})", TokenOutcome::Malformed, "", 0, ""},
        {"padding alone", R"({"access_token":"=="})", TokenOutcome::Malformed, "", 0, ""},
        {"refresh not ASCII", R"({"access_token":"t","refresh_token":"r\u00e9"})",
         TokenOutcome::Malformed, "", 0, ""},
        {"too large", huge, TokenOutcome::Malformed, "", 0, ""},
    };
    for (const auto& [name, body, outcome, refresh, expiresIn, error] : rows) {
        SCOPED_TRACE(name);
        const TokenReply reply = ReadTokenReply(body);
        EXPECT_EQ(reply.outcome, outcome);
        EXPECT_EQ(reply.refreshToken, QByteArray(refresh));
        EXPECT_EQ(reply.expiresIn, expiresIn);
        EXPECT_EQ(reply.error, QString::fromUtf8(error));
        EXPECT_EQ(reply.accessToken.isEmpty(), outcome != TokenOutcome::Granted);
    }
}

TEST(RedirectRequestTest, OnlyTheRedirectOfThisSignInEndsTheWait) {
    const auto get = [](const char* target) {
        return "GET " + QByteArray(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    };
    using V = RedirectVerdict;
    // Each: its name, the request's head, then the verdict, status, code and error.
    const std::tuple<const char*, QByteArray, V::Kind, int, const char*, const char*> rows[] = {
        {"head not ended", "GET /?code=1&state=s HTTP/1.1\r\n", V::Incomplete, 0, "", ""},
        {"endless head", QByteArray(kMaxRedirectRequest + 1, 'G'), V::Ignored, 400, "", ""},
        {"the redirect", get("/?code=4%2F0A-b&state=s&scope=x"), V::Code, 200, "4/0A-b", ""},
        {"another path", get("/x?code=1&state=s"), V::Ignored, 404, "", ""},
        {"wrong state", get("/?code=1&state=t"), V::Ignored, 400, "", ""},
        {"no state", get("/?code=1"), V::Ignored, 400, "", ""},
        {"no code", get("/?state=s"), V::Ignored, 400, "", ""},
        {"posted", "POST /?code=1&state=s HTTP/1.1\r\n\r\n", V::Ignored, 405, "", ""},
        {"not HTTP", "GET /?code=1&state=s\r\n\r\n", V::Ignored, 400, "", ""},
        {"refused", get("/?error=access_denied&error_description=The+user+said%0Ano&state=s"),
         V::Denied, 200, "", "access_denied: The user said no"},
        {"refused elsewhere", get("/?error=access_denied&state=t"), V::Ignored, 400, "", ""},
    };
    for (const auto& [name, head, kind, status, code, error] : rows) {
        SCOPED_TRACE(name);
        const RedirectVerdict verdict = ReadRedirect(head, "s");
        EXPECT_EQ(verdict.kind, kind);
        EXPECT_EQ(verdict.status, status);
        EXPECT_EQ(verdict.code, QByteArray(code));
        EXPECT_EQ(verdict.error, QString::fromUtf8(error));
    }
    EXPECT_EQ(ReadRedirect(get("/?code=1&state="), "").kind, V::Ignored);
}

// What a local program or the browser gets back for one request head.
QByteArray Ask(const QHostAddress& address, quint16 port, const QByteArray& head) {
    QTcpSocket socket;
    bool refused = false;
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] { refused = true; });
    socket.connectToHost(address, port);
    test::RunUntil([&] { return refused || socket.state() == QAbstractSocket::ConnectedState; },
                   5s);
    if (socket.state() != QAbstractSocket::ConnectedState)
        return "no connection";
    socket.write(head);
    QByteArray answer;
    test::RunUntil(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5s);
    return answer + socket.readAll();
}

TEST(LoopbackRedirectTest, ProbesAreAnsweredAndOnlyTheRedirectEndsTheSignInOnEitherLoopback) {
    LoopbackRedirect listener;
    QByteArray code;
    int told = 0;
    QObject::connect(&listener, &LoopbackRedirect::codeReceived, [&](const QByteArray& c) {
        code = c;
        ++told;
    });
    ASSERT_TRUE(listener.Listen("s1"));
    const quint16 port = listener.Port();
    // Twice as many probes as it holds at once: answered ones leave room for the redirect.
    for (int i = 0; i < 2 * LoopbackRedirect::kMaxConnections; ++i)
        EXPECT_TRUE(Ask(QHostAddress::LocalHost, port, "GET /favicon.ico HTTP/1.1\r\n\r\n")
                        .startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(Ask(QHostAddress::LocalHost, port, "GET /?code=x&state=s2 HTTP/1.1\r\n\r\n")
                    .startsWith("HTTP/1.1 400"));
    EXPECT_EQ(told, 0);
    QTcpSocket probe6;
    probe6.connectToHost(QHostAddress::LocalHostIPv6, port);
    const bool v6 =
        test::RunUntil([&] { return probe6.state() == QAbstractSocket::ConnectedState; }, 2s);
    const QHostAddress browser = v6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;
    EXPECT_TRUE(Ask(browser, port, "GET /?code=c%2F1&state=s1 HTTP/1.1\r\n\r\n")
                    .startsWith("HTTP/1.1 200"));
    EXPECT_EQ(told, 1);
    EXPECT_EQ(code, "c/1");
    // Closed once it has its code.
    EXPECT_EQ(Ask(QHostAddress::LocalHost, port, "GET / HTTP/1.1\r\n\r\n"), "no connection");
}

// Outside https it is never asked; an answer that trickles in is cut at the time
// the whole answer has, not the time of each byte.
TEST(TokenEndpointTest, AnEndpointOutsideHttpsIsNeverAskedAndASlowAnswerIsCut) {
    test::AuthServer server;
    ASSERT_TRUE(server.Running());
    TokenEndpoint endpoint;
    endpoint.TimeOutMs = 1000;
    QString reason;
    QObject::connect(&endpoint, &TokenEndpoint::unreachable, [&](const QString& r) { reason = r; });
    for (const QString& url :
         {QStringLiteral("http://127.0.0.1:9/token"), server.Url("/trickle")}) {
        reason.clear();
        endpoint.Post(url, "refresh_token=r");
        EXPECT_TRUE(test::RunUntil([&] { return !reason.isEmpty(); }, 5s)) << url.toStdString();
    }
    EXPECT_EQ(reason.toStdString(), "トークンの応答がありません");
}

// The transcripts pin both responses byte for byte.
TEST(SaslTokenTest, ANameCannotEndTheHeaderEarlyAndEachAbortIsItsMechanisms) {
    EXPECT_EQ(TokenResponse(TokenMechanism::OAuthBearer, "a,b=c", {}, 0, "t"),
              "n,a=a=2Cb=3Dc,\1auth=Bearer t\1\1");
    EXPECT_EQ(AbortResponse(TokenMechanism::OAuthBearer), std::string_view("\1", 1));
    EXPECT_TRUE(AbortResponse(TokenMechanism::XOAuth2).empty());
}

TEST(SaslTokenTest, ARefusalsStatusIsReadBoundedAndPrintable) {
    const std::pair<std::string, std::string> rows[] = {
        {R"({"status":"invalid_token","scope":"x"})", "invalid_token"},
        {R"({"status":400})", "400"},
        {R"({"status":"a\nb"})", "a?b"},
        {"{\"status\":\"" + std::string(100, 'x') + "\"}", std::string(64, 'x')},
        {"not json", ""},
    };
    for (const auto& [json, status] : rows)
        EXPECT_EQ(TokenRefusalStatus(json), status) << json;
}

} // namespace
} // namespace pim
