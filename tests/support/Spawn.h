// Starts a program for a test, in an environment the test chooses.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pim::test {

// Starts `argv` with the test's environment changed by `changes`: "NAME=value"
// sets NAME, a bare "NAME" removes it (env(1) does both, then runs it in its
// place). What it prints goes to the end of `output` when one is given; a
// daemon that kept the test's stdout open would hold up whoever reads it. With
// `ownGroup` it leads a process group, so what it starts can be stopped with it.
// It is killed when the test dies, however it dies: a server left behind would
// hold its port against the next run. The process id, or -1.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& changes,
                   const std::string& output = {}, bool ownGroup = false) {
    std::vector<std::string> all{"/usr/bin/env"};
    for (const std::string& change : changes) // removals before settings
        change.find('=') == std::string::npos ? void(all.insert(all.begin() + 1, {"-u", change}))
                                              : all.push_back(change);
    all.insert(all.end(), argv.begin(), argv.end());
    all.insert(all.begin(), {"/usr/bin/setpriv", "--pdeathsig", "KILL"});
    std::vector<char*> args;
    for (auto& a : all)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, ownGroup ? POSIX_SPAWN_SETPGROUP : 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// The exit status (128 + the signal when one ended it); -1 when it still ran
// after `limit`, and it is killed then, or when it is no child of the test's.
inline int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    for (auto waited = std::chrono::milliseconds(0);; waited += std::chrono::milliseconds(10)) {
        if (const pid_t done = ::waitpid(pid, &status, WNOHANG); done == pid)
            break;
        else if (done < 0 && errno != EINTR)
            return -1;
        if (waited >= limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
