#include "platform/DesktopEntry.h"

#include "platform/Autostart.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(DesktopEntryTest, ReadsTheDesktopEntryGroupAndTheFirstWordOfExec) {
    const DesktopEntry entry = ParseDesktopEntry("Icon=before\r\n# Icon=comment\r\n"
                                                 "[Desktop Entry]\r\nIcon[ja]=localized\r\n"
                                                 "  Icon  =  mail\\sbox  \r\nExec=mail\r\n"
                                                 "[Desktop Action Compose]\r\nIcon=action\r\n"
                                                 "Exec=compose\r\nHidden=true\r\n");
    EXPECT_EQ(entry.icon, "mail box");
    EXPECT_EQ(entry.program, "mail");
    EXPECT_FALSE(entry.hidden);
    EXPECT_TRUE(ParseDesktopEntry("[Desktop Entry]\nHidden=1").hidden);
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nHidden=True").hidden);
    for (const auto& [exec, program] : std::initializer_list<std::pair<const char*, const char*>>{
             {R"('/opt/it''s mail' %f)", "/opt/its mail"},
             {R"(/opt/it\'s\ mail)", "/opt/it's mail"},
             {R"("/opt/a\\\\b\\"c\\$" x)", R"(/opt/a\b"c$)"},
             {R"(env LANG=C TZ=UTC mail %u)", "mail"},
             {R"(%U)", ""},
             {R"(mail "--x)", ""}})
        EXPECT_EQ(ParseDesktopEntry(QByteArray("[Desktop Entry]\nExec=") + exec).program, program)
            << exec;
}

// Whatever the path, the entry's Exec= reads back as that path; the entry is
// on only while it is there, shown, and starts a Pim.
TEST(Autostart, TheEntryStartsTheProgramWhateverItsPathAndSaysWhetherItIsOn) {
    for (const char* path :
         {R"(/home/my "it's" a\b\\c/$HOME`x`/100%/pim)", "/opt/タブ\t/new\nline/pim"}) {
        const QByteArray entry = AutostartEntry(QString::fromUtf8(path));
        EXPECT_EQ(ParseDesktopEntry(entry).program, QString::fromUtf8(path)) << entry.toStdString();
        EXPECT_EQ(entry.count('\n'), 9) << "one line per key, a new line in the path escaped";
    }
    test::TempDir dir;
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    const QString program = QString::fromStdString(dir.file("bin dir/Pim-2"));
    const std::string entry = dir.file("config/autostart/pim.desktop");
    EXPECT_EQ(AutostartPath().toStdString(), entry);
    EXPECT_FALSE(AutostartOn(program));
    ASSERT_TRUE(SetAutostart(program, true));
    EXPECT_TRUE(AutostartOn(program));
    for (const auto& [lines, on] : std::initializer_list<std::pair<const char*, bool>>{
             {"Exec=/usr/bin/Pim-2 --x", true},
             {"Exec=/usr/bin/pim\nHidden=true", false},
             {"Exec=/usr/bin/mail", false},
             {"Exec=pim\nX-GNOME-Autostart-enabled=false", false}}) {
        test::WriteFile(entry, std::string("[Desktop Entry]\n") + lines + "\n");
        EXPECT_EQ(AutostartOn(program), on) << lines;
    }
    ASSERT_TRUE(SetAutostart(program, false));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(entry)));
    EXPECT_TRUE(SetAutostart(program, false)) << "nothing to remove";
    EXPECT_FALSE(SetAutostart(QStringLiteral("pim"), true)) << "a path that is not absolute";
    // A relative XDG_CONFIG_HOME does not count.
    const test::ScopedEnv relative("XDG_CONFIG_HOME", "config");
    const test::ScopedEnv home("HOME", dir.path());
    EXPECT_EQ(AutostartPath().toStdString(), dir.file(".config/autostart/pim.desktop"));
}

} // namespace
} // namespace pim
