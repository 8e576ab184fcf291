// The account editor: enters or changes one mail account. The caller fills the
// edits (Change) or leaves them empty (Add), runs exec() and, when Result is 0,
// reads the edits: it trims the name, host and user ID itself. What checks
// learnt of the server's TLS shows under the edits, with a button that forgets
// it after asking; the caller reads Forgotten.
#pragma once

#include "oauth/OAuthClient.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QStringList>

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
    // The account's sign-in, and what the editor leaves of it.
    void ShowSignIn(AccountAuth auth, const OAuthClient& client);
    AccountAuth Auth() const;
    OAuthClient SignInClient() const;

public slots:
    void btOkClick();
    void btCancelClick();
    void btForgetClick();

private:
    void AuthChosen(int index);
    // Places what stands below the rows, after they changed.
    void Relayout();
    void ShowStarts();

    QStringList forgotten_; // what btForget forgets, as its question names it
    QList<QWidget*> oauthRows_;
};

} // namespace pim
