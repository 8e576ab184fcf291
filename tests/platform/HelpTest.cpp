#include "platform/Help.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"
#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProcess>
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
    auto* control = new QWidget(new QWidget(&page));
    EXPECT_EQ(HelpContext(control), 0);
    const std::pair<QWidget*, int> numbered[] = {
        {&page, 2}, {control->parentWidget(), 17}, {control, 18}};
    for (const auto& [widget, number] : numbered) {
        SetHelpContext(widget, number);
        EXPECT_EQ(HelpContext(control), number);
    }
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
        {Japanese, {"program/Pim.en.html", "installed/Pim.html"}, "installed/Pim.html"},
        {Japanese, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
        {English, {}, "installed/Pim.en.html"},
        {English, {"program/Pim.html", "program/Pim.en.html"}, "program/Pim.en.html"},
        {English, {"program/Pim.html", "installed/Pim.en.html"}, "installed/Pim.en.html"},
        {English, {"program/Pim.html", "installed/Pim.html"}, "program/Pim.html"},
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
    std::vector<std::pair<std::string, unsigned>> boxes;
    SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
        boxes.emplace_back(cp932::ToUtf8(text), flags);
        return IDOK;
    });
    for (const char* exit : {"3", "0", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(exit ? exit : "none");
        boxes.clear();
        QFile::remove(opened);
        QFile::remove(opener);
        if (exit) {
            QFile script(opener);
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\nexit %2\n")
                             .arg(opened, exit)
                             .toUtf8());
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        QDialog dialog;
        EnableContextHelp(&dialog);
        SetHelpContext(&dialog, 27);
        emit dialog.findChild<QShortcut*>()->activated(); // F1
        // The box comes once xdg-open has ended, and it ends before its process goes.
        ASSERT_TRUE(test::RunUntil(
            [&] { return QCoreApplication::instance()->findChildren<QProcess*>().isEmpty(); },
            std::chrono::seconds(5)));
        if (exit) {
            QFile args(opened);
            ASSERT_TRUE(args.open(QIODevice::ReadOnly));
            EXPECT_EQ(args.readAll().trimmed(), HelpUrl(27).toString(QUrl::FullyEncoded).toUtf8());
        }
        const decltype(boxes) told{
            {"ヘルプのページを開くことができませんでした。\r\rページの場所:\r" +
                 HelpUrl().toLocalFile().toStdString(),
             mb::IconExclamation}};
        EXPECT_EQ(boxes, exit && exit == std::string("0") ? decltype(boxes){} : told);
    }
    SetMessageBoxHandler({});
    qputenv("PATH", path);
}

} // namespace
} // namespace pim
