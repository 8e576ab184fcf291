// A save either replaces the whole file or leaves it exactly as it was.
#include "common/Cp932.h"
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pim {
namespace {

const std::string kOldFile = "[Account0]\r\nName=old\r\nHostName=h\r\n; hand note\r\n";

class SaveSafetyTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("Pim.INI");
    TSettings settings;
    TAccounts accounts{};

    void SetUp() override {
        test::WriteFile(path, kOldFile);
        accounts[0] = {true, std::string(4000, 'n'), "new.example", "u", "p"};
    }
    size_t FilesInFolder() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                                 std::filesystem::directory_iterator()));
    }
};

TEST_F(SaveSafetyTest, AReplacedFileIsPrivateToItsOwner) {
    ASSERT_TRUE(SaveSettings(path, settings, accounts));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafetyTest, AReadOnlyFolderLeavesTheFileAndNamesItInTheError) {
    ::chmod(path.c_str(), 0644);
    ::chmod(dir.path().c_str(), 0555);
    // Root writes anywhere, so the attempt runs as nobody in a child process.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(2);
        std::string error;
        const bool saved = SaveSettings(path, settings, accounts, &error);
        ::_exit(!saved && error == CannotWriteText(path) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(dir.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::ReadFile(path), kOldFile);
    EXPECT_EQ(FilesInFolder(), 1u);
    EXPECT_EQ(CannotWriteText("/x/Pim.INI"), cp932::FromUtf8("/x/Pim.INI に書き込めません"));
}

TEST_F(SaveSafetyTest, AFullDiskLeavesTheFile) {
    // A file-size limit fails the write the way a full file system does.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool saved = SaveSettings(path, settings, accounts, &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, CannotWriteText(path));
    EXPECT_EQ(test::ReadFile(path), kOldFile);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafetyTest, ACrashBeforeTheRenameLeavesTheOldFile) {
    const pid_t child = ::fork();
    if (child == 0) {
        IniFile ini = IniFile::Load(path);
        ini.WriteString("Account0", "Name", "new");
        ini.Save(path, [] {
            ::_exit(0);
            return true;
        });
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(test::ReadFile(path), kOldFile);
}

TEST_F(SaveSafetyTest, AnAbandonedSaveRemovesItsTemporaryFile) {
    IniFile ini = IniFile::Load(path);
    ini.WriteString("Account0", "Name", "new");
    EXPECT_FALSE(ini.Save(path, [] { return false; }));
    EXPECT_EQ(test::ReadFile(path), kOldFile);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafetyTest, AReadOnlyFileIsReadButNotReplaced) {
    // Root may write any file; the mode alone says read-only here.
    ::chmod(path.c_str(), 0400);
    EXPECT_EQ(IniFile::Load(path).Value("Account0", "Name"), "old");
    TAccount old{false, "old", "h", "", ""};
    old.TlsRequired = true;
    const std::function<bool(std::string*)> saves[] = {
        [&](std::string* error) { return SaveSettings(path, settings, accounts, error); },
        [&](std::string* error) { return SaveAccountSecurity(path, 0, old, error); },
    };
    for (const auto& save : saves) {
        std::string error;
        EXPECT_FALSE(save(&error));
        EXPECT_EQ(error, CannotWriteText(path));
    }
    EXPECT_EQ(test::ReadFile(path), kOldFile);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0400u);
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(SaveSafetyTest, ALinkedFileIsWrittenWhereTheLinksEnd) {
    struct Case {
        const char* name;
        bool targetExists;
        bool relative;
        bool chained; // a link to a link
    };
    const Case cases[] = {{"link", true, false, false},
                          {"dangling link", false, false, false},
                          {"dangling relative link", false, true, false},
                          {"chain of links", false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir elsewhere;
        const std::string target = elsewhere.file("real.ini");
        std::filesystem::remove(path);
        if (c.targetExists)
            test::WriteFile(target, kOldFile);
        std::string first = target;
        if (c.chained) {
            first = dir.file("middle");
            std::filesystem::remove(first);
            std::filesystem::create_symlink(target, first);
        }
        std::filesystem::create_symlink(
            c.relative ? std::filesystem::relative(first, dir.path()).string() : first, path);
        ASSERT_TRUE(SaveSettings(path, settings, accounts));
        EXPECT_TRUE(std::filesystem::is_symlink(path));
        EXPECT_NE(test::ReadFile(target).find("HostName=new.example"), std::string::npos);
        if (c.targetExists) {
            EXPECT_NE(test::ReadFile(target).find("; hand note"), std::string::npos);
        }
    }
}

} // namespace
} // namespace pim
