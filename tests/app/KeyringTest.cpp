// The passwords in a real GNOME Keyring on a private bus: moved out of Pim.INI
// and back, read for checks, a locked keyring, a move cut short, accounts
// renamed, moved and deleted.
#include "app/CheckRunFakes.h"
#include "app/check/PasswordKeeper.h"
#include "common/HexKey.h"
#include "settings/FakePhonebook.h"
#include "settings/OptionRules.h"
#include "support/KeyringDaemon.h"
#include "support/MailboxServer.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QTimer>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;
using Outcome = PasswordKeeper::Outcome;
using Status = SecretService::Status;

const std::string kJapanese = cp932::FromUnicode(QStringLiteral("合言葉"));

// What an asynchronous call hands its callback; `none` when it never does.
template <typename T, typename Call>
T Await(Call call, T none = T{}) {
    std::optional<T> got;
    call([&](T value) { got = std::move(value); });
    EXPECT_TRUE(test::RunUntil([&] { return got.has_value(); }, 20s));
    return got.value_or(none);
}

class KeyringTest : public ::testing::Test {
protected:
    test::KeyringDaemon daemon;
    test::TempDir dir;
    std::string profile = dir.file("Pim.INI");
    std::function<QDBusConnection()> bus = [this] { return daemon.Bus().Bus(); };
    std::unique_ptr<PasswordKeeper> keeper = std::make_unique<PasswordKeeper>(bus, profile);
    SecretService secrets{bus};

    void SetUp() override {
        if (const QString reason = test::KeyringDaemon::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(daemon.Start()) << daemon.Bus().error().toStdString();
        Settings = TSettings{};
        Settings.SettingKeyring = true; // as Apply leaves it before the move
        Accounts = TAccounts{};
    }
    void TearDown() override { Settings = {}, Accounts = {}; }

    void Save() { ASSERT_TRUE(SaveSettings(profile, Settings, Accounts)); }
    // As a new start of the program finds them: what the file still holds moves
    // in without a prompt.
    void Restart() {
        test::FakePhonebook phonebook;
        LoadSettings(profile, phonebook, {}, Settings, Accounts);
        keeper = std::make_unique<PasswordKeeper>(bus, profile);
        if (Settings.SettingKeyring)
            Follow(true);
    }
    Outcome Follow(bool keyring, bool mayPrompt = false, PasswordKeeper* by = nullptr) {
        return Await([&](auto done) { (by ? by : keeper.get())->Follow(keyring, mayPrompt, done); },
                     Outcome::Incomplete);
    }
    static SecretService::Attributes Key(const std::string& host, const std::string& user) {
        return {{"application", "Pim"},
                {"server", QString::fromStdString(host)},
                {"user", QString::fromStdString(user)}};
    }
    // What the keyring holds for this host and user, as another program reads it.
    std::optional<std::string> Kept(const std::string& host, const std::string& user) {
        using Secret = std::optional<std::string>;
        return Await<Secret>([&](auto done) {
            secrets.Read(Key(host, user), false, [done](Status status, const QByteArray& secret) {
                Secret got;
                if (status == Status::Ok)
                    got = cp932::FromUnicode(QString::fromUtf8(secret));
                done(got);
            });
        });
    }
    // The labels of Pim's entries (the keyring unlocked), as its manager lists them.
    std::vector<std::string> Labels() {
        const QString service = QStringLiteral("org.freedesktop.secrets");
        const QDBusMessage found = daemon.Bus().Call(
            service, "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "SearchItems",
            {QVariant::fromValue(SecretService::Attributes{{"application", "Pim"}})});
        std::vector<std::string> labels;
        for (const auto& item : qdbus_cast<QList<QDBusObjectPath>>(found.arguments().value(0))) {
            const QDBusMessage label =
                daemon.Bus().Call(service, item.path(), "org.freedesktop.DBus.Properties", "Get",
                                  {"org.freedesktop.Secret.Item", "Label"});
            labels.push_back(qdbus_cast<QDBusVariant>(label.arguments().value(0))
                                 .variant()
                                 .toString()
                                 .toStdString());
        }
        std::ranges::sort(labels);
        return labels;
    }
    std::string InFile(size_t slot, const char* key = "Password") const {
        return DecodePassword(IniFile::Load(profile)
                                  .Value("Account" + std::to_string(slot), key, 1 << 16)
                                  .value_or(""));
    }
};

// In, each password leaves the file only once the keyring holds it, under the
// account's host and user and a name a person knows; a restart finds them there;
// a renamed or moved account's entry follows it and a deleted one's goes. Out,
// every one is back in the file, and the keyring holds none of Pim's. A refresh
// token (2 KB, as providers give) goes the same ways, and a rotated one replaces it.
TEST_F(KeyringTest, EachPasswordMovesInFollowsItsAccountAndComesBackOut) {
    Accounts[0] = {true, "Taro", "pop.example.jp", "taro", "pw-taro"};
    Accounts[1] = {true, "Hanako", "imaps://imap.example.jp", "hanako", kJapanese};
    Accounts[2] = {true, "Jiro", "pop.example.jp", "jiro", ""};
    Accounts[3] = {true, "Saburo", "imaps://imap.example.jp", "saburo", ""};
    Accounts[3].Auth = AccountAuth::OAuth2;
    const std::string grant = "1//" + std::string(2048, 'g');
    Accounts[3].OAuthRefreshToken = grant;
    Save();
    ASSERT_EQ(Follow(true), Outcome::Done);
    const std::string kept[] = {"pw-taro", kJapanese, "", grant};
    for (size_t slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(InFile(slot) + InFile(slot, "OAuthRefreshToken"), "") << slot;
        EXPECT_TRUE(keeper->Keeps(Accounts[slot])) << slot;
        EXPECT_EQ(Kept(Accounts[slot].HostName, Accounts[slot].UserID), kept[slot]);
    }
    const std::vector<std::string> labels = Labels();
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels[0], "Pim のメールアカウント「Hanako」（hanako @ imaps://imap.example.jp）");
    EXPECT_TRUE(Await<bool>([&](auto done) { keeper->Replace(Accounts[3], grant + "r", done); }));
    EXPECT_EQ(Kept("imaps://imap.example.jp", "saburo"), grant + "r");

