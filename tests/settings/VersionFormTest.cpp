#include "settings/VersionForm.h"

#include "resources/Skin.h"

#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
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

TEST(VersionFormTest, BlackPanelWithTheLogoTitleAndVersionInTheirColoursAndOkCloses) {
    TVersionForm form;
    form.show();
    const QImage shot = form.grab().toImage();
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
    const QLabel* with = panel->findChild<QLabel*>("laNetwork");
    const QLabel* version = panel->findChild<QLabel*>("laVersion");
    ASSERT_TRUE(with && version);
    for (const auto& [label, color] :
         {std::pair<const QLabel*, QRgb>{form.laTitle, qRgb(0x55, 0x55, 0xff)},
          {with, qRgb(128, 128, 128)},
          {version, qRgb(255, 255, 255)}}) {
        const QImage area = shot.copy(label->geometry().translated(panel->pos()));
        bool shown = false;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x)
                shown = shown || area.pixel(x, y) == color;
        EXPECT_TRUE(shown) << label->objectName().toStdString();
    }
    // Not running into each other.
    EXPECT_LE(with->x() + with->fontMetrics().horizontalAdvance(with->text().trimmed()),
              version->x());
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(form.btClose, Qt::LeftButton); });
    QTimer::singleShot(2000, &form, [&] { form.done(99); });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
}

} // namespace
} // namespace pim
