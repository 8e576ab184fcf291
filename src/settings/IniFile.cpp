#include "settings/IniFile.h"

#include "common/Bytes.h"
#include "common/Numbers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pim {

namespace {

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

// A value must stay on its line: a line break in it would start new keys.
std::string OneLine(std::string_view value) {
    std::string result(value);
    for (char& c : result) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return result;
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

std::string ResolveLink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return path;
}

} // namespace

IniFile IniFile::Parse(std::string_view bytes) {
    IniFile file;
    size_t start = 0;
    while (start < bytes.size()) {
        const auto newline = bytes.find('\n', start);
        if (newline == std::string_view::npos) {
            file.lines_.push_back({std::string(bytes.substr(start)), ""});
            break;
        }
        auto text = bytes.substr(start, newline - start);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            file.lines_.push_back({std::string(text), "\r\n"});
        } else {
            file.lines_.push_back({std::string(text), "\n"});
        }
        start = newline + 1;
    }
    return file;
}

IniFile IniFile::Load(const std::string& path, LoadStatus* status) {
    LoadStatus result = LoadStatus::Unreadable;
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result = errno == ENOENT ? LoadStatus::Missing : LoadStatus::Unreadable;
    } else {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            static_cast<uint64_t>(info.st_size) <= kMaxFileBytes) {
            result = LoadStatus::Loaded;
            char buffer[65536];
            while (true) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxFileBytes) {
                    result = LoadStatus::Unreadable;
                    break;
                }
                if (n == 0)
                    break;
                bytes.append(buffer, static_cast<size_t>(n));
            }
        }
        ::close(fd);
    }
    if (status)
        *status = result;
    return result == LoadStatus::Loaded ? Parse(bytes) : IniFile{};
}

std::optional<size_t> IniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i].text);
        if (name && EqualsIgnoreAsciiCase(*name, section))
            return i;
    }
    return std::nullopt;
}

IniFile::Found IniFile::Find(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (!header)
        return {lines_.size(), lines_.size(), std::nullopt};
    Found found{*header, *header, std::nullopt};
    for (size_t i = *header + 1; i < lines_.size(); ++i) {
        const std::string_view text = lines_[i].text;
        if (SectionName(text))
            break;
        if (!IsBlank(text))
            found.insertAfter = i;
        const auto line = KeyOf(text);
        if (!found.key && line && EqualsIgnoreAsciiCase(line->key, key))
            found.key = i;
    }
    return found;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const auto found = Find(section, key);
    if (!found.key)
        return std::nullopt;
    const std::string_view text = lines_[*found.key].text;
    const auto value = TrimBlanks(text.substr(text.find('=') + 1));
    return std::string(value.substr(0, kMaxValueBytes));
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

void IniFile::InsertLine(size_t after, std::string text) {
    if (lines_[after].end.empty())
        lines_[after].end = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                  Line{std::move(text), "\r\n"});
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string clean = OneLine(value);
    const auto found = Find(section, key);
    if (found.key) {
        std::string& text = lines_[*found.key].text;
        const auto equals = text.find('=');
        const auto old = std::string_view(text).substr(equals + 1);
        if (TrimBlanks(old) == clean)
            return;
        // Keep the spacing the line already had after "=".
        const auto valueStart = text.find_first_not_of(" \t", equals + 1);
        text.resize(valueStart == std::string::npos ? text.size() : valueStart);
        text += clean;
        return;
    }
    std::string line = std::string(key) + "=" + clean;
    if (found.section < lines_.size()) {
        InsertLine(found.insertAfter, std::move(line));
        return;
    }
    if (!lines_.empty() && lines_.back().end.empty())
        lines_.back().end = "\r\n";
    lines_.push_back({"[" + std::string(section) + "]", "\r\n"});
    lines_.push_back({std::move(line), "\r\n"});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::Bytes() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.end;
    }
    return out;
}

bool IniFile::Save(const std::string& path, const BeforeReplace& beforeReplace) const {
    const std::string target = ResolveLink(path);
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + (folder.back() == '/' ? "" : "/") + "." + name + ".XXXXXX";

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, Bytes()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && beforeReplace)
        ok = beforeReplace();
    if (ok)
        ok = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk too, or a crash could bring back the old file.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace pim
