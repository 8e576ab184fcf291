// Arbitrary server bytes, cut into arbitrary chunks, mixed with whatever the owner
// and the host may do: the session never crashes, never changes the mailbox,
// and whenever it is closed no timer of it runs. Capabilities, literals, searches
// and FETCH answers all come from the same bytes, and so do the upgrades to TLS.
#include "imap/ImapSession.h"

#include <cstdlib>
#include <utility>

namespace {

class Host : public pim::ImapSessionHost {
public:
    bool timer = false, sessionTimer = false;
    bool Send(const std::string& bytes) override {
        for (const char* word : {"STORE", "EXPUNGE", "SELECT", "CREATE", "APPEND", "CLOSE"})
            if (bytes.find(word) != std::string::npos)
                std::abort();
        if (!bytes.ends_with("\r\n"))
            std::abort();
        return true;
    }
    void StartTimer() override { timer = true; }
    void StopTimer() override { timer = false; }
    void StartSessionTimer() override { sessionTimer = true; }
    void StopSessionTimer() override { sessionTimer = false; }
    void CloseConnection() override {}
    void StartTls() override {}
    void Connected(int count) override {
        if (count < 0)
            std::abort();
    }
    void MailInformation(const pim::MailSummary&, const std::string& id) override {
        if (id.find('.') == std::string::npos)
            std::abort();
    }
    void Disconnected() override {}
    void Failed(uint8_t errorNo) override {
        if (errorNo < 1 || errorNo > 6 || errorNo == 3)
            std::abort();
    }
};

const pim::DayNames kNames = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};

} // namespace

// Byte 0xFF starts a control pair: the next byte picks an owner or host action;
// other bytes are server data, delivered in chunks ended by a control pair.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host host;
    pim::ImapSession session(host);
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
            // It fires only while it runs, and once.
            if (std::exchange(host.timer, false))
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
                              static_cast<pim::ImapSession::Tls>(data[i] / 8 % 3));
            break;
        case 6:
            session.SessionTimerExpired();
            break;
        default:
            session.TlsStarted();
        }
        if (!session.Open() && (host.timer || host.sessionTimer))
            std::abort();
    }
    session.Receive(chunk);
    return 0;
}
