// A profile (INI) file kept as the bytes it was read from plus the changes made to
// it, so that a save changes only the lines it must: a key is updated in place, a
// missing key goes after the last line of its section, a missing section at the end
// of the file. Comments, unknown keys, blank lines and line ends (CR LF or LF) of
// untouched lines stay byte for byte; nothing is ever deleted. Section and key names
// match without regard to ASCII case; where a name repeats, the first one counts.
// A UTF-8 byte-order mark at the start belongs to no line and is kept.
//
// The sections and keys are indexed once when the text is read, so a lookup never
// scans the text, and memory stays a small multiple of the file's size: the bytes
// once, 20 to 28 bytes per distinct section and key, nothing per other line.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

class IniFile {
public:
    // Loaded and Missing are usable; every other outcome says why the file was not.
    enum class LoadStatus {
        Loaded,
        Missing,
        Folder,
        NotAFile,
        TooLarge,
        NoPermission,
        LinkLoop,
        ReadError
    };
    static bool Usable(LoadStatus status) {
        return status == LoadStatus::Loaded || status == LoadStatus::Missing;
    }

    // Values longer than this are cut on reading, as the platform's profile
    // functions did.
    static constexpr size_t kMaxValueBytes = 1023;
    // A larger file is treated as unreadable rather than read into memory.
    static constexpr size_t kMaxFileBytes = 16u << 20;

    // A text larger than kMaxFileBytes gives an empty profile, as Load does.
    static IniFile Parse(std::string_view bytes);
    // Opens only a regular file, so a FIFO or a device neither blocks nor is read. A
    // missing or unusable file gives an empty profile; the status tells which.
    static IniFile Load(const std::string& path, LoadStatus* status = nullptr);

    // `limit` above kMaxValueBytes only for Pim's own keys that need it.
    std::optional<std::string> Value(std::string_view section, std::string_view key,
                                     size_t limit = kMaxValueBytes) const;
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
    // `path`, mode 0600. A symbolic link is followed to where its chain ends, which
    // need not exist yet. A read-only file (no write permission bit, or not
    // writable by this user) or anything but a regular file is not replaced. On
    // failure the old file is left exactly as it was.
    bool Save(const std::string& path, const BeforeReplace& beforeReplace = {}) const;

private:
    using Offset = uint32_t;
    // The first section of each name in the text, in the order of the text.
    struct Section {
        uint32_t hash;
        Offset header;   // where its header line starts
        Offset insertAt; // just after its last non-blank line: where added keys go
    };
    // The first line of each key of a section, in the order of the text.
    struct Key {
        uint32_t section; // index in sections_
        uint32_t hash;
        Offset line; // where the line starts
    };
    // Where a section is: in the text (index in sections_) or added (in appended_).
    struct SectionRef {
        bool appended;
        uint32_t index;
    };
    // A line that a write added; it ends with CR LF.
    struct AddedLine {
        SectionRef section;
        std::string text;
    };

    static IniFile Index(std::string bytes);

    std::string_view SourceLine(Offset start) const;
    std::string_view SectionNameAt(Offset header) const;
    std::string_view KeyNameAt(Offset line) const;
    std::string_view CurrentText(Offset line) const;
    std::optional<uint32_t> FindSourceSection(std::string_view section, uint32_t hash) const;
    std::optional<SectionRef> FindSection(std::string_view section) const;
    std::optional<Offset> FindSourceKey(uint32_t section, std::string_view key,
                                        uint32_t hash) const;
    std::optional<Offset> FindSourceKey(uint32_t section, std::string_view key) const;
    std::optional<size_t> FindAddedKey(SectionRef section, std::string_view key) const;

    std::string source_;
    std::vector<Section> sections_;
    std::vector<Key> keys_;
    // Hash tables over sections_ and keys_ (see IniFile.cpp).
    std::vector<uint32_t> sectionSlots_;
    std::vector<uint32_t> keySlots_;
    std::map<Offset, std::string> replaced_; // key lines of the text whose value changed
    std::vector<AddedLine> added_;
    std::vector<std::string> appended_; // names of the sections added at the end
};

} // namespace pim
