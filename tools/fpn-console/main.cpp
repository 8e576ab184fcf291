// fpn-console: the console side of the Fernpost remote menu, for Linux users and
// for scripts and tests. It logs in as a station of its own ("FPN"), then lists
// the stations that answer, or runs one station's menu dialogue in the terminal.
//
//   fpn-console list [--timeout S]
//   fpn-console menu MACHINE [--kind KIND] [--answer TEXT]... [--timeout S]
//   both: [--broadcast ADDR] [--port N]
//
// Exit status: 0 done; 1 bad usage, or a scripted answer that fits no choice;
// 2 no answer in time, or no such station; 3 no station at all (its own could
// not start, or not even its own login came back); 4 no answer left to give;
// 130 interrupted.
#include "Dialogue.h"
#include "common/Cp932.h"
#include "remote/TFernpostNetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <pwd.h>
#include <termios.h>
#include <unistd.h>

namespace pim::console {
namespace {

enum Exit {
    kDone = 0,
    kUsage = 1,
    kNoAnswer = 2,
    kNoStation = 3,
    kNoInput = 4,
    kInterrupted = 130,
};

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int number) {
    g_signal = number;
}

// Without SA_RESTART a signal also ends a blocking read of the terminal, so the
// console still logs out.
void CatchSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

void PrintLine(const std::string& utf8) {
    std::fputs(utf8.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Complain(const std::string& utf8) {
    std::fprintf(stderr, "fpn-console: %s\n", utf8.c_str());
}

std::string Utf8(const std::string& cp932) {
    return cp932::ToUtf8(cp932);
}

class TtyTerminal : public Terminal {
public:
    std::optional<std::string> ReadLine(const std::string& prompt, bool hidden) override {
        std::fputs(prompt.c_str(), stdout);
        std::fflush(stdout);
        termios saved{};
        const bool quiet = hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
        if (quiet) {
            termios silent = saved;
            silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            silent.c_lflag |= ECHONL;
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        char* buffer = nullptr;
        size_t capacity = 0;
        const ssize_t length = ::getline(&buffer, &capacity, stdin);
        if (quiet)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::optional<std::string> line;
        if (length >= 0 && !g_signal)
            line.emplace(buffer, static_cast<size_t>(length));
        std::free(buffer);
        if (!line) {
            std::clearerr(stdin);
            std::fputc('\n', stdout);
        }
        return line;
    }
};

// Runs the event loop until `done` holds; false after `limit` or on a signal.
bool Wait(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (done())
        return true;
    const QDeadlineTimer deadline(limit);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || g_signal || deadline.hasExpired())
            loop.quit();
    });
    tick.start(5);
    loop.exec();
    return done();
}

struct Options {
    bool list = true;
    std::string machine; // UTF-8
    std::string kind = "Pim";
    std::vector<std::string> answers;
    std::string broadcast = "255.255.255.255";
    uint16_t port = 51000;
    double seconds = 0;

