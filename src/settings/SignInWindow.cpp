#include "settings/SignInWindow.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Help.h"
#include "settings/DialogFrame.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pim {
namespace {

OAuthClient ClientOf(const TAccount& account) {
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    return {text(account.OAuthAuthorizeUrl), text(account.OAuthTokenUrl),
            text(account.OAuthClientId), text(account.OAuthClientSecret), text(account.OAuthScope)};
}

} // namespace

SignInWindow::SignInWindow(const TAccount& account, QWidget* parent, BrowserSignIn::OpenUrl openUrl)
    : QDialog(parent, kDialogFlags), name_(cp932::ToUnicode(account.Name)),
      signIn_(
          ClientOf(account), cp932::ToUnicode(account.UserID),
          openUrl ? std::move(openUrl) : [this](const QUrl& url) {
              OpenInBrowser(url, this, [this] { BrowserFailed(); });
              return true;
          }) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(UiString("SignInWindow", "Pim -サインイン-"));
    setFont(DialogFont());
    laText = new QLabel(this);
    laText->setWordWrap(true);
    laText->setMinimumWidth(360);
    edUrl = new QLineEdit(this);
    edUrl->setReadOnly(true);
    edUrl->setAccessibleName(UiString("SignInWindow", "サインインのページのアドレス"));
    btCopy = new QPushButton(UiString("SignInWindow", "コピー"), this);
    btCancel = new QPushButton(UiString("SignInWindow", "キャンセル"), this);
    btCancel->setDefault(true);
    auto* address = new QHBoxLayout;
    address->addWidget(edUrl, 1);
    address->addWidget(btCopy);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(laText);
    layout->addLayout(address);
    layout->addLayout(buttons);

    connect(btCopy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(edUrl->text()); });
    connect(btCancel, &QPushButton::clicked, this, &QDialog::close);
    connect(&signIn_, &BrowserSignIn::failed, this, &SignInWindow::Failed);
    connect(&signIn_, &BrowserSignIn::signedIn, this, [this](const TokenReply& tokens) {
        emit signedIn(tokens);
        close();
    });
}

void SignInWindow::Start() {
    if (!signIn_.Start())
        return Failed(signIn_.Reason());
    edUrl->setText(QString::fromLatin1(signIn_.Url().toEncoded()));
    edUrl->setCursorPosition(0);
    ShowWaiting(signIn_.BrowserOpened() && !browserFailed_);
}

// At once (nothing to open pages with) or later (the opener gave up).
void SignInWindow::BrowserFailed() {
    browserFailed_ = true;
    if (edUrl->isEnabled())
        ShowWaiting(false);
}

void SignInWindow::ShowWaiting(bool browserOpened) {
    laText->setText(
        browserOpened
            ? UiString("SignInWindow", "「%1」のサインインのページをブラウザで開きました。"
                                       "ブラウザでサインインを済ませてください。")
                  .arg(name_)
            : UiString("SignInWindow", "ブラウザを開けませんでした。「%1」のサインインのため、"
                                       "次のアドレスをブラウザで開いてください。")
                  .arg(name_));
}

// The reason stays for the user to read; only closing is left to do.
void SignInWindow::Failed(const QString& reason) {
    laText->setText(
        UiString("SignInWindow", "「%1」にサインインできませんでした。\n%2").arg(name_, reason));
    edUrl->clear();
    edUrl->setEnabled(false);
    btCopy->setEnabled(false);
    btCancel->setText(UiString("SignInWindow", "閉じる"));
}

} // namespace pim
