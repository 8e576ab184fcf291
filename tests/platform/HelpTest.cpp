#include "platform/Help.h"

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

} // namespace
} // namespace pim
