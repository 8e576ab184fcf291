// Any bytes as Pim.INI: parsing keeps every byte, and a written key reads back.
#include "settings/IniFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pim::IniFile ini = pim::IniFile::Parse(bytes);
    if (ini.Bytes() != bytes)
        std::abort();
    (void)ini.ReadInteger("Setting", "ScheduleTimeCount", 1);
    (void)ini.ReadString("Account0", "Password");
    ini.WriteString("Setting", "MailerPath", "/usr/bin/x");
    ini.WriteString("account1", "name", "");
    if (ini.Value("SETTING", "mailerpath") != "/usr/bin/x" || ini.Value("Account1", "Name") != "")
        std::abort();
    // The update must not disturb what was there: parsing the result again agrees.
    if (pim::IniFile::Parse(ini.Bytes()).Bytes() != ini.Bytes())
        std::abort();
    return 0;
}
