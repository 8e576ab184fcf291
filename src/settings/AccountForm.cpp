#include "settings/AccountForm.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "oauth/KnownServers.h"
#include "oauth/Presets.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/DialogFrame.h"
#include "settings/SignInWindow.h"

#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <algorithm>

namespace pim {

namespace {

const std::string& EnterName() {
    return UiText("AccountForm", "表示名を入力してください。");
}
const std::string& EnterHost() {
    return UiText("AccountForm", "ホスト名を入力してください。");
}
const std::string& EnterUser() {
    return UiText("AccountForm", "ユーザIDを入力してください。");
}
const std::string& UserBreaks() {
    return UiText("AccountForm", "ユーザIDに改行文字やNUL文字は使えません。");
}
const std::string& PasswordBreaks() {
    return UiText("AccountForm", "パスワードに改行文字やNUL文字は使えません。");
}

constexpr int kClientWidth = 309;
constexpr int kEditLeft = 96;
constexpr int kLabelLeft = 10;
constexpr int kEditHeight = 22;
constexpr int kRowTop = 30;
constexpr int kRowPitch = 24;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kMargin = 8;
// The sign-in choices: a password, each provider's preset, then endpoints typed.
constexpr int kPasswordChoice = 0;

// A date as Pim.INI keeps it, as the locale writes dates; empty when unknown.
QString ShownDate(const std::string& date) {
    const QDate day = QDate::fromString(QString::fromStdString(date), Qt::ISODate);
    return day.isValid() ? QLocale().toString(day, QLocale::ShortFormat) : QString();
}

// Upper-case pairs joined by colons as the trust question showed them, eight to
// a line so that they fit the dialog's width.
QStringList FingerprintLines(const std::string& hex) {
    QStringList lines;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        const QString pair = QString::fromStdString(hex.substr(i, 2)).toUpper();
        if (i % 16 == 0)
            lines << pair;
        else
            lines.back() += u':' + pair;
    }
    return lines;
}

// Nothing left once blanks and control characters are cut from both ends.
bool Blank(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x20; });
}

// A line end or NUL would end the login command early and start another one.
bool BreaksCommand(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c == u'\r' || c == u'\n' || c == u'\0'; });
}

// Which character, counted from 1, Pim.INI's CP932 cannot hold (it would be
// saved as "〓"); 0 when none. The message box speaks CP932 too, so it names
// the place, not the character.
int NotInCp932(const QString& text) {
    int place = 1;
    for (qsizetype i = 0; i < text.size(); ++place) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (cp932::ToUnicode(cp932::FromUnicode(character)) != character)
            return place;
        i += length;
    }
    return 0;
}

} // namespace

