#include "app/MailTree.h"

#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

// Accounts a0..a6 with every kind of count: the errors, counted only, none, two mails.
Results Shown() {
    Results shown;
    const int counts[] = {-5, -4, -3, -2, -1, 0, 2};
    for (size_t i = 0; i < 7; ++i)
        shown[i].Name = "a" + std::to_string(i), shown[i].Count = counts[i];
    shown[4].Subjects[0] = "7";
    shown[3].Reason = "why"; // beside -2, the only error a TLS failure gives
    shown[6].Subjects = {"s1", "s2"};
    shown[6].Senders = {"f1", "f2"};
    shown[6].Dates = {"d1", "d2"};
    return shown;
}

TEST(MailTree, EveryCountHasItsLineAndImageAndOldMailCanBeHidden) {
    Results shown = Shown();
    const auto accounts = AccountTree(shown);
    ASSERT_EQ(accounts.size(), 8u);
    EXPECT_EQ(cp932::ToUtf8(accounts[0].text), "すべてのアカウント");
    EXPECT_EQ(accounts[1].image, TreeLine::MailboxError);
    EXPECT_EQ(accounts[5].image, TreeLine::Mailbox) << "count only is not an error";

    const auto all = MailTree(shown, 0, false);
    ASSERT_EQ(all.size(), 7u);
    const char* expected[] = {
        "メール情報の取得に失敗しました。",       "ユーザID、またはパスワードが違います。",
        "サーバへの接続がタイムアウトしました。", "サーバが応答しませんでした。",
        "メールが 7通、届いています。",           "メールは届いていません。"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(all[i].text + cp932::ToUtf8(all[i].children.at(0).text),
                  "a" + std::to_string(i) + expected[i]);
        EXPECT_EQ(all[i].children.size(), i == 3 ? 2u : 1u);
    }
    // The reason stands under the error line, beside it rather than folded in it.
    EXPECT_EQ(all[3].children[1], (TreeLine{"why", TreeLine::Error, {}}));
    EXPECT_EQ(MailTree(shown, 4, false), all[3].children);
    EXPECT_EQ(all[0].children[0].image, TreeLine::Error);
    EXPECT_EQ(all[5].children[0].image, TreeLine::FadedLetter);
    EXPECT_EQ(all[6].children[1],
              (TreeLine{"s2",
                        TreeLine::Letter,
                        {{"f2", TreeLine::Sender, {}}, {"d2", TreeLine::Date, {}}}}));
    EXPECT_EQ(AccountTree(Results{}).size(), 1u);
    EXPECT_TRUE(MailTree(Results{}, 0, false).empty());

    // One account stands without a heading, and old mail can be hidden.
    shown[6].Count = 4, shown[6].OldCount = 2;
    shown[6].Subjects = {"old1", "old2", "new1", "new2"};
    const auto single = MailTree(shown, 7, true);
    ASSERT_EQ(single.size(), 3u);
    EXPECT_EQ(cp932::ToUtf8(single[0].text) + single[1].text + single[2].text,
              "以前から届いているメールが 2通あります。new1new2");
    EXPECT_EQ(MailTree(shown, 7, false).size(), 4u);
    // Counting only, OldCount is -1: just the count line.
    EXPECT_EQ(MailTree(shown, 5, true).size(), 1u);
    EXPECT_TRUE(MailTree(shown, 9, false).empty());
}

} // namespace
} // namespace pim
