// The account editor: enters or changes one mail account. The caller fills the
// edits (Change) or leaves them empty (Add), runs exec() and, when Result is 0,
// reads the edits: it trims the name, host and user ID itself. What checks
// learnt of the server's TLS shows under the edits, with a button that forgets
// it after asking; the caller reads Forgotten.
#pragma once

#include "mail/ServerDiscovery.h"
#include "oauth/BrowserSignIn.h"
#include "oauth/OAuthClient.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QStringList>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pim {

class TAccountForm : public QDialog {
    Q_OBJECT
public:
    explicit TAccountForm(QWidget* parent = nullptr);

    QLineEdit* edName = nullptr;
    QLineEdit* edHostName = nullptr;
    QLineEdit* edUserID = nullptr;
    QLineEdit* edPassword = nullptr; // shows "*" for every character
    // How it signs in: a password, or OAuth 2.0 with a provider's preset or
    // endpoints typed; the OAuth rows show only then.
    QComboBox* cbAuth = nullptr;
    QLineEdit* edAuthorizeUrl = nullptr;
    QLineEdit* edTokenUrl = nullptr;
    QLineEdit* edClientId = nullptr;
    QLineEdit* edClientSecret = nullptr;
    QLineEdit* edScope = nullptr;
    // Signs in now, in the browser; beside it whether the account is signed in.
    QPushButton* btSignIn = nullptr;
    QLabel* laGrant = nullptr;
    QPushButton* btOk = nullptr; // also pressed by Enter in the edits
    QPushButton* btCancel = nullptr;
    // Shown only when something was learnt.
    QLabel* laLearnt = nullptr;
    QPushButton* btForget = nullptr;

    // 0 accepted (after validation), 1 cancelled or closed.
    int Result = 1;
    // The user chose to forget what was learnt.
    bool Forgotten = false;

    // Shows the TLS fields of `account`: TlsRequired, TrustedCertificate and
    // the dates they were learnt.
    void ShowLearnt(const TAccount& account);
    // The account's sign-in, and what the editor leaves of it; `signedIn`: a
    // grant is kept for it.
    void ShowSignIn(AccountAuth auth, const OAuthClient& client, bool signedIn = false);
    // Bound to the desktop's online account: its server, user and secret are
    // the desktop's, shown but not edited here.
    void ShowBound();
    AccountAuth Auth() const;
    OAuthClient SignInClient() const;
    // The refresh token of a sign-in made here, while the fields it was made
    // for stand; empty otherwise.
    std::string Grant() const;
    // Where the sign-in's page opens; without it, the desktop's browser.
    BrowserSignIn::OpenUrl OpenUrl;

public slots:
    void btOkClick();
    void btCancelClick();
    void btForgetClick();
    void btSignInClick();

private:
    void AuthChosen(int index);
    // The user ID is the address: a known provider's server and sign-in, else
    // what the domain's DNS names, where no server is typed yet.
    void ProposeServer();
    void ServerFound(const std::optional<ServerProposal>& proposal);
    // What OK and the sign-in both need; a refusal says why and goes to the field.
    bool Valid();
    // A grant is the provider's for one client and user.
    QStringList GrantKey() const;
    void ShowGrant();
    // Places what stands below the rows, after they changed.
    void Relayout();
    void ShowStarts();

    QStringList forgotten_; // what btForget forgets, as its question names it
    QList<QWidget*> oauthRows_;
    std::unique_ptr<ServerDiscovery> discovery_; // while the domain's DNS is asked
    std::string grant_;
    bool bound_ = false;
    QStringList grantFor_; // the GrantKey of the grant kept or made here
};

} // namespace pim