    std::chrono::milliseconds Timeout() const {
        return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    }
    std::string Seconds() const { return QString::number(seconds).toStdString() + " s"; }
};

std::string LoginName() {
    if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return entry->pw_name;
    if (const char* user = std::getenv("USER"); user && *user)
        return user;
    return "user";
}

bool IsSelf(const TFPN_LoginUserInformation& peer, const TFernpostNetwork& fpn) {
    return peer.MachineName == fpn.MachineName() && peer.Discrimination == fpn.Discrimination &&
           peer.IPAddress == fpn.IPAddress() && peer.HandleName == fpn.HandleName;
}

int List(TFernpostNetwork& fpn, const Options& options) {
    Wait([] { return false; }, options.Timeout());
    if (g_signal)
        return kInterrupted;
    if (fpn.LoginUsers.empty()) {
        Complain("no station at all: not even this console's own login came back to it "
                 "(check --broadcast and --port)");
        return kNoStation;
    }
    int shown = 0;
    for (const TFPN_LoginUserInformation& peer : fpn.LoginUsers) {
        if (IsSelf(peer, fpn))
            continue;
        PrintLine(Utf8(peer.HandleName) + "\t" + Utf8(peer.MachineName) + "\t" + peer.IPAddress +
                  "\t" + Utf8(peer.Discrimination) + "\t" + (peer.Menu ? "yes" : "no"));
        ++shown;
    }
    if (shown == 0)
        Complain("no station answered within " + options.Seconds());
    return kDone;
}

// The prompts of one station, queued as they arrive; the handlers go with it.
class PromptQueue {
public:
    PromptQueue(TFernpostNetwork& fpn, const TFPN_LoginUserInformation& station)
        : fpn_(fpn), station_(station) {
        using S = const std::string&;
        using Kind = Prompt::Kind;
        fpn.OnInputSelect = [this](TFernpostNetwork*, S message, S list, S values, S tag, S,
                                   S machine, S kind) {
            Push(machine, kind, {Kind::Select, message, {}, list, values, tag});
        };
        fpn.OnInputLine = [this](TFernpostNetwork*, S message, S caption, S tag, S, S machine,
                                 S kind) {
            Push(machine, kind, {Kind::Line, message, caption, {}, {}, tag});
        };
        fpn.OnInputText = [this](TFernpostNetwork*, S message, S tag, S, S machine, S kind) {
            Push(machine, kind, {Kind::Text, message, {}, {}, {}, tag});
        };
        fpn.OnInputMessage = [this](TFernpostNetwork*, S message, S, S machine, S kind, S) {
            Push(machine, kind, {Kind::Message, message, {}, {}, {}, {}});
        };
        fpn.OnMenuNothing = [this](TFernpostNetwork*, S, S machine, S kind) {
            Push(machine, kind, {Kind::Nothing, {}, {}, {}, {}, {}});
        };
    }
    ~PromptQueue() {
        fpn_.OnInputSelect = nullptr;
        fpn_.OnInputLine = nullptr;
        fpn_.OnInputText = nullptr;
        fpn_.OnInputMessage = nullptr;
        fpn_.OnMenuNothing = nullptr;
    }
    PromptQueue(const PromptQueue&) = delete;
    PromptQueue& operator=(const PromptQueue&) = delete;

    bool Empty() const { return prompts_.empty(); }
    Prompt Take() {
        Prompt prompt = std::move(prompts_.front());
        prompts_.pop_front();
        return prompt;
    }

private:
    // Other stations may run dialogues of their own on the same LAN.
    void Push(const std::string& machine, const std::string& kind, Prompt prompt) {
        if (machine == station_.MachineName && kind == station_.Discrimination)
            prompts_.push_back(std::move(prompt));
    }

