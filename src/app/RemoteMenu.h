// Pim's remote menu: what a console on the LAN sees when it opens Pim's menu,
// answered one prompt at a time. No widget and no socket: the program's state
// comes through RemoteMenuHost, the prompts leave through RemotePrompts.
#pragma once

#include "app/check/AccountResult.h"
#include "settings/Settings.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

namespace pim {

class RemoteMenuHost {
public:
    virtual ~RemoteMenuHost() = default;
    // A dialog or message box of the main window is open.
    virtual bool DialogOpen() const = 0;
    virtual bool Offline() const = 0;
    // -1 idle, -2 dialling, 0..19 the account being checked.
    virtual int CheckIndex() const = 0;
    virtual int TotalMail() const = 0;
    virtual const Results& ShownResults() const = 0;
    // Fully connected dial-up connections.
    virtual int ActiveEntryCount() = 0;
    // An enabled account with a name: something for a check to do.
    virtual bool AccountToCheck() const = 0;
    // Starts a check as the LAN does: none of the check button's questions.
    virtual void StartCheck() = 0;
};

// The Fernpost station as the menu uses it: the prompt operations, addressed to
// one console, and what the station knows of that console.
class RemotePrompts {
public:
    virtual ~RemotePrompts() = default;
    // The address the station's prompts to `machineName` go to; empty when none.
    virtual std::string ConsoleAddress(const std::string& machineName) const = 0;
    // The longest message InputMessage can carry to that console.
    virtual size_t MessageRoom(const std::string& machineName,
                               const std::string& discrimination) const = 0;
    virtual void InputSelect(const std::string& message, const std::string& selectList,
                             const std::string& selectReturn,
                             const std::string& selectDiscrimination,
                             const std::string& machineName, const std::string& discrimination) = 0;
    virtual void InputLine(const std::string& message, const std::string& messageLine,
                           const std::string& lineDiscrimination, const std::string& machineName,
                           const std::string& discrimination) = 0;
    virtual void InputMessage(const std::string& message, const std::string& machineName,
                              const std::string& discrimination) = 0;
};

class RemoteMenu {
public:
    // Each argument must outlive the menu; `settings` is read at every call.
    RemoteMenu(RemoteMenuHost& host, const TSettings& settings, RemotePrompts& prompts);

    // Local time, for the menu heading, the password memory and the limits.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // How long a console that gave the password is served without giving it again.
    static constexpr qint64 kPasswordMemoryMs = 10 * 60 * 1000;
    static constexpr size_t kRememberedConsoles = 256;
    // Wrong passwords from one address before its password answers are ignored,
    // and for how long.
    static constexpr int kPasswordTries = 5;
    static constexpr qint64 kLockOutMs = 60 * 1000;
    // A check started from the LAN is not started again within this time: each
    // one logs in to every mailbox, and providers lock accounts that do so too often.
    static constexpr qint64 kRemoteCheckGapMs = 60 * 1000;

    // Handlers of the station's OnMenuRequest and OnInputReturn; `senderIP` is
    // the source address of the text.
    void FPNMenuRequest(const std::string& handleName, const std::string& machineName,
                        const std::string& discrimination, const std::string& senderIP);
    void FPNInputReturn(const std::string& inputDiscrimination, const std::string& inputReturn,
                        const std::string& handleName, const std::string& machineName,
                        const std::string& discrimination, const std::string& senderIP);

    // From the station's OnLogout: the console must give the password again.
    void ConsoleLoggedOut(const std::string& machineName, const std::string& discrimination);

private:
    // The names come from the request itself, which any station can write:
    // only the address the password came from, and the table entry the
    // answers go to, tie a request to the console that gave it.
    struct Console {
        std::string MachineName;
        std::string Discrimination;
        std::string Password; // the one it gave: a changed setting locks it out
        QDateTime Given;
        std::string Source;      // where the password came from
        std::string PeerAddress; // where the answers went then
    };
    struct WrongPasswords {
        std::string Source;
        int Count = 0;
        QDateTime Last;
    };

    bool Refused(const std::string& machineName, const std::string& discrimination);
    bool Admitted(const std::string& machineName, const std::string& discrimination,
                  const std::string& senderIP);
    void Remember(const std::string& machineName, const std::string& discrimination,
                  const std::string& senderIP);
    std::vector<Console>::iterator Find(const std::string& machineName,
                                        const std::string& discrimination);
    std::vector<WrongPasswords>::iterator FindWrongPasswords(const std::string& senderIP);
    bool LockedOut(const std::string& senderIP);
    void CountWrongPassword(const std::string& senderIP);
    bool Within(const QDateTime& since, qint64 spanMs) const;
    std::string MenuHeader() const;
    void AskPassword(const std::string& header, const std::string& machineName,
                     const std::string& discrimination);
    void TopMenu(const std::string& header, const std::string& machineName,
                 const std::string& discrimination);
    void StartCheck(const std::string& machineName, const std::string& discrimination);
    void CheckNow(const std::string& machineName, const std::string& discrimination);
    void MailOverview(const std::string& header, const std::string& machineName,
                      const std::string& discrimination);
    void AccountChosen(const std::string& header, const std::string& slotText,
                       const std::string& machineName, const std::string& discrimination);
    void MailChosen(const std::string& header, const std::string& tag,
                    const std::string& inputReturn, const std::string& machineName,
                    const std::string& discrimination);
    // The account named by `slotText`, or null after telling the console why there is no mail.
    const AccountResult* AccountWithMail(const std::string& slotText,
                                         const std::string& machineName,
                                         const std::string& discrimination);
    void AskMailNumber(const std::string& header, const std::string& note,
                       const AccountResult& account, const std::string& tag,
                       const std::string& machineName, const std::string& discrimination);

    void Select(const std::string& message, const std::string& list, const std::string& values,
                const std::string& tag, const std::string& machineName,
                const std::string& discrimination);
    void Line(const std::string& message, const std::string& caption, const std::string& tag,
              const std::string& machineName, const std::string& discrimination);
    void Message(const std::string& message, const std::string& machineName,
                 const std::string& discrimination);

    RemoteMenuHost& host_;
    const TSettings& settings_;
    RemotePrompts& prompts_;
    std::vector<Console> consoles_;
    std::vector<WrongPasswords> wrongPasswords_;
    QDateTime lastRemoteCheck_;
    // Context of the queued check start: gone with the menu, so is the start.
    QObject queue_;
};

} // namespace pim
