#include "settings/AccountForm.h"

#include "common/Cp932.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pim {
namespace {

constexpr int kLeftOpen = 99;

// Runs the dialog as the options dialog does, doing `act` once it is up; one
// that stays open ends after a while with kLeftOpen so that the test goes on.
int Exec(QDialog& form, const std::function<void()>& act) {
    QTimer::singleShot(0, &form, act);
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &form, [&form] { form.done(kLeftOpen); });
    guard.start(2000);
    return form.exec();
}

void Fill(TAccountForm& form, const QString& name, const QString& host, const QString& user) {
    form.edName->setText(name);
    form.edHostName->setText(host);
    form.edUserID->setText(user);
}

class AccountFormTest : public testing::Test {
protected:
    struct Box {
        std::string text;
        unsigned flags;
        std::string focus; // the control that had the focus when the box came up
    };
    void SetUp() override {
        SetMessageBoxHandler([this](std::string_view text, unsigned flags) {
            const QWidget* focused = QApplication::activeModalWidget()->focusWidget();
            boxes.push_back({cp932::ToUtf8(text), flags, focused->objectName().toStdString()});
            return IDOK;
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }

    TAccountForm form;
    std::vector<Box> boxes;
};

TEST_F(AccountFormTest, EachMissingFieldIsAskedForInOrderWithTheFocusOnIt) {
    const struct {
        QString name, host, user;
        std::string message, focus;
    } cases[] = {
        {"", "", "", "表示名を入力してください。", "edName"},
        {" \t\r\n ", "pop.example.jp", "taro", "表示名を入力してください。", "edName"},
        {"仕事", " ", "", "ホスト名を入力してください。", "edHostName"},
        {"仕事", "pop.example.jp", QString(" \x01\x1f "), "ユーザIDを入力してください。",
         "edUserID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        boxes.clear();
        bool stayedOpen = false;
        Exec(form, [&] {
            Fill(form, c.name, c.host, c.user);
            form.edPassword->setText("pw");
            form.edPassword->setFocus();
            QTest::mouseClick(form.btOk, Qt::LeftButton);
            stayedOpen = form.isVisible();
            form.btCancel->click();
        });
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].flags, mb::IconExclamation);
        EXPECT_EQ(boxes[0].focus, c.focus);
        EXPECT_TRUE(stayedOpen);
        EXPECT_EQ(form.Result, 1);
    }
}

TEST_F(AccountFormTest, SurroundingBlanksAndAnEmptyPasswordPassAndTheTextComesBackRaw) {
    // Only characters up to U+0020 are cut for the check: a full-width blank is text.
    for (const QString name : {"  仕事  ", "\t個人\t", "　"}) {
        TAccountForm fresh;
        Fill(fresh, name, " pop.example.jp ", "taro\t");
        EXPECT_EQ(Exec(fresh, [&] { fresh.btOk->click(); }), QDialog::Accepted);
        EXPECT_EQ(fresh.Result, 0);
        EXPECT_EQ(fresh.edName->text(), name);
        EXPECT_EQ(fresh.edHostName->text(), " pop.example.jp ");
        EXPECT_EQ(fresh.edUserID->text(), "taro\t");
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(AccountFormTest, EnterInAnyOfTheFourEditsActsAsOkOnce) {
    for (QLineEdit* TAccountForm::*edit : {&TAccountForm::edName, &TAccountForm::edHostName,
                                           &TAccountForm::edUserID, &TAccountForm::edPassword}) {
        TAccountForm fresh;
        Fill(fresh, "仕事", "pop.example.jp", "taro");
        SCOPED_TRACE((fresh.*edit)->objectName().toStdString());
        EXPECT_EQ(Exec(fresh,
                       [&] {
                           (fresh.*edit)->setFocus();
                           QTest::keyClick(fresh.*edit, Qt::Key_Return);
                       }),
                  QDialog::Accepted);
        EXPECT_EQ(fresh.Result, 0);
    }
    // One refusal per key press, however many ways Enter could reach OK.
    Exec(form, [&] {
        Fill(form, "仕事", "pop.example.jp", "");
        form.edPassword->setFocus();
        QTest::keyClick(form.edPassword, Qt::Key_Return);
        QTest::keyClick(form.edUserID, Qt::Key_Enter, Qt::KeypadModifier);
        form.reject();
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "ユーザIDを入力してください。");
}

TEST_F(AccountFormTest, CancelTheCloseBoxAndEscapeAllLeaveResultOne) {
    const std::function<void(TAccountForm&)> ways[] = {
        [](TAccountForm& f) { QTest::mouseClick(f.btCancel, Qt::LeftButton); },
        [](TAccountForm& f) { f.close(); },
        [](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); },
    };
    for (const auto& leave : ways) {
        TAccountForm fresh;
        Fill(fresh, "仕事", "pop.example.jp", "taro");
        EXPECT_EQ(Exec(fresh, [&] { leave(fresh); }), QDialog::Rejected);
        EXPECT_EQ(fresh.Result, 1);
    }
}

// Also a picture for a person to look at (in the test's build folder).
TEST_F(AccountFormTest, JapaneseNameAndMaskedPasswordShowWithoutClippedTexts) {
    Fill(form, "山田太郎（自宅）", "pop.example.co.jp", "yamada");
    form.edPassword->setText("pä ss");
    form.show();
    QDir().mkpath(QStringLiteral("screenshots"));
    ASSERT_TRUE(form.grab().save(QStringLiteral("screenshots/account-editor.png")));
    EXPECT_EQ(form.edPassword->displayText(), "*****");
    EXPECT_EQ(form.size(), QSize(309, 161));
    for (const QWidget* child : form.findChildren<QWidget*>())
        EXPECT_TRUE(form.rect().contains(child->geometry())) << child->objectName().toStdString();
    for (const QLabel* label : form.findChildren<QLabel*>())
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    for (const QPushButton* button : form.findChildren<QPushButton*>())
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width());
    for (const QLineEdit* edit : form.findChildren<QLineEdit*>())
        EXPECT_LE(edit->fontMetrics().height(), edit->contentsRect().height());
}

} // namespace
} // namespace pim