    TFernpostNetwork& fpn_;
    const TFPN_LoginUserInformation station_;
    std::deque<Prompt> prompts_;
};

int Menu(TFernpostNetwork& fpn, const Options& options) {
    const std::string machine = cp932::FromUtf8(options.machine);
    const std::string kind = cp932::FromUtf8(options.kind);
    TFPN_LoginUserInformation station;
    const auto found = [&] {
        for (const TFPN_LoginUserInformation& peer : fpn.LoginUsers) {
            if (peer.MachineName == machine && peer.Discrimination == kind) {
                station = peer;
                return true;
            }
        }
        return false;
    };
    if (!Wait(found, options.Timeout())) {
        if (g_signal)
            return kInterrupted;
        Complain("no station \"" + options.machine + "\" of kind \"" + options.kind +
                 "\" answered within " + options.Seconds() + " (fpn-console list shows who does)");
        return kNoAnswer;
    }

    PromptQueue prompts(fpn, station);
    if (!fpn.MenuCheck(station.IPAddress, station.Discrimination)) {
        Complain("cannot send the menu request");
        return kNoAnswer;
    }
    TtyTerminal tty;
    Dialogue dialogue(options.answers, ::isatty(STDIN_FILENO) ? &tty : nullptr, PrintLine);
    for (;;) {
        if (!Wait([&] { return !prompts.Empty(); }, options.Timeout())) {
            if (g_signal)
                return kInterrupted;
            Complain("no answer from \"" + options.machine + "\" within " + options.Seconds());
            return kNoAnswer;
        }
        const Prompt prompt = prompts.Take();
        switch (dialogue.Handle(prompt)) {
        case Dialogue::Outcome::Answer:
            if (!fpn.InputReturn(prompt.tag, dialogue.Answer(), station.IPAddress,
                                 station.Discrimination)) {
                Complain("cannot send the answer");
                return kNoAnswer;
            }
            break;
        case Dialogue::Outcome::Finished:
            return kDone;
        case Dialogue::Outcome::OutOfAnswers:
        case Dialogue::Outcome::EndOfInput:
            if (g_signal)
                return kInterrupted;
            Complain(dialogue.Error());
            return kNoInput;
        case Dialogue::Outcome::BadAnswer:
            Complain(dialogue.Error());
            return kUsage;
        case Dialogue::Outcome::EmptyChoice:
            Complain(dialogue.Error());
            return kNoAnswer;
        }
    }
}

std::optional<Options> ReadOptions(const QCommandLineParser& parser) {
    Options options;
    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    if (command == "list" && positional.size() == 1) {
        options.list = true;
    } else if (command == "menu" && positional.size() == 2) {
        options.list = false;
        options.machine = positional[1].toStdString();
    } else {
        Complain("usage: fpn-console list | fpn-console menu MACHINE (see --help)");
        return std::nullopt;
    }
    options.kind = parser.value("kind").toStdString();
    for (const QString& answer : parser.values("answer"))
        options.answers.push_back(answer.toStdString());

    const QHostAddress broadcast(parser.value("broadcast"));
    if (broadcast.protocol() != QAbstractSocket::IPv4Protocol) {
        Complain("--broadcast must be a dotted IPv4 address");
        return std::nullopt;
    }
    options.broadcast = broadcast.toString().toStdString();
    bool numeric = false;
    const uint port = parser.value("port").toUInt(&numeric);
    if (!numeric || port == 0 || port > 65535) {
        Complain("--port must be a number from 1 to 65535");
        return std::nullopt;
    }
    options.port = static_cast<uint16_t>(port);
    options.seconds = options.list ? 2 : 5;
    if (parser.isSet("timeout")) {
        options.seconds = parser.value("timeout").toDouble(&numeric);
        if (!numeric || !(options.seconds > 0) || options.seconds > 3600) {
            Complain("--timeout must be a number of seconds above 0, at most 3600");
            return std::nullopt;
        }
    }
    return options;
}

} // namespace
} // namespace pim::console

int main(int argc, char** argv) {
    using namespace pim;
    using namespace pim::console;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("fpn-console");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The console side of the Fernpost remote menu.\n"
        "  list            the stations that answer this console's login\n"
        "  menu MACHINE    run the remote menu of the station MACHINE");
    parser.addHelpOption();
    parser.addPositionalArgument("command", "list, or menu MACHINE", "list|menu [MACHINE]");
    parser.addOptions({
        {"kind", "menu: the kind (Discrimination) of the station.", "KIND", "Pim"},
        {"answer",
         "menu: answer the next prompt with TEXT (a choice's number, label or value); "
         "repeatable.",
         "TEXT"},
        {"broadcast", "Where broadcasts go.", "ADDR", "255.255.255.255"},
        {"port", "The UDP port of the network.", "N", "51000"},
        {"timeout", "Seconds to wait: for login answers (list, 2) or for each answer (menu, 5).",
         "S"},
    });
    parser.process(app);
    const auto options = ReadOptions(parser);
    if (!options)
        return kUsage;
    CatchSignals();

    TFernpostNetwork fpn;
    fpn.Discrimination = "FPN";
    fpn.HandleName = cp932::FromUtf8("fpn-console <" + LoginName() + ">");
    fpn.Security = true;
    fpn.BroadcastAddress = options->broadcast;
    fpn.PortNo = options->port;
    if (!fpn.Open()) {
        Complain("cannot use UDP port " + std::to_string(options->port) +
                 " (a program holds it without sharing it)");
        return kNoStation;
    }
    if (!fpn.Login()) {
        Complain("cannot broadcast to " + options->broadcast + ":" + std::to_string(options->port));
        fpn.Close();
        return kNoStation;
    }
    const int status = options->list ? List(fpn, *options) : Menu(fpn, *options);
    fpn.Logout();
    fpn.Close();
    return status;
}
