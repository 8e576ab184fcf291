// The program itself, run from a folder of its own as a user runs it: its
// Pim.INI beside it, its state and runtime folders inside, offscreen, and ended
// by SIGTERM at the end whatever failed before. The test target defines
// PIM_BINARY.
#pragma once

#include "support/EventLoop.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QRegularExpression>
#include <QString>
#include <filesystem>

namespace pim::test {

class PimProgram {
public:
    explicit PimProgram(std::vector<std::string> environment = {}) {
        std::filesystem::copy_file(PIM_BINARY, File("pim"));
        environment_ = ForPim({"QT_QPA_PLATFORM=offscreen", "HOME=" + dir_.path(),
                               "XDG_RUNTIME_DIR=" + dir_.path(), "XDG_STATE_HOME=" + File("state"),
                               "XDG_CONFIG_HOME=" + File("config"),
                               "DBUS_SESSION_BUS_ADDRESS=unix:path=" + File("no-bus")});
        environment_.insert(environment_.end(), environment.begin(), environment.end());
    }
    ~PimProgram() {
        if (pid_ > 0)
            Stop();
    }
    std::string File(const std::string& name) const { return dir_.file(name); }
    // One more change of its environment ("NAME=value" or "NAME"), from its next start on.
    void Set(const std::string& change) { environment_.push_back(change); }
    // Runs it, inside `wrapper` (which ends by running what follows it) where given.
    void Start(std::vector<std::string> wrapper = {}) {
        wrapper.push_back(File("pim"));
        pid_ = Spawn(wrapper, environment_, File("pim.log"));
    }
    int Stop() {
        ::kill(pid_, SIGTERM);
        return WaitExit(std::exchange(pid_, -1), std::chrono::seconds(10));
    }
    std::string Log() const { return ReadFile(File("pim.log")); }
    // How many messages the first account's last check or push found, as kept
    // for the next start; -1 before one.
    int Seen() const {
        std::error_code none;
        for (const auto& file : std::filesystem::directory_iterator(File("state/Pim"), none))
            if (const auto m = QRegularExpression("\\nA \\S+ \\S+ (\\d+)\\n")
                                   .match(QString::fromStdString(ReadFile(file.path())));
                m.hasMatch())
                return m.captured(1).toInt();
        return -1;
    }
    bool WaitSeen(int count) {
        return RunUntil([&] { return Seen() == count; }, std::chrono::seconds(20));
    }

private:
    TempDir dir_;
    std::vector<std::string> environment_;
    pid_t pid_ = -1;
};

} // namespace pim::test
