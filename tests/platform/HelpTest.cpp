#include "platform/Help.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"
#include "support/EventLoop.h"

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

// xdg-open that has nothing to show pages with fails after it started; without
// xdg-open, the offscreen platform opens no page either.
TEST_F(HelpPageTest, APageThatCannotBeOpenedIsToldWithWhereItIs) {
    QTemporaryDir bin;
    const QString opened = bin.filePath(QStringLiteral("opened"));
    const auto opener = [&](const char* exit) {
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QStringLiteral(
                         "#!/bin/sh\necho \"$@\" > '%1.part' && /bin/mv '%1.part' '%1'\nexit %2\n")
                         .arg(opened, QLatin1String(exit))
                         .toUtf8());
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
    };
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    struct Case {
        UiLanguage language;
        const char* exit; // of xdg-open; none: not there
        const char* said; // nothing: no box
    };
    for (const Case& c :
         {Case{UiLanguage::Japanese, "3",
               "ヘルプのページを開くことができませんでした。\r\rページの場所:\r"},
          Case{UiLanguage::English, "3", "The help page could not be opened.\r\rThe page is at:\r"},
          Case{UiLanguage::Japanese, "0", nullptr},
          Case{UiLanguage::Japanese, nullptr,
               "ヘルプのページを開くことができませんでした。\r\rページの場所:\r"}}) {
        ASSERT_TRUE(SetUiLanguage(c.language));
        QFile::remove(opened);
        QFile::remove(bin.filePath(QStringLiteral("xdg-open")));
        if (c.exit)
            opener(c.exit);
        std::vector<std::pair<std::string, unsigned>> boxes;
        SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
            boxes.emplace_back(cp932::ToUtf8(text), flags);
            return IDOK;
        });
        QDialog dialog;
        EnableContextHelp(&dialog);
        SetHelpContext(&dialog, 27);
        emit dialog.findChild<QShortcut*>()->activated(); // F1
        if (c.exit) {
            // Given the page at its anchor.
            ASSERT_TRUE(
                test::RunUntil([&] { return QFile::exists(opened); }, std::chrono::seconds(5)));
            QFile args(opened);
            ASSERT_TRUE(args.open(QIODevice::ReadOnly));
            EXPECT_EQ(args.readAll().trimmed(), HelpUrl(27).toString(QUrl::FullyEncoded).toUtf8());
        }
        // The box comes once xdg-open has ended.
        if (c.said)
            test::RunUntil([&] { return !boxes.empty(); }, std::chrono::seconds(5));
        else
            test::RunFor(std::chrono::milliseconds(300));
        SetMessageBoxHandler({});
        if (!c.said) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].first, c.said + HelpUrl().toLocalFile().toStdString());
        EXPECT_EQ(boxes[0].second, mb::IconExclamation);
    }
    qputenv("PATH", path);
}

} // namespace
} // namespace pim
