// Arbitrary server bytes, cut into arbitrary chunks, mixed with whatever the owner
// may do: the session never crashes, and whenever it is closed it is fully reset.
// Capabilities, id listings and pipelined replies all come from the same bytes,
// and so do the upgrades to TLS, their outcome and whether TLS is required.
#include "pop3/Pop3Session.h"

#include <cstdlib>

namespace {

class Host : public pim::Pop3SessionHost {
public:
    pim::Pop3Session* session = nullptr;
    bool SendLine(const std::string&) override { return true; }
    void StartTimer(Wait) override {}
    void StopTimer() override {}
    void StartSessionTimer() override {}
    void StopSessionTimer() override {}
    void CloseConnection() override {}
    void StartTls() override {
        if (session->FState() != pim::Pop3Session::psHandshake)
            std::abort();
    }
    bool HandlesConnect() const override { return true; }
    void Connected(int count) override {
        if (count < 0)
            std::abort();
    }
    void MailInformation(const pim::MailSummary&, const std::string&) override {}
    void Disconnected() override {}
    void Failed(uint8_t errorNo) override {
        if (errorNo < 1 || errorNo > 6)
            std::abort();
    }
};

const pim::DayNames kNames = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};

} // namespace

// Byte 0xFF starts a control pair: the next byte picks an owner action; other
// bytes are server data, delivered in chunks ended by a control pair.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host host;
    pim::Pop3Session session(host);
    host.session = &session;
    // Later sessions of one input meet what earlier ones kept.
    pim::SummaryCache cache;
    session.UseCache(&cache);
    session.SetDayNames(kNames);
    session.Begin("user", "password");
    std::string chunk;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF || i + 1 == size) {
            chunk.push_back(static_cast<char>(data[i]));
            continue;
        }
        session.Receive(chunk);
        chunk.clear();
        switch (data[++i] % 8) {
        case 0:
            session.Retr(1 + data[i] / 8);
            break;
        case 1:
            session.Quit();
            break;
        case 2:
            session.TimerExpired();
            break;
        case 3:
            session.ConnectionClosed();
            break;
        case 4:
            session.ConnectionFailed();
            break;
        case 5:
            if (!session.Open())
                session.Begin("user", "password", {},
                              static_cast<pim::Pop3Session::Tls>(data[i] / 8 % 3));
            break;
        case 6:
            session.SessionTimerExpired();
            break;
        default:
            session.TlsStarted();
        }
        if (!session.Open() && (session.FState() != pim::Pop3Session::psGreeting ||
                                session.FErrorNo() != 0 || session.TimerRunning()))
            std::abort();
    }
    session.Receive(chunk);
    return 0;
}
