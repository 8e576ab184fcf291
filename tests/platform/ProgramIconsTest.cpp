#include "platform/ProgramIcons.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QImage>
#include <QPixmap>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace pim {
namespace {

namespace fs = std::filesystem;
using Colors = std::vector<QRgb>;

constexpr QRgb kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kYellow = 0xffffff00;

using test::ScopedEnv;

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteFile(path, bytes);
}

void WriteImage(const std::string& path, QRgb color, int width = 16) {
    QImage image(width, 16, QImage::Format_ARGB32);
    image.fill(color);
    Write(path, "");
    ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
}

QRgb ColorOf(const QIcon& icon) {
    return icon.pixmap(16).toImage().pixel(8, 8);
}

// Every icon has a colour of its own, so the colours tell which icons came back.
Colors ColorsOf(const std::string& program) {
    Colors colors;
    for (const QIcon& icon : ProgramIcons(QString::fromStdString(program)))
        colors.push_back(ColorOf(icon));
    return colors;
}

// Data folders home, sys1 and sys2 in that order, and a theme of four coloured icons.
class ProgramIconsTest : public testing::Test {
protected:
    void SetUp() override {
        Write(dir_.file("icons/t/index.theme"), "[Icon Theme]\nName=t\nDirectories=16/apps\n"
                                                "[16/apps]\nSize=16\nType=Fixed\n");
        for (const auto& [name, color] : {std::pair{"pimred", kRed},
                                          {"pimgreen", kGreen},
                                          {"pimblue", kBlue},
                                          {"pimyellow", kYellow}})
            WriteImage(dir_.file("icons/t/16/apps/") + name + ".png", color);
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeSearchPaths({QString::fromStdString(dir_.file("icons"))});
        QIcon::setThemeName(QStringLiteral("t"));
    }
    void Entry(const std::string& data, const std::string& name, const std::string& keys) {
        Write(dir_.file(data + "/applications/" + name), "[Desktop Entry]\n" + keys);
    }

    test::TempDir dir_;
    ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("home")};
    ScopedEnv dataDirs_{"XDG_DATA_DIRS", dir_.file("sys1") + ":relative:" + dir_.file("sys2")};
};

// A desktop file gives its own icon; a program, those of the entries naming
// it (through links and PATH) in folder then name order, hidden, shadowed and
// unshowable ones left out; else the theme's icon named like it.
TEST_F(ProgramIconsTest, TheProgramsEntriesInFolderThenNameOrderElseTheThemeIconOfItsName) {
    const auto at = [&](std::string text) { // "@/" stands for the test's folder
        for (size_t i; (i = text.find("@/")) != std::string::npos;)
            text.replace(i, 1, dir_.path());
        return text;
    };
    WriteImage(dir_.file("own/yellow.png"), kYellow);
    WriteImage(dir_.file("wide.png"), kRed, 1025);
    Write(dir_.file("text.png"), "not an image");
    Write(dir_.file("bin/realmail"), "#!/bin/sh\n");
    fs::permissions(dir_.file("bin/realmail"), fs::perms::owner_all);
    fs::create_symlink("realmail", dir_.file("bin/pimlink"));
    fs::create_symlink("loop", dir_.file("bin/loop"));
    const ScopedEnv path("PATH", dir_.file("bin"));
    const std::pair<const char*, const char*> entries[] = {
        {"own/theme.desktop", "Icon=pimred\nExec=pimblue"},
        {"own/file.desktop", "Icon=@/own/yellow.png"},
        {"own/none.desktop", "Icon=nosuch\nExec=pimblue %U"},
        {"sys1/applications/b.desktop", "Exec=/opt/mail/pimmail\nIcon=pimblue"},
        {"sys1/applications/a.desktop", "Exec=pimmail %U\nIcon=pimgreen.png"},
        {"home/applications/z.desktop", "Exec=\"/opt/mail/pimmail\" --compose\nIcon=pimred"},
        {"sys2/applications/c.desktop", "Exec=pimmail\nIcon=pimred"},
        {"sys2/applications/d.desktop", "Exec=/opt/other/pimmail\nIcon=pimyellow"},
        {"home/applications/solo.desktop", "Exec=env A=1 pimsolo\nIcon=pimyellow"},
        {"home/applications/link.desktop", "Exec=@/bin/pimlink\nIcon=pimred"},
        {"home/applications/path.desktop", "Exec=pimlink\nIcon=pimgreen"},
        {"home/applications/loop.desktop", "Exec=@/bin/loop\nIcon=pimblue"},
        {"sys1/applications/hid.desktop", "Exec=pimhid\nIcon=pimred"},
        {"home/applications/hid.desktop", "Hidden=true\nExec=pimhid\nIcon=pimred"},
        {"sys1/applications/other.desktop", "Exec=pimhid\nIcon=pimgreen"},
        {"sys2/applications/other.desktop", "Exec=pimhid\nIcon=pimblue"},
        {"sys1/applications/kde-extra.desktop", "Exec=nothing\nIcon=pimyellow"},
        {"sys2/applications/kde/extra.desktop", "Exec=pimhid\nIcon=pimyellow"},
        {"home/applications/y.desktop", "Exec=pimyellow\nIcon=nosuch"},
    };
    for (const auto& [file, keys] : entries)
        Write(dir_.file(file), at(std::string("[Desktop Entry]\n") + keys + "\n"));
    for (const std::string icon : {"nosuch", "", "/missing.png", "@/text.png", "@/wide.png"})
        Entry("home", "x" + std::to_string(std::hash<std::string>{}(icon)) + ".desktop",
              at("Exec=pimhid\nIcon=" + icon));
    const std::pair<std::string, Colors> expected[] = {
        {"@/own/theme.desktop", {kRed}},
        {"@/own/file.desktop", {kYellow}},
        {"@/own/none.desktop", {kBlue}},
        {"/opt/mail/pimmail", {kRed, kGreen, kBlue}},
        {"/usr/bin/pimsolo", {kYellow}},
        {"@/bin/realmail", {kRed, kGreen}},
        {"/usr/bin/pimhid", {kGreen}},
        {"/usr/local/bin/pimyellow", {kYellow}},
        {"/usr/bin/pimgreen", {kGreen}},
        {"/usr/bin/pimnothing", {}},
        {"", {}},
    };
    for (const auto& [program, colors] : expected)
        EXPECT_EQ(ColorsOf(at(program)), colors) << program;
    EXPECT_EQ(ColorOf(ProgramIcon("/opt/mail/pimmail", 2)), kBlue);
    EXPECT_TRUE(ProgramIcon("/opt/mail/pimmail", 3).isNull());
}

