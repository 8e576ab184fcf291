#include "platform/DesktopEntry.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(DesktopEntryTest, ReadsTheDesktopEntryGroupOnly) {
    const DesktopEntry entry = ParseDesktopEntry("Icon=before\r\n# Icon=comment\r\n"
                                                 "[Desktop Entry]\r\nIcon[ja]=localized\r\n"
                                                 "  Icon  =  mail\\sbox  \r\nExec=mail\r\n"
                                                 "[Desktop Action Compose]\r\nIcon=action\r\n"
                                                 "Exec=compose\r\nHidden=true\r\n");
    EXPECT_EQ(entry.icon, "mail box");
    EXPECT_EQ(entry.program, "mail");
    EXPECT_FALSE(entry.hidden);
    EXPECT_EQ(ParseDesktopEntry("Icon=mail\nExec=mail\n").program, "");
    EXPECT_TRUE(ParseDesktopEntry("[Desktop Entry]\nHidden=1").hidden);
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nHidden=True").hidden);
}

TEST(DesktopEntryTest, ProgramIsTheFirstWordOfExec) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(mail %U)", "mail"},
        {R"(/usr/bin/mail --compose %u)", "/usr/bin/mail"},
        {R"("/opt/My Mail/mail" -x)", "/opt/My Mail/mail"},
        {R"(/opt/My\sMail/mail)", "/opt/My"},
        {R"('/opt/it''s mail' %f)", "/opt/its mail"},
        {R"(/opt/it\'s\ mail)", "/opt/it's mail"},
        {R"("/opt/a\\\\b\\"c\\$" x)", R"(/opt/a\b"c$)"},
        {R"(/opt/100%%/mail)", "/opt/100%/mail"},
        {R"(env LANG=C TZ=UTC mail %u)", "mail"},
        {R"(%U)", ""},
        {R"(mail "--x)", ""},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(ParseDesktopEntry(QByteArray("[Desktop Entry]\nExec=") + exec).program, program)
            << exec;
}

} // namespace
} // namespace pim
