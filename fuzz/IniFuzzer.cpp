// Any bytes as Pim.INI: parsing keeps every byte, the index finds what a plain
// scan of the lines finds, and a written key reads back.
#include "common/Bytes.h"
#include "settings/IniFile.h"

#include <cstdlib>
#include <map>
#include <set>

namespace {

// The first value of every key of the first section of each name, found line by
// line: what the index must answer.
std::map<std::pair<std::string, std::string>, std::string> Scan(std::string_view bytes) {
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::set<std::string> seen;
    std::string section;
    bool first = false;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        std::string_view line = bytes.substr(0, newline);
        bytes.remove_prefix(newline == std::string_view::npos ? bytes.size() : newline + 1);
        if (newline != std::string_view::npos && line.ends_with('\r'))
            line.remove_suffix(1);
        const auto trimmed = pim::TrimBlanks(line);
        if (trimmed.starts_with('[') && trimmed.find(']') != std::string_view::npos) {
            section = pim::AsciiUpper(pim::TrimBlanks(trimmed.substr(1, trimmed.find(']') - 1)));
            first = seen.insert(section).second;
            continue;
        }
        const auto equals = line.find('=');
        if (!first || trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[' ||
            equals == line.npos)
            continue;
        const auto key = pim::TrimBlanks(line.substr(0, equals));
        if (!key.empty())
            values.try_emplace(
                {section, pim::AsciiUpper(key)},
                pim::TrimBlanks(line.substr(equals + 1)).substr(0, pim::IniFile::kMaxValueBytes));
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pim::IniFile ini = pim::IniFile::Parse(bytes);
    if (ini.Bytes() != bytes)
        std::abort();
    for (const auto& [where, value] : Scan(bytes)) {
        if (ini.Value(where.first, where.second) != value)
            std::abort();
    }
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
