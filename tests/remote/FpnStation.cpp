// fpn-station: a Fernpost station with the main choice list of Pim's remote menu,
// for the tests that run the console in another network namespace. Every answer
// is acknowledged with a message, which ends the dialogue. With --password it
// runs Pim's own remote menu instead, guarded by that password, over one
// account "Home" with one mail.
//
//   fpn-station [--port N] [--broadcast ADDR] [--seconds S] [--hostname NAME]
//               [--password PW]
//
// Prints "READY machine address" once logged in and "RETURN tag value" for each
// answer (with --password, "RETURN tag value from ADDR"); logs out after S
// seconds. --hostname gives the process a host name of its own (a new UTS
// namespace, root only), so that a console in a neighbouring network namespace
// of the same machine sees another machine name.
#include "app/RemoteMenu.h"
#include "app/StationPrompts.h"
#include "common/Cp932.h"
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
        {"port", "UDP port.", "N", "51000"},
        {"broadcast", "Where broadcasts go.", "ADDR", "255.255.255.255"},
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
    fpn.Discrimination = "Pim";
    fpn.HandleName = cp932::FromUtf8("Pim <テスト>");
    fpn.Security = true;
    fpn.Menu = true;
    fpn.PortNo = static_cast<uint16_t>(parser.value("port").toUInt());
    fpn.BroadcastAddress = parser.value("broadcast").toStdString();
    fpn.OnMenuRequest = [](TFernpostNetwork* station, const std::string&,
                           const std::string& machine, const std::string& kind) {
        station->InputSelect(cp932::FromUtf8("メニュー"),
                             cp932::FromUtf8("メールチェック開始&:着信メール確認"),
                             "MailCheck&:Mail", "Main", machine, kind);
    };
    fpn.OnInputReturn = [](TFernpostNetwork* station, const std::string& tag,
                           const std::string& value, const std::string&, const std::string& machine,
                           const std::string& kind) {
        std::printf("RETURN %s %s\n", tag.c_str(), value.c_str());
        std::fflush(stdout);
        station->InputMessage(cp932::FromUtf8("了解しました"), machine, kind);
    };
    OneMail host;
    pim::TSettings settings;
    settings.PasswordCheck = true;
    settings.Password = parser.value("password").toStdString();
    pim::StationPrompts prompts{fpn};
    pim::RemoteMenu menu{host, settings, prompts};
    // Wired as the main window wires it.
    if (parser.isSet("password")) {
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
    }
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
