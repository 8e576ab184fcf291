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
    for (const auto& runtime :
         {dir.path(), std::string("relative"), dir.file("missing"), dir.file("file")}) {
        const std::string base = runtime == dir.path() ? dir.file("Pim") : tmp;
        test::ScopedEnv env("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(SingleInstance::LockPath() + SingleInstance::SocketPath(),
                  base + ".lock" + base + ".socket")
            << runtime;
    }
}

} // namespace
} // namespace pim
