// What a check found is kept across restarts: the real POP3 component with ids
// (UIDL) against the loopback server, and the file as a hand or a crash leaves it.
#include "app/check/SeenMail.h"

#include "app/CheckRunFakes.h"
#include "support/MailboxServer.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;
using test::Box;

// One start of the program with its own memory of the last checks.
struct Start : FakeStart {
    SeenMail seen;
    Start(TAccounts& accounts, const std::string& profile, const std::string& folder,
          const TSettings& settings = kDefaults)
        : FakeStart(accounts, settings), seen(profile, folder) {
        list.Seen = &seen;
    }
    // The messages of the account in slot 0 after a check, as N (new) and . (old).
    std::string Marks() {
        EXPECT_TRUE(FakeStart::Check());
        std::string marks;
        for (int j = 0; j < std::min(run.ShownResults()[0].Count, kMaxMails); ++j)
            marks += run.ShownResults()[0].IsNew(j) ? 'N' : '.';
        return marks;
    }
    static inline const TSettings kDefaults{};
};

TEST(SeenMail, AfterARestartOnlyWhatCameMeanwhileIsNewEvenAfterAFailedFirstCheck) {
    test::TempDir dir;
    const std::string profile = dir.file("Pim.INI"), folder = dir.file("state/Pim");
    test::MailboxServer server;
    server.listsIds = true;
    TAccounts accounts{};
    accounts[0] = {true, "a", server.Host(), "a", "pw"};
    accounts[1] = {true, "b", server.Host(), "b", "pw"};
    server.Set("a", Box({"one", "two"}));
    server.Set("b", Box({"b1"}));
    EXPECT_EQ(Start(accounts, profile, folder).Marks(), "NN");

    server.Set("a", Box({"one", "two", "three"}));
    {
        Start again(accounts, profile, folder);
        EXPECT_EQ(again.Marks(), "..N");
        EXPECT_TRUE(again.host.last.Changed);
    }
    // A restart whose first check fails still knows the list at the next.
    server.Set("a", Box({"two", "three", "four"}, [](test::Mailbox& b) { b.password = "x"; }));
    Start third(accounts, profile, folder);
    third.Marks();
    EXPECT_EQ(third.run.ShownResults()[0].Count, -4);
    server.Set("a", Box({"two", "three", "four"}));
    EXPECT_EQ(third.Marks(), "..N");

    // The file is the user's alone; a removed account is forgotten with the next save.
    using std::filesystem::perms;
    EXPECT_EQ(std::pair(std::filesystem::status(third.seen.FilePath()).permissions() & perms::all,
                        std::filesystem::status(folder).permissions() & perms::all),
              std::pair(perms::owner_read | perms::owner_write, perms::owner_all));
    accounts[1] = {};
    third.Marks();
    EXPECT_TRUE(!SeenMail(profile, folder).Before(server.Host(), "b") &&
                SeenMail(profile, folder).Before(server.Host(), "a"));
    // Another Pim.INI has a memory of its own.
    EXPECT_FALSE(SeenMail(dir.file("other/Pim.INI"), folder).Before(server.Host(), "a"));
    // Closed while the run hangs up its connection: nothing of it was shown, so
    // nothing of it counts as seen.
    TSettings hangsUp;
    hangsUp.SettingDeconnect = true;
    server.Set("a", Box({"two", "three", "four", "five"}));
    {
        Start closing(accounts, profile, folder, hangsUp);
        closing.dialup.onHangUp = [&] { closing.run.Abandon(); };
        closing.run.pbCheckClick(CheckRun::Sender::Other);
        EXPECT_TRUE(test::RunUntil([&] { return closing.dialup.hangUps > 0; }, 10s));
    }
    EXPECT_EQ(Start(accounts, profile, folder).Marks(), "...N");
}

TEST(SeenMail, ADamagedOrHandEditedFileGivesWhatIsSoundInItAndNoMore) {
    test::TempDir dir;
    const std::string profile = dir.file("Pim.INI");
    // Odd bytes in hosts, users and ids survive the round trip.
    SeenMail seen(profile, dir.path());
    AccountResult found;
    found.Count = 300;
    for (int j = 0; j < kMaxMails; ++j)
        found.Ids[size_t(j)] = "id %\n " + std::to_string(j);
    seen.Keep("h\n1", "u 1", found);
    seen.Save({TAccount{true, "n", "h\n1", "u 1", ""}});
    const auto back = SeenMail(profile, dir.path()).Before("h\n1", "u 1");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->Count == 300 && back->Ids == found.Ids);

    const std::string header =
        "Pim seen mail 1\nP " +
        QByteArray::fromStdString(profile).toPercentEncoding().toStdString() + "\n";
    const std::string longId(SeenMail::kMaxIdBytes + 1, 'x');
    std::string many = header + "A h u 3\n";
    for (int j = 0; j < 300; ++j)
        many += "I " + std::to_string(j) + "\n";
    // What the file says, and the ids Before gives for host h, user u (empty: nothing).
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {header + "A h u 2\nI a\nI b\n", {"a", "b"}},
        {header + "A h u -1\nI a\n", {}},
        {header + "A h u 2x\nI a\n", {}},
        {header + "I a\nA h u 1\nI " + longId + "\nI\nI b c\nI d\n", {"d"}},
        {"Pim seen mail 2\n" + header.substr(header.find('\n') + 1) + "A h u 1\nI a\n", {}},
        {"Pim seen mail 1\nP other\nA h u 1\nI a\n", {}},
        {std::string(SeenMail::kMaxFileBytes + 1, '\n'), {}},
        {std::string("\0\xff garbage", 11), {}},
    };
    for (const auto& [text, ids] : rows) {
        SeenMail probe(profile, dir.path());
        test::WriteFile(probe.FilePath(), text);
        const auto before = probe.Before("h", "u");
        std::vector<std::string> got;
        for (int j = 0; before && j < kMaxMails && !before->Ids[size_t(j)].empty(); ++j)
            got.push_back(before->Ids[size_t(j)]);
        EXPECT_EQ(got, ids) << text.substr(0, 80);
    }
    SeenMail probe(profile, dir.path());
    test::WriteFile(probe.FilePath(), many);
    ASSERT_TRUE(probe.Before("h", "u"));
    EXPECT_EQ(probe.Before("h", "u")->Ids[kMaxMails - 1], "254") << "the first 255 are read";
}

} // namespace
} // namespace pim
