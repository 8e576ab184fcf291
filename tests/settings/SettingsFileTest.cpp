#include "settings/SettingsFile.h"

#include "common/HexKey.h"
#include "settings/IniFile.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pim {
namespace {

class FakePhonebook : public DialupPhonebook {
public:
    std::vector<std::string> entries;
    bool serviceError = false;
    int EntryCount() override { return static_cast<int>(entries.size()); }
    std::string GetEntryName(int i) override { return entries.at(static_cast<size_t>(i)); }
    bool ServiceError() override { return serviceError; }
};

class SettingsFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("Pim.INI");
    FakePhonebook phonebook;
    TSettings settings;
    TAccounts accounts;

    void Load(ScreenSize screen = {1024, 768}) {
        LoadSettings(path, phonebook, screen, settings, accounts);
    }
    void LoadText(const std::string& text) {
        test::WriteFile(path, text);
        Load();
    }
    IniFile File() const { return IniFile::Load(path); }

    static TAccount Account(int i) {
        const std::string n = std::to_string(i);
        return {i % 2 == 0, "name" + n, "pop" + n + ".example", "user" + n, "pw" + n};
    }
    void SaveAccounts(int count) {
        TAccounts table{};
        for (int i = 0; i < count; ++i)
            table[static_cast<size_t>(i)] = Account(i);
        ASSERT_TRUE(SaveSettings(path, settings, table));
    }
};

TEST_F(SettingsFileTest, NoFileGivesTheDefaults) {
    phonebook.entries = {"ISP", "VPN"};
    Load({1024, 768});
    TSettings expected;
    expected.Left = 337;
    expected.Top = 234;
    expected.CustomizeDialName = "ISP";
    EXPECT_EQ(settings, expected);
    EXPECT_TRUE(settings.SettingEndCheck && settings.SettingAnimation && settings.SettingAutoShow &&
                settings.SettingInfoOpen && settings.SettingNotification);
    EXPECT_EQ(accounts, TAccounts{});
}

TEST_F(SettingsFileTest, CentringTruncatesTowardZero) {
    Load({101, 101});
    EXPECT_EQ(settings.Left, -124);
    EXPECT_EQ(settings.Top, -99);
}

TEST_F(SettingsFileTest, EveryKeyRoundTrips) {
    TSettings out;
    out.ScheduleRun = out.ScheduleDialup = out.ScheduleTime = out.ScheduleTimeInfo = true;
    out.ScheduleTimeCount = 999;
    out.MailerAutoRun = out.MailerAutoRunSameCheck = out.ScheduleTimeout = true;
    out.ScheduleTimeoutCount = 20;
    out.MailerPath = "/usr/bin/mail reader";
    out.MailerOption = "-a \"%1\" \\x";
    out.MailerIcon = 3;
    out.MailerMinimized = out.SettingTask = out.SettingTaskbar = true;
    out.SettingEndCheck = false;
    out.SettingCountOnly = out.SettingRunHide = true;
    out.SettingAnimation = false;
    out.SettingDeconnect = true;
    out.SettingAutoShow = false;
    out.SettingAutoShowCheck = out.SettingAutoShowChange = true;
    out.SettingInfoOpen = false;
    out.SettingOldMailNotShow = out.SettingMailerHide = true;
    out.SettingNotification = false;
    out.CustomizeDial = 2;
    out.CustomizeDialName = "\x83\x76\x83\x8D\x83\x6F\x83\x43\x83\x5F"; // プロバイダ
    out.DialMailNonDisconnect = out.DialExistingNonDisconnect = true;
    out.Kind = 2;
    out.WaveRecv = "/home/u/new mail.wav";
    out.SameCheck = out.Login = out.PasswordCheck = true;
    out.Password = std::string("\0\x01\xFF=\r\n;[x]", 9);
    out.Type = 1;
    out.Left = -20;
    out.Top = 4000;

    TAccounts table{};
    table[0] = {true, "\x83\x81\x83\x43\x83\x8B", "pop.example.jp", "taro", "p=a;s[s]"};
    ASSERT_TRUE(SaveSettings(path, out, table));
    ASSERT_TRUE(SaveMainWindow(path, out));
    Load();
    EXPECT_EQ(settings, out);
    EXPECT_EQ(accounts, table);
}

