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
    const struct {
        std::string runtime;
        std::string base;
    } cases[] = {
        {dir.path(), dir.file("Pim")}, {"", tmp},
        {"relative/folder", tmp},      {dir.file("missing"), tmp},
        {dir.file("file"), tmp},
    };
    for (const auto& c : cases) {
        test::ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(SingleInstance::LockPath(), c.base + ".lock") << c.runtime;
        EXPECT_EQ(SingleInstance::SocketPath(), c.base + ".socket") << c.runtime;
    }
}

} // namespace
} // namespace pim
