// Starts a program for a test, in an environment the test chooses.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pim::test {

// Starts `argv` with the test's environment changed by `changes`: "NAME=value"
// sets NAME, a bare "NAME" removes it. What it prints goes to the end of
// `output` when one is given; a daemon that kept the test's stdout open would
// hold up whoever reads it. With `ownGroup` it leads a process group, so what
// it starts can be stopped with it. The process id, or -1.
inline pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& changes,
                   const std::string& output = {}, bool ownGroup = false) {
    std::vector<std::string> env;
    for (const std::string& change : changes)
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    for (char** e = environ; *e; ++e) {
        const std::string_view entry = *e;
        const std::string_view name = entry.substr(0, entry.find('='));
        bool changed = false;
        for (const std::string& change : changes)
            changed = changed || change.substr(0, change.find('=')) == name;
        if (!changed)
            env.emplace_back(entry);
    }
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// `changes` for a Pim started by a test: the locale pinned to `lang` (it reads
// Japanese by default whatever the machine's locale, often none, which reads
// English) and the machine's system bus out of reach, so that its network and
// sleep watches do not depend on the machine.
inline std::vector<std::string> ForPim(std::vector<std::string> changes,
                                       const std::string& lang = "ja_JP.UTF-8") {
    changes.insert(changes.end(), {"LANG=" + lang, "LANGUAGE", "LC_ALL", "LC_MESSAGES",
                                   "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/pim-test-bus"});
    return changes;
}

} // namespace pim::test