TEST_F(SettingsFileTest, PasswordsOfEveryByteValueRoundTrip) {
    TAccounts table{};
    for (int slot = 0; slot < 4; ++slot) {
        std::string password;
        for (int b = slot * 64; b < (slot + 1) * 64; ++b)
            password.push_back(static_cast<char>(b));
        table[static_cast<size_t>(slot)] = {true, "n", "h", "u", password};
    }
    ASSERT_TRUE(SaveSettings(path, settings, table));
    Load();
    EXPECT_EQ(accounts, table);
}

TEST_F(SettingsFileTest, AFreshFileListsItsSectionsInWritingOrder) {
    SaveAccounts(1);
    ASSERT_TRUE(SaveMainWindow(path, settings));
    std::vector<std::string> sections;
    const std::string bytes = test::ReadFile(path);
    for (size_t at = bytes.find('['); at != std::string::npos; at = bytes.find('[', at + 1))
        sections.push_back(bytes.substr(at + 1, bytes.find(']', at) - at - 1));
    EXPECT_EQ(sections, (std::vector<std::string>{"Account0", "Account1", "Setting", "Customize",
                                                  "Schedule", "Sound", "FPN", "MainWindow"}));
    EXPECT_EQ(bytes.find("SettingConnecting"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nMailerPath=\r\nMailerOption=\r\nMailerIcon=0\r\n"),
              std::string::npos);
}

TEST_F(SettingsFileTest, TwentyAccountsNeedNoEndMarker) {
    SaveAccounts(20);
    const IniFile ini = File();
    EXPECT_EQ(ini.Value("Account19", "HostName"), "pop19.example");
    EXPECT_EQ(ini.Value("Account20", "HostName"), std::nullopt);
    Load();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(accounts[static_cast<size_t>(i)], Account(i));
}

TEST_F(SettingsFileTest, ShrinkingWritesAnEndMarkerAndLeavesLaterSections) {
    SaveAccounts(5);
    SaveAccounts(3);
    const IniFile ini = File();
    EXPECT_EQ(ini.Value("Account3", "Enabled"), "0");
    EXPECT_EQ(ini.Value("Account3", "Name"), "");
    EXPECT_EQ(ini.Value("Account3", "HostName"), "");
    EXPECT_EQ(ini.Value("Account3", "UserID"), "");
    EXPECT_EQ(ini.Value("Account3", "Password")->size(), 2u);
    EXPECT_EQ(ini.Value("Account4", "HostName"), "pop4.example");
    Load();
    EXPECT_EQ(accounts[2], Account(2));
    EXPECT_EQ(accounts[3], TAccount{});
    EXPECT_EQ(accounts[4], TAccount{});
}

TEST_F(SettingsFileTest, AnEmptyHostNameEndsTheListAfterItsOwnSlot) {
    LoadText("[Account0]\r\nEnabled=1\r\nName=a\r\nHostName=h\r\n"
             "[Account1]\r\nEnabled=1\r\nName=b\r\nHostName=\r\nUserID=u\r\nPassword=509192\r\n"
             "[Account2]\r\nEnabled=1\r\nName=c\r\nHostName=h2\r\n");
    EXPECT_EQ(accounts[0], (TAccount{true, "a", "h", "", ""}));
    EXPECT_EQ(accounts[1], (TAccount{true, "b", "", "u", "AB"}));
    EXPECT_EQ(accounts[2], TAccount{});
}

TEST_F(SettingsFileTest, TlsKeysAreWrittenOnlyWhereSetAndMoveWithTheirAccount) {
    const std::string fingerprint(64, 'c');
    TAccounts table{};
    table[0] = Account(0);
    table[1] = Account(1);
    table[1].TlsRequired = true;
    table[1].TrustedCertificate = fingerprint;
    ASSERT_TRUE(SaveSettings(path, settings, table));
    EXPECT_EQ(File().Value("Account0", "TlsRequired"), std::nullopt);
    EXPECT_EQ(File().Value("Account0", "TrustedCertificate"), std::nullopt);
    EXPECT_EQ(File().Value("Account2", "TlsRequired"), std::nullopt) << "the end marker";
    EXPECT_EQ(File().Value("Account1", "TlsRequired"), "1");
    Load();
    EXPECT_EQ(accounts, table);

    // Moved up: the slot it left keeps the keys, which can not be deleted, empty.
    std::swap(table[0], table[1]);
    ASSERT_TRUE(SaveSettings(path, settings, table));
    EXPECT_EQ(File().Value("Account0", "TrustedCertificate"), fingerprint);
    EXPECT_EQ(File().Value("Account1", "TlsRequired"), "");
    EXPECT_EQ(File().Value("Account1", "TrustedCertificate"), "");
    Load();
    EXPECT_EQ(accounts, table);
}

TEST_F(SettingsFileTest, HandEditedTlsKeysReadUnsetUnlessWellFormedAndStayAsTheyAre) {
    const std::string lower = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const struct {
        std::string tls, certificate;
        bool required;
        std::string trusted;
    } cases[] = {
        {"1", lower, true, lower},
        {"0", upper, false, lower},
        {"2", lower.substr(1), false, ""},
        {"yes", lower + "0", false, ""},
        {"01", lower.substr(1) + "g", false, ""},
        {"", "01:23", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tls + " " + c.certificate);
        const std::string text = "[Account0]\r\nHostName=h\r\nTlsRequired=" + c.tls +
                                 "\r\nTrustedCertificate=" + c.certificate + "\r\n";
        LoadText(text);
        EXPECT_EQ(accounts[0].TlsRequired, c.required);
        EXPECT_EQ(accounts[0].TrustedCertificate, c.trusted);
        // Saved as read, they say the same: their bytes stay.
        ASSERT_TRUE(SaveSettings(path, settings, accounts));
        EXPECT_EQ(File().Value("Account0", "TlsRequired"), c.tls);
        EXPECT_EQ(File().Value("Account0", "TrustedCertificate"), c.certificate);
    }
}

TEST_F(SettingsFileTest, TheRunTimeSaveWritesTheTlsKeysOfItsAccountAlone) {
    SaveAccounts(2);
    ASSERT_TRUE(SaveMainWindow(path, settings));
    const std::string before = test::ReadFile(path);
    TAccount account = Account(1);
    account.TlsRequired = true;
    account.TrustedCertificate = std::string(64, 'e');
    ASSERT_TRUE(SaveAccountSecurity(path, 1, account));
    const std::string added =
        "TlsRequired=1\r\nTrustedCertificate=" + std::string(64, 'e') + "\r\n";
    std::string after = test::ReadFile(path);
    const size_t at = after.find(added);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(after.substr(0, at).rfind("[Account1]"), after.substr(0, at).rfind('['));
    EXPECT_EQ(after.erase(at, added.size()), before);

    // Another account in that slot (a hand edit meanwhile) gets nothing.
    std::string error;
    EXPECT_FALSE(SaveAccountSecurity(path, 0, account, &error));
    EXPECT_EQ(error, CannotWriteText(path));
    account.UserID = "someone else";
    EXPECT_FALSE(SaveAccountSecurity(path, 1, account));
    EXPECT_FALSE(SaveAccountSecurity(path, 20, account));
    EXPECT_EQ(File().Value("Account0", "TlsRequired"), std::nullopt);
}

TEST(TakeSecurity, WhatACheckLearntGoesToEveryAccountOfItsServerAndUserAndForgetsNothing) {
    TAccounts table{};
    table[0] = {true, "moved", "pop.example", "u", "p"};
    table[1] = {true, "other user", "pop.example", "v", "p"};
    table[2] = {true, "twin", "pop.example", "u", "q"};
    table[2].TrustedCertificate = std::string(64, '1');
    TAccount learnt = table[0];
    learnt.TlsRequired = true;
    EXPECT_EQ(TakeSecurity(table, learnt), (std::vector<int>{0, 2}));
    EXPECT_FALSE(table[1].TlsRequired);
    EXPECT_EQ(table[2].TrustedCertificate, std::string(64, '1')) << "not forgotten";
    learnt.TrustedCertificate = std::string(64, '2');
    EXPECT_EQ(TakeSecurity(table, learnt), (std::vector<int>{0, 2}));
    EXPECT_EQ(table[2].TrustedCertificate, learnt.TrustedCertificate);
    EXPECT_TRUE(TakeSecurity(table, learnt).empty());
}

TEST_F(SettingsFileTest, CustomizeDialFallsBackOnSettingConnecting) {
    LoadText("[Setting]\r\nSettingConnecting=1\r\n");
    EXPECT_EQ(settings.CustomizeDial, 1);
    LoadText("[Setting]\r\nSettingConnecting=0\r\n");
    EXPECT_EQ(settings.CustomizeDial, 0);
    LoadText("[Customize]\r\nCustomizeDial=99\r\n[Setting]\r\nSettingConnecting=1\r\n");
    EXPECT_EQ(settings.CustomizeDial, 1);
    LoadText("[Customize]\r\nCustomizeDial=2\r\n[Setting]\r\nSettingConnecting=1\r\n");
    EXPECT_EQ(settings.CustomizeDial, 2);
    SaveAccounts(0);
    EXPECT_EQ(File().Value("Setting", "SettingConnecting"), "1"); // read, never written
}

TEST_F(SettingsFileTest, WithoutDialupTheDialupKeysAreForcedAndSavedSo) {
    phonebook.entries = {"ISP"};
    phonebook.serviceError = true;
    LoadText("[Customize]\r\nCustomizeDial=2\r\nCustomizeDialName=ISP\r\n"
             "[Setting]\r\nScheduleDialup=1\r\nSettingDeconnect=1\r\n"
             "[Schedule]\r\nDialMailNonDisconnect=1\r\nDialExistingNonDisconnect=1\r\n");
    EXPECT_EQ(settings.CustomizeDial, 0);
    EXPECT_EQ(settings.CustomizeDialName, "");
    EXPECT_FALSE(settings.ScheduleDialup || settings.SettingDeconnect ||
                 settings.DialMailNonDisconnect || settings.DialExistingNonDisconnect);
    EXPECT_EQ(File().Value("Customize", "CustomizeDial"), "2"); // loading writes nothing
    SaveAccounts(0);
    EXPECT_EQ(File().Value("Customize", "CustomizeDial"), "0");
    EXPECT_EQ(File().Value("Schedule", "DialMailNonDisconnect"), "0");
}

TEST_F(SettingsFileTest, HandWrittenValuesReadWithTheNumberRules) {
    LoadText("[Setting]\r\nScheduleRun=2\r\nSettingEndCheck=yes\r\nScheduleTime=yes\r\n"
             "SettingNotification=off\r\n"
             "ScheduleTimeCount=$1F\r\nScheduleTimeoutCount=0x\r\nMailerIcon=0x1F\r\n"
             "[MainWindow]\r\nType=257\r\n[Sound]\r\nKind=-254\r\n"
             "[FPN]\r\nPassword=50919G\r\n");
    EXPECT_TRUE(settings.ScheduleRun);
    EXPECT_TRUE(settings.SettingEndCheck); // unreadable: the default, true
    EXPECT_FALSE(settings.ScheduleTime);   // unreadable: the default, false
    EXPECT_TRUE(settings.SettingNotification);
    EXPECT_EQ(settings.ScheduleTimeCount, 31);
    EXPECT_EQ(settings.ScheduleTimeoutCount, 60);
    EXPECT_EQ(settings.MailerIcon, 31);
    EXPECT_EQ(settings.Type, 1);
    EXPECT_EQ(settings.Kind, 2);
    EXPECT_EQ(settings.Password, "");
}

TEST_F(SettingsFileTest, NumbersBeyondTheirRangeAreKeptInItOnLoading) {
    LoadText("[Setting]\r\nScheduleTimeout=1\r\nScheduleTimeoutCount=2147484\r\n"
             "ScheduleTimeCount=-2147483648\r\n[MainWindow]\r\nLeft=2147483647\r\nTop=-40000\r\n");
    EXPECT_EQ(settings.ScheduleTimeoutCount, 999);
    EXPECT_EQ(ReplyTimeOut(settings), 999000);
    EXPECT_EQ(settings.ScheduleTimeCount, 1);
    EXPECT_EQ(settings.Left, 32767);
    EXPECT_EQ(settings.Top, -32767);
    LoadText("[Setting]\r\nScheduleTimeoutCount=0\r\nScheduleTimeCount=1000\r\n");
    EXPECT_EQ(settings.ScheduleTimeoutCount, 1);
    EXPECT_EQ(settings.ScheduleTimeCount, 999);
}

TEST_F(SettingsFileTest, AByteOrderMarkNeitherHidesTheFirstSectionNorIsLost) {
    LoadText("\xEF\xBB\xBF[Setting]\r\nScheduleRun=1\r\n");
    EXPECT_TRUE(settings.ScheduleRun);
    ASSERT_TRUE(SaveMainWindow(path, settings));
    EXPECT_EQ(
        test::ReadFile(path).rfind("\xEF\xBB\xBF[Setting]\r\nScheduleRun=1\r\n[MainWindow]", 0),
        0u);
}

// What a folder holds: names, kinds, sizes and modes, so that any replacement or
// left-over temporary file shows.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> listing;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        listing.push_back(entry.path().filename().string() + " " + std::to_string(info.st_mode) +
                          " " + std::to_string(info.st_size));
    }
    std::sort(listing.begin(), listing.end());
    return listing;
}

