#include "settings/AccountForm.h"

#include "common/UiText.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/DialogFrame.h"

#include <QLabel>
#include <QLineEdit>
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
constexpr int kClientHeight = 161;
constexpr int kEditLeft = 96;
constexpr int kEditHeight = 22;
constexpr int kRowTop = 30;
constexpr int kRowPitch = 24;

// Nothing left once blanks and control characters are cut from both ends.
bool Blank(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x20; });
}

} // namespace

TAccountForm::TAccountForm(QWidget* parent) : QDialog(parent, kDialogFlags) {
    FrameDialog(*this, UiString("AccountForm", "Pim -アカウント設定-"), kClientWidth,
                kClientHeight);

    auto* intro =
        new QLabel(UiString("AccountForm", "メールアカウント情報を設定、変更してください。"), this);
    intro->setGeometry(10, 6, kClientWidth - 20, 20);

    int row = 0;
    const auto edit = [&](const char* name, const QString& caption, int help) {
        const int top = kRowTop + kRowPitch * row++;
        auto* label = new QLabel(caption, this);
        label->setGeometry(18, top, kEditLeft - 22, kEditHeight);
        auto* ed = new QLineEdit(this);
        ed->setObjectName(QLatin1String(name));
        ed->setGeometry(kEditLeft, top, kClientWidth - 8 - kEditLeft, kEditHeight);
        SetHelpContext(ed, help);
        label->setBuddy(ed); // a screen reader names the edit by its label
        return ed;
    };
    edName = edit("edName", UiString("AccountForm", "表示名"), 31);
    edHostName = edit("edHostName", UiString("AccountForm", "POP3サーバ"), 32);
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
    btOk->setGeometry(kClientWidth - 8 - 75 - 6 - 75, 128, 75, 25);
    // Default: Enter in any edit ends up here (an edit passes Enter on to the dialog).
    btOk->setDefault(true);
    SetHelpContext(btOk, 35);
    connect(btOk, &QPushButton::clicked, this, &TAccountForm::btOkClick);

    btCancel = new QPushButton(UiString("AccountForm", "キャンセル"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(kClientWidth - 8 - 75, 128, 75, 25);
    SetHelpContext(btCancel, 36);
    connect(btCancel, &QPushButton::clicked, this, &TAccountForm::btCancelClick);

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

} // namespace pim
