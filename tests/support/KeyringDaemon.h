// A real GNOME Keyring on a private session bus, its login keyring made and
// unlocked at start in a folder of the test's own.
#pragma once

#include "support/PrivateBus.h"
#include "support/TempDir.h"

#include <QDBusObjectPath>
#include <sys/stat.h>

namespace pim::test {

class KeyringDaemon {
public:
    // Why it cannot run here; empty when it can.
    static QString SkipReason() {
        if (::access("/usr/bin/gnome-keyring-daemon", X_OK) != 0)
            return QStringLiteral("gnome-keyring is not installed");
        return PrivateBus::SkipReason();
    }

    bool Start() { return bus_.Start() && StartKeyring(); }

    // The keyring alone, on a bus started before (as a keyring started after Pim);
    // without `login`, as on a desktop where nothing was kept yet.
    bool StartKeyring(bool login = true) {
        const std::string run = home_.file("run");
        WriteFile(home_.file("run/.keep"), "");
        ::chmod(run.c_str(), 0700);
        const std::string env = "HOME=" + home_.path() + " XDG_DATA_HOME=" + home_.file("data") +
                                " XDG_RUNTIME_DIR=" + run;
        return bus_.StartService({"/bin/sh", "-c",
                                  (login ? "printf unlock | " : "") + env +
                                      " exec /usr/bin/gnome-keyring-daemon --foreground "
                                      "--components=secrets" +
                                      (login ? " --unlock" : "")},
                                 false, QStringLiteral("org.freedesktop.secrets"));
    }

    PrivateBus& Bus() { return bus_; }

    // Locks the login keyring as the user's screen lock or a keyring menu does.
    bool Lock() {
        return bus_.Call(QStringLiteral("org.freedesktop.secrets"),
                         QStringLiteral("/org/freedesktop/secrets"),
                         QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                         {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(
                             QStringLiteral("/org/freedesktop/secrets/collection/login"))})})
                   .type() == QDBusMessage::ReplyMessage;
    }

    // How many times the keyring tried to ask the user (no prompter runs here,
    // so each attempt is logged and ends as dismissed).
    size_t Prompts() const {
        const std::string log = bus_.Output(QStringLiteral("org.freedesktop.secrets"));
        size_t count = 0;
        for (const std::string mark :
             {"couldn't create system prompt", "couldn't initialize prompt"})
            for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1))
                ++count;
        return count;
    }

private:
    TempDir home_;
    PrivateBus bus_;
};

} // namespace pim::test
