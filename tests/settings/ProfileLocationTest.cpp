#include "settings/ProfileLocation.h"

#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pim {
namespace {

class ProfileLocationTest : public ::testing::Test {
protected:
    test::TempDir program;
    test::TempDir config;
    std::string programDir = program.path() + "/";

    // Root may write anywhere, so the lookup runs as nobody in a child process;
    // the child reports whether it chose `expected`.
    bool ChoosesAsUnprivileged(const std::string& expected) {
        ::chmod(program.path().c_str(), 0555);
        ::chmod(config.path().c_str(), 0777);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                ::_exit(2);
            ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
            ::_exit(ProfilePath(programDir) == expected ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ::chmod(program.path().c_str(), 0755);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

TEST_F(ProfileLocationTest, AWritableProgramFolderHoldsTheFile) {
    EXPECT_EQ(ProfilePath(programDir), programDir + "Pim.INI");
}

TEST_F(ProfileLocationTest, AnExistingFileOrLinkBesideTheProgramIsUsedEvenReadOnly) {
    const std::string beside = programDir + "Pim.INI";
    test::WriteFile(beside, "");
    EXPECT_TRUE(ChoosesAsUnprivileged(beside));
    std::filesystem::remove(beside);
    std::filesystem::create_symlink(config.file("not-yet-written.ini"), beside);
    EXPECT_TRUE(ChoosesAsUnprivileged(beside));
}

TEST_F(ProfileLocationTest, AReadOnlyProgramFolderSendsTheFileToTheConfigFolder) {
    EXPECT_TRUE(ChoosesAsUnprivileged(config.path() + "/Pim/Pim.INI"));
    struct stat info {};
    ASSERT_EQ(::stat((config.path() + "/Pim").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

} // namespace
} // namespace pim
