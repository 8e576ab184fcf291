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

TEST_F(AccountFormTest, EnterInAnyOfTheFourEditsActsAsOkOnce) {
    for (QLineEdit* TAccountForm::*edit : {&TAccountForm::edName, &TAccountForm::edHostName,
                                           &TAccountForm::edUserID, &TAccountForm::edPassword}) {
        TAccountForm form;
        Fill(form, "仕事", "pop.example.jp", "taro");
        SCOPED_TRACE((form.*edit)->objectName().toStdString());
        EXPECT_EQ(Exec(form,
                       [&] {
                           (form.*edit)->setFocus();
                           QTest::keyClick(form.*edit, Qt::Key_Return);
                       }),
                  QDialog::Accepted);
        EXPECT_EQ(form.Result, 0);
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

TEST_F(AccountFormTest, CancelTheCloseBoxAndEscapeAllLeaveResultOne) {
    const std::function<void(TAccountForm&)> ways[] = {
        [](TAccountForm& f) { QTest::mouseClick(f.btCancel, Qt::LeftButton); },
        [](TAccountForm& f) { f.close(); },
        [](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); },
    };
    for (const auto& leave : ways) {
        TAccountForm form;
        Fill(form, "仕事", "pop.example.jp", "taro");
        form.edPassword->setText("pä ss");
        EXPECT_EQ(form.edPassword->displayText(), "*****");
        EXPECT_EQ(Exec(form, [&] { leave(form); }), QDialog::Rejected);
        EXPECT_EQ(form.Result, 1);
    }
}

} // namespace
} // namespace pim
