#include "settings/VersionForm.h"

#include <QFontDatabase>
#include <QLabel>
#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(VersionFormTest, TitleIsArialBoldItalicUnlessLucidaHandwritingIsInstalledByThatVeryName) {
    TVersionForm form;
    const auto expectFont = [&](const char* family, int pixels, int points, bool bold) {
        const QFont font = form.laTitle->font();
        EXPECT_EQ(font.family(), family);
        EXPECT_EQ(font.pixelSize(), pixels);
        EXPECT_EQ(font.pointSize(), points);
        EXPECT_EQ(font.bold(), bold);
        EXPECT_TRUE(font.italic());
    };
    if (!QFontDatabase::families().contains(QStringLiteral("Lucida Handwriting")))
        expectFont("Arial", 21, -1, true);
    form.PickTitleFont({"DejaVu Sans", "Lucida Handwriting"});
    expectFont("Lucida Handwriting", -1, 14, false);
    EXPECT_EQ(form.laTitle->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    // Only the exact name counts: no other case, no other style of the family.
    form.PickTitleFont({"lucida handwriting", "Lucida Handwriting Italic", "Lucida"});
    expectFont("Arial", 21, -1, true);
    EXPECT_EQ(form.laTitle->size(), QSize(54, 24)) << "a fixed size whatever the font";
}

} // namespace
} // namespace pim
