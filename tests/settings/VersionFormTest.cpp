#include "settings/VersionForm.h"

#include "resources/Skin.h"

#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace pim {
namespace {

constexpr QRgb kTitleBlue = 0xff5555ff;

// Whether some pixel of `area` in `image` has exactly `color`.
bool Shows(const QImage& image, const QRect& area, QRgb color) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == color)
                return true;
    return false;
}

TEST(VersionFormTest, TitleIsArialBoldItalicUnlessLucidaHandwritingIsInstalledByThatVeryName) {
    TVersionForm form;
    if (!QFontDatabase::families().contains(QStringLiteral("Lucida Handwriting"))) {
        EXPECT_EQ(form.laTitle->font().family(), "Arial");
        EXPECT_EQ(form.laTitle->font().pixelSize(), 21);
        EXPECT_TRUE(form.laTitle->font().bold());
        EXPECT_TRUE(form.laTitle->font().italic());
    }

    form.PickTitleFont({"DejaVu Sans", "Lucida Handwriting"});
    QFont font = form.laTitle->font();
    EXPECT_EQ(font.family(), "Lucida Handwriting");
    EXPECT_EQ(font.pointSize(), 14);
    EXPECT_TRUE(font.italic());
    EXPECT_FALSE(font.bold());
    EXPECT_EQ(form.laTitle->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    // Only the exact name counts: no other case, no other style of the family.
    form.PickTitleFont({"lucida handwriting", "Lucida Handwriting Italic", "Lucida"});
    font = form.laTitle->font();
    EXPECT_EQ(font.family(), "Arial");
    EXPECT_EQ(font.pixelSize(), 21);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic());
    EXPECT_EQ(form.laTitle->size(), QSize(54, 24)) << "a fixed size whatever the font";
}

// Also a picture for a person to look at (in the test's build folder).
TEST(VersionFormTest, BlackPanelWithTheLogoTitleAndVersionInTheirColours) {
    TVersionForm form;
    form.show();
    const QImage shot = form.grab().toImage();
    QDir().mkpath(QStringLiteral("screenshots"));
    ASSERT_TRUE(shot.save(QStringLiteral("screenshots/about-box.png")));
    EXPECT_EQ(form.width(), 277);

    QWidget* panel = form.pbLogo->parentWidget();
    const QRect inPanel = panel->geometry().adjusted(1, 1, -1, -1);
    EXPECT_EQ(shot.pixel(inPanel.topLeft() + QPoint(3, 3)), qRgb(0, 0, 0));

    // The logo at the paint box's corner, its clear parts showing the black panel.
    const QImage logo = SkinPixmap(QStringLiteral("MAIN_ICON_1")).toImage();
    const QPoint at = form.pbLogo->mapTo(&form, QPoint(0, 0));
    ASSERT_EQ(qAlpha(logo.pixel(0, 0)), 0);
    EXPECT_EQ(shot.pixel(at), qRgb(0, 0, 0));
    ASSERT_EQ(qAlpha(logo.pixel(16, 16)), 255);
    EXPECT_EQ(shot.pixel(at + QPoint(16, 16)), logo.pixel(16, 16));

    EXPECT_TRUE(Shows(shot, form.laTitle->geometry().translated(panel->pos()), kTitleBlue));
    const QLabel* with = panel->findChild<QLabel*>("laNetwork");
    const QLabel* version = panel->findChild<QLabel*>("laVersion");
    ASSERT_TRUE(with && version);
    EXPECT_TRUE(Shows(shot, with->geometry().translated(panel->pos()), qRgb(128, 128, 128)));
    EXPECT_TRUE(Shows(shot, version->geometry().translated(panel->pos()), qRgb(255, 255, 255)));
    // Neither clipped by the panel nor running into each other.
    for (const QLabel* label : panel->findChildren<QLabel*>())
        EXPECT_TRUE(inPanel.contains(label->geometry().translated(panel->pos())))
            << label->text().toStdString();
    EXPECT_LE(with->x() + with->fontMetrics().horizontalAdvance(with->text().trimmed()),
              version->x());
}

TEST(VersionFormTest, OkClosesTheBox) {
    TVersionForm form;
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.btClose, Qt::LeftButton); });
    QTimer::singleShot(2000, &form, [&] { form.done(99); });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
}

} // namespace
} // namespace pim
