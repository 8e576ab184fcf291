// The desktop's keyring through the Secret Service API (org.freedesktop.secrets)
// on the session bus: GNOME Keyring, KWallet, KeePassXC. Every call is
// asynchronous; its answer comes through the callback from the event loop,
// unless this object is gone by then. Secrets cross the bus in the "plain"
// session, as they do between any two programs of the same user.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QMap>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

namespace pim {

class SecretService : public QObject {
    Q_OBJECT
public:
    using Attributes = QMap<QString, QString>;
    enum class Status {
        Ok,
        NotFound,   // no item has these attributes
        Locked,     // the keyring is locked, and was not (or could not be) unlocked
        NotRunning, // no keyring on the bus (none runs, none can be started), or it is silent
        Failed,     // it refused
    };

    // `bus` is asked for the connection at each operation, not before.
    explicit SecretService(std::function<QDBusConnection()> bus, QObject* parent = nullptr);

    // Whether a Secret Service runs on the bus or can be started there.
    void Probe(std::function<void(bool present)> done);
    // The secret of an item with these attributes. A locked keyring asks the
    // user to unlock it only with `mayPrompt`.
    void Read(const Attributes& attributes, bool mayPrompt,
              std::function<void(Status, const QByteArray& secret)> done);
    // Stores the secret in the default keyring, replacing the item with the
    // same attributes, and reads it back: Ok only when it reads back equal.
    void Write(const Attributes& attributes, const QString& label, const QByteArray& secret,
               bool mayPrompt, std::function<void(Status)> done);
    // Deletes every item that has these attributes (and perhaps more).
    void Remove(const Attributes& attributes, bool mayPrompt, std::function<void(Status)> done);

    // How long the user has to answer the keyring's unlock prompt.
    std::chrono::milliseconds PromptLimit = std::chrono::minutes(3);
    // A keyring started or ended on the bus since the first Probe: ask again.
    std::function<void()> ServiceChanged;

private:
    using Reply = std::function<void(const QDBusMessage&)>;
    // A method of the Secret Service; `then` gets the reply or the error.
    void Call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, Reply then);
    void Send(const QDBusConnection& bus, const QDBusMessage& message, Reply then);
    // Opens a session for carrying secrets; `then` gets its path, empty on failure.
    void OpenSession(std::function<void(const QString& session)> then);
    void CloseSession(const QString& session);
    // The items with these attributes: unlocked ones first, then locked ones.
    void Search(const Attributes& attributes,
                std::function<void(Status, QStringList unlocked, QStringList locked)> then);
    // Unlocks `objects` through the keyring's prompt, only with `mayPrompt`.
    void Unlock(const QStringList& objects, bool mayPrompt, std::function<void(Status)> then);
    // Shows the prompt at `path`; `then` gets whether it was completed.
    void RunPrompt(const QString& path, std::function<void(bool completed)> then);
    // Items with these attributes found unlocked, or after unlocking when allowed.
    void Unlocked(const Attributes& attributes, bool mayPrompt,
                  std::function<void(Status, QStringList items)> then);
    // The default keyring's path; where there is none yet, one is made with the
    // user through the keyring's prompt, only with `mayPrompt`.
    void DefaultCollection(bool mayPrompt, std::function<void(Status, const QString&)> then);
    void Create(const QString& collection, const Attributes& attributes, const QString& label,
                const QByteArray& secret, std::function<void(Status)> then);
    void DeleteEach(QStringList items, std::function<void(Status)> done);

    std::function<QDBusConnection()> bus_;
    QDBusServiceWatcher* watcher_ = nullptr; // on the bus of the last Probe
};

} // namespace pim
