// fpn-console: the console side of the Fernpost remote menu, for Linux users and
// for scripts and tests. It logs in as a station of its own ("FPN"), then lists
// the stations that answer, or runs one station's menu dialogue in the terminal.
//
//   fpn-console list [--timeout S]
//   fpn-console menu MACHINE [--kind KIND] [--answer TEXT]... [--timeout S]
//   both: [--broadcast ADDR] [--port N]
//   fpn-console --help | --version
//
// Exit status: 0 done; 1 bad usage, or a scripted answer that fits no choice;
// 2 no answer in time, or no such station; 3 no station at all (its own could
// not start, or not even its own login came back); 4 no answer left to give;
// 130 interrupted.
#include "Dialogue.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "remote/TFernpostNetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
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

void Complain(const QString& text) {
    Complain(text.toStdString());
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
    QString Seconds() const { return UiString("fpn-console", "%1 秒").arg(seconds); }
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
        Complain(UiString("fpn-console",
                          "ステーションがひとつもありません。このコンソール自身のログインも"
                          "戻ってきませんでした (--broadcast と --port を確かめてください)"));
        return kNoStation;
    }
    int shown = 0;
    for (const TFPN_LoginUserInformation& peer : fpn.LoginUsers) {
        if (IsSelf(peer, fpn))
            continue;
        PrintLine(Printable(peer.HandleName) + "\t" + Printable(peer.MachineName) + "\t" +
                  Printable(peer.IPAddress) + "\t" + Printable(peer.Discrimination) + "\t" +
                  (peer.Menu ? "yes" : "no"));
        ++shown;
    }
    if (shown == 0)
        Complain(UiString("fpn-console", "%1 以内に応答したステーションはありません")
                     .arg(options.Seconds()));
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
        Complain(UiString("fpn-console",
                          "種類 \"%2\" のステーション \"%1\" は %3 以内に応答しませんでした "
                          "(応答するステーションは fpn-console list で分かります)")
                     .arg(QString::fromStdString(options.machine),
                          QString::fromStdString(options.kind), options.Seconds()));
        return kNoAnswer;
    }

    PromptQueue prompts(fpn, station);
    if (!fpn.MenuCheck(station.IPAddress, station.Discrimination)) {
        Complain(UiString("fpn-console", "メニューの要求を送れません"));
        return kNoAnswer;
    }
    TtyTerminal tty;
    Dialogue dialogue(options.answers, ::isatty(STDIN_FILENO) ? &tty : nullptr, PrintLine);
    for (;;) {
        if (!Wait([&] { return !prompts.Empty(); }, options.Timeout())) {
            if (g_signal)
                return kInterrupted;
            Complain(UiString("fpn-console", "\"%1\" から %2 以内に応答がありませんでした")
                         .arg(QString::fromStdString(options.machine), options.Seconds()));
            return kNoAnswer;
        }
        const Prompt prompt = prompts.Take();
        switch (dialogue.Handle(prompt)) {
        case Dialogue::Outcome::Answer:
            if (!fpn.InputReturn(prompt.tag, dialogue.Answer(), station.IPAddress,
                                 station.Discrimination)) {
                Complain(UiString("fpn-console", "答えを送れません"));
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
        Complain(UiString("fpn-console",
                          "使い方: fpn-console list | fpn-console menu MACHINE (--help を参照)"));
        return std::nullopt;
    }
    options.kind = parser.value("kind").toStdString();
    for (const QString& answer : parser.values("answer"))
        options.answers.push_back(answer.toStdString());

    const QHostAddress broadcast(parser.value("broadcast"));
    if (broadcast.protocol() != QAbstractSocket::IPv4Protocol) {
        Complain(
            UiString("fpn-console", "--broadcast には IPv4 アドレスを 4 つの数で指定してください"));
        return std::nullopt;
    }
    options.broadcast = broadcast.toString().toStdString();
    bool numeric = false;
    const uint port = parser.value("port").toUInt(&numeric);
    if (!numeric || port == 0 || port > 65535) {
        Complain(UiString("fpn-console", "--port には 1 から 65535 までの数を指定してください"));
        return std::nullopt;
    }
    options.port = static_cast<uint16_t>(port);
    options.seconds = options.list ? 2 : 5;
    if (parser.isSet("timeout")) {
        options.seconds = parser.value("timeout").toDouble(&numeric);
        if (!numeric || !(options.seconds > 0) || options.seconds > 3600) {
            Complain(UiString("fpn-console",
                              "--timeout には 0 より大きく 3600 以下の秒数を指定してください"));
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
    // As Pim chooses, before any text.
    SetUiLanguage(LanguageFor(QLocale::system()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("fpn-console");
    QCoreApplication::setApplicationVersion(PIM_VERSION);
    // The help's headings and the parser's complaints are Qt's texts.
    QTranslator qtTexts;
    if (CurrentUiLanguage() == UiLanguage::Japanese &&
        qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        UiString("fpn-console",
                 "Fernpost の LAN のリモートメニューを端末で使うコンソールです。\n"
                 "  list            このコンソールのログインに応答したステーションの一覧\n"
                 "  menu MACHINE    マシン名 MACHINE のステーションのリモートメニューを開く"));
    // Qt's own help option describes itself in English only.
    const QCommandLineOption help(QStringList{"h", "help"},
                                  UiString("fpn-console", "この説明を表示します。"));
    parser.addOption(help);
    parser.addVersionOption();
    parser.addPositionalArgument("command", UiString("fpn-console", "list、または menu MACHINE"),
                                 "list|menu [MACHINE]");
    parser.addOptions({
        {"kind", UiString("fpn-console", "menu: ステーションの種類 (Discrimination)。"), "KIND",
         "Pim"},
        {"answer",
         UiString("fpn-console", "menu: 次の問いに TEXT で答えます (選択肢の番号、名前または値)。"
                                 "繰り返し指定できます。"),
         "TEXT"},
        {"broadcast", UiString("fpn-console", "ブロードキャストの宛先。"), "ADDR",
         "255.255.255.255"},
        {"port", UiString("fpn-console", "ネットワークの UDP ポート。"), "N", "51000"},
        {"timeout",
         UiString("fpn-console",
                  "待つ秒数: ログインの応答 (list、2) または一つひとつの応答 (menu、5)。"),
         "S"},
    });
    parser.process(app);
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kDone;
    }
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
        Complain(UiString("fpn-console",
                          "UDP ポート %1 を使えません (ほかのプログラムが共有せずに使っています)")
                     .arg(options->port));
        return kNoStation;
    }
    if (!fpn.Login()) {
        Complain(UiString("fpn-console", "%1:%2 にブロードキャストできません")
                     .arg(QString::fromStdString(options->broadcast))
                     .arg(options->port));
        fpn.Close();
        return kNoStation;
    }
    const int status = options->list ? List(fpn, *options) : Menu(fpn, *options);
    fpn.Logout();
    fpn.Close();
    return status;
}