TEST_F(SettingsFileTest, AnUnusableFileGivesTheDefaultsAndIsNeverWritten) {
    using enum IniFile::LoadStatus;
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        IniFile::LoadStatus status;
        bool unprivileged = false; // root reads anything, so nobody loads this one
    };
    const std::string text = "[Setting]\r\nScheduleRun=1\r\n";
    const Case cases[] = {
        {"FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, NotAFile},
        {"folder", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, Folder},
        {"too large",
         [&](const std::string& p) {
             test::WriteFile(p, text);
             ASSERT_EQ(::truncate(p.c_str(), IniFile::kMaxFileBytes + 1), 0);
         },
         TooLarge},
        {"no permission",
         [&](const std::string& p) {
             test::WriteFile(p, text);
             ::chmod(p.c_str(), 0);
         },
         NoPermission, true},
        {"loop of links",
         [](const std::string& p) {
             std::filesystem::create_symlink(p + ".2", p);
             std::filesystem::create_symlink(p, p + ".2");
         },
         LinkLoop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir folder;
        const std::string file = folder.file("Pim.INI");
        c.make(file);
        const auto before = Listing(folder.path());
        // In a child: a blocking open ends in the alarm instead of hanging the test.
        ::chmod(folder.path().c_str(), 0777);
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            if (c.unprivileged && ::geteuid() == 0 && ::setuid(65534) != 0)
                ::_exit(100);
            TSettings loaded;
            TAccounts table;
            const auto status = LoadSettings(file, phonebook, {1024, 768}, loaded, table);
            std::string error;
            TAccount account{true, "n", "", "", ""};
            account.TlsRequired = true;
            const bool saved =
                SaveSettings(file, loaded, table, &error) || SaveMainWindow(file, loaded) ||
                SaveAccountSecurity(file, 0, account) || error != CannotWriteText(file);
            const bool defaults = !loaded.ScheduleRun && loaded.Left == 337;
            ::_exit(static_cast<int>(status) | (saved ? 16 : 0) | (defaults ? 0 : 32));
        }
        int result = 0;
        ::waitpid(child, &result, 0);
        ::chmod(folder.path().c_str(), 0700);
        ASSERT_TRUE(WIFEXITED(result)) << "ended by signal " << WTERMSIG(result);
        EXPECT_EQ(WEXITSTATUS(result), static_cast<int>(c.status)) << "16: saved, 32: not defaults";
        EXPECT_EQ(Listing(folder.path()), before);
    }
}