TEST_F(ProgramIconsTest, HostileFilesAreSkippedAndBounded) {
    const std::string apps = dir_.file("home/applications/");
    const std::string big =
        "[Desktop Entry]\nExec=pimmail\nIcon=pimred\n" + std::string(65536, '#');
    Write(apps + "big.desktop", big);
    Write(dir_.file("big.desktop"), big);
    std::string junk;
    for (int i = 0; i < 60000; ++i)
        junk += "\"\\[=\n\0\xff"[i * 7919 % 7];
    Write(apps + "junk.desktop", junk + "\n[Desktop Entry]\nExec=pimmail\nIcon=pimyellow\n");
    ASSERT_EQ(::mkfifo((apps + "fifo.desktop").c_str(), 0600), 0);
    fs::create_symlink("loop.desktop", apps + "loop.desktop");
    fs::create_directory_symlink("..", apps + "up");
    Entry("elsewhere", "linked.desktop", "Exec=pimmail\nIcon=pimblue\n");
    fs::create_directory_symlink("../../elsewhere/applications", apps + "linked");
    WriteImage(dir_.file("huge.png"), kRed);
    fs::resize_file(dir_.file("huge.png"), 17 << 20); // still a good image, but too large to read
    Entry("home", "huge.desktop", "Exec=pimmail\nIcon=" + dir_.file("huge.png"));
    Entry("sys1", "ok.desktop", "Exec=pimmail\nIcon=pimgreen\n");
    EXPECT_EQ(ColorsOf("/usr/bin/pimmail"), (Colors{kYellow, kGreen}));
    EXPECT_TRUE(ColorsOf(dir_.file("big.desktop")).empty());
    EXPECT_TRUE(ColorsOf(apps + "fifo.desktop").empty());

    for (int i = 100; i < 400; ++i) {
        WriteImage(dir_.file("many/") + std::to_string(i) + ".png", kBlue);
        Entry("sys2", std::to_string(i) + ".desktop",
              "Exec=many\nIcon=" + dir_.file("many/") + std::to_string(i) + ".png");
    }
    EXPECT_EQ(ColorsOf("/usr/bin/many").size(), 256u);
}

} // namespace
} // namespace pim
