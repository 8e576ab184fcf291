#include "platform/ProgramIcons.h"

#include "platform/DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace pim {

namespace {

// Bounds for folders and files that anybody may have filled.
constexpr qint64 kMaxDesktopFileBytes = 64 * 1024;
constexpr qint64 kMaxIconFileBytes = 16 * 1024 * 1024;
constexpr int kMaxFolderEntries = 16384; // names looked at under all applications folders
constexpr int kMaxDesktopFiles = 4096;   // desktop files read
constexpr int kMaxDepth = 4;             // subfolders of an applications folder
constexpr int kMaxIcons = 256;
constexpr int kMaxImageSide = 1024;
constexpr int kMaxImagesPerFile = 8;
constexpr int kMaxIconName = 255; // a file name, the longest a theme can hold

using FileKey = std::pair<dev_t, ino_t>;

std::optional<struct stat> StatOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st;
}

bool IsRegularFile(const QString& path, qint64 maxBytes) {
    const auto st = StatOf(path);
    return st && S_ISREG(st->st_mode) && st->st_size <= maxBytes;
}

// Only a regular file is opened: a FIFO would block and a device might never end.
std::optional<QByteArray> ReadSmallFile(const QString& path, qint64 maxBytes) {
    if (!IsRegularFile(path, maxBytes))
        return std::nullopt;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        // One byte more than the size tells a file that grew since.
        QByteArray buffer(st.st_size + 1, Qt::Uninitialized);
        qsizetype got = 0;
        bool failed = false;
        while (got < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + got, size_t(buffer.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            failed = n < 0;
            if (n <= 0)
                break;
            got += n;
        }
        if (!failed && got <= st.st_size) {
            buffer.truncate(got);
            bytes = std::move(buffer);
        }
    }
    ::close(fd);
    return bytes;
}

std::optional<FileKey> FileOf(const QString& path) {
    const auto st = StatOf(path);
    return st ? std::optional(FileKey{st->st_dev, st->st_ino}) : std::nullopt;
}

// A name without a slash is found on PATH, as starting it would find it.
std::optional<FileKey> ExecutableOf(const QString& program) {
    if (program.contains(u'/'))
        return FileOf(program);
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? std::nullopt : FileOf(found);
}

QString FileName(const QString& path) {
    return path.section(u'/', -1);
}

struct Program {
    QString path;
    QString name;
    std::optional<FileKey> file;
};

// Exec= names the program by its path, by its file name when Exec= has no folder,
// or by a path or PATH name that leads to the same file (through links too).
bool Names(const QString& word, const Program& program) {
    if (word == program.path || (!word.contains(u'/') && word == program.name))
        return true;
    if (!program.file || (word.contains(u'/') && !word.startsWith(u'/')))
        return false;
    return ExecutableOf(word) == program.file;
}

// Names carry no extension, but some entries give one anyway.
QString IconKey(const QString& value) {
    if (value.startsWith(u'/'))
        return QDir::cleanPath(value);
    for (const QLatin1StringView extension :
         {QLatin1StringView(".png"), QLatin1StringView(".svg"), QLatin1StringView(".xpm")})
        if (value.endsWith(extension))
            return value.chopped(extension.size());
    return value;
}

