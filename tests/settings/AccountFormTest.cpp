#include "settings/AccountForm.h"

#include "OptionFormFixture.h"

namespace pim {
namespace {

using AccountFormTest = DialogTest;

// Only characters up to U+0020 count as blank; the texts come back as typed and
// an empty password passes. Enter in any edit acts as OK, once per key press;
// Cancel, the close box and Escape leave Result at one.
TEST_F(AccountFormTest, EachMissingFieldIsAskedForInOrderAndEveryWayOutSetsTheResult) {
    const auto enterIn = [](QLineEdit* TAccountForm::*edit) {
        return [edit](TAccountForm& f) { QTest::keyClick(f.*edit, Qt::Key_Return); };
    };
    const auto ok = [](TAccountForm& f) { QTest::mouseClick(f.btOk, Qt::LeftButton); };
    const struct {
        QString name, host, user;
        std::function<void(TAccountForm&)> leave;
        int result;
        Texts told;
        std::string focus;
    } cases[] = {
        {"", "", "", ok, 1, {"表示名を入力してください。"}, "edName"},
        {" \t\r\n ", "pop.example.jp", "taro", ok, 1, {"表示名を入力してください。"}, "edName"},
        {"仕事", " ", "", ok, 1, {"ホスト名を入力してください。"}, "edHostName"},
        {"仕事",
         "h",
         " \x01\x1f ",
         enterIn(&TAccountForm::edPassword),
         1,
         {"ユーザIDを入力してください。"},
         "edUserID"},
        {"  仕事  ", " pop.example.jp ", "taro\t", ok, 0, {}, ""},
        {"　", "h", "u", enterIn(&TAccountForm::edName), 0, {}, ""},
        {"n", "h", "u", enterIn(&TAccountForm::edHostName), 0, {}, ""},
        {"n", "h", "u", enterIn(&TAccountForm::edUserID), 0, {}, ""},
        {"n", "h", "u", [](TAccountForm& f) { f.btCancel->click(); }, 1, {}, ""},
        {"n", "h", "u", [](TAccountForm& f) { f.close(); }, 1, {}, ""},
        {"n",
         "h",
         "u",
         [](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); },
         1,
         {},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        boxes.clear();
        TAccountForm form;
        std::string focus;
        const int result = Exec(form, [&] {
            form.edName->setText(c.name);
            form.edHostName->setText(c.host);
            form.edUserID->setText(c.user);
            form.edPassword->setText("pä ss");
            form.edPassword->setFocus();
            c.leave(form);
            if (form.isVisible() && !c.told.empty()) {
                QTest::keyClick(form.edUserID, Qt::Key_Enter, Qt::KeypadModifier);
                focus = form.focusWidget()->objectName().toStdString();
                form.reject();
            }
        });
        EXPECT_EQ(form.edPassword->displayText(), "*****");
        EXPECT_EQ(result, c.result ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(form.Result, c.result);
        EXPECT_EQ(focus, c.focus);
        EXPECT_EQ(boxes, c.told.empty() ? c.told : Texts(2, c.told[0]));
        EXPECT_TRUE(boxes.empty() || flags.back() == mb::IconExclamation);
        EXPECT_EQ(form.edName->text(), c.name);
    }
}

} // namespace
} // namespace pim
