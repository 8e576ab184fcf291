#include "platform/Help.h"

#include "common/Cp932.h"
#include "platform/MessageBox.h"

#include <QDialog>
#include <QShortcut>
#include <QWidget>
#include <gtest/gtest.h>

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

TEST(Help, TheNumberBecomesTheAnchorOfThePage) {
    EXPECT_EQ(HelpUrl(27).fragment(), QStringLiteral("help-27"));
    EXPECT_TRUE(HelpUrl(27).path().endsWith(QStringLiteral("/Pim.html")));
    EXPECT_FALSE(HelpUrl().hasFragment());
}

// The offscreen platform opens no page, as a desktop without a browser.
TEST(Help, APageThatCannotBeOpenedIsToldWithWhereItIs) {
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
    EXPECT_EQ(boxes[0].first, "ヘルプのページを開くことができませんでした。\r\rページの場所:\r" +
                                  HelpUrl().toLocalFile().toStdString());
    EXPECT_EQ(boxes[0].second, mb::IconExclamation);
}

} // namespace
} // namespace pim
