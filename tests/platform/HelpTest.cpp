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

// The number becomes the anchor; the page beside the program comes first, and
// the English page falls back on the Japanese one.
TEST_F(HelpPageTest, ThePageFollowsTheLanguageAndTheNumberBecomesItsAnchor) {
    using enum UiLanguage;
    const struct {
        UiLanguage language;
        std::vector<QString> files;
        QString chosen;
    } cases[] = {
        {Japanese, {}, "installed/Pim.html"},
        {Japanese, {"program/Pim.en.html", "installed/Pim.html"}, "installed/Pim.html"},
        {Japanese, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
        {English, {}, "installed/Pim.en.html"},
        {English, {"program/Pim.html", "program/Pim.en.html"}, "program/Pim.en.html"},
        {English, {"program/Pim.html", "installed/Pim.en.html"}, "installed/Pim.en.html"},
        {English, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
        {English, {"installed/Pim.html"}, "installed/Pim.html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString() + " among " + std::to_string(c.files.size()));
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("program"));
        QDir(dir.path()).mkpath(QStringLiteral("installed"));
        for (const QString& file : c.files)
            ASSERT_TRUE(QFile(dir.filePath(file)).open(QIODevice::WriteOnly));
        ASSERT_TRUE(SetUiLanguage(c.language));
        EXPECT_EQ(HelpPage(dir.filePath(QStringLiteral("program")),
                           dir.filePath(QStringLiteral("installed"))),
                  dir.filePath(c.chosen));
        EXPECT_EQ(HelpUrl(27).fragment(), QStringLiteral("help-27"));
        EXPECT_TRUE(
            HelpUrl(27).path().endsWith(c.language == English ? "/Pim.en.html" : "/Pim.html"));
        EXPECT_FALSE(HelpUrl().hasFragment());
    }
}

// xdg-open that has nothing to show pages with fails after it started; without
// xdg-open, the offscreen platform opens no page either.
TEST_F(HelpPageTest, APageThatCannotBeOpenedIsToldWithWhereItIs) {
    QTemporaryDir bin;
    const QString opened = bin.filePath(QStringLiteral("opened"));
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    const std::string japanese = "ヘルプのページを開くことができませんでした。\r\rページの場所:\r";
    const struct {
        UiLanguage language;
        const char* exit; // of xdg-open; none: not there
        std::string said; // empty: no box
    } cases[] = {
        {UiLanguage::Japanese, "3", japanese},
        {UiLanguage::English, "3", "The help page could not be opened.\r\rThe page is at:\r"},
        {UiLanguage::Japanese, "0", ""},
        {UiLanguage::Japanese, nullptr, japanese},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exit ? c.exit : "none");
        ASSERT_TRUE(SetUiLanguage(c.language));
        QFile::remove(opened);
        QFile::remove(opener);
        if (c.exit) {
            QFile script(opener);
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\nexit %2\n")
                             .arg(opened, QLatin1String(c.exit))
                             .toUtf8());
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
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
            // The shell makes the file before it writes the line.
            ASSERT_TRUE(
                test::RunUntil([&] { return QFile(opened).size() > 0; }, std::chrono::seconds(5)));
            QFile args(opened);
            ASSERT_TRUE(args.open(QIODevice::ReadOnly));
            EXPECT_EQ(args.readAll().trimmed(), HelpUrl(27).toString(QUrl::FullyEncoded).toUtf8());
        }
        // The box comes once xdg-open has ended.
        if (c.said.empty())
            test::RunFor(std::chrono::milliseconds(300));
        else
            test::RunUntil([&] { return !boxes.empty(); }, std::chrono::seconds(5));
        SetMessageBoxHandler({});
        const std::vector<std::pair<std::string, unsigned>> expected{
            {c.said + HelpUrl().toLocalFile().toStdString(), mb::IconExclamation}};
        EXPECT_EQ(boxes, c.said.empty() ? decltype(boxes){} : expected);
    }
    qputenv("PATH", path);
}

} // namespace
} // namespace pim
