#include "settings/VersionForm.h"

#include <QFontDatabase>
#include <QLabel>
#include <gtest/gtest.h>

namespace pim {
namespace {

// Only the exact name counts: no other case, no other style of the family.
TEST(VersionFormTest, TitleIsArialBoldItalicUnlessLucidaHandwritingIsInstalledByThatVeryName) {
    TVersionForm form;
    const auto font = [&] {
        const QFont f = form.laTitle->font();
        return std::tuple{f.family(), f.pixelSize(), f.pointSize(), f.bold(), f.italic()};
    };
    const auto arial = std::tuple{QStringLiteral("Arial"), 21, -1, true, true};
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("Lucida Handwriting")) ||
                font() == arial);
    form.PickTitleFont({"DejaVu Sans", "Lucida Handwriting"});
    EXPECT_EQ(font(), std::tuple(QStringLiteral("Lucida Handwriting"), -1, 14, false, true));
    form.PickTitleFont({"lucida handwriting", "Lucida Handwriting Italic", "Lucida"});
    EXPECT_EQ(font(), arial);
    EXPECT_EQ(form.laTitle->size(), QSize(54, 24)) << "a fixed size whatever the font";
}

} // namespace
} // namespace pim
