#include "app/check/SeenMail.h"

#include "settings/ProfileLocation.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <charconv>

namespace pim {

namespace {

constexpr char kHeader[] = "Pim seen mail 1";

// Names, hosts and ids may hold any byte; the file's lines and fields must not break.
QByteArray Encode(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toPercentEncoding();
}
std::string Decode(const QByteArray& field) {
    return QByteArray::fromPercentEncoding(field).toStdString();
}

} // namespace

SeenMail::SeenMail(const std::string& profilePath, std::string folder) : profile_(profilePath) {
    // Qt 6.4 knows no state location: the XDG rule by hand.
    if (folder.empty())
        folder = XdgFolder("XDG_STATE_HOME", ".local/state") + "/Pim";
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(profilePath),
                                                     QCryptographicHash::Sha256);
    path_ = folder + "/seen-" + hash.toHex().left(16).toStdString();
}

void SeenMail::Load() {
    if (std::exchange(loaded_, true))
        return;
    QFile file(QString::fromStdString(path_));
    if (file.size() > qint64(kMaxFileBytes) || !file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.read(kMaxFileBytes).split('\n');
    // Another profile's file (whose name happens to be the same) is not ours.
    if (lines.size() < 2 || lines[0] != kHeader || lines[1] != "P " + Encode(profile_))
        return;
    Seen* current = nullptr;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        if (fields.size() == 4 && fields[0] == "A") {
            current = nullptr;
            int32_t count = -1;
            const QByteArray& number = fields[3];
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), count);
            if (error != std::errc() || end != number.data() + number.size() || count < 0 ||
                seen_.size() >= size_t(kMaxAccounts))
                continue;
            current = &seen_[{Decode(fields[1]), Decode(fields[2])}];
            *current = Seen{count, {}};
        } else if (fields.size() == 2 && fields[0] == "I" && current &&
                   current->ids.size() < size_t(kMaxMails)) {
            std::string id = Decode(fields[1]);
            if (!id.empty() && id.size() <= kMaxIdBytes)
                current->ids.push_back(std::move(id));
        }
    }
}

std::optional<AccountResult> SeenMail::Before(const std::string& hostName,
                                              const std::string& userID) {
    Load();
    const auto found = seen_.find({hostName, userID});
    if (found == seen_.end() || found->second.ids.empty())
        return std::nullopt;
    AccountResult before;
    before.Count = found->second.count;
    std::copy(found->second.ids.begin(), found->second.ids.end(), before.Ids.begin());
    return before;
}

void SeenMail::Keep(const std::string& hostName, const std::string& userID,
                    const AccountResult& result) {
    if (result.Count < 0)
        return;
    Load();
    Seen now{result.Count, {}};
    const auto read = result.Ids.begin() + std::min(result.Count, kMaxMails);
    // Without an id for every message there is nothing lasting to compare with.
    if (std::none_of(result.Ids.begin(), read,
                     [](const std::string& id) { return id.empty() || id.size() > kMaxIdBytes; }))
        now.ids.assign(result.Ids.begin(), read);
    const Key key{hostName, userID};
    const auto found = seen_.find(key);
    if (now.ids.empty()) {
        if (found != seen_.end())
            seen_.erase(found), dirty_ = true;
    } else if (found == seen_.end() || found->second != now) {
        seen_[key] = std::move(now);
        dirty_ = true;
    }
}

void SeenMail::Save(const TAccounts& accounts) {
    Load();
    dirty_ |= std::erase_if(seen_, [&](const auto& entry) {
                  return std::none_of(accounts.begin(), accounts.end(), [&](const TAccount& a) {
                      return !a.Name.empty() && a.HostName == entry.first.first &&
                             a.UserID == entry.first.second;
                  });
              }) > 0;
    if (!dirty_)
        return;
    const QString path = QString::fromStdString(path_);
    const QString folder = path.left(path.lastIndexOf(u'/'));
    // The folder holds what the user read: nobody else's business.
    if (!QDir().mkpath(folder))
        return;
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray text = QByteArray(kHeader) + "\nP " + Encode(profile_) + '\n';
    for (const auto& [key, seen] : seen_) {
        text += "A " + Encode(key.first) + ' ' + Encode(key.second) + ' ' +
                QByteArray::number(seen.count) + '\n';
        for (const std::string& id : seen.ids)
            text += "I " + Encode(id) + '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(text);
    // A failed write leaves the old file; the next check tries again.
    dirty_ = !file.commit();
}

} // namespace pim
