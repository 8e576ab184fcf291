#include "platform/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pim {

namespace {

int gPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

sigset_t SignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : kSignals)
        sigaddset(&set, signalNumber);
    return set;
}

void OnSignal(int signalNumber) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void TerminationSignals::HoldUntilWatched() {
    const sigset_t set = SignalSet();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    const sigset_t set = SignalSet();
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        // Without the pipe the signals keep their default: they end the program.
        ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

TerminationSignals::~TerminationSignals() {
    for (int signalNumber : kSignals)
        std::signal(signalNumber, SIG_DFL);
    if (gPipe[0] >= 0) {
        ::close(gPipe[0]);
        ::close(gPipe[1]);
        gPipe[0] = gPipe[1] = -1;
    }
}

void TerminationSignals::readPipe() {
    unsigned char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1)
        emit requested(byte);
}

} // namespace pim
