#include "settings/IconForm.h"

#include "OptionFormFixture.h"

#include <QAccessible>
#include <QIcon>
#include <QListWidget>
#include <filesystem>

namespace pim {
namespace {

constexpr QRgb kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff;

// The mail program "pimmail" with desktop entries in a private data folder, their
// icons 16-pixel squares of one colour each in a private theme.
class IconFormTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        std::filesystem::create_directories(dir_.file("icons/t/16/apps"));
        std::filesystem::create_directories(dir_.file("home/applications"));
        std::filesystem::create_directories(dir_.file("bin"));
        test::WriteFile(dir_.file("bin/pimmail"), "#!/bin/sh\n");
        test::WriteFile(dir_.file("icons/t/index.theme"),
                        "[Icon Theme]\nName=t\nDirectories=16/apps\n[16/apps]\nSize=16\n");
        for (const auto& [name, color] :
             {std::pair{"pimred", kRed}, {"pimgreen", kGreen}, {"pimblue", kBlue}}) {
            QImage image(16, 16, QImage::Format_ARGB32);
            image.fill(color);
            image.save(QString::fromStdString(dir_.file("icons/t/16/apps/") + name + ".png"));
        }
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeSearchPaths({QString::fromStdString(dir_.file("icons"))});
        QIcon::setThemeName(QStringLiteral("t"));
    }
    // Entries count in name order: the first name gives icon 0.
    void Entries(std::initializer_list<const char*> icons) {
        char name = 'a';
        for (const char* icon : icons)
            test::WriteFile(dir_.file("home/applications/") + name++ + ".desktop",
                            std::string("[Desktop Entry]\nExec=pimmail %U\nIcon=") + icon + "\n");
        form.Fill(QString::fromStdString(dir_.file("bin/pimmail")));
    }
    QPoint CentreOf(int row) {
        return form.lvIcon->visualItemRect(form.lvIcon->item(row)).center();
    }
    void Click(QPoint at) { QTest::mouseClick(form.lvIcon->viewport(), Qt::LeftButton, {}, at); }
    // A person's double-click: a click, then the double-click and its release.
    void DoubleClick(QPoint at) {
        Click(at);
        QTest::mouseDClick(form.lvIcon->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(form.lvIcon->viewport(), Qt::LeftButton, {}, at);
    }
    QRgb ColorAt(int row, QPoint at) {
        return form.lvIcon->item(row)->icon().pixmap(32).toImage().pixel(at);
    }

    test::TempDir dir_;
    test::ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("home")};
    test::ScopedEnv dataDirs_{"XDG_DATA_DIRS", dir_.file("none")};
    TIconForm form;
};

TEST_F(IconFormTest, ItemsFollowTheIconNumbersAndAClickAndOkOrADoubleClickPicks) {
    Entries({"pimred", "pimgreen", "pimblue"});
    ASSERT_EQ(form.lvIcon->count(), 3);
    // Each cell is 32 x 32, the 16-pixel pictures stretched to fill it.
    EXPECT_EQ(ColorAt(0, {1, 1}), kRed);
    EXPECT_EQ(ColorAt(1, {16, 16}), kGreen);
    EXPECT_EQ(ColorAt(2, {30, 30}), kBlue);
    // No caption: a screen reader reads each icon's number.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form.lvIcon);
    ASSERT_EQ(list->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(form.lvIcon->item(i)->text(), "");
        EXPECT_EQ(list->child(i)->text(QAccessible::Name),
                  QStringLiteral("アイコン %1").arg(i + 1));
    }
    EXPECT_EQ(Exec(form,
                   [&] {
                       form.lvIcon->setCurrentRow(1);
                       DoubleClick(CentreOf(2));
                   }),
              QDialog::Accepted);
    EXPECT_EQ(form.Result, 2);
    form.Fill(QString::fromStdString(dir_.file("bin/pimmail")));
    ASSERT_EQ(form.lvIcon->count(), 3) << "filling again starts over";
    EXPECT_EQ(Exec(form,
                   [&] {
                       Click(CentreOf(0));
                       QTest::mouseClick(form.btOk, Qt::LeftButton);
                   }),
              QDialog::Accepted);
    EXPECT_EQ(form.Result, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(IconFormTest, AnEmptyListAsksForAChoiceAndOnlyCancelLeaves) {
    // A path that names no file has no icons, even when an entry starts a
    // program of that name.
    test::WriteFile(dir_.file("home/applications/a.desktop"),
                    "[Desktop Entry]\nExec=pimmail\nIcon=pimred\n");
    form.Fill(QStringLiteral("/nonexistent/pimmail"));
    ASSERT_EQ(form.lvIcon->count(), 0);
    bool openAfterOk = false, openAfterDoubleClick = false;
    EXPECT_EQ(Exec(form,
                   [&] {
                       QTest::mouseClick(form.btOk, Qt::LeftButton);
                       openAfterOk = form.isVisible();
                       DoubleClick(form.lvIcon->viewport()->rect().center());
                       openAfterDoubleClick = form.isVisible();
                       QTest::mouseClick(form.btCancel, Qt::LeftButton);
                   }),
              QDialog::Rejected);
    EXPECT_EQ(boxes, Texts{"リストの中から設定したいアイコンを選択してください。"})
        << "the double-click on the empty area says nothing";
    EXPECT_EQ(flags[0], mb::IconExclamation);
    EXPECT_TRUE(openAfterOk && openAfterDoubleClick);
    EXPECT_EQ(form.Result, -1);
}

TEST_F(IconFormTest, CancelAndTheCloseBoxReturnNothingEvenWithAnIconSelected) {
    Entries({"pimred", "pimgreen"});
    for (const auto& leave : {std::function<void()>([&] { form.btCancel->click(); }),
                              std::function<void()>([&] { form.close(); })}) {
        EXPECT_EQ(Exec(form,
                       [&] {
                           Click(CentreOf(1));
                           leave();
                       }),
                  QDialog::Rejected);
        EXPECT_EQ(form.Result, -1);
    }
}

} // namespace
} // namespace pim
