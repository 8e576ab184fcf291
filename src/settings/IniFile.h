// A profile (INI) file kept as its lines, so that a save changes only the lines
// it must: a key is updated in place, a missing key goes after the last line of
// its section, a missing section at the end of the file. Comments, unknown keys,
// blank lines and line ends (CR LF or LF) of untouched lines stay byte for byte;
// nothing is ever deleted. Section and key names match without regard to ASCII case.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

class IniFile {
public:
    enum class LoadStatus { Loaded, Missing, Unreadable };

    // Values longer than this are cut on reading, as the platform's profile
    // functions did.
    static constexpr size_t kMaxValueBytes = 1023;
    // A larger file is treated as unreadable rather than read into memory.
    static constexpr size_t kMaxFileBytes = 16u << 20;

    static IniFile Parse(std::string_view bytes);
    // A missing or unreadable file gives an empty profile; the status tells which.
    static IniFile Load(const std::string& path, LoadStatus* status = nullptr);

    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    std::string Bytes() const;

    // Test seam: runs after the new contents are on disk, before they replace the
    // file; returning false abandons the save as a failed write would.
    using BeforeReplace = std::function<bool()>;
    // Writes a temporary file beside `path`, flushes it to disk and renames it over
    // `path` (following a symbolic link to its target), mode 0600. On failure the
    // old file is left exactly as it was.
    bool Save(const std::string& path, const BeforeReplace& beforeReplace = {}) const;

private:
    struct Line {
        std::string text;
        std::string end; // "\r\n", "\n", or empty for a last line without one
    };
    struct Found {
        size_t section;     // index of the header line
        size_t insertAfter; // last non-blank line of the section
        std::optional<size_t> key;
    };

    Found Find(std::string_view section, std::string_view key) const;
    std::optional<size_t> FindSection(std::string_view section) const;
    void InsertLine(size_t after, std::string text);

    std::vector<Line> lines_;
};

} // namespace pim
