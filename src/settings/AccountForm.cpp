#include "settings/AccountForm.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/DialogFrame.h"

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

constexpr int kClientWidth = 309;
constexpr int kEditLeft = 96;
constexpr int kEditHeight = 22;
constexpr int kRowTop = 30;
constexpr int kRowPitch = 24;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kMargin = 8;

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

} // namespace

TAccountForm::TAccountForm(QWidget* parent) : QDialog(parent, kDialogFlags) {
    // Framed first for the font the rows are measured in; sized once they are laid out.
    FrameDialog(*this, UiString("AccountForm", "Pim -アカウント設定-"), kClientWidth, 0);

    auto* intro =
        new QLabel(UiString("AccountForm", "メールアカウント情報を設定、変更してください。"), this);
    intro->setGeometry(10, 6, kClientWidth - 20, 20);

    int top = kRowTop;
    const auto edit = [&](const char* name, const QString& caption, int help) {
        auto* label = new QLabel(caption, this);
        label->setGeometry(18, top, kEditLeft - 22, kEditHeight);
        auto* ed = new QLineEdit(this);
        ed->setObjectName(QLatin1String(name));
        ed->setGeometry(kEditLeft, top, kClientWidth - 8 - kEditLeft, kEditHeight);
        SetHelpContext(ed, help);
        label->setBuddy(ed); // a screen reader names the edit by its label
        top += kRowPitch;
        return ed;
    };
    edName = edit("edName", UiString("AccountForm", "表示名"), 31);
    edHostName = edit("edHostName", UiString("AccountForm", "POP3サーバ"), 32);
    // The forms a server takes, one a line under its edit, so that one more can join.
    auto* example = new QLabel(UiString("AccountForm", "例"), this);
    auto* forms =
        new QLabel(QStringLiteral("pop.example.jp\npop.example.jp:1110\npop3s://pop.example.jp\n"
                                  "imaps://imap.example.jp"),
                   this);
    forms->setObjectName(QStringLiteral("laHostForms"));
    const int formsHeight = forms->sizeHint().height();
    example->setGeometry(18, top - 2, kEditLeft - 22, formsHeight);
    example->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    forms->setGeometry(kEditLeft + 2, top - 2, kClientWidth - 10 - kEditLeft, formsHeight);
    edHostName->setAccessibleDescription(example->text() + u' ' +
                                         forms->text().replace(u'\n', QStringLiteral(", ")));
    top += formsHeight + 2;
    edUserID = edit("edUserID", UiString("AccountForm", "ユーザID"), 33);
    edPassword = edit("edPassword", UiString("AccountForm", "パスワード"), 34);

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
    // The buttons close under the last edit.
    const int clientHeight = top + 35;
    btOk->setGeometry(kClientWidth - kMargin - kButtonWidth - 6 - kButtonWidth,
                      clientHeight - kMargin - kButtonHeight, kButtonWidth, kButtonHeight);
    // Default: Enter in any edit ends up here (an edit passes Enter on to the dialog).
    btOk->setDefault(true);
    SetHelpContext(btOk, 35);
    connect(btOk, &QPushButton::clicked, this, &TAccountForm::btOkClick);

    btCancel = new QPushButton(UiString("AccountForm", "キャンセル"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(kClientWidth - kMargin - kButtonWidth,
                          clientHeight - kMargin - kButtonHeight, kButtonWidth, kButtonHeight);
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
    setTabOrder(edPassword, btForget);
    setTabOrder(btForget, btOk);

    FrameDialog(*this, windowTitle(), kClientWidth, clientHeight);
    EnableContextHelp(this);
    edName->setFocus();
}

void TAccountForm::btOkClick() {
    const std::pair<QLineEdit*, const std::string& (*)()> required[] = {
        {edName, EnterName}, {edHostName, EnterHost}, {edUserID, EnterUser}};
    for (const auto& [ed, message] : required) {
        if (Blank(ed->text())) {
            ed->setFocus();
            MessageBox(this, message(), mb::Ok | mb::IconExclamation);
            return;
        }
    }
    Result = 0;
    accept();
}

void TAccountForm::btCancelClick() {
    Result = 1;
    reject();
}

void TAccountForm::ShowLearnt(const TAccount& account) {
    QStringList lines;
    if (account.TlsRequired) {
        const QString date = ShownDate(account.TlsRequiredDate);
        lines << (date.isEmpty() ? UiString("AccountForm", "STLS が必要")
                                 : UiString("AccountForm", "STLS が必要（%1 から）").arg(date));
    }
    if (!account.TrustedCertificate.empty()) {
        const QString date = ShownDate(account.TrustedCertificateDate);
        lines << (date.isEmpty() ? UiString("AccountForm", "信頼した証明書：")
                                 : UiString("AccountForm", "信頼した証明書（%1 から）：").arg(date))
              << FingerprintLines(account.TrustedCertificate);
    }
    if (lines.isEmpty())
        return;
    // Below the edits, the dialog grown to hold every line.
    laLearnt->setText(lines.join(u'\n'));
    const int height = laLearnt->sizeHint().height();
    const int learntTop = edPassword->y() + kRowPitch + 4;
    laLearnt->setGeometry(18, learntTop, kClientWidth - kMargin - 18, height);
    laLearnt->show();
    btForget->show();
    const int buttons = learntTop + height + kMargin;
    for (QPushButton* button : {btForget, btOk, btCancel})
        button->move(button->x(), buttons);
    FrameDialog(*this, windowTitle(), kClientWidth, buttons + kButtonHeight + kMargin);
}

void TAccountForm::btForgetClick() {
    const std::string question = cp932::FromUnicode(
        UiString("AccountForm", "サーバ %1 について記録した暗号化の情報を忘れてもよろしいですか？"
                                "\r次回のメールチェックから、あらためて確認します。")
            .arg(edHostName->text().trimmed()));
    if (MessageBox(this, question, mb::YesNo | mb::IconQuestion) == IDNO)
        return;
    Forgotten = true;
    laLearnt->setText(UiString("AccountForm", "記録なし"));
    // Not left on a button that can no longer be pressed.
    btOk->setFocus();
    btForget->setEnabled(false);
}

} // namespace pim
