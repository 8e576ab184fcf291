// Pim.INI at the largest size Pim reads (16 MiB), in shapes that stress the
// reader: what the start (LoadSettings: read and every lookup) and the end
// (SaveMainWindow: read, update, write) cost in time and in peak memory.
//   ini_bench [FOLDER]   (the files are written to FOLDER, by default /tmp)
// Peak memory is the process's high-water mark of resident memory, reset before
// each step, less what was resident before it. Build it as a release build.
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

class NoPhonebook : public pim::DialupPhonebook {
public:
    int EntryCount() override { return 0; }
    std::string GetEntryName(int) override { return {}; }
    bool ServiceError() override { return false; }
};

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Measure {
    double ms;
    double peakMiB;
};

Measure Run(const std::function<void()>& step) {
    ::malloc_trim(0); // what earlier steps freed is not counted as resident
    ResetPeak();
    const long before = StatusKiB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    step();
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(),
            (StatusKiB("VmHWM:") - before) / 1024.0};
}

// `head`, then line i for i = 0, 1, ... up to the size limit; each line is `open`,
// the number (when `numbered`) and `close`.
std::string Fill(std::string_view head, std::string_view open, bool numbered,
                 std::string_view close) {
    std::string text(head);
    for (size_t i = 0;; ++i) {
        const std::string number = numbered ? std::to_string(i) : std::string();
        if (text.size() + open.size() + number.size() + close.size() > pim::IniFile::kMaxFileBytes)
            break;
        text.append(open).append(number).append(close);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string path = folder + "/ini_bench." + std::to_string(::getpid()) + ".INI";
    struct Shape {
        const char* name;
        std::string text;
    };
    const Shape shapes[] = {
        {"blank lines", Fill("", "", false, "\r\n")},
        {"distinct keys in [Setting]", Fill("[Setting]\r\n", "K", true, "=1\r\n")},
        {"distinct sections", Fill("", "[S", true, "]\r\n")},
        {"one key repeated", Fill("[Setting]\n", "K=", false, "\n")},
        {"one section repeated", Fill("", "[S]", false, "\n")},
    };
    std::printf("%-28s %9s %12s %10s %12s %10s\n", "Pim.INI of", "bytes", "start ms", "peak MiB",
                "end ms", "peak MiB");
    for (const Shape& shape : shapes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << shape.text;
        NoPhonebook phonebook;
        pim::TSettings settings;
        pim::TAccounts accounts;
        const Measure start = Run([&] {
            pim::LoadSettings(path, phonebook, {1024, 768}, settings, accounts);
        });
        bool saved = false;
        const Measure end = Run([&] { saved = pim::SaveMainWindow(path, settings); });
        std::printf("%-28s %9zu %12.1f %10.1f %12.1f %10.1f%s\n", shape.name, shape.text.size(),
                    start.ms, start.peakMiB, end.ms, end.peakMiB, saved ? "" : "  (not saved)");
    }
    ::unlink(path.c_str());
    return 0;
}
