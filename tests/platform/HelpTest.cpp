#include "platform/Help.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QShortcut>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace pim {
namespace {

TEST(Help, AControlWithoutANumberTakesItsNearestParents) {
    QWidget page;
    auto* group = new QWidget(&page);
    auto* control = new QWidget(group);
    EXPECT_EQ(HelpContext(control), 0);
    SetHelpContext(&page, 2);
    EXPECT_EQ(HelpContext(control), 2);
    SetHelpContext(group, 17);
    EXPECT_EQ(HelpContext(control), 17);
    SetHelpContext(control, 18);
    EXPECT_EQ(HelpContext(control), 18);
}

// Every case leaves the texts Japanese, as the other tests expect them.
class HelpPageTest : public ::testing::Test {
protected:
    void TearDown() override { SetUiLanguage(UiLanguage::Japanese); }
};

TEST_F(HelpPageTest, ThePageFollowsTheLanguageAndTheNumberBecomesItsAnchor) {
    for (const auto& [language, name] : {std::pair{UiLanguage::Japanese, "/Pim.html"},
                                         std::pair{UiLanguage::English, "/Pim.en.html"}}) {
        ASSERT_TRUE(SetUiLanguage(language));
        EXPECT_EQ(HelpUrl(27).fragment(), QStringLiteral("help-27"));
        EXPECT_TRUE(HelpUrl(27).path().endsWith(QLatin1String(name))) << name;
        EXPECT_FALSE(HelpUrl().hasFragment());
    }
}

TEST_F(HelpPageTest, ThePageBesideTheProgramComesFirstAndEnglishFallsBackToJapanese) {
    struct Case {
        UiLanguage language;
        std::vector<std::string> files;
        std::string chosen;
    };
    const std::vector<Case> cases{
        {UiLanguage::Japanese, {}, "installed/Pim.html"},
        {UiLanguage::Japanese, {"program/Pim.en.html", "installed/Pim.html"}, "installed/Pim.html"},
        {UiLanguage::Japanese, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
        {UiLanguage::English, {}, "installed/Pim.en.html"},
        {UiLanguage::English, {"program/Pim.html", "program/Pim.en.html"}, "program/Pim.en.html"},
        {UiLanguage::English,
         {"program/Pim.html", "installed/Pim.en.html"},
         "installed/Pim.en.html"},
        {UiLanguage::English, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
        {UiLanguage::English, {"installed/Pim.html"}, "installed/Pim.html"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("program"));
        QDir(dir.path()).mkpath(QStringLiteral("installed"));
        for (const std::string& file : c.files) {
            QFile page(dir.filePath(QString::fromStdString(file)));
            ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(SetUiLanguage(c.language));
        EXPECT_EQ(HelpPage(dir.filePath(QStringLiteral("program")),
                           dir.filePath(QStringLiteral("installed"))),
                  dir.filePath(QString::fromStdString(c.chosen)))
            << c.chosen << " among " << c.files.size() << " files";
    }
}

// The offscreen platform opens no page, as a desktop without a browser.
TEST_F(HelpPageTest, APageThatCannotBeOpenedIsToldWithWhereItIs) {
    for (const auto& [language, said] :
         {std::pair{UiLanguage::Japanese,
                    "ヘルプのページを開くことができませんでした。\r\rページの場所:\r"},
          std::pair{UiLanguage::English,
                    "The help page could not be opened.\r\rThe page is at:\r"}}) {
        ASSERT_TRUE(SetUiLanguage(language));
        std::vector<std::pair<std::string, unsigned>> boxes;
        SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
            boxes.emplace_back(cp932::ToUtf8(text), flags);
            return IDOK;
        });
        QDialog dialog;
        EnableContextHelp(&dialog);
        emit dialog.findChild<QShortcut*>()->activated(); // F1
        SetMessageBoxHandler({});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].first, said + HelpUrl().toLocalFile().toStdString());
        EXPECT_EQ(boxes[0].second, mb::IconExclamation);
    }
}

} // namespace
} // namespace pim