TAccountForm::TAccountForm(QWidget* parent) : QDialog(parent, kDialogFlags) {
    // Framed first for the font the rows are measured in; sized once they are laid out.
    FrameDialog(*this, UiString("AccountForm", "Pim -アカウント設定-"), kClientWidth, 0);

    auto* intro =
        new QLabel(UiString("AccountForm", "メールアカウント情報を設定、変更してください。"), this);
    intro->setGeometry(10, 6, kClientWidth - 20, 20);

    int top = kRowTop;
    QLabel* label = nullptr; // of the last row made
    const auto edit = [&](const char* name, const QString& caption, int help) {
        label = new QLabel(caption, this);
        // Room for "メールサーバ" with a scaled screen's wider glyphs.
        label->setGeometry(kLabelLeft, top, kEditLeft - 4 - kLabelLeft, kEditHeight);
        auto* ed = new QLineEdit(this);
        ed->setObjectName(QLatin1String(name));
        ed->setGeometry(kEditLeft, top, kClientWidth - 8 - kEditLeft, kEditHeight);
        SetHelpContext(ed, help);
        label->setBuddy(ed); // a screen reader names the edit by its label
        top += kRowPitch;
        return ed;
    };
    edName = edit("edName", UiString("AccountForm", "表示名"), 31);
    edHostName = edit("edHostName", UiString("AccountForm", "メールサーバ"), 32);
    // The forms a server takes, one a line under its edit, so that one more can join.
    auto* example = new QLabel(UiString("AccountForm", "例"), this);
    auto* forms =
        new QLabel(QStringLiteral("pop.example.jp\npop.example.jp:1110\npop3s://pop.example.jp\n"
                                  "imaps://imap.example.jp"),
                   this);
    forms->setObjectName(QStringLiteral("laHostForms"));
    const int formsHeight = forms->sizeHint().height();
    example->setGeometry(kLabelLeft, top - 2, kEditLeft - 4 - kLabelLeft, formsHeight);
    example->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    forms->setGeometry(kEditLeft + 2, top - 2, kClientWidth - 10 - kEditLeft, formsHeight);
    edHostName->setAccessibleDescription(example->text() + u' ' +
                                         forms->text().replace(u'\n', QStringLiteral(", ")));
    top += formsHeight + 2;
    edUserID = edit("edUserID", UiString("AccountForm", "ユーザID"), 33);
    edPassword = edit("edPassword", UiString("AccountForm", "パスワード"), 34);

    auto* authLabel = new QLabel(UiString("AccountForm", "サインイン"), this);
    authLabel->setGeometry(kLabelLeft, top, kEditLeft - 4 - kLabelLeft, kEditHeight);
    cbAuth = new QComboBox(this);
    cbAuth->setObjectName(QStringLiteral("cbAuth"));
    cbAuth->setGeometry(kEditLeft, top, kClientWidth - 8 - kEditLeft, kEditHeight);
    cbAuth->addItem(UiString("AccountForm", "パスワード"));
    // The provider alone fits the row; what it covers is the item's tip.
    for (const OAuthPreset& preset : OAuthPresets()) {
        cbAuth->addItem(QStringLiteral("OAuth 2.0: ") +
                        preset.name.section(QStringLiteral(" ("), 0, 0));
        cbAuth->setItemData(cbAuth->count() - 1, preset.name, Qt::ToolTipRole);
    }
    cbAuth->addItem(UiString("AccountForm", "OAuth 2.0: その他"));
    SetHelpContext(cbAuth, 41);
    authLabel->setBuddy(cbAuth);
    top += kRowPitch;
    const std::pair<QLineEdit**, QString> oauth[] = {
        {&edAuthorizeUrl, UiString("AccountForm", "認可URL")},
        {&edTokenUrl, UiString("AccountForm", "トークンURL")},
        {&edClientId, UiString("AccountForm", "クライアント")},
        {&edClientSecret, UiString("AccountForm", "シークレット")},
        {&edScope, UiString("AccountForm", "スコープ")}};
    for (const auto& [ed, caption] : oauth) {
        *ed = edit("edOAuth", caption, 41);
        (*ed)->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText |
                                   Qt::ImhNoAutoUppercase);
        (*ed)->setAttribute(Qt::WA_InputMethodEnabled, false);
        oauthRows_ << *ed << label;
    }
    btSignIn = new QPushButton(UiString("AccountForm", "サインイン..."), this);
    btSignIn->setObjectName(QStringLiteral("btSignIn"));
    const int signInWidth = std::max(btSignIn->sizeHint().width(), kButtonWidth);
    btSignIn->setGeometry(kEditLeft, top, signInWidth, kButtonHeight);
    SetHelpContext(btSignIn, 41);
    connect(btSignIn, &QPushButton::clicked, this, &TAccountForm::btSignInClick);
    laGrant = new QLabel(this);
    laGrant->setObjectName(QStringLiteral("laGrant"));
    laGrant->setGeometry(kEditLeft + signInWidth + 6, top,
                         kClientWidth - 8 - kEditLeft - signInWidth - 6, kButtonHeight);
    oauthRows_ << btSignIn << laGrant;
    for (QLineEdit* ed : {edUserID, edHostName, edTokenUrl, edClientId})
        connect(ed, &QLineEdit::textChanged, this, &TAccountForm::ShowGrant);
    edClientId->setPlaceholderText(UiString("AccountForm", "クライアントID"));
    edClientSecret->setPlaceholderText(UiString("AccountForm", "プロバイダが発行した場合のみ"));
    connect(cbAuth, &QComboBox::activated, this, &TAccountForm::AuthChosen);
    connect(edUserID, &QLineEdit::editingFinished, this, &TAccountForm::ProposeServer);
    // An answer for an address no longer typed would fill in another domain's server.
    connect(edUserID, &QLineEdit::textEdited, this, [this] {
        if (discovery_)
            discovery_.reset(), edHostName->setPlaceholderText({});
    });

    // Server, user ID and password are ASCII: typing goes straight in, past the
    // input method. The display name is often Japanese and keeps it.
    for (QLineEdit* ascii : {edHostName, edUserID}) {
        ascii->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText |
                                   Qt::ImhNoAutoUppercase);
        ascii->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    ShowAsStars(edPassword);
    edPassword->setAttribute(Qt::WA_InputMethodEnabled, false);

    btOk = new QPushButton(UiString("AccountForm", "設定"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    // The buttons close under the last row shown (Relayout).
    btOk->setGeometry(kClientWidth - kMargin - kButtonWidth - 6 - kButtonWidth, 0, kButtonWidth,
                      kButtonHeight);
    // Default: Enter in any edit ends up here (an edit passes Enter on to the dialog).
    btOk->setDefault(true);
    SetHelpContext(btOk, 35);
    connect(btOk, &QPushButton::clicked, this, &TAccountForm::btOkClick);

    btCancel = new QPushButton(UiString("AccountForm", "キャンセル"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(kClientWidth - kMargin - kButtonWidth, 0, kButtonWidth, kButtonHeight);
    SetHelpContext(btCancel, 36);
    connect(btCancel, &QPushButton::clicked, this, &TAccountForm::btCancelClick);

    laLearnt = new QLabel(this);
    laLearnt->setObjectName(QStringLiteral("laLearnt"));
    laLearnt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    laLearnt->setTextInteractionFlags(Qt::TextSelectableByMouse); // the fingerprint to compare
    laLearnt->hide();
    btForget = new QPushButton(UiString("AccountForm", "忘れる"), this);
    btForget->setObjectName(QStringLiteral("btForget"));
    btForget->setGeometry(18, btOk->y(), kButtonWidth, kButtonHeight);
    btForget->setAccessibleDescription(UiString("AccountForm", "記録した暗号化の情報を忘れます"));
    SetHelpContext(btForget, 40);
    btForget->hide();
    connect(btForget, &QPushButton::clicked, this, &TAccountForm::btForgetClick);
    // Tab goes as the eye does: the forget button stands left of OK.
    setTabOrder(edScope, btSignIn);
    setTabOrder(btSignIn, btForget);
    setTabOrder(btForget, btOk);

    Relayout();
    EnableContextHelp(this);
    edName->setFocus();
}

void TAccountForm::btOkClick() {
    if (!Valid())
        return;
    Result = 0;
    accept();
}

bool TAccountForm::Valid() {
    const std::pair<QLineEdit*, const std::string& (*)()> required[] = {
        {edName, EnterName}, {edHostName, EnterHost}, {edUserID, EnterUser}};
    const auto refuse = [this](QLineEdit* ed, const std::string& message) {
        ed->setFocus();
        MessageBox(this, message, mb::Ok | mb::IconExclamation);
        return false;
    };
    for (const auto& [ed, message] : required) {
        if (Blank(ed->text()))
            return refuse(ed, message());
    }
    if (BreaksCommand(edUserID->text()))
        return refuse(edUserID, UserBreaks());
    switch (Auth() == AccountAuth::OAuth2 ? ProblemOf(SignInClient()) : OAuthClientProblem::None) {
    case OAuthClientProblem::None:
        break;
    case OAuthClientProblem::NoClientId:
        return refuse(edClientId,
                      UiText("AccountForm", "クライアントIDを入力してください（プロバイダにアプリを"
                                            "登録すると得られます）。"));
    case OAuthClientProblem::NotHttps:
        return refuse(edAuthorizeUrl,
                      UiText("AccountForm", "認可URLとトークンURLは https:// で始めてください。"));
    }
    if (Auth() == AccountAuth::Password && BreaksCommand(edPassword->text()))
        return refuse(edPassword, PasswordBreaks());
    if (const int place = Auth() == AccountAuth::Password ? NotInCp932(edPassword->text()) : 0)
        return refuse(edPassword,
                      cp932::FromUnicode(UiString("AccountForm", "パスワードの%1文字目はShift_JISに"
                                                                 "ない文字のため、保存できません。")
                                             .arg(place)));
    return true;
}

void TAccountForm::btCancelClick() {
    Result = 1;
    reject();
}

void TAccountForm::ShowLearnt(const TAccount& account) {
    QStringList lines;
    // Neutral words: STLS for POP3, STARTTLS for IMAP, the same lesson.
    if (account.TlsRequired) {
        const QString date = ShownDate(account.TlsRequiredDate);
        lines << (date.isEmpty() ? UiString("AccountForm", "TLS が必要")
                                 : UiString("AccountForm", "TLS が必要（%1 から）").arg(date));
    }
    if (!account.TrustedCertificate.empty()) {
        const QString date = ShownDate(account.TrustedCertificateDate);
        lines << (date.isEmpty() ? UiString("AccountForm", "信頼した証明書：")
                                 : UiString("AccountForm", "信頼した証明書（%1 から）：").arg(date))
              << FingerprintLines(account.TrustedCertificate);
    }
    if (lines.isEmpty())
        return;
    // The button and its question name what goes.
    forgotten_.clear();
    if (account.TlsRequired)
        forgotten_ << UiString("AccountForm", "TLS が必要であること");
    if (!account.TrustedCertificate.empty())
        forgotten_ << UiString("AccountForm", "信頼した証明書");
    btForget->setText(forgotten_.size() == 2
                          ? UiString("AccountForm", "両方を忘れる")
                          : (account.TlsRequired ? UiString("AccountForm", "TLS 要件を忘れる")
                                                 : UiString("AccountForm", "証明書を忘れる")));
    btForget->resize(std::clamp(btForget->sizeHint().width(), kButtonWidth, btOk->x() - 6 - 18),
                     kButtonHeight);
    // Below the rows, the dialog grown to hold every line.
    laLearnt->setText(lines.join(u'\n'));
    laLearnt->resize(kClientWidth - kMargin - 18, laLearnt->sizeHint().height());
    laLearnt->show();
    btForget->show();
    Relayout();
}

void TAccountForm::ShowBound() {
    bound_ = true;
    for (QLineEdit* ed : {edHostName, edUserID})
        ed->setReadOnly(true);
    edPassword->clear();
    edPassword->setPlaceholderText(UiString("AccountForm", "オンラインアカウントが管理します"));
    cbAuth->setCurrentIndex(kPasswordChoice);
    cbAuth->setEnabled(false);
    Relayout();
}

void TAccountForm::Relayout() {
    const bool oauth = Auth() == AccountAuth::OAuth2;
    for (QWidget* row : oauthRows_)
        row->setVisible(oauth);
    edPassword->setEnabled(!oauth && !bound_);
    const int bottom = oauth ? btSignIn->y() + kButtonHeight + 2 : cbAuth->y() + kRowPitch;
    ShowGrant();
    int buttons = bottom + 2;
    if (!laLearnt->isHidden()) {
        laLearnt->move(18, bottom + 4);
        buttons = laLearnt->y() + laLearnt->height() + kMargin;
    }
    for (QPushButton* button : {btForget, btOk, btCancel})
        button->move(button->x(), buttons);
    FrameDialog(*this, windowTitle(), kClientWidth, buttons + kButtonHeight + kMargin);
}

void TAccountForm::ShowSignIn(AccountAuth auth, const OAuthClient& client, bool signedIn) {
    int choice = kPasswordChoice;
    if (auth == AccountAuth::OAuth2) {
        const auto presets = OAuthPresets();
        choice = int(presets.size()) + 1; // typed
        for (size_t i = 0; i < presets.size(); ++i)
            if (presets[i].client.tokenUrl == client.tokenUrl)
                choice = int(i) + 1;
    }
    cbAuth->setCurrentIndex(choice);
    edAuthorizeUrl->setText(client.authorizeUrl);
    edTokenUrl->setText(client.tokenUrl);
    edClientId->setText(client.clientId);
    edClientSecret->setText(client.clientSecret);
    edScope->setText(client.scope);
    grantFor_ = signedIn ? GrantKey() : QStringList();
    ShowStarts();
    Relayout();
}

QStringList TAccountForm::GrantKey() const {
    return {QString::number(cbAuth->currentIndex()), edTokenUrl->text().trimmed(),
            edClientId->text().trimmed(), edHostName->text().trimmed(), edUserID->text().trimmed()};
}

std::string TAccountForm::Grant() const {
    return GrantKey() == grantFor_ ? grant_ : std::string();
}

void TAccountForm::ShowGrant() {
    laGrant->setText(!grantFor_.isEmpty() && GrantKey() == grantFor_
                         ? UiString("AccountForm", "サインイン済み")
                         : UiString("AccountForm", "未サインイン"));
}

// The account signs in now rather than at the first check: the grant is kept
// with the account once the editor's fields are taken.
void TAccountForm::btSignInClick() {
    if (!Valid())
        return;
    TAccount account{true, cp932::FromUnicode(edName->text().trimmed()),
                     cp932::FromUnicode(edHostName->text().trimmed()),
                     cp932::FromUnicode(edUserID->text().trimmed()), ""};
    const OAuthClient client = SignInClient();
    account.Auth = AccountAuth::OAuth2;
    account.OAuthAuthorizeUrl = client.authorizeUrl.toStdString();
    account.OAuthTokenUrl = client.tokenUrl.toStdString();
    account.OAuthClientId = client.clientId.toStdString();
    account.OAuthClientSecret = client.clientSecret.toStdString();
    account.OAuthScope = client.scope.toStdString();
    auto* window = new SignInWindow(account, this, OpenUrl);
    window->setWindowModality(Qt::WindowModal);
    const QStringList key = GrantKey();
    connect(window, &SignInWindow::signedIn, this, [this, key](const TokenReply& tokens) {
        if (tokens.refreshToken.isEmpty())
            return;
        grant_ = tokens.refreshToken.toStdString();
        grantFor_ = key;
        ShowGrant();
    });
    window->show();
    window->Start();
}

// Addresses read from their start, not from where typing would go on.
void TAccountForm::ShowStarts() {
    for (QLineEdit* ed : {edHostName, edAuthorizeUrl, edTokenUrl, edClientId, edScope})
        ed->setCursorPosition(0);
}

AccountAuth TAccountForm::Auth() const {
    return cbAuth->currentIndex() == kPasswordChoice ? AccountAuth::Password : AccountAuth::OAuth2;
}

OAuthClient TAccountForm::SignInClient() const {
    return {edAuthorizeUrl->text().trimmed(), edTokenUrl->text().trimmed(),
            edClientId->text().trimmed(), edClientSecret->text().trimmed(),
            edScope->text().simplified()};
}

// A provider's preset fills its endpoints, and the server where none is typed yet;
// "other" keeps what is there for the user to type.
void TAccountForm::AuthChosen(int index) {
    const auto presets = OAuthPresets();
    if (index >= 1 && size_t(index) <= presets.size()) {
        const OAuthPreset& preset = presets[size_t(index) - 1];
        if (edHostName->text().trimmed().isEmpty())
            edHostName->setText(preset.server);
        const bool pop3 = edHostName->text().trimmed().startsWith(QLatin1String("pop3"));
        edAuthorizeUrl->setText(preset.client.authorizeUrl);
        edTokenUrl->setText(preset.client.tokenUrl);
        // An id the build brings; else the one typed stays.
        if (!preset.client.clientId.isEmpty())
            edClientId->setText(preset.client.clientId);
        edClientSecret->setText(preset.client.clientSecret);
        edScope->setText(pop3 && !preset.popScope.isEmpty() ? preset.popScope
                                                            : preset.client.scope);
        ShowStarts();
    }
    Relayout();
}

void TAccountForm::ProposeServer() {
    const QString address = edUserID->text().trimmed();
    if (!edHostName->text().trimmed().isEmpty() || address.indexOf(u'@') <= 0)
        return;
    const std::optional<KnownServer> known = KnownServerOf(address);
    if (!known) {
        // The editor stays usable meanwhile; the answer fills only a server still empty.
        discovery_ = std::make_unique<ServerDiscovery>(this);
        connect(discovery_.get(), &ServerDiscovery::found, this, &TAccountForm::ServerFound);
        edHostName->setPlaceholderText(UiString("AccountForm", "メールサーバを探しています…"));
        discovery_->Start(address);
        return;
    }
    edHostName->setText(known->server);
    const int choice = known->preset < 0 ? kPasswordChoice : known->preset + 1;
    cbAuth->setCurrentIndex(choice);
    AuthChosen(choice);
}

void TAccountForm::ServerFound(const std::optional<ServerProposal>& proposal) {
    discovery_.release()->deleteLater(); // it is the sender
    edHostName->setPlaceholderText(
        proposal ? QString() : UiString("AccountForm", "見つかりませんでした。入力してください"));
    if (!proposal || !edHostName->text().trimmed().isEmpty())
        return;
    // A server without TLS, or one outside the domain, is proposed only where the user says so.
    const auto agreed = [this](const QString& question) {
        return MessageBox(this, cp932::FromUnicode(question),
                          mb::YesNo | mb::IconExclamation | mb::DefButton2) == IDYES;
    };
    if (!proposal->tls &&
        !agreed(UiString("AccountForm",
                         "ドメインのメール設定はメールサーバ %1 を示していますが、暗号化（TLS）"
                         "の接続ではありません。パスワードが暗号化されずに送られることが"
                         "あります。このサーバを使いますか？")
                    .arg(proposal->server)))
        return;
    if (proposal->outside &&
        !agreed(UiString("AccountForm",
                         "ドメイン %1 の DNS は、そのドメインの外にあるメールサーバ %2 を示して"
                         "います。DNS の応答は偽装されることがあります。このサーバにパスワード"
                         "を送ってよいか確かめてください。このサーバを使いますか？")
                    .arg(edUserID->text().trimmed().section(u'@', -1), proposal->server)))
        return;
    edHostName->setText(proposal->server);
    if (!proposal->user.isEmpty())
        edUserID->setText(proposal->user);
    ShowStarts();
}

void TAccountForm::btForgetClick() {
    QString listed;
    for (const QString& what : forgotten_)
        listed += UiString("AccountForm", "・%1\r").arg(what);
    const std::string question = cp932::FromUnicode(
        UiString("AccountForm", "サーバ %1 について記録した次のことを忘れてもよろしいですか？\r%2"
                                "次回のメールチェックから、あらためて確認します。")
            .arg(edHostName->text().trimmed(), listed));
    if (MessageBox(this, question, mb::YesNo | mb::IconQuestion) == IDNO)
        return;
    Forgotten = true;
    laLearnt->setText(UiString("AccountForm", "記録なし"));
    // Not left on a button that can no longer be pressed.
    btOk->setFocus();
    btForget->setEnabled(false);
}

} // namespace pim
