// The owner side of the POP3 component, as the check run has it: every next
// step posted, never called from inside an event; what was reported is kept.
#pragma once

#include "pop3/TVeltaPOP3.h"

#include <QObject>
#include <string>
#include <vector>

namespace pim::test {

struct Pop3Client {
    TVeltaPOP3 pop3;
    std::vector<std::string> log;
    std::vector<MailSummary> mails;
    bool ended = false;
    int count = 0, next = 1, error = 0;

    Pop3Client() {
        pop3.OnConnect = [this](MailChecker*, int n) {
            Post("connect " + std::to_string(count = n));
        };
        pop3.OnGetMailInformation = [this](MailChecker*, const std::string& title,
                                           const std::string& sender, const std::string& date,
                                           const std::string&) {
            mails.push_back({title, sender, date}), Post("mail " + title);
        };
        pop3.OnDisconnect = [this](MailChecker*) { log.push_back("disconnect"), ended = true; };
        pop3.OnError = [this](MailChecker*, uint8_t e) {
            log.push_back("error " + std::to_string(error = e)), ended = true;
        };
    }
    bool Connect(uint16_t port, const std::string& host = "127.0.0.1") {
        next = 1, ended = false;
        return pop3.Connect(host + ":" + std::to_string(port), "taro", "secret");
    }
    void Post(const std::string& entry) {
        log.push_back(entry);
        QMetaObject::invokeMethod(
            &pop3, [this] { next <= count ? pop3.Retr(next++) : pop3.Quit(); },
            Qt::QueuedConnection);
    }
};

} // namespace pim::test
