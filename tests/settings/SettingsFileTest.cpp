#include "settings/SettingsFile.h"

#include "FakePhonebook.h"
#include "common/Cp932.h"
#include "settings/IniFile.h"
#include "settings/ProfileLocation.h"
#include "support/TempDir.h"

#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pim {
namespace {

namespace fs = std::filesystem;

// Runs `body` in a child, as nobody when `unprivileged` (root may write anywhere),
// ended by an alarm rather than hanging; its exit status, -1 after a signal.
int InChild(const std::function<int()>& body, bool unprivileged = false) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(unprivileged && ::geteuid() == 0 && ::setuid(65534) != 0 ? 100 : body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names, modes and sizes: any replacement or left-over temporary file shows.
std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> listing;
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        listing.insert(entry.path().filename().string() + " " + std::to_string(info.st_mode) + " " +
                       std::to_string(info.st_size));
    }
    return listing;
}

using test::FakePhonebook;

class SettingsFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("Pim.INI");
    FakePhonebook phonebook;
    TSettings settings;
    TAccounts accounts;

    IniFile::LoadStatus Load(ScreenSize screen = {1024, 768}) {
        return LoadSettings(path, phonebook, screen, settings, accounts);
    }
    void LoadText(const std::string& text) { test::WriteFile(path, text), Load(); }
    std::optional<std::string> Value(const char* section, const char* key) const {
        return IniFile::Load(path).Value(section, key);
    }
    static TSettings Centred() {
        TSettings s;
        return s.Left = 337, s.Top = 234, s;
    }
    static TAccount Account(int i) {
        const std::string n = std::to_string(i);
        return {i % 2 == 0, "name" + n, "pop" + n + ".example", "user" + n, "pw" + n};
    }
    void SaveAccounts(int count) {
        TAccounts table{};
        for (int i = 0; i < count; ++i)
            table[size_t(i)] = Account(i);
        ASSERT_TRUE(SaveSettings(path, settings, table));
    }
};

// Every key other than its default, read and written back byte for byte in the
// order a fresh file has; passwords of every byte value.
TEST_F(SettingsFileTest, EveryKeyAndPasswordsOfEveryByteValueRoundTripInWritingOrder) {
    const std::string text =
        "[Setting]\r\nMailerPath=/usr/bin/mail reader\r\nMailerOption=-a \"%1\" \\x\r\n"
        "MailerIcon=3\r\nMailerMinimized=1\r\nMailerAutoRun=1\r\nMailerAutoRunSameCheck=1\r\n"
        "ScheduleRun=1\r\nScheduleDialup=1\r\nScheduleTime=1\r\nScheduleTimeCount=999\r\n"
        "ScheduleTimeout=1\r\nScheduleTimeoutCount=20\r\nScheduleTimeInfo=1\r\nSettingTask=1\r\n"
        "SettingTaskbar=1\r\nSettingEndCheck=0\r\nSettingCountOnly=1\r\nSettingRunHide=1\r\n"
        "SettingAnimation=0\r\nSettingDeconnect=1\r\nSettingAutoShow=0\r\n"
        "SettingAutoShowCheck=1\r\nSettingAutoShowChange=1\r\nSettingInfoOpen=0\r\n"
        "SettingOldMailNotShow=1\r\nSettingNewestFirst=1\r\nSettingMailerHide=1\r\n"
        "SettingNotification=0\r\n"
        "[Customize]\r\nCustomizeDial=2\r\nCustomizeDialName=\x83\x76\x83\x8D\x83\x6F\r\n"
        "[Schedule]\r\nDialMailNonDisconnect=1\r\nDialExistingNonDisconnect=1\r\n"
        "[Sound]\r\nKind=2\r\nWaveRecv=/home/u/new mail.wav\r\nSameCheck=1\r\n"
        "[FPN]\r\nLogin=1\r\nPasswordCheck=1\r\nPassword=BBFCFD\r\n"
        "[MainWindow]\r\nType=1\r\nLeft=-20\r\nTop=4000\r\nWidth=640\r\nHeight=480\r\n";
    LoadText(text);
    const TSettings read = settings;
    TAccounts table{TAccount{true, "\x83\x81\x83\x43\x83\x8B", "pop.example.jp", "u", "p=a;s[s]"}};
    for (int b = 0; b < 256; ++b) // in four accounts
        table[size_t(1 + b / 64)] = {true, "n", "h", "u",
                                     table[size_t(1 + b / 64)].Password + char(b)};
    fs::remove(path);
    ASSERT_TRUE(SaveSettings(path, read, table) && SaveMainWindow(path, read));
    const std::string bytes = test::ReadFile(path);
    EXPECT_EQ(bytes.substr(bytes.find("[Setting]")), text);
    EXPECT_LT(bytes.find("[Account5]"), bytes.find("[Setting]"));
    Load();
    EXPECT_EQ(settings, read);
    EXPECT_EQ(accounts, table);
}

