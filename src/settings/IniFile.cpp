#include "settings/IniFile.h"

#include "common/Bytes.h"
#include "common/Numbers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pim {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// As many links as the kernel follows before it reports a loop.
constexpr int kMaxLinkHops = 40;

std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    size_t equals;
};

std::optional<KeyLine> KeyOf(std::string_view line) {
    const auto trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const auto key = TrimBlanks(line.substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return KeyLine{key, equals};
}

bool IsBlank(std::string_view line) {
    return TrimBlanks(line).empty();
}

uint32_t UpperByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
}

// FNV-1a of the name in upper case from a start of this process's own, so that
// no file can be made for its names to pile up in one place of the index.
uint32_t NameHash(std::string_view name, uint32_t salt = 0) {
    static const uint32_t seed = [] {
        uint32_t random = 0;
        return ::getrandom(&random, sizeof random, GRND_NONBLOCK) == sizeof random ? random : 0u;
    }();
    uint32_t hash = (2166136261u ^ seed) + salt * 0x9E3779B9u;
    for (char c : name)
        hash = (hash ^ UpperByte(c)) * 16777619u;
    // The index uses the low bits: mix the high ones in.
    hash ^= hash >> 16;
    hash *= 0x85EBCA6Bu;
    hash ^= hash >> 13;
    return hash;
}

// Open addressing with linear probing: `slots` holds an entry's index + 1, 0 where
// free; its size is a power of two and at most half of it is used.
template <typename Matches>
std::optional<uint32_t> Probe(const std::vector<uint32_t>& slots, uint32_t hash,
                              const Matches& matches) {
    if (slots.empty())
        return std::nullopt;
    const size_t mask = slots.size() - 1;
    for (size_t i = hash & mask; slots[i] != 0; i = (i + 1) & mask) {
        if (matches(slots[i] - 1))
            return slots[i] - 1;
    }
    return std::nullopt;
}

void PutSlot(std::vector<uint32_t>& slots, uint32_t hash, uint32_t value) {
    const size_t mask = slots.size() - 1;
    size_t i = hash & mask;
    while (slots[i] != 0)
        i = (i + 1) & mask;
    slots[i] = value;
}

// Adds entry `index` of `entries`, each with its `hash`.
template <typename Entry>
void AddSlot(std::vector<uint32_t>& slots, const std::vector<Entry>& entries, uint32_t index) {
    if ((index + 1) * 2 > slots.size()) {
        std::vector<uint32_t> grown(std::max<size_t>(16, slots.size() * 2));
        for (uint32_t i = 0; i < index; ++i)
            PutSlot(grown, entries[i].hash, i + 1);
        slots = std::move(grown);
    }
    PutSlot(slots, entries[index].hash, index + 1);
}

// A value must stay on its line: a line break in it would start new keys.
std::string OneLine(std::string_view value) {
    std::string result(value);
    for (char& c : result) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return result;
}

// `line` with its value replaced by `value`, keeping the spacing after "="; none
// when the value is that already.
std::optional<std::string> WithValue(std::string_view line, std::string_view value) {
    const auto equals = line.find('=');
    if (TrimBlanks(line.substr(equals + 1)) == value)
        return std::nullopt;
    const auto valueStart = line.find_first_not_of(" \t", equals + 1);
    std::string text(
        line.substr(0, valueStart == std::string_view::npos ? line.size() : valueStart));
    text += value;
    return text;
}

IniFile::LoadStatus StatusOf(int error) {
    switch (error) {
    case ENOENT:
        return IniFile::LoadStatus::Missing;
    case EACCES:
    case EPERM:
        return IniFile::LoadStatus::NoPermission;
    case ELOOP:
        return IniFile::LoadStatus::LinkLoop;
    default:
        return IniFile::LoadStatus::ReadError;
    }
}

IniFile::LoadStatus StatusOf(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return IniFile::LoadStatus::Folder;
    if (!S_ISREG(info.st_mode))
        return IniFile::LoadStatus::NotAFile;
    if (static_cast<uint64_t>(info.st_size) > IniFile::kMaxFileBytes)
        return IniFile::LoadStatus::TooLarge;
    return IniFile::LoadStatus::Loaded;
}

IniFile::LoadStatus ReadProfile(const std::string& path, std::string& bytes) {
    // A look before opening: opening a FIFO blocks, opening a device may act.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return StatusOf(errno);
    if (const auto status = StatusOf(info); status != IniFile::LoadStatus::Loaded)
        return status;
    // Non-blocking, and looked at again, in case the path changed in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return StatusOf(errno);
    auto status = ::fstat(fd, &info) == 0 ? StatusOf(info) : IniFile::LoadStatus::ReadError;
    if (status == IniFile::LoadStatus::Loaded) {
        bytes.reserve(static_cast<size_t>(info.st_size));
        char buffer[65536];
        while (true) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                status = IniFile::LoadStatus::ReadError;
                break;
            }
            if (bytes.size() + static_cast<size_t>(n) > IniFile::kMaxFileBytes) {
                status = IniFile::LoadStatus::TooLarge;
                break;
            }
            if (n == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return status;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where a chain of symbolic links from `path` ends, whether a file is there yet or
// not; none for a loop.
std::optional<std::string> LinkTarget(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        char link[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
        if (n < 0)
            return path;
        if (static_cast<size_t>(n) == sizeof link)
            return std::nullopt;
        const std::string target(link, static_cast<size_t>(n));
        path = target.starts_with('/') ? target : FolderOf(path) + target;
    }
    return std::nullopt;
}

// A new file, or a regular file the user may write. Root may write any file, so a
// file that grants no write permission at all counts as read-only too.
bool Replaceable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
           ::access(path.c_str(), W_OK) == 0;
}

} // namespace

