#include "settings/AccountForm.h"

#include "OptionFormFixture.h"

namespace pim {
namespace {

using AccountFormTest = DialogTest;

// Only characters up to U+0020 count as blank; the texts come back as typed and
// an empty password passes. Enter in an edit acts as OK, once per key press; the
// close box and Escape leave Result at one.
TEST_F(AccountFormTest, EachMissingFieldIsAskedForInOrderAndEveryWayOutSetsTheResult) {
    using Leave = std::function<void(TAccountForm&)>;
    const Leave ok = [](TAccountForm& f) { QTest::mouseClick(f.btOk, Qt::LeftButton); };
    const Leave enter = [](TAccountForm& f) { QTest::keyClick(f.edPassword, Qt::Key_Return); };
    const Leave escape = [](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); };
    const std::string name = "表示名", host = "ホスト名", user = "ユーザID";
    const std::tuple<QString, QString, QString, Leave, int, std::string> cases[] = {
        {"", "", "", ok, 1, name},
        {" \t\r\n ", "pop.example.jp", "taro", ok, 1, name},
        {"仕事", " ", "", ok, 1, host},
        {"仕事", "h", " \x01\x1f ", enter, 1, user},
        {"  仕事  ", " pop.example.jp ", "taro\t", ok, 0, ""},
        {"　", "h", "u", enter, 0, ""},
        {"n", "h", "u", escape, 1, ""},
    };
    for (const auto& [n, h, u, leave, result, missing] : cases) {
        SCOPED_TRACE(n.toStdString() + " " + missing);
        boxes.clear();
        TAccountForm form;
        std::string focus;
        const int shown = Exec(form, [&] {
            form.edName->setText(n);
            form.edHostName->setText(h);
            form.edUserID->setText(u);
            form.edPassword->setText("pä ss");
            leave(form);
            if (form.isVisible() && !missing.empty()) {
                QTest::keyClick(form.edUserID, Qt::Key_Enter, Qt::KeypadModifier);
                focus = form.focusWidget()->objectName().toStdString();
                form.reject();
            }
        });
        EXPECT_EQ(form.edPassword->displayText(), "*****");
        EXPECT_EQ(shown, result ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(form.Result, result);
        EXPECT_EQ(boxes, missing.empty() ? Texts{} : Texts(2, missing + "を入力してください。"));
        EXPECT_TRUE(boxes.empty() || flags.back() == mb::IconExclamation);
        EXPECT_EQ(focus, missing == name   ? "edName"
                         : missing == host ? "edHostName"
                         : missing.empty() ? ""
                                           : "edUserID");
        EXPECT_EQ(form.edName->text(), n);
    }
}

} // namespace
} // namespace pim