// Twenty accounts need no end marker; fewer write one and leave later sections,
// but not their secrets; an empty HostName ends the list.
TEST_F(SettingsFileTest, TheAccountListEndsAtTheEndMarkerOrAfterTwenty) {
    SaveAccounts(20);
    EXPECT_EQ(Value("Account20", "HostName"), std::nullopt);
    Load();
    EXPECT_EQ(accounts[19], Account(19));
    SaveAccounts(3);
    EXPECT_EQ(*Value("Account3", "Enabled") + *Value("Account3", "HostName"), "0");
    EXPECT_EQ(Value("Account4", "HostName"), "pop4.example");
    EXPECT_EQ(*Value("Account4", "Password") + *Value("Account19", "Password"), "");
    Load();
    EXPECT_TRUE(accounts[2] == Account(2) && accounts[3] == TAccount{} &&
                accounts[4] == TAccount{});
    LoadText("[Account0]\r\nEnabled=1\r\nName=a\r\nHostName=h\r\n[Account1]\r\nName=b\r\n"
             "HostName=\r\nPassword=509192\r\n[Account2]\r\nName=c\r\nHostName=h2\r\n");
    EXPECT_EQ(accounts[0], (TAccount{true, "a", "h", "", ""}));
    EXPECT_EQ(accounts[1], (TAccount{false, "b", "", "", "AB"}));
    EXPECT_EQ(accounts[2], TAccount{});
}

// Written only where set, by the run-time save to its own account alone (not to
// another one in that slot after a hand edit); moved up, the slot left keeps the
// keys, which can not be deleted, empty. Forgotten, they stay so.
TEST_F(SettingsFileTest, TlsKeysAreWrittenOnlyWhereSetAndMoveWithTheirAccount) {
    SaveAccounts(2);
    const std::string before = test::ReadFile(path);
    TAccounts table{Account(0), Account(1)};
    table[1].TlsRequired = true;
    table[1].TrustedCertificate = std::string(64, 'e');
    table[1].TrustedCertificateDate = "2024-02-29";
    ASSERT_TRUE(SaveAccountSecurity(path, 1, table[1]));
    const std::string added = "TlsRequired=1\r\nTrustedCertificate=" + std::string(64, 'e') +
                              "\r\nTrustedCertificateDate=2024-02-29\r\n";
    std::string after = test::ReadFile(path);
    EXPECT_EQ(after.find(added), after.find("[Account2]") - added.size());
    EXPECT_EQ(after.erase(after.find(added), added.size()), before);
    TAccount other = table[1];
    other.UserID = "someone else";
    EXPECT_FALSE(SaveAccountSecurity(path, 0, table[1]) ||
                 SaveAccountSecurity(path, 20, table[1]) || SaveAccountSecurity(path, 1, other));
    ASSERT_TRUE(SaveSettings(path, settings, table));
    EXPECT_FALSE(Value("Account0", "TlsRequired") || Value("Account2", "TlsRequired"));
    std::swap(table[0], table[1]);
    ASSERT_TRUE(SaveSettings(path, settings, table));
    EXPECT_EQ(*Value("Account1", "TlsRequired") + *Value("Account1", "TrustedCertificate") +
                  *Value("Account1", "TrustedCertificateDate"),
              "");
    Load();
    EXPECT_EQ(accounts, table);
    ForgetSecurity(table[0]);
    ASSERT_TRUE(SaveSettings(path, settings, table));
    Load();
    EXPECT_EQ(accounts, table);
    // A desktop's account moved there follows, while the file holds it as it was.
    table[0].OnlineAccount = "d";
    ASSERT_TRUE(SaveSettings(path, settings, table));
    TAccount moved = table[0];
    moved.HostName = "imaps://moved.example", moved.UserID = "new";
    EXPECT_FALSE(SaveFollowedAccount(path, 1, table[0], moved));
    EXPECT_TRUE(SaveFollowedAccount(path, 0, table[0], moved));
    EXPECT_FALSE(SaveFollowedAccount(path, 0, table[0], moved)) << "no longer as it was";
    Load();
    EXPECT_EQ(accounts[0], moved);
}

