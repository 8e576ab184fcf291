#include "settings/AccountForm.h"

#include "OptionFormFixture.h"

namespace pim {
namespace {

using AccountFormTest = DialogTest;

void Fill(TAccountForm& form, const QString& name, const QString& host, const QString& user) {
    form.edName->setText(name);
    form.edHostName->setText(host);
    form.edUserID->setText(user);
}

// Only characters up to U+0020 count as blank, and the texts come back as typed;
// an empty password passes.
TEST_F(AccountFormTest, EachMissingFieldIsAskedForInOrderWithTheFocusOnIt) {
    const struct {
        QString name, host, user;
        std::string message, focus; // none: accepted
    } cases[] = {
        {"", "", "", "表示名を入力してください。", "edName"},
        {" \t\r\n ", "pop.example.jp", "taro", "表示名を入力してください。", "edName"},
        {"仕事", " ", "", "ホスト名を入力してください。", "edHostName"},
        {"仕事", "pop.example.jp", QString(" \x01\x1f "), "ユーザIDを入力してください。",
         "edUserID"},
        {"  仕事  ", " pop.example.jp ", "taro\t", "", ""},
        {"　", "h", "u", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " " + c.message);
        boxes.clear();
        TAccountForm form;
        std::string focus;
        const int result = Exec(form, [&] {
            Fill(form, c.name, c.host, c.user);
            form.edPassword->setFocus();
            QTest::mouseClick(form.btOk, Qt::LeftButton);
            if (form.isVisible()) {
                focus = form.focusWidget()->objectName().toStdString();
                form.btCancel->click();
            }
        });
        EXPECT_EQ(focus, c.focus);
        EXPECT_EQ(form.Result, c.message.empty() ? 0 : 1);
        if (c.message.empty()) {
            EXPECT_EQ(result, QDialog::Accepted);
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(form.edName->text(), c.name);
            EXPECT_EQ(form.edUserID->text(), c.user);
            continue;
        }
        EXPECT_EQ(boxes, Texts{c.message});
        EXPECT_EQ(flags[0], mb::IconExclamation);
    }
}

// Enter in any of the four edits acts as OK; Cancel, the close box and Escape
// leave Result at one.
TEST_F(AccountFormTest, EnterActsAsOkOnceAndEveryOtherWayOutLeavesResultOne) {
    const auto enterIn = [](QLineEdit* TAccountForm::*edit) {
        return [edit](TAccountForm& f) {
            (f.*edit)->setFocus();
            QTest::keyClick(f.*edit, Qt::Key_Return);
        };
    };
    const std::pair<std::function<void(TAccountForm&)>, int> ways[] = {
        {enterIn(&TAccountForm::edName), 0},
        {enterIn(&TAccountForm::edHostName), 0},
        {enterIn(&TAccountForm::edUserID), 0},
        {enterIn(&TAccountForm::edPassword), 0},
        {[](TAccountForm& f) { QTest::mouseClick(f.btCancel, Qt::LeftButton); }, 1},
        {[](TAccountForm& f) { f.close(); }, 1},
        {[](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); }, 1},
    };
    for (const auto& [leave, result] : ways) {
        SCOPED_TRACE(&leave - &ways[0].first);
        TAccountForm form;
        Fill(form, "仕事", "pop.example.jp", "taro");
        form.edPassword->setText("pä ss");
        EXPECT_EQ(form.edPassword->displayText(), "*****");
        EXPECT_EQ(Exec(form, [&] { leave(form); }), result ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(form.Result, result);
    }
    // One refusal per key press, however many ways Enter could reach OK.
    TAccountForm form;
    Exec(form, [&] {
        Fill(form, "仕事", "pop.example.jp", "");
        form.edPassword->setFocus();
        QTest::keyClick(form.edPassword, Qt::Key_Return);
        QTest::keyClick(form.edUserID, Qt::Key_Enter, Qt::KeypadModifier);
        form.reject();
    });
    EXPECT_EQ(boxes, Texts(2, "ユーザIDを入力してください。"));
}

} // namespace
} // namespace pim
