// Arbitrary server bytes, cut into arbitrary chunks, mixed with whatever the owner
// and the host may do: the session never crashes, never changes the mailbox,
// and whenever it is closed no timer of it runs. Capabilities, literals, searches
// and FETCH answers all come from the same bytes, and so do the upgrades to TLS
// and the idling of a session kept open: while it idles no timer runs, and a
// change is told at most once until the owner checks again or renews; whenever
// it does not idle, the session's bound runs. Every message counted (up to the
// 255 read) can be asked for until anything else happens.
#include "imap/ImapSession.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

class Host : public pim::ImapSessionHost {
public:
    bool timer = false, sessionTimer = false;
    bool idling = false, pushed = false;
    int retrUpTo = 0;
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
        retrUpTo = std::min(count, 255);
    }
    void MailInformation(const pim::MailSummary&, const std::string& id) override {
        if (id.find('.') == std::string::npos)
            std::abort();
    }
    void Disconnected() override { idling = false, retrUpTo = 0; }
    void Failed(uint8_t errorNo) override {
        retrUpTo = 0;
        if (errorNo < 1 || errorNo > 6 || errorNo == 3)
            std::abort();
        // The FETCH refused leaves the session as it was.
        idling = idling && errorNo == 6;
    }
    void Idling() override {
        if (timer || sessionTimer)
            std::abort();
        idling = true;
        pushed = false;
    }
    void Pushed() override {
        if (!idling || std::exchange(pushed, true))
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
    session.KeepOpen(size % 2 == 0);
    session.Begin("user", "password");
    std::string chunk;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF || i + 1 == size) {
            chunk.push_back(static_cast<char>(data[i]));
            continue;
        }
        session.Receive(chunk);
        chunk.clear();
        if (data[++i] % 12 != 0)
            host.retrUpTo = 0;
        switch (data[i] % 12) {
        case 0:
            if (const int mailNo = 1 + data[i] / 8;
                !session.Retr(mailNo) && mailNo <= host.retrUpTo)
                std::abort();
            break;
        case 1:
            if (session.Quit())
                host.idling = false;
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
        case 7:
            session.TlsStarted();
            break;
        case 8:
            if (session.CheckAgain())
                host.idling = false;
            break;
        case 9:
            if (session.Renew())
                host.idling = false;
            break;
        case 10:
            if (session.Leave())
                host.idling = false;
            break;
        default:
            session.KeepOpen(data[i] / 12 % 2 != 0);
        }
        if (!session.Open() && (host.timer || host.sessionTimer))
            std::abort();
        // Open and not idling, the session's bound runs: talk holds no wait open.
        if (session.Open() && !host.idling && !host.sessionTimer)
            std::abort();
    }
    session.Receive(chunk);
    return 0;
}