// Hand-edited ones read unset unless well formed, a date that is no day or
// dates nothing as unknown; saved as read, their bytes stay.
// The keyring is on only as "1"; then an account without a password has it there.
TEST_F(SettingsFileTest, HandEditedTlsKeysReadUnsetUnlessWellFormedAndStayAsTheyAre) {
    const std::string lower = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const std::string upper = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
    const std::tuple<std::string, std::string, std::string, bool, std::string, std::string>
        cases[] = {{"1", lower, "2024-02-29", true, lower, "2024-02-29"},
                   {"0", upper, "2024-02-29", false, lower, ""},
                   {"1", lower, "2025-02-29", true, lower, ""},
                   {"1", lower, "2025-3-14", true, lower, ""},
                   {"2", lower.substr(1), "", false, "", ""},
                   {"01", lower.substr(1) + "g", "+025-03-14", false, "", ""}};
    for (const auto& [tls, certificate, date, required, trusted, dated] : cases) {
        SCOPED_TRACE(tls + " " + certificate + " " + date);
        LoadText("[Setting]\r\nSettingKeyring=" + tls + "\r\n[Account0]\r\nHostName=h\r\n" +
                 "TlsRequired=" + tls + "\r\nTrustedCertificate=" + certificate +
                 "\r\nTlsRequiredDate=" + date + "\r\n");
        EXPECT_EQ(std::tuple(settings.SettingKeyring, accounts[0].Keyring.has_value(),
                             accounts[0].TlsRequired, accounts[0].TrustedCertificate,
                             accounts[0].TlsRequiredDate),
                  std::tuple(required, required, required, trusted, dated));
        ASSERT_TRUE(SaveSettings(path, settings, accounts));
        EXPECT_EQ(*Value("Account0", "TlsRequired") + *Value("Account0", "TrustedCertificate"),
                  tls + certificate);
    }
}

