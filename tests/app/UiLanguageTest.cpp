// The language the user reads, by locale, and what changes with it: the
// window's texts and the way the summaries read, never the summaries themselves.
#include "app/ArrivalNotice.h"
#include "app/MailTree.h"
#include "app/ShownSummary.h"
#include "common/Cp932.h"
#include "common/UiText.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(UiLanguage, JapaneseOnlyForAJapaneseLocale) {
    for (const char* name : {"ja_JP", "ja", "en_US", "de_DE", "C"})
        EXPECT_EQ(LanguageFor(QLocale(QString::fromLatin1(name))),
                  name[0] == 'j' ? UiLanguage::Japanese : UiLanguage::English)
            << name;
}

// English for the test, Japanese again after it, whatever happens in it.
class InEnglish : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SetUiLanguage(UiLanguage::English)); }
    void TearDown() override { SetUiLanguage(UiLanguage::Japanese); }
};

TEST_F(InEnglish, SummariesReadInTheLanguageAndDatesAsTheLocaleWritesThem) {
    const auto J = UiLanguage::Japanese, E = UiLanguage::English;
    const auto D = SummaryField::Date, T = SummaryField::Title, S = SummaryField::Sender;
    const std::string monday = "2024年12月02日（Monday） 10:00:00";
    // The text shown, or "" for the data as it is.
    const std::tuple<UiLanguage, SummaryField, std::string, const char*, std::string> rows[] = {
        {J, D, "2024年12月02日（月曜日） 10:00:00", "en_US", ""},
        {J, T, "（タイトル未設定）", "en_US", ""},
        {E, T, "（タイトル未設定）", "en_US", "(no subject)"},
        {E, S, "（差出人不明）", "en_US", "(unknown sender)"},
        {E, D, "（受信日時不明）", "en_US", "(no date)"},
        // Only a date is read as one, only a fallback of its own field replaced.
        {E, T, monday, "en_US", ""},
        {E, S, "（タイトル未設定）", "en_US", ""},
        {E, D, monday, "en_US", "Monday, December 2, 2024 10:00 AM"},
        {E, D, monday, "C", "Monday, 2 December 2024 10:00:00"},
        // A header without seconds leaves its zone in the eight characters.
        {E, D, "2024年12月02日（Monday） 10:00 +0", "de_DE", "Montag, 2. Dezember 2024 10:00"},
        {E, D, "2024年02月30日（Friday） 10:00:00", "en_US", ""},
        {E, D, "2024/12/02 10:00", "en_US", ""},
    };
    for (const auto& [language, field, data, locale, expected] : rows) {
        SetUiLanguage(language);
        QString shown =
            ShownSummary(field, cp932::FromUtf8(data), QLocale(QString::fromLatin1(locale)));
        // Newer locale data puts a narrow space before AM.
        EXPECT_EQ(shown.replace(QChar(0x202F), QLatin1Char(' ')).toStdString(),
                  expected.empty() ? data : expected)
            << data << " " << locale;
    }
}

TEST_F(InEnglish, TreeLinesAndNoticesReadInEnglish) {
    Results shown;
    shown[0].Name = "Home", shown[0].Count = -1, shown[0].Subjects[0] = "7";
    shown[1].Name = "Work", shown[1].Count = 2, shown[1].OldCount = 1;
    shown[1].Subjects = {"old", cp932::FromUtf8("（タイトル未設定）")};
    shown[1].Senders = {"a@example.jp", cp932::FromUtf8("（差出人不明）")};
    EXPECT_EQ(AccountTree(shown)[0].text + "|" + MailTree(shown, 1, false)[0].text + "|" +
                  MailTree(shown, 2, true)[0].text,
              "All accounts|Messages waiting: 7|Messages from before: 1");
    const auto notice = ArrivalNotice(shown, 9, true);
    EXPECT_EQ(notice.summary + "|" + notice.body + "|" + notice.actions.at(1).label,
              QStringLiteral(
                  "New messages: 1|Home: 7\n(no subject) — (unknown sender)|Start mail program"));
}

} // namespace
} // namespace pim
