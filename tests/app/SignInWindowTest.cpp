// The sign-in window: the page's address to copy where no browser came up, and
// a sign-in that cannot start says why and leaves only closing to do.
#include "settings/SignInWindow.h"

#include "common/UiText.h"
#include "settings/DialogFrame.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(SignInWindowTest, TheAddressCanBeCopiedAndAWindowThatCannotSignInSaysWhy) {
    SetUiLanguage(UiLanguage::English);
    TAccount account{true, "Taro", "imaps://imap.example.jp", "taro@example.jp", ""};
    account.Auth = AccountAuth::OAuth2;
    account.OAuthAuthorizeUrl = "https://127.0.0.1:1/authorize";
    account.OAuthTokenUrl = "https://127.0.0.1:1/token";
    account.OAuthClientId = "pim";
    QUrl opened;
    auto* window =
        new SignInWindow(account, nullptr, [&](const QUrl& url) { return opened = url, true; });
    window->Start();
    EXPECT_TRUE(window->laText->text().contains("opened in your browser"));
    EXPECT_EQ(window->edUrl->text(), QString::fromLatin1(opened.toEncoded()));
    window->btCopy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), window->edUrl->text());
    window->BrowserFailed();
    EXPECT_TRUE(window->laText->text().startsWith("No browser could be opened"));
    window->show(); // Enter cancels: the page is signed in in the browser
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window->edUrl, &enter);
    EXPECT_FALSE(window->isVisible());
    // An opener that fails at once (no xdg-open) is told so, not taken for a browser.
    SignInWindow* failing = nullptr;
    failing = new SignInWindow(account, nullptr,
                               [&](const QUrl&) { return failing->BrowserFailed(), true; });
    failing->Start();
    EXPECT_TRUE(failing->laText->text().startsWith("No browser could be opened"));
    failing->close();

    account.OAuthClientId.clear();
    SignInWindow cannot(account);
    cannot.Start();
    EXPECT_TRUE(cannot.laText->text().contains("No client ID is set"));
    EXPECT_FALSE(cannot.btCopy->isEnabled() || cannot.edUrl->isEnabled());
    EXPECT_EQ(cannot.font(), DialogFont()) << "the dialogs' font";
    EXPECT_EQ(cannot.btCancel->text(), "Close");
    SetUiLanguage(UiLanguage::Japanese);
}

} // namespace
} // namespace pim