// No file: the defaults, the window centred, truncating toward zero. Unreadable
// values give the key's default; numbers beyond their range are kept in it.
// SettingConnecting is read where CustomizeDial is missing or unreadable.
TEST_F(SettingsFileTest, HandWrittenValuesReadWithTheNumberRulesAndWithinTheirRange) {
    phonebook.entries = {"ISP", "VPN"};
    const std::pair<std::string, std::function<void(TSettings&)>> cases[] = {
        // No file: a new profile's recommended settings; a file without a key: its default.
        {"",
         [](TSettings& s) {
             s.ScheduleRun = s.ScheduleTime = s.SettingTask = true;
             s.ScheduleTimeCount = kFirstRunInterval;
         }},
        {"[Setting]\r\nScheduleRun=2\r\nSettingEndCheck=yes\r\nScheduleTime=yes\r\n"
         "SettingNotification=off\r\nScheduleTimeCount=$1F\r\nScheduleTimeoutCount=0x\r\n"
         "MailerIcon=0x1F\r\n[MainWindow]\r\nType=257\r\n[Sound]\r\nKind=-254\r\n"
         "[FPN]\r\nPassword=50919G\r\n",
         [](TSettings& s) {
             s.ScheduleRun = true, s.ScheduleTimeCount = s.MailerIcon = 31, s.Type = 1, s.Kind = 2;
         }},
        {"[Setting]\r\nScheduleTimeoutCount=2147484\r\nScheduleTimeCount=-2147483648\r\n"
         "[MainWindow]\r\nLeft=2147483647\r\nTop=-40000\r\nWidth=9000\r\nHeight=100\r\n",
         [](TSettings& s) {
             s.ScheduleTimeoutCount = 999, s.ScheduleTimeCount = 1, s.Left = 32767, s.Top = -32767;
             s.Width = kMaxMainClientSize;
         }},
        {"[Setting]\r\nScheduleTimeoutCount=0\r\nScheduleTimeCount=1000\r\n",
         [](TSettings& s) { s.ScheduleTimeoutCount = 1, s.ScheduleTimeCount = 999; }},
        {"[Customize]\r\nCustomizeDial=99\r\n[Setting]\r\nSettingConnecting=1\r\n",
         [](TSettings& s) { s.CustomizeDial = 1; }},
        {"[Customize]\r\nCustomizeDial=2\r\n[Setting]\r\nSettingConnecting=1\r\n",
         [](TSettings& s) { s.CustomizeDial = 2; }},
        // Without dial-up the dial-up keys are forced off, and saved so.
        {"[Customize]\r\nCustomizeDial=2\r\nCustomizeDialName=ISP\r\n[Setting]\r\n"
         "ScheduleDialup=1\r\nSettingDeconnect=1\r\nSettingConnecting=1\r\n[Schedule]\r\n"
         "DialMailNonDisconnect=1\r\nDialExistingNonDisconnect=1\r\n",
         [&](TSettings& s) { s.CustomizeDialName = "", phonebook.serviceError = true; }}};
    for (const auto& [text, change] : cases) {
        SCOPED_TRACE(text);
        TSettings expected = Centred();
        expected.CustomizeDialName = "ISP";
        change(expected);
        text.empty() ? void(Load()) : LoadText(text);
        EXPECT_EQ(settings, expected);
    }
    EXPECT_EQ(Value("Customize", "CustomizeDial"), "2"); // loading writes nothing
    SaveAccounts(0);
    EXPECT_EQ(*Value("Customize", "CustomizeDial") + *Value("Schedule", "DialMailNonDisconnect"),
              "00");
    EXPECT_EQ(Value("Setting", "SettingConnecting"), "1") << "never written";
    fs::remove(path);
    Load({101, 101});
    EXPECT_EQ(std::pair(settings.Left, settings.Top), std::pair(-124, -99));
}

// The defaults, and never a write, not even after the file became usable, until
// a load reads it: Pim runs on defaults, saving them would lose what it holds.
TEST_F(SettingsFileTest, AnUnusableFileGivesTheDefaultsAndIsNeverWritten) {
    using enum IniFile::LoadStatus;
    const std::string text = "[Setting]\r\nScheduleRun=1\r\n";
    std::string f;
    const std::tuple<const char*, std::function<void()>, IniFile::LoadStatus> cases[] = {
        {"FIFO", [&] { ::mkfifo(f.c_str(), 0600); }, NotAFile},
        {"folder", [&] { fs::create_directory(f); }, Folder},
        {"too large",
         [&] { test::WriteFile(f, text), fs::resize_file(f, IniFile::kMaxFileBytes + 1); },
         TooLarge},
        // Root reads anything, so nobody loads this one.
        {"no permission", [&] { test::WriteFile(f, text), ::chmod(f.c_str(), 0); }, NoPermission},
        {"loop of links", [&] { fs::create_symlink(f, f + "2"), fs::create_symlink(f + "2", f); },
         LinkLoop}};
    ::chmod(dir.path().c_str(), 0777);
    for (const auto& [name, make, status] : cases) {
        SCOPED_TRACE(name);
        f = dir.file(name);
        make();
        const auto before = Listing(dir.path());
        // In a child: a blocking open ends in the alarm instead of hanging the test.
        const int result = InChild(
            [&] {
                const int read = int(LoadSettings(f, phonebook, {1024, 768}, settings, accounts));
                std::string error;
                const bool saved = SaveSettings(f, settings, accounts, &error) ||
                                   SaveMainWindow(f, settings) ||
                                   SaveAccountSecurity(f, 0, {true, "n", "", "", "", true}) ||
                                   error != CannotWriteText(f);
                return read | (saved ? 16 : 0) | (settings == Centred() ? 0 : 32);
            },
            status == NoPermission);
        EXPECT_EQ(result, int(status)) << "16: saved, 32: not defaults";
        EXPECT_EQ(Listing(dir.path()), before);
    }
    fs::create_directory(path);
    EXPECT_EQ(Load(), Folder);
    fs::remove(path);
    test::WriteFile(path, "[Account0]\r\nHostName=mine\r\n");
    EXPECT_FALSE(SaveSettings(path, settings, accounts));
    EXPECT_EQ(test::ReadFile(path), "[Account0]\r\nHostName=mine\r\n");
    EXPECT_EQ(Load(), Loaded);
    EXPECT_TRUE(SaveMainWindow(path, settings));
}

