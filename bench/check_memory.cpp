// Whether a resident Pim's memory stays flat over many checks: one Pim with its
// window shown checks the sample mailbox again and again, and the anonymous
// memory after a warm-up is compared with that after the rest.
//   check_memory [CHECKS]   (default 1000, after 100 to warm up)
// Runs the sample POP3 server of tools/ on 127.0.0.1; prints the figures and
// ends with 1 when memory grew by 1 MB or more.
#include "app/MainForm.h"
#include "common/HexKey.h"
#include "dialup/TVeltaRAS.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int kWarmUp = 100;
constexpr long kGoalKiB = 1024;

long AnonymousKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0)
            return std::stol(line.substr(8));
    }
    return -1;
}

// Runs `count` checks one after the other, each started when the last is over.
void RunChecks(pim::TMainForm& form, int count) {
    int started = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (form.Run().Running())
            return;
        form.repaint(); // what a visible window would draw after the run
        if (started == count) {
            QCoreApplication::exit(0);
            return;
        }
        ++started;
        form.Run().pbCheckClick(pim::CheckRun::Sender::Other);
    });
    poll.start(1);
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The offscreen platform warns at every raise of the window.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const int checks = argc > 1 ? std::atoi(argv[1]) : 1000;

    QProcess server;
    server.start(QStringLiteral(PIM_SAMPLE_SERVER),
                 {QStringLiteral("--port"), QStringLiteral("0")});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "check_memory: the sample server did not start\n");
        return 2;
    }
    const QByteArray port = server.readLine().trimmed().mid(5); // "PORT n"

    QTemporaryDir dir;
    QFile profile(dir.filePath(QStringLiteral("Pim.INI")));
    if (!profile.open(QIODevice::WriteOnly))
        return 2;
    profile.write(
        "[Account0]\r\nEnabled=1\r\nName=Demo\r\nHostName=127.0.0.1:" + port +
        "\r\nUserID=demo\r\nPassword=" + QByteArray::fromStdString(pim::EncodePassword("demo")) +
        "\r\n[Setting]\r\nSettingAutoShow=1\r\n[Sound]\r\nKind=0\r\n");
    profile.close();

    // No NetworkManager: a bus that is not there.
    pim::TVeltaRAS dialup(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("check-memory-no-bus")));
    pim::TMainForm form(QFile::encodeName(dir.path()).toStdString() + "/", dialup);
    form.StartUp();
    form.show();

    RunChecks(form, kWarmUp);
    const long before = AnonymousKiB();
    RunChecks(form, checks);
    const long after = AnonymousKiB();
    const int mails = form.Run().TotalMail();
    form.Terminate();
    server.kill();
    server.waitForFinished();

    std::printf("mail per check: %d\nanonymous memory after %d checks: %ld KiB\n"
                "after %d more: %ld KiB (growth %ld KiB, goal < %ld KiB)\n",
                mails, kWarmUp, before, checks, after, after - before, kGoalKiB);
    return after - before < kGoalKiB ? 0 : 1;
}