IniFile IniFile::Parse(std::string_view bytes) {
    return bytes.size() > kMaxFileBytes ? IniFile{} : Index(std::string(bytes));
}

IniFile IniFile::Index(std::string bytes) {
    IniFile file;
    file.source_ = std::move(bytes);
    const std::string_view source = file.source_;

    // The section the lines belong to; none before the first header and in a
    // section whose name came before, which is ignored.
    constexpr uint32_t kNone = UINT32_MAX;
    uint32_t current = kNone;
    size_t start = source.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    while (start < source.size()) {
        const auto newline = source.find('\n', start);
        const size_t next = newline == std::string_view::npos ? source.size() : newline + 1;
        auto text = source.substr(start, next - start);
        if (text.ends_with('\n'))
            text.remove_suffix(text.ends_with("\r\n") ? 2 : 1);
        if (IsBlank(text)) {
            start = next;
            continue;
        }
        if (const auto name = SectionName(text)) {
            const uint32_t hash = NameHash(*name);
            current = kNone;
            if (!file.FindSourceSection(*name, hash)) {
                current = static_cast<uint32_t>(file.sections_.size());
                file.sections_.push_back(
                    {hash, static_cast<Offset>(start), static_cast<Offset>(next)});
                AddSlot(file.sectionSlots_, file.sections_, current);
            }
        } else if (current != kNone) {
            file.sections_[current].insertAt = static_cast<Offset>(next);
            const auto key = KeyOf(text);
            const uint32_t hash = key ? NameHash(key->key, current) : 0;
            if (key && !file.FindSourceKey(current, key->key, hash)) {
                file.keys_.push_back({current, hash, static_cast<Offset>(start)});
                AddSlot(file.keySlots_, file.keys_, static_cast<uint32_t>(file.keys_.size() - 1));
            }
        }
        start = next;
    }
    file.sections_.shrink_to_fit();
    file.keys_.shrink_to_fit();
    return file;
}

IniFile IniFile::Load(const std::string& path, LoadStatus* status) {
    std::string bytes;
    const LoadStatus result = ReadProfile(path, bytes);
    if (status)
        *status = result;
    return result == LoadStatus::Loaded ? Index(std::move(bytes)) : IniFile{};
}

std::string_view IniFile::SourceLine(Offset start) const {
    const std::string_view source = source_;
    const auto newline = source.find('\n', start);
    if (newline == std::string_view::npos)
        return source.substr(start);
    auto text = source.substr(start, newline - start);
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    return text;
}

// The names are read up to their closing mark, never to the end of a long line.
std::string_view IniFile::SectionNameAt(Offset header) const {
    const std::string_view source = source_;
    const auto open = source.find('[', header);
    return TrimBlanks(source.substr(open + 1, source.find(']', open) - open - 1));
}

std::string_view IniFile::KeyNameAt(Offset line) const {
    const std::string_view source = source_;
    return TrimBlanks(source.substr(line, source.find('=', line) - line));
}

std::string_view IniFile::CurrentText(Offset line) const {
    const auto changed = replaced_.find(line);
    return changed != replaced_.end() ? std::string_view(changed->second) : SourceLine(line);
}

std::optional<uint32_t> IniFile::FindSourceSection(std::string_view section, uint32_t hash) const {
    return Probe(sectionSlots_, hash, [&](uint32_t i) {
        return sections_[i].hash == hash &&
               EqualsIgnoreAsciiCase(SectionNameAt(sections_[i].header), section);
    });
}

std::optional<IniFile::SectionRef> IniFile::FindSection(std::string_view section) const {
    if (const auto found = FindSourceSection(section, NameHash(section)))
        return SectionRef{false, *found};
    for (size_t i = 0; i < appended_.size(); ++i) {
        if (EqualsIgnoreAsciiCase(appended_[i], section))
            return SectionRef{true, static_cast<uint32_t>(i)};
    }
    return std::nullopt;
}

std::optional<IniFile::Offset> IniFile::FindSourceKey(uint32_t section, std::string_view key,
                                                      uint32_t hash) const {
    const auto found = Probe(keySlots_, hash, [&](uint32_t i) {
        return keys_[i].hash == hash && keys_[i].section == section &&
               EqualsIgnoreAsciiCase(KeyNameAt(keys_[i].line), key);
    });
    return found ? std::optional<Offset>(keys_[*found].line) : std::nullopt;
}

