#include "platform/Help.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDialog>
#include <QProcess>
#include <QShortcut>
#include <gtest/gtest.h>

namespace pim {
namespace {

// Every case leaves the texts Japanese, as the other tests expect them.
class HelpPageTest : public ::testing::Test {
protected:
    void TearDown() override { SetUiLanguage(UiLanguage::Japanese); }
};

// The page beside the program comes first, the English page falls back on the
// Japanese one, and the number becomes the anchor.
TEST_F(HelpPageTest, ThePageFollowsTheLanguageAndTheNumberBecomesItsAnchor) {
    test::TempDir dir;
    const auto at = [&](const char* name) { return QString::fromStdString(dir.file(name)); };
    for (const char* folder : {"program", "installed"})
        std::filesystem::create_directory(dir.file(folder)),
            test::WriteFile(dir.file(folder) + "/Pim.html", "");
    for (const UiLanguage language : {UiLanguage::Japanese, UiLanguage::English}) {
        ASSERT_TRUE(SetUiLanguage(language));
        EXPECT_EQ(HelpPage(at("program"), at("installed")), at("program/Pim.html"));
        EXPECT_EQ(HelpUrl(27).fragment(), QStringLiteral("help-27"));
        EXPECT_TRUE(HelpUrl(27).path().endsWith(language == UiLanguage::English ? "/Pim.en.html"
                                                                                : "/Pim.html"));
        EXPECT_FALSE(HelpUrl().hasFragment());
    }
}

// xdg-open that has nothing to show pages with fails after it started.
TEST_F(HelpPageTest, APageThatCannotBeOpenedIsToldWithWhereItIs) {
    test::TempDir bin;
    const std::string opened = bin.file("opened"), opener = bin.file("xdg-open");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().c_str());
    std::vector<std::string> boxes;
    SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
        boxes.push_back(cp932::ToUtf8(text) + (flags == mb::IconExclamation ? "" : " flags?"));
        return IDOK;
    });
    for (const std::string exit : {"3", "0"}) {
        SCOPED_TRACE(exit);
        boxes.clear();
        std::filesystem::remove(opened);
        test::WriteFile(opener, "#!/bin/sh\necho \"$@\" > '" + opened + "'\nexit " + exit + "\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        QDialog dialog;
        EnableContextHelp(&dialog);
        SetHelpContext(&dialog, 27);
        emit dialog.findChild<QShortcut*>()->activated(); // F1
        // The box comes once xdg-open has ended, and it ends before its process goes.
        ASSERT_TRUE(test::RunUntil(
            [&] { return QCoreApplication::instance()->findChildren<QProcess*>().isEmpty(); },
            std::chrono::seconds(5)));
        EXPECT_EQ(test::ReadFile(opened),
                  HelpUrl(27).toString(QUrl::FullyEncoded).toStdString() + "\n");
        const std::vector<std::string> told{
            "ヘルプのページを開くことができませんでした。\r\rページの場所:\r" +
            HelpUrl().toLocalFile().toStdString()};
        EXPECT_EQ(boxes, exit == "0" ? std::vector<std::string>{} : told);
    }
    SetMessageBoxHandler({});
    qputenv("PATH", path);
}

} // namespace
} // namespace pim