    Restart();
    ASSERT_TRUE(Settings.SettingKeyring);
    EXPECT_EQ(Await<std::optional<std::string>>(
                  [&](auto done) { keeper->Read(Accounts[1], false, done); }),
              kJapanese);

    Accounts[0].Name = "Taro2";
    Accounts[1].HostName = "imaps://mail.example.jp";
    DeleteAccount(Accounts, 2);
    Save();
    ASSERT_EQ(Follow(true), Outcome::Done);
    EXPECT_EQ(Kept("imaps://mail.example.jp", "hanako"), kJapanese);
    EXPECT_FALSE(Kept("imaps://imap.example.jp", "hanako") || Kept("pop.example.jp", "jiro"));
    EXPECT_EQ(Labels().size(), 3u);

    ASSERT_EQ(Follow(false), Outcome::Done);
    EXPECT_TRUE(!Settings.SettingKeyring &&
                IniFile::Load(profile).Value("Setting", "SettingKeyring") == "0");
    EXPECT_EQ(InFile(0) + "|" + InFile(1), "pw-taro|" + kJapanese);
    EXPECT_EQ(Labels(), std::vector<std::string>{});
    Restart(); // the file's longer value comes back whole
    EXPECT_EQ(Accounts[2].OAuthRefreshToken, grant + "r");
}

// A check reads the password when it needs it and logs in with it. A locked
// keyring is never asked to unlock by a check nobody started, and once only by
// one the user started; its accounts end with the reason, no password is sent
// and the file is not touched.
TEST_F(KeyringTest, ChecksReadTheKeyringAndALockedOneSendsNoPassword) {
    test::MailboxServer server;
    server.Set("taro", test::Box({"t1"}, [](test::Mailbox& b) { b.password = "pw-taro"; }));
    server.Set("hanako", test::Box({"h1", "h2"}));
    Accounts[0] = {true, "Taro", server.Host(), "taro", "pw-taro"};
    Accounts[1] = {true, "Hanako", server.Host(), "hanako", "pw"};
    Save();
    ASSERT_EQ(Follow(true), Outcome::Done);
    const std::string file = test::ReadFile(profile);

    FakeStart start{Accounts, Settings};
    start.list.Passwords = keeper.get();
    ASSERT_TRUE(start.Check());
    const Results& shown = start.run.ShownResults();
    EXPECT_TRUE(shown[0].Count == 1 && shown[1].Count == 2 && server.passes == 2);

    ASSERT_TRUE(daemon.Lock());
    for (const auto sender : {CheckRun::Sender::Other, CheckRun::Sender::CheckButton}) {
        ASSERT_TRUE(start.Check(sender));
        for (size_t slot : {0, 1})
            EXPECT_EQ(std::to_string(shown[slot].Count) + cp932::ToUtf8(shown[slot].Reason),
                      "-5キーリングがロックされているため、パスワードを読めませんでした。"
                      "キーリングのロックを解除してから、もう一度チェックしてください。");
        EXPECT_EQ(daemon.Prompts(), sender == CheckRun::Sender::Other ? 0u : 1u);
    }
    EXPECT_EQ(server.passes, 2);
    EXPECT_EQ(test::ReadFile(profile), file);
}