std::optional<IniFile::Offset> IniFile::FindSourceKey(uint32_t section,
                                                      std::string_view key) const {
    return FindSourceKey(section, key, NameHash(key, section));
}

// Added lines are the few a save writes, so they are simply searched.
std::optional<size_t> IniFile::FindAddedKey(SectionRef section, std::string_view key) const {
    for (size_t i = 0; i < added_.size(); ++i) {
        const AddedLine& line = added_[i];
        const auto written = KeyOf(line.text);
        if (written && line.section.appended == section.appended &&
            line.section.index == section.index && EqualsIgnoreAsciiCase(written->key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key,
                                          size_t limit) const {
    const auto where = FindSection(section);
    if (!where)
        return std::nullopt;
    std::string_view text;
    if (const auto line = where->appended ? std::nullopt : FindSourceKey(where->index, key))
        text = CurrentText(*line);
    else if (const auto added = FindAddedKey(*where, key))
        text = added_[*added].text;
    else
        return std::nullopt;
    const auto value = TrimBlanks(text.substr(text.find('=') + 1));
    return std::string(value.substr(0, limit));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key) const {
    return Value(section, key).value_or(std::string());
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t fallback) const {
    const auto value = Value(section, key);
    return value ? pim::ReadInteger(*value, fallback) : fallback;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string clean = OneLine(value);
    auto where = FindSection(section);
    if (where) {
        if (const auto line = where->appended ? std::nullopt : FindSourceKey(where->index, key)) {
            if (auto text = WithValue(CurrentText(*line), clean))
                replaced_[*line] = std::move(*text);
            return;
        }
        if (const auto added = FindAddedKey(*where, key)) {
            if (auto text = WithValue(added_[*added].text, clean))
                added_[*added].text = std::move(*text);
            return;
        }
    } else {
        where = SectionRef{true, static_cast<uint32_t>(appended_.size())};
        appended_.emplace_back(section);
    }
    added_.push_back({*where, std::string(key) + "=" + clean});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::Bytes() const {
    // The changes in the order of the text: a changed line replaces the text of a
    // key line, added lines go in where their section ends. No two sections end at
    // the same place, and none ends where a key line starts.
    struct Change {
        Offset at;
        Offset resume; // where the text goes on after it
        const std::string* text;
        bool added;
    };
    std::vector<Change> changes;
    for (const auto& [line, text] : replaced_)
        changes.push_back(
            {line, static_cast<Offset>(line + SourceLine(line).size()), &text, false});
    for (const AddedLine& line : added_) {
        if (!line.section.appended) {
            const Offset at = sections_[line.section.index].insertAt;
            changes.push_back({at, at, &line.text, true});
        }
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.at < b.at; });

    std::string out;
    size_t extra = 0;
    for (const auto& [line, text] : replaced_)
        extra += text.size();
    for (const AddedLine& line : added_)
        extra += line.text.size() + 2;
    for (const std::string& name : appended_)
        extra += name.size() + 4;
    out.reserve(source_.size() + extra + 2);

    // A last line without its line end gets one when something follows it.
    bool lineEndMissing = !source_.empty() && source_.back() != '\n';
    const auto endLastLine = [&] {
        if (lineEndMissing)
            out += "\r\n";
        lineEndMissing = false;
    };
    size_t copied = 0;
    for (const Change& change : changes) {
        out.append(source_, copied, change.at - copied);
        if (change.added && change.at == source_.size())
            endLastLine();
        out += *change.text;
        if (change.added)
            out += "\r\n";
        copied = change.resume;
    }
    out.append(source_, copied);
    for (size_t i = 0; i < appended_.size(); ++i) {
        endLastLine();
        out += "[" + appended_[i] + "]\r\n";
        for (const AddedLine& line : added_) {
            if (line.section.appended && line.section.index == i)
                out += line.text + "\r\n";
        }
    }
    return out;
}

namespace {

// Past a file-size limit a write must fail with an error, so that the temporary
// file is removed, instead of SIGXFSZ ending the program. Only for the save: a
// program started later must not inherit the ignored signal.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &old_);
    }
    ~FileSizeSignalIgnored() { ::sigaction(SIGXFSZ, &old_, nullptr); }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction old_ {};
};

} // namespace

bool IniFile::Save(const std::string& path, const BeforeReplace& beforeReplace) const {
    const FileSizeSignalIgnored fileSizeSignal;
    const auto target = LinkTarget(path);
    if (!target || !Replaceable(*target))
        return false;
    const std::string folder = FolderOf(*target);
    std::string temporary = folder + "." + target->substr(folder.size()) + ".XXXXXX";

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, Bytes()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && beforeReplace)
        ok = beforeReplace();
    if (ok)
        ok = ::rename(temporary.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk too, or a crash could bring back the old file.
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace pim
