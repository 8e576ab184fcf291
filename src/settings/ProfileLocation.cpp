#include "settings/ProfileLocation.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pim {

namespace {

// A folder of the system's programs takes no Pim.INI whoever runs Pim: root
// could write /usr/bin, but a file there would be every user's.
bool SystemProgramFolder(const std::string& folder) {
    for (const char* prefix : {"/usr/", "/bin/", "/sbin/"}) {
        if (folder.starts_with(prefix))
            return true;
    }
    return false;
}

} // namespace

std::string XdgFolder(const char* variable, const char* underHome) {
    if (const char* xdg = std::getenv(variable); xdg && *xdg == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd* entry = ::getpwuid(::getuid()))
            home = entry->pw_dir;
    }
    return std::string(home ? home : "") + "/" + underHome;
}

std::string ProfilePath(const std::string& programDir) {
    const std::string beside = programDir + "Pim.INI";
    // Whatever is there counts, a link to a file not yet written included.
    struct stat info {};
    if (::lstat(beside.c_str(), &info) == 0 ||
        (!SystemProgramFolder(programDir) && ::access(programDir.c_str(), W_OK) == 0))
        return beside;
    const std::string home = XdgFolder("XDG_CONFIG_HOME", ".config");
    const std::string folder = home + "/Pim";
    ::mkdir(home.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return folder + "/Pim.INI";
}

} // namespace pim