// A move cut short (the keyring written, the program gone before the file was)
// leaves the password in both, and the next move ends it with one entry. A
// locked keyring moves nothing: each password stays in the file.
TEST_F(KeyringTest, AMoveCutShortOrRefusedLeavesEveryPasswordInTheFile) {
    Accounts[0] = {true, "Taro", "pop.example.jp", "taro", "pw-taro"};
    Save();
    ASSERT_EQ(Await<Status>([&](auto done) {
                  secrets.Write(Key("pop.example.jp", "taro"), "left over", "pw-taro", false, done);
              }),
              Status::Ok);
    Restart();
    EXPECT_TRUE(InFile(0).empty() && keeper->Keeps(Accounts[0]) && Labels().size() == 1);
    // A hand-edited password no charset holds cannot go in: it stays, and the move says so.
    Accounts[1] = {true, "Jiro", "pop.example.jp", "jiro", "\x81"};
    Save();
    EXPECT_TRUE(Follow(true) == Outcome::Incomplete && InFile(1) == "\x81");
    Accounts[1] = {};
    Save();

    ASSERT_TRUE(daemon.Lock());
    EXPECT_EQ(Follow(false), Outcome::Incomplete);
    EXPECT_TRUE(Settings.SettingKeyring &&
                IniFile::Load(profile).Value("Setting", "SettingKeyring") == "1");
    Accounts[0].Password = "pw-new"; // typed in the account editor and applied
    Save();
    EXPECT_EQ(Follow(true), Outcome::Incomplete);
    EXPECT_EQ(InFile(0) + "|" + Accounts[0].Password, "pw-new|pw-new");
}

// A keyring that starts after Pim is seen as it comes, without another question;
// until then a read says that none runs and a move moves nothing, and once it
// runs, a read says that it holds no such entry. Where it has no keyring yet,
// only a move the user started asks to make one (dismissed here: the password
// stays in the file).
TEST_F(KeyringTest, AKeyringStartedLaterIsSeenAndEachFailedReadSaysWhy) {
    test::KeyringDaemon later;
    ASSERT_TRUE(later.Bus().Start()) << later.Bus().error().toStdString();
    PasswordKeeper waiting{[&] { return later.Bus().Bus(); }, profile};
    EXPECT_FALSE(Await<bool>([&](auto done) { waiting.Probe(done); }, true));
    PasswordKeeper busless{[] { return QDBusConnection(QStringLiteral("none")); }, profile};
    EXPECT_FALSE(Await<bool>([&](auto done) { busless.Probe(done); }, true));
    TAccount account{true, "Taro", "pop.example.jp", "taro", ""};
    account.Keyring = TAccount::KeyringEntry{"Taro", "pop.example.jp", "taro"};
    const auto read = [&] {
        Await<std::optional<std::string>>([&](auto done) { waiting.Read(account, false, done); });
        return waiting.LastFailure();
    };
    EXPECT_EQ(read(), PasswordStore::Unreadable::NotRunning);
    Accounts[0] = {true, "Taro", "pop.example.jp", "taro", "pw-taro"};
    Save();
    EXPECT_EQ(Follow(true, true, &waiting), Outcome::Unavailable);
    ASSERT_TRUE(later.StartKeyring(false)) << later.Bus().error().toStdString();
    EXPECT_TRUE(test::RunUntil([&] { return waiting.Available(); }, 20s));
    EXPECT_EQ(read(), PasswordStore::Unreadable::Missing);
    for (const bool userStarted : {false, true}) {
        EXPECT_EQ(Follow(true, userStarted, &waiting), Outcome::Incomplete);
        EXPECT_EQ(later.Prompts(), userStarted ? 1u : 0u);
    }
    EXPECT_EQ(InFile(0), "pw-taro");
}

// The first account deleted and applied at any moment of a move out: the other
// account, now in its slot, gets its own password or the move stops with each
// password where it was; never the deleted one's.
TEST_F(KeyringTest, AnAccountMovedToAnotherSlotDuringAMoveOutKeepsItsOwnPassword) {
    for (int passes = 1;; passes += 1 + passes / 8) {
        SCOPED_TRACE(passes);
        Settings.SettingKeyring = true;
        Accounts = {};
        Accounts[0] = {true, "a", "pop-a.example", "taro", "pw-a"};
        Accounts[1] = {true, "b", "pop-b.example", "jiro", "pw-b"};
        Save();
        ASSERT_EQ(Follow(true), Outcome::Done);
        int seen = 0;
        QTimer apply;
        QObject::connect(&apply, &QTimer::timeout, [&] {
            if (++seen == passes) {
                Accounts[0] = std::exchange(Accounts[1], {});
                Save();
            }
        });
        apply.start(0);
        const Outcome outcome = Follow(false);
        if (seen < passes)
            break; // the move was over before the change: every moment has been tried
        // In the file, or still in the keyring.
        EXPECT_EQ(
            Accounts[0].UserID + " " +
                (outcome == Outcome::Done ? InFile(0) : Kept("pop-b.example", "jiro").value_or("")),
            "jiro pw-b");
    }
}

} // namespace
} // namespace pim
