#include "app/MainForm.h"
#include "app/window/TrayPresence.h"
#include "common/Random.h"
#include "common/UiText.h"
#include "dialup/TVeltaRAS.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/TrayWatch.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// A line on stderr, in the locale's encoding: no window may be there to show it.
void Say(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

QString Usage() {
    return pim::UiString("main",
                         "使い方: pim [オプション]\n"
                         "タスクトレイに常駐してメールボックスを確認し、新着メールを知らせます。\n"
                         "\n"
                         "  -h, --help     この説明を表示して終了します。\n"
                         "  -v, --version  バージョンを表示して終了します。\n"
                         "\n"
                         "Qt のオプション (-platform、-display、-style など) も使えます。\n"
                         "設定はすべてオプションダイアログで行います (man pim)。");
}

// The options Qt's own start-up takes from the command line; they go on to it
// untouched (a session manager restarts Pim with -session, for one).
constexpr const char* kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "style",         "stylesheet"};
constexpr const char* kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb"};

// What the command line asks that is answered before any window, lock or
// connection: its help or the version (status 0), or nothing Pim or Qt knows
// (status 2). Nothing: Pim starts.
std::optional<int> AnswerCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // As Qt reads its own: "-platform" is one option, not six.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(
        QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    for (const char* name : kQtValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char* name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    QString error;
    if (!parser.parse(arguments))
        error = parser.unknownOptionNames().isEmpty()
                    ? parser.errorText()
                    : pim::UiString("main", "Pim: 不明なオプションです: %1")
                          .arg(parser.unknownOptionNames().join(QStringLiteral(", ")));
    else if (!parser.positionalArguments().isEmpty())
        error = pim::UiString("main", "Pim: 余分な引数があります: %1")
                    .arg(parser.positionalArguments().join(QLatin1Char(' ')));
    if (!error.isEmpty()) {
        Say(error + QLatin1Char('\n') + Usage());
        return 2;
    }
    if (parser.isSet(help)) {
        std::printf("%s\n", Usage().toLocal8Bit().constData());
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("Pim %s\n", PIM_VERSION);
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    pim::TerminationSignals::HoldUntilWatched();
    // Once, before any text: a window already built would not follow a change.
    pim::SetUiLanguage(pim::LanguageFor(QLocale::system()));
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv))
        return *answered;
    pim::SingleInstance instance;
    std::string error;
    pim::SingleInstance::Outcome lock = instance.Acquire(&error);
    if (lock == pim::SingleInstance::Outcome::HeldElsewhere) {
        // Another Pim runs: it shows its window, and this one ends.
        if (pim::SingleInstance::ShowRunning(pim::SingleInstance::SocketPath(), 3s,
                                             pim::LauncherToken()))
            return 0;
        // It may have been ending just now.
        lock = instance.Acquire(&error);
        if (lock == pim::SingleInstance::Outcome::HeldElsewhere) {
            Say(pim::UiString("main", "Pim: 起動中の Pim が応答しません。"));
            return 0;
        }
    }
    if (lock == pim::SingleInstance::Outcome::Failed) {
        Say(pim::UiString("main", "Pim: ロックファイルを作成できません: %1")
                .arg(QString::fromLocal8Bit(error)));
        return 1;
    }

    // A resident program started without a display (a service, a test) still runs.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    // Every frame of the check button's swing would wait for the X server to
    // have read the shared image before drawing the next one: a round trip and
    // two more wake-ups each 150 ms. Its small pictures go as plainly.
    if (!std::getenv("QT_XCB_NO_MITSHM"))
        ::setenv("QT_XCB_NO_MITSHM", "1", 1);

    pim::SeedRandom();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pim"));
    // The window ends the program itself; hiding it to the tray must not.
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt's own texts (a file dialog, a text field's menu) in Japanese too, where
    // the system has their translation.
    QTranslator qtTexts;
    if (pim::CurrentUiLanguage() == pim::UiLanguage::Japanese &&
        qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    const std::string programDir =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString() + "/";
    pim::TVeltaRAS dialup;
    pim::TerminationSignals termination;
    pim::TrayWatch trayWatch(QDBusConnection::sessionBus());
    pim::TrayPresence::SystemTrayAvailable = [&trayWatch] { return trayWatch.Present(); };
    pim::TMainForm form(programDir, dialup);
    QObject::connect(&trayWatch, &pim::TrayWatch::changed, &form, &pim::TMainForm::TrayHostChanged);
    // A tray that came while the window was being made, a box of its open, was not heard.
    form.TrayHostChanged();
    QObject::connect(&termination, &pim::TerminationSignals::requested, &form,
                     &pim::TMainForm::Terminate);
    // Listened for only now: a request that came earlier would find no window to show.
    pim::ShowRequestServer showRequests;
    QObject::connect(&showRequests, &pim::ShowRequestServer::showRequested, &form,
                     &pim::TMainForm::ShowRequested);
    if (!showRequests.Listen(pim::SingleInstance::SocketPath()))
        Say(pim::UiString("main", "Pim: %1 を開けません。次の起動はこの Pim を表示できません。")
                .arg(QString::fromLocal8Bit(pim::SingleInstance::SocketPath())));
    form.StartUp();
    return app.exec();
}
