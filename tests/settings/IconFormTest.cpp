#include "settings/IconForm.h"

#include "OptionFormFixture.h"

#include <QListWidget>
#include <filesystem>

namespace pim {
namespace {

using IconFormTest = DialogTest;

// The mail program "pimmail" with desktop entries in a private data folder, in
// name order, each with its own picture.
TEST_F(IconFormTest, TheIconsInNumberOrderAPickByOkOrDoubleClickAndNoneByCancel) {
    test::TempDir dir;
    test::ScopedEnv dataHome{"XDG_DATA_HOME", dir.path()}, dataDirs{"XDG_DATA_DIRS", ""};
    std::filesystem::create_directories(dir.file("applications"));
    test::WriteFile(dir.file("pimmail"), "#!/bin/sh\n");
    for (const std::string i : {"0", "1", "2"}) {
        QImage(16, 16, QImage::Format_ARGB32).save(QString::fromStdString(dir.file(i + ".png")));
        test::WriteFile(dir.file("applications/" + i + ".desktop"),
                        "[Desktop Entry]\nExec=pimmail %U\nIcon=" + dir.file(i + ".png") + "\n");
    }
    TIconForm form;
    const auto at = [&](int row) {
        return form.lvIcon->visualItemRect(form.lvIcon->item(row)).center();
    };
    const auto click = [&](QPoint p) {
        QTest::mouseClick(form.lvIcon->viewport(), Qt::LeftButton, {}, p);
    };
    // A person's double-click: a click, then the double-click and its release.
    const auto doubleClick = [&](QPoint p) {
        click(p);
        QTest::mouseDClick(form.lvIcon->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseRelease(form.lvIcon->viewport(), Qt::LeftButton, {}, p);
    };
    const struct {
        const char* program;
        std::function<void()> act;
        int result; // -1: none
        Texts told;
    } cases[] = {
        {"pimmail", [&] { click(at(1)), form.btCancel->click(); }, -1, {}},
        // A path that names no file has no icons, though an entry starts that name;
        // the double-click on the empty area says nothing, OK asks for a choice.
        {"no-such/pimmail",
         [&] {
             doubleClick(form.lvIcon->viewport()->rect().center());
             form.btOk->click();
             EXPECT_TRUE(form.isVisible());
             form.btCancel->click();
         },
         -1,
         {"リストの中から設定したいアイコンを選択してください。"}},
        {"pimmail", [&] { doubleClick(at(2)); }, 2, {}},
        {"pimmail", [&] { click(at(0)), form.btOk->click(); }, 0, {}},
    };
    for (const auto& c : cases) {
        boxes.clear();
        form.Fill(QString::fromStdString(dir.file(c.program)));
        ASSERT_EQ(form.lvIcon->count(), c.told.empty() ? 3 : 0) << "filling again starts over";
        EXPECT_EQ(Exec(form, c.act), c.result < 0 ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(form.Result, c.result);
        EXPECT_EQ(boxes, c.told);
    }
    EXPECT_EQ(flags, std::vector<unsigned>{mb::IconExclamation});
}

} // namespace
} // namespace pim