const std::string kOldFile = "[Account0]\r\nName=old\r\nHostName=h\r\n; hand note\r\n";

// Private to its owner, where the links (relative, or a link to a link) end.
TEST_F(SettingsFileTest, ASaveReplacesTheFileWholePrivateToItsOwnerWhereTheLinksEnd) {
    accounts[0] = {true, "n", "new.example", "u", "p"};
    const std::tuple<const char*, bool, int, bool> cases[] = {
        {"file", true, 0, false}, // target exists, links, relative
        {"dangling relative link", false, 1, true},
        {"chain of links", false, 2, false}};
    for (const auto& [name, targetExists, links, relative] : cases) {
        SCOPED_TRACE(name);
        test::TempDir elsewhere;
        const std::string target = links ? elsewhere.file("real.ini") : path;
        const std::string first = links == 2 ? dir.file("middle") : target;
        fs::remove(path);
        fs::remove(dir.file("middle"));
        if (targetExists)
            test::WriteFile(target, kOldFile);
        if (links == 2)
            fs::create_symlink(target, first);
        if (links)
            fs::create_symlink(relative ? fs::relative(first, dir.path()).string() : first, path);
        ASSERT_TRUE(SaveSettings(path, settings, accounts));
        EXPECT_EQ(fs::is_symlink(path), links > 0);
        const std::string saved = test::ReadFile(target);
        EXPECT_NE(saved.find("HostName=new.example"), std::string::npos);
        EXPECT_EQ(saved.find("; hand note") != std::string::npos, targetExists);
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(Listing(fs::path(target).parent_path()).size(), 1u);
    }
}

// A save either replaces the whole file or leaves it exactly as it was.
TEST_F(SettingsFileTest, AFailedSaveLeavesTheFileAndNoOtherAndNamesItInTheError) {
    EXPECT_EQ(CannotWriteText("/x/Pim.INI"), cp932::FromUtf8("/x/Pim.INI に書き込めません"));
    accounts[0] = {true, std::string(4000, 'n'), "new.example", "u", "p"};
    // Saving the settings or, after `security`, an account's security is refused.
    const auto refused = [this](bool security) {
        std::string error;
        return !(security ? SaveAccountSecurity(path, 0, {false, "old", "h", "", "", true}, &error)
                          : SaveSettings(path, settings, accounts, &error)) &&
               error == CannotWriteText(path);
    };
    rlimit unlimited{};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    // Each is true when the save failed as it should; the crash leaves its temporary file.
    const std::pair<const char*, std::function<bool()>> cases[] = {
        // A file-size limit fails the write the way a full file system does.
        {"full disk",
         [&] {
             rlimit small{1024, unlimited.rlim_max};
             ::setrlimit(RLIMIT_FSIZE, &small);
             const bool failed = refused(false);
             return ::setrlimit(RLIMIT_FSIZE, &unlimited), failed;
         }},
        // Root may write any file; the mode alone says read-only here.
        {"read-only file",
         [&] {
             ::chmod(path.c_str(), 0400);
             return refused(false) && refused(true) &&
                    (fs::status(path).permissions() & fs::perms::all) == fs::perms::owner_read;
         }},
        {"crash before the rename", [&] {
             IniFile ini = IniFile::Load(path);
             ini.WriteString("Account0", "Name", "new");
             return InChild([&] { return ini.Save(path, [] { return ::_exit(0), true; }); }) == 0;
         }}};
    for (const auto& [name, save] : cases) {
        SCOPED_TRACE(name);
        ::chmod(path.c_str(), 0644);
        test::WriteFile(path, kOldFile);
        EXPECT_TRUE(save());
        EXPECT_EQ(test::ReadFile(path), kOldFile);
        EXPECT_TRUE(Listing(dir.path()).size() == 1u || &save == &cases[2].second);
    }
    std::signal(SIGXFSZ, previous);
}