// Raster files are read here rather than by QIcon, which would decode every image
// of a file, however many there are and however large.
QIcon LoadIconFile(const QString& path) {
    if (!IsRegularFile(path, kMaxIconFileBytes))
        return {};
    if (path.endsWith(u".svg") || path.endsWith(u".svgz"))
        return QIcon(path);
    QImageReader reader(path);
    QIcon icon;
    const int images = std::clamp(reader.imageCount(), 1, kMaxImagesPerFile);
    for (int i = 0; i < images && (i == 0 || reader.jumpToImage(i)); ++i) {
        const QSize size = reader.size();
        QImage image;
        if (size.isValid() && size.width() <= kMaxImageSide && size.height() <= kMaxImageSide &&
            reader.read(&image))
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// `key` is an absolute file or a theme icon name; null when it cannot be shown.
QIcon ResolveIcon(const QString& key) {
    if (key.startsWith(u'/'))
        return LoadIconFile(key);
    if (key.isEmpty() || key.size() > kMaxIconName || key.contains(u'/') ||
        !QIcon::hasThemeIcon(key))
        return {};
    return QIcon::fromTheme(key);
}

// $XDG_DATA_HOME, then $XDG_DATA_DIRS, each with applications/; relative ones are ignored.
QStringList ApplicationFolders() {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (!home.startsWith(u'/'))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList data{home};
    for (const QString& dir : qEnvironmentVariable("XDG_DATA_DIRS").split(u':'))
        if (dir.startsWith(u'/'))
            data.append(dir);
    if (data.size() == 1)
        data << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
    QStringList folders;
    for (const QString& dir : data)
        folders.append(QDir::cleanPath(dir + QStringLiteral("/applications")));
    folders.removeDuplicates();
    return folders;
}

struct DesktopFile {
    QString id; // the path under the applications folder, '/' turned into '-'
    QString path;
    bool operator<(const DesktopFile& other) const {
        return std::tie(id, path) < std::tie(other.id, other.path);
    }
};

// Every name counts against `budget`, not only desktop files, so that a folder full
// of other things ends the walk as well. Linked folders are not entered: no loops.
void CollectDesktopFiles(const QString& folder, const QString& idPrefix, int depth, int& budget,
                         QList<DesktopFile>& files) {
    QDirIterator it(folder, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    while (budget > 0 && it.hasNext()) {
        --budget;
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir()) {
            if (!info.isSymLink() && depth < kMaxDepth)
                CollectDesktopFiles(info.filePath(), idPrefix + info.fileName() + u'-', depth + 1,
                                    budget, files);
        } else if (info.fileName().endsWith(u".desktop")) {
            files.append({idPrefix + info.fileName(), info.filePath()});
        }
    }
}

QList<QIcon> EntryIcons(const QString& programPath) {
    const Program program{programPath, FileName(programPath), ExecutableOf(programPath)};
    QList<QIcon> icons;
    QSet<QString> seenIds;
    QSet<QString> seenIcons;
    int folderBudget = kMaxFolderEntries;
    int fileBudget = kMaxDesktopFiles;
    for (const QString& folder : ApplicationFolders()) {
        QList<DesktopFile> files;
        CollectDesktopFiles(folder, {}, 0, folderBudget, files);
        std::sort(files.begin(), files.end());
        for (const DesktopFile& file : files) {
            // An id seen before shadows this file, even when that one is hidden or unreadable.
            if (seenIds.contains(file.id))
                continue;
            seenIds.insert(file.id);
            if (fileBudget-- == 0)
                return icons;
            const std::optional<QByteArray> text = ReadSmallFile(file.path, kMaxDesktopFileBytes);
            if (!text)
                continue;
            const DesktopEntry entry = ParseDesktopEntry(*text);
            const QString key = IconKey(entry.icon);
            if (entry.hidden || entry.program.isEmpty() || seenIcons.contains(key) ||
                !Names(entry.program, program))
                continue;
            seenIcons.insert(key);
            if (QIcon icon = ResolveIcon(key); !icon.isNull()) {
                icons.append(icon);
                if (icons.size() == kMaxIcons)
                    return icons;
            }
        }
    }
    return icons;
}

} // namespace

QList<QIcon> ProgramIcons(const QString& programPath) {
    if (programPath.isEmpty())
        return {};
    QString program = programPath;
    if (programPath.endsWith(u".desktop")) {
        if (const auto text = ReadSmallFile(programPath, kMaxDesktopFileBytes)) {
            const DesktopEntry entry = ParseDesktopEntry(*text);
            if (QIcon icon = ResolveIcon(IconKey(entry.icon)); !icon.isNull())
                return {icon};
            // Without an icon of its own the file stands for the program it starts.
            if (!entry.program.isEmpty())
                program = entry.program;
        }
    }
    QList<QIcon> icons = EntryIcons(program);
    if (icons.isEmpty())
        if (QIcon icon = ResolveIcon(FileName(program)); !icon.isNull())
            icons.append(icon);
    return icons;
}

QIcon ProgramIcon(const QString& programPath, int index) {
    const QList<QIcon> icons = ProgramIcons(programPath);
    return index >= 0 && index < icons.size() ? icons[index] : QIcon();
}

} // namespace pim
