#include "platform/ProgramIcons.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QImage>
#include <QPixmap>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pim {
namespace {

namespace fs = std::filesystem;
using Colors = std::vector<QRgb>;
using test::ScopedEnv;

constexpr QRgb kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kYellow = 0xffffff00;
const std::pair<const char*, QRgb> kTheme[] = {
    {"pimred", kRed}, {"pimgreen", kGreen}, {"pimblue", kBlue}, {"pimyellow", kYellow}};

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteFile(path, bytes);
}

void WriteImage(const std::string& path, QRgb color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    Write(path, "");
    image.save(QString::fromStdString(path), "PNG");
}

// Every icon has a colour of its own, so the colours tell which icons came back.
Colors ColorsOf(const std::string& program) {
    Colors colors;
    for (const QIcon& icon : ProgramIcons(QString::fromStdString(program)))
        colors.push_back(icon.pixmap(16).toImage().pixel(8, 8));
    return colors;
}

// Data folders home, sys1 and sys2 in that order, and a theme of four coloured icons.
class ProgramIconsTest : public testing::Test {
protected:
    void SetUp() override {
        Write(dir_.file("icons/t/index.theme"),
              "[Icon Theme]\nName=t\nDirectories=16/apps\n[16/apps]\nSize=16\nType=Fixed\n");
        for (const auto& [name, color] : kTheme)
            WriteImage(dir_.file("icons/t/16/apps/") + name + ".png", color);
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeSearchPaths({QString::fromStdString(dir_.file("icons"))});
        QIcon::setThemeName(QStringLiteral("t"));
    }
    void Entry(const std::string& file, std::string keys) { // "@/" stands for the test's folder
        for (size_t i; (i = keys.find("@/")) != std::string::npos;)
            keys.replace(i, 1, dir_.path());
        Write(dir_.file(file), "[Desktop Entry]\n" + keys + "\n");
    }

    test::TempDir dir_;
    ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("home")};
    ScopedEnv dataDirs_{"XDG_DATA_DIRS", dir_.file("sys1") + ":relative:" + dir_.file("sys2")};
};

// A desktop file gives its own icon; a program, those of the entries naming
// it (through links and PATH) in folder then name order, hidden ones and those
// shadowed by them left out; else the theme's icon named like it.
TEST_F(ProgramIconsTest, TheProgramsEntriesInFolderThenNameOrderElseTheThemeIconOfItsName) {
    WriteImage(dir_.file("own/yellow.png"), kYellow);
    Write(dir_.file("bin/realmail"), "#!/bin/sh\n");
    fs::permissions(dir_.file("bin/realmail"), fs::perms::owner_all);
    fs::create_symlink("realmail", dir_.file("bin/pimlink"));
    const ScopedEnv path("PATH", dir_.file("bin"));
    for (const auto& [file, keys] : std::initializer_list<std::pair<std::string, std::string>>{
             {"own/file.desktop", "Icon=@/own/yellow.png"},
             {"sys1/applications/b.desktop", "Exec=/opt/mail/pimmail\nIcon=pimblue"},
             {"sys1/applications/a.desktop", "Exec=pimmail %U\nIcon=pimgreen.png"},
             {"home/applications/z.desktop", "Exec=\"/opt/mail/pimmail\" --compose\nIcon=pimred"},
             {"sys2/applications/d.desktop", "Exec=/opt/other/pimmail\nIcon=pimyellow"},
             {"home/applications/link.desktop", "Exec=@/bin/pimlink\nIcon=pimred"},
             {"home/applications/path.desktop", "Exec=pimlink\nIcon=pimgreen"},
             {"sys1/applications/hid.desktop", "Exec=pimhid\nIcon=pimred"},
             {"home/applications/hid.desktop", "Hidden=true\nExec=pimhid\nIcon=pimred"},
             {"sys2/applications/ok.desktop", "Exec=pimhid\nIcon=pimgreen"},
             {"home/applications/y.desktop", "Exec=pimyellow\nIcon=nosuch"}})
        Entry(file, keys);
    for (const auto& [program, colors] : std::initializer_list<std::pair<std::string, Colors>>{
             {dir_.file("own/file.desktop"), {kYellow}},
             {"/opt/mail/pimmail", {kRed, kGreen, kBlue}},
             {dir_.file("bin/realmail"), {kRed, kGreen}},
             {"/usr/bin/pimhid", {kGreen}},
             {"/usr/local/bin/pimyellow", {kYellow}},
             {"/usr/bin/pimnothing", {}}})
        EXPECT_EQ(ColorsOf(program), colors) << program;
    EXPECT_EQ(ProgramIcon("/opt/mail/pimmail", 2).pixmap(16).toImage().pixel(8, 8), kBlue);
    EXPECT_TRUE(ProgramIcon("/opt/mail/pimmail", 3).isNull());
}

TEST_F(ProgramIconsTest, HostileFilesAreSkippedAndBounded) {
    const std::string apps = "home/applications/";
    const std::string big =
        "[Desktop Entry]\nExec=pimmail\nIcon=pimred\n" + std::string(65536, '#');
    Write(dir_.file(apps + "big.desktop"), big);
    Write(dir_.file("big.desktop"), big);
    std::string junk;
    for (int i = 0; i < 60000; ++i)
        junk += "\"\\[=\n\0\xff"[i * 7919 % 7];
    Write(dir_.file(apps + "junk.desktop"),
          junk + "\n[Desktop Entry]\nExec=pimmail\nIcon=pimyellow\n");
    ASSERT_EQ(::mkfifo(dir_.file(apps + "fifo.desktop").c_str(), 0600), 0);
    fs::create_symlink("loop.desktop", dir_.file(apps + "loop.desktop"));
    fs::create_directory_symlink("..", dir_.file(apps + "up"));
    Entry("elsewhere/applications/linked.desktop", "Exec=pimmail\nIcon=pimblue");
    fs::create_directory_symlink("../../elsewhere/applications", dir_.file(apps + "linked"));
    WriteImage(dir_.file("huge.png"), kRed);
    fs::resize_file(dir_.file("huge.png"), 17 << 20); // still a good image, but too large to read
    Entry(apps + "huge.desktop", "Exec=pimmail\nIcon=@/huge.png");
    Entry("sys1/applications/ok.desktop", "Exec=pimmail\nIcon=pimgreen");
    EXPECT_EQ(ColorsOf("/usr/bin/pimmail"), (Colors{kYellow, kGreen}));
    EXPECT_TRUE(ColorsOf(dir_.file("big.desktop")).empty());
    EXPECT_TRUE(ColorsOf(dir_.file(apps + "fifo.desktop")).empty());
    for (int i = 100; i < 400; ++i) {
        WriteImage(dir_.file("many/") + std::to_string(i) + ".png", kBlue);
        Entry("sys2/applications/" + std::to_string(i) + ".desktop",
              "Exec=many\nIcon=@/many/" + std::to_string(i) + ".png");
    }
    EXPECT_EQ(ColorsOf("/usr/bin/many").size(), 256u);
}

} // namespace
} // namespace pim