// Beside the program when that folder is writable or the file (or a link) is
// there already, else in the configuration folder.
TEST(ProfileLocation, BesideTheProgramWhenWritableOrThereElseInTheConfigFolder) {
    test::TempDir program, config;
    const std::string folder = program.path() + "/", beside = folder + "Pim.INI";
    EXPECT_EQ(ProfilePath(folder), beside);
    // As nobody, for whom the program folder is read-only, or as root.
    ::chmod(config.path().c_str(), 0777);
    const auto chooses = [&](const std::string& expected, const char* from = nullptr,
                             bool nobody = true) {
        ::chmod(program.path().c_str(), 0555);
        const int status = InChild(
            [&] {
                return ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1) +
                       (ProfilePath(from ? from : folder) != expected);
            },
            nobody);
        return ::chmod(program.path().c_str(), 0755), status == 0;
    };
    EXPECT_TRUE(chooses(config.path() + "/Pim/Pim.INI"));
    EXPECT_TRUE(fs::is_directory(config.path() + "/Pim"));
    // An installed Pim run by root, who could write /usr/bin.
    EXPECT_TRUE(chooses(config.path() + "/Pim/Pim.INI", "/usr/bin/", false));
    test::WriteFile(beside, "");
    EXPECT_TRUE(chooses(beside));
    fs::remove(beside);
    fs::create_symlink(config.file("not-yet-written.ini"), beside);
    EXPECT_TRUE(chooses(beside));
}

// A write changes its value in place or appends, and keeps every other byte.
TEST(IniFile, WritesUpdateInPlaceOrAppendAndKeepEveryOtherByte) {
    const struct {
        std::string before;
        std::vector<std::array<const char*, 3>> writes; // section, key, value
        std::string after;
    } cases[] = {
        {"; by hand\n[setting]\r\n  scheduleRUN = 0\r\nUnknown=keep me\n\r\n[Sound]\r\nKind=2\r\n",
         {{"Setting", "ScheduleRun", "1"},
          {"Setting", "Task", "1"},
          {"Sound", "Kind", "2"},
          {"FPN", "Login", "1"}},
         "; by hand\n[setting]\r\n  scheduleRUN = 1\r\nUnknown=keep me\nTask=1\r\n\r\n"
         "[Sound]\r\nKind=2\r\n[FPN]\r\nLogin=1\r\n"},
        {"[A]\nKey =  v  \nOther=1", {{"a", "KEY", "v"}}, "[A]\nKey =  v  \nOther=1"},
        {"[A]\nx=1", {{"A", "y", "2"}, {"B", "z", "3"}}, "[A]\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n"},
        // A byte order mark hides no first section.
        {"\xEF\xBB\xBF[A]\r\nx=1\r\n", {{"A", "x", "2"}}, "\xEF\xBB\xBF[A]\r\nx=2\r\n"},
        // The first of repeated sections and keys.
        {"[B]\nk=b\n[A]\nk=1\nK=2\n\n[b]\nk=late\n[a]\nnew=late",
         {{"a", "k", "3"}, {"A", "new", "4"}, {"b", "new", "5"}, {"A", "NEW", "6"}},
         "[B]\nk=b\nnew=5\r\n[A]\nk=3\nK=2\nnew=6\r\n\n[b]\nk=late\n[a]\nnew=late"},
        // A value cannot break out of its line.
        {"", {{"A", "Name", "x\r\n[FPN]\nCheck=0"}}, "[A]\r\nName=x  [FPN] Check=0\r\n"},
    };
    for (const auto& c : cases) {
        IniFile ini = IniFile::Parse(c.before);
        for (const auto& [section, key, value] : c.writes)
            ini.WriteString(section, key, value);
        EXPECT_EQ(ini.Bytes(), c.after);
    }
}

// A value beyond 1023 bytes is cut there. Which of repeated lines counts: the writes' table.
TEST(IniFile, AValueIsReadTrimmedAndCut) {
    const IniFile ini = IniFile::Parse("[A]\r\nk = first \r\nlong=" + std::string(1500, 'v'));
    EXPECT_EQ(ini.Value("a", "K"), "first");
    EXPECT_EQ(ini.Value("A", "long"), std::string(1023, 'v'));
}

} // namespace
} // namespace pim