TEST_F(SettingsFileTest, AFileUnusableAtLoadingIsNotWrittenUntilALoadReadsIt) {
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(LoadSettings(path, phonebook, {}, settings, accounts), IniFile::LoadStatus::Folder);
    ::rmdir(path.c_str());
    test::WriteFile(path, "[Account0]\r\nHostName=mine\r\n");
    // Pim runs on defaults: saving them now would lose the account.
    EXPECT_FALSE(SaveSettings(path, settings, accounts));
    EXPECT_EQ(test::ReadFile(path), "[Account0]\r\nHostName=mine\r\n");
    EXPECT_EQ(LoadSettings(path, phonebook, {}, settings, accounts), IniFile::LoadStatus::Loaded);
    EXPECT_TRUE(SaveMainWindow(path, settings));
}

TEST_F(SettingsFileTest, SavingKeepsHandEditsAndTheWindowSection) {
    test::WriteFile(path, "; mine\r\n[MainWindow]\r\nType=1\r\nLeft=5\r\nTop=6\r\n"
                          "[Setting]\r\nMyOwnKey=x\r\n");
    SaveAccounts(1);
    const std::string bytes = test::ReadFile(path);
    EXPECT_EQ(bytes.rfind("; mine\r\n[MainWindow]\r\nType=1\r\nLeft=5\r\nTop=6\r\n"
                          "[Setting]\r\nMyOwnKey=x\r\nMailerPath=\r\n",
                          0),
              0u);
}

} // namespace
} // namespace pim
