#include "platform/SingleInstance.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace pim {
namespace {

TEST(SingleInstance, ARuntimeFolderThatIsNoUsableFolderFallsBackToTmp) {
    test::TempDir dir;
    test::WriteFile(dir.file("file"), "");
    const std::string tmp = "/tmp/Pim-" + std::to_string(::getuid());
    for (const auto& [runtime, base] : {std::pair{dir.path(), dir.file("Pim")},
                                        {"", tmp},
                                        {"relative/folder", tmp},
                                        {dir.file("missing"), tmp},
                                        {dir.file("file"), tmp}}) {
        test::ScopedEnv env("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(SingleInstance::LockPath(), base + ".lock") << runtime;
        EXPECT_EQ(SingleInstance::SocketPath(), base + ".socket") << runtime;
    }
}

} // namespace
} // namespace pim
