// fpn-station: a Fernpost station running Pim's own remote menu over one
// account "Home" with one mail (guarded by a password with --password), for the
// tests that run the console in another network namespace.
//
//   fpn-station [--seconds S] [--hostname NAME] [--password PW]
//
// Prints "READY machine address" once logged in and "RETURN tag value from ADDR"
// for each answer; logs out after S
// seconds. --hostname gives the process a host name of its own (a new UTS
// namespace, root only), so that a console in a neighbouring network namespace
// of the same machine sees another machine name.
#include "app/RemoteMenu.h"
#include "app/StationPrompts.h"
#include "common/Cp932.h"
#include "remote/PimStation.h"
#include "remote/TFernpostNetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <sched.h>
#include <unistd.h>

namespace {

// What Pim's menu reads of the program: one finished check with one mail.
struct OneMail : pim::RemoteMenuHost {
    pim::Results results;
    OneMail() {
        results[0].Name = "Home";
        results[0].Count = 1;
        results[0].Subjects[0] = pim::cp932::FromUtf8("件名");
        results[0].Senders[0] = "sender@example.jp";
        results[0].Dates[0] = "2026/01/02";
    }
    bool DialogOpen() const override { return false; }
    bool Offline() const override { return false; }
    int CheckIndex() const override { return -1; }
    int TotalMail() const override { return 1; }
    const pim::Results& ShownResults() const override { return results; }
    int ActiveEntryCount() override { return 0; }
    void StartCheck() override {}
};

} // namespace

int main(int argc, char** argv) {
    using namespace pim;
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({
        {"seconds", "How long to stay logged in.", "S", "20"},
        {"hostname", "Run under this host name, in a UTS namespace of its own.", "NAME"},
        {"password", "Run Pim's remote menu, guarded by this password.", "PW"},
    });
    parser.process(app);

    if (parser.isSet("hostname")) {
        const std::string name = parser.value("hostname").toStdString();
        if (::unshare(CLONE_NEWUTS) != 0 || ::sethostname(name.data(), name.size()) != 0) {
            std::perror("fpn-station: hostname");
            return 1;
        }
    }

    TFernpostNetwork fpn;
    ConfigureAsPim(fpn);
    OneMail host;
    pim::TSettings settings;
    settings.PasswordCheck = parser.isSet("password");
    settings.Password = parser.value("password").toStdString();
    pim::StationPrompts prompts{fpn};
    pim::RemoteMenu menu{host, settings, prompts};
    // Wired as the main window wires it.
    fpn.OnMenuRequest = [&](TFernpostNetwork* station, const std::string& handle,
                            const std::string& machine, const std::string& kind) {
        menu.FPNMenuRequest(handle, machine, kind, station->RecvSenderIP());
    };
    fpn.OnInputReturn = [&](TFernpostNetwork* station, const std::string& tag,
                            const std::string& value, const std::string& handle,
                            const std::string& machine, const std::string& kind) {
        std::printf("RETURN %s %s from %s\n", tag.c_str(), value.c_str(),
                    station->RecvSenderIP().c_str());
        std::fflush(stdout);
        menu.FPNInputReturn(tag, value, handle, machine, kind, station->RecvSenderIP());
    };
    fpn.OnLogout = [&](TFernpostNetwork*, const std::string&, const std::string& machine,
                       const std::string&,
                       const std::string& kind) { menu.ConsoleLoggedOut(machine, kind); };
    if (!fpn.Open() || !fpn.Login()) {
        std::fprintf(stderr, "fpn-station: cannot open or log in on port %u\n",
                     static_cast<unsigned>(fpn.PortNo));
        return 1;
    }
    std::printf("READY %s %s\n", fpn.MachineName().c_str(), fpn.IPAddress().c_str());
    std::fflush(stdout);
    QTimer::singleShot(static_cast<int>(parser.value("seconds").toDouble() * 1000), &app,
                       &QCoreApplication::quit);
    app.exec();
    fpn.Logout();
    fpn.Close();
    return 0;
}
