// The window of a sign-in in the browser: it says that the provider's page was
// opened in the browser (or could not be), shows that page's address with a
// button that copies it, and can be cancelled. It closes itself once signed in.
#pragma once

#include "oauth/BrowserSignIn.h"
#include "settings/Settings.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pim {

class SignInWindow : public QDialog {
    Q_OBJECT
public:
    // Without `openUrl`, the desktop's browser.
    SignInWindow(const TAccount& account, QWidget* parent = nullptr,
                 BrowserSignIn::OpenUrl openUrl = {});

    // Opens the browser; what could not start stays in the window with its reason.
    void Start();
    // No browser showed the page after all: the address is for the user to open.
    void BrowserFailed();

    QLabel* laText = nullptr;
    QLineEdit* edUrl = nullptr;
    QPushButton* btCopy = nullptr;
    QPushButton* btCancel = nullptr;

signals:
    void signedIn(const pim::TokenReply& tokens);

private:
    void Failed(const QString& reason);

    void ShowWaiting(bool browserOpened);

    QString name_;
    bool browserFailed_ = false;
    BrowserSignIn signIn_;
};

} // namespace pim
