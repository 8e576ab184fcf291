// fpn-console-script: a console that runs a fixed dialogue with one station's
// menu and prints what the station answers to each step, for the tests that
// run it in a network namespace beside the station.
//
//   fpn-console-script MACHINE STEP...
//
// A STEP is "menu" (ask for the menu), "TAG=VALUE" (answer with that tag and
// value) or "ADDR>TAG=VALUE": the same answer, naming this console all the
// same, but sent from ADDR, another address of this machine, as a station
// that claims this console's names would send it. After each step one line:
// "select TAG", "line TAG", "message FIRST-LINE", or "nothing" after 3 s.
// Exit status 0, or 2 when the station was not found.
#include "common/Cp932.h"
#include "common/Random.h"
#include "remote/TFernpostNetwork.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUdpSocket>
#include <cstdio>
#include <deque>

namespace {

using namespace pim;

bool Wait(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// The answer sent from another address of this machine, as a raw broadcast.
void SendFrom(const TFernpostNetwork& console, const std::string& source, const std::string& text) {
    QUdpSocket socket;
    socket.bind(QHostAddress(QString::fromStdString(source)), 0);
    const std::string full = fpn::PacketId(QDateTime::currentDateTime(), Random(100000)) + text;
    const auto datagrams = fpn::MakeDatagrams(full, true);
    for (const std::string& d : *datagrams)
        socket.writeDatagram(d.data(), static_cast<qint64>(d.size()),
                             QHostAddress(QString::fromStdString(console.BroadcastAddress)),
                             console.PortNo);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return 1;

    TFernpostNetwork console;
    console.Discrimination = "FPN";
    console.HandleName = "script";
    console.Security = true;
    const std::string machine = args[0].toStdString();
    std::deque<std::string> heard;
    using S = const std::string&;
    console.OnInputSelect = [&](TFernpostNetwork*, S, S, S, S tag, S, S from, S) {
        if (from == machine)
            heard.push_back("select " + tag);
    };
    console.OnInputLine = [&](TFernpostNetwork*, S, S, S tag, S, S from, S) {
        if (from == machine)
            heard.push_back("line " + tag);
    };
    console.OnInputMessage = [&](TFernpostNetwork*, S message, S, S from, S, S) {
        if (from == machine)
            heard.push_back("message " + cp932::ToUtf8(message.substr(0, message.find('\r'))));
    };
    if (!console.Open() || !console.Login())
        return 2;
    std::string station;
    const auto found = [&] {
        for (const auto& peer : console.LoginUsers) {
            if (peer.MachineName == machine && peer.Discrimination == "Pim")
                station = peer.IPAddress;
        }
        return !station.empty();
    };
    if (!Wait(found, 5000))
        return 2;

    for (const QString& arg : args.mid(1)) {
        const std::string step = arg.toStdString();
        if (step == "menu") {
            console.MenuCheck(station, "Pim");
        } else {
            const size_t from = step.find('>');
            const size_t equals = step.find('=');
            const std::string tag = step.substr(from + 1, equals - from - 1);
            const std::string value = step.substr(equals + 1);
            if (from == std::string::npos)
                console.InputReturn(tag, value, station, "Pim");
            else
                SendFrom(console, step.substr(0, from),
                         fpn::CommandText("INPUT_RETURN", {station, "Pim", console.HandleName,
                                                           console.MachineName(),
                                                           console.Discrimination, tag, value}));
        }
        std::puts(Wait([&] { return !heard.empty(); }, 3000) ? heard.front().c_str() : "nothing");
        std::fflush(stdout);
        if (!heard.empty())
            heard.pop_front();
    }
    console.Logout();
    console.Close();
    return 0;
}
