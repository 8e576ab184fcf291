// The owner side of a mail checker, as the check run has it: every next step
// posted, never called from inside an event; what was reported is kept.
#pragma once

#include "imap/TVeltaIMAP.h"
#include "pop3/TVeltaPOP3.h"

#include <QObject>
#include <string>
#include <vector>

namespace pim::test {

template <typename Checker>
struct CheckClient {
    Checker checker;
    std::vector<std::string> log;
    std::vector<MailSummary> mails;
    bool ended = false;
    int count = 0, next = 1, error = 0;

    CheckClient() {
        checker.OnConnect = [this](MailChecker*, int n) {
            Post("connect " + std::to_string(count = n));
        };
        checker.OnGetMailInformation = [this](MailChecker*, const std::string& title,
                                              const std::string& sender, const std::string& date,
                                              const std::string&) {
            mails.push_back({title, sender, date}), Post("mail " + title);
        };
        checker.OnDisconnect = [this](MailChecker*) { log.push_back("disconnect"), ended = true; };
        checker.OnError = [this](MailChecker*, uint8_t e) {
            log.push_back("error " + std::to_string(error = e)), ended = true;
        };
    }
    bool Connect(uint16_t port, const std::string& host = "127.0.0.1") {
        return Connect(host + ":" + std::to_string(port), "taro", "secret");
    }
    bool Connect(const std::string& host, const std::string& user, const std::string& password) {
        next = 1, ended = false;
        return checker.Connect(host, user, password);
    }
    void Post(const std::string& entry) {
        log.push_back(entry);
        QMetaObject::invokeMethod(
            &checker, [this] { next <= count ? checker.Retr(next++) : checker.Quit(); },
            Qt::QueuedConnection);
    }
};

using Pop3Client = CheckClient<TVeltaPOP3>;
using ImapClient = CheckClient<TVeltaIMAP>;

} // namespace pim::test
