#include "platform/SecretService.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <QTimer>

namespace pim::secret_wire {

// A secret as the API carries it: (oayays).
struct Secret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Secret& secret) {
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Secret& secret) {
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

} // namespace pim::secret_wire

Q_DECLARE_METATYPE(pim::secret_wire::Secret)

namespace pim {

namespace {

using secret_wire::Secret;

const QString kService = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");
const QString kCollectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");
const QString kItemInterface = QStringLiteral("org.freedesktop.Secret.Item");
const QString kPromptInterface = QStringLiteral("org.freedesktop.Secret.Prompt");
const QString kNoObject = QStringLiteral("/");
// A keyring started on demand may take a moment; beyond this it is not there.
constexpr int kCallTimeoutMs = 15000;

void RegisterTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<Secret>();
        qDBusRegisterMetaType<SecretService::Attributes>();
        return true;
    }();
    (void)registered;
}

bool Failed(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

// A failed call: no keyring there to answer, or one that said no.
SecretService::Status FailureOf(const QDBusMessage& reply) {
    switch (QDBusError(reply).type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return SecretService::Status::NotRunning;
    default:
        return SecretService::Status::Failed;
    }
}

QString PathArgument(const QDBusMessage& reply, int index) {
    return qdbus_cast<QDBusObjectPath>(reply.arguments().value(index)).path();
}

QStringList PathsArgument(const QDBusMessage& reply, int index) {
    QStringList paths;
    for (const QDBusObjectPath& path :
         qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().value(index)))
        paths << path.path();
    return paths;
}

QList<QDBusObjectPath> ObjectPaths(const QStringList& paths) {
    QList<QDBusObjectPath> objects;
    for (const QString& path : paths)
        objects << QDBusObjectPath(path);
    return objects;
}

} // namespace

// Waits for a prompt's Completed signal, or gives up after the limit.
class PromptWatch : public QObject {
    Q_OBJECT
public:
    PromptWatch(QDBusConnection bus, QString path, std::chrono::milliseconds limit,
                std::function<void(bool)> done, QObject* parent)
        : QObject(parent), bus_(std::move(bus)), path_(std::move(path)), done_(std::move(done)) {
        bus_.connect(kService, path_, kPromptInterface, QStringLiteral("Completed"), this,
                     SLOT(Completed(bool, QDBusVariant)));
        QTimer::singleShot(limit, this, [this] {
            bus_.send(QDBusMessage::createMethodCall(kService, path_, kPromptInterface,
                                                     QStringLiteral("Dismiss")));
            Finish(false);
        });
    }

    // Call failed: no prompt shows, and no signal will come.
    void Abort() { Finish(false); }

public slots:
    void Completed(bool dismissed, const QDBusVariant&) { Finish(!dismissed); }

private:
    void Finish(bool completed) {
        if (!done_)
            return;
        bus_.disconnect(kService, path_, kPromptInterface, QStringLiteral("Completed"), this,
                        SLOT(Completed(bool, QDBusVariant)));
        std::exchange(done_, nullptr)(completed);
        deleteLater();
    }

    QDBusConnection bus_;
    QString path_;
    std::function<void(bool)> done_;
};

SecretService::SecretService(std::function<QDBusConnection()> bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    RegisterTypes();
}

void SecretService::Call(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments, Reply then) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    Send(bus_(), message, std::move(then));
}

void SecretService::Send(const QDBusConnection& bus, const QDBusMessage& message, Reply then) {
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [then = std::move(then)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                then(call->reply());
            });
}

void SecretService::Probe(std::function<void(bool)> done) {
    const QDBusConnection bus = bus_();
    if (!bus.isConnected())
        return QTimer::singleShot(0, this, [done] { done(false); });
    // A keyring that starts later (KeePassXC, a daemon started by hand) is seen
    // when it comes, not at the next question.
    if (!watcher_ || watcher_->connection().name() != bus.name()) {
        delete watcher_;
        watcher_ =
            new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
            if (ServiceChanged)
                ServiceChanged();
        });
    }
    // The bus itself: whether the service runs, else whether it can be started.
    const auto ask = [this, bus](const QString& method, const QVariantList& arguments, Reply then) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), method);
        message.setArguments(arguments);
        Send(bus, message, std::move(then));
    };
    ask(QStringLiteral("NameHasOwner"), {kService}, [ask, done](const QDBusMessage& owner) {
        if (!Failed(owner) && owner.arguments().value(0).toBool())
            return done(true);
        ask(QStringLiteral("ListActivatableNames"), {}, [done](const QDBusMessage& names) {
            done(!Failed(names) && names.arguments().value(0).toStringList().contains(kService));
        });
    });
}

void SecretService::OpenSession(std::function<void(const QString&)> then) {
    Call(kServicePath, kServiceInterface, QStringLiteral("OpenSession"),
         {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))},
         [then = std::move(then)](const QDBusMessage& reply) {
             then(Failed(reply) ? QString() : PathArgument(reply, 1));
         });
}

void SecretService::CloseSession(const QString& session) {
    if (session.isEmpty())
        return;
    bus_().send(QDBusMessage::createMethodCall(kService, session,
                                               QStringLiteral("org.freedesktop.Secret.Session"),
                                               QStringLiteral("Close")));
}

void SecretService::Search(const Attributes& attributes,
                           std::function<void(Status, QStringList, QStringList)> then) {
    Call(kServicePath, kServiceInterface, QStringLiteral("SearchItems"),
         {QVariant::fromValue(attributes)}, [then = std::move(then)](const QDBusMessage& reply) {
             if (Failed(reply))
                 return then(FailureOf(reply), {}, {});
             then(Status::Ok, PathsArgument(reply, 0), PathsArgument(reply, 1));
         });
}

void SecretService::RunPrompt(const QString& path, std::function<void(bool)> then) {
    auto* watch = new PromptWatch(bus_(), path, PromptLimit, std::move(then), this);
    Call(path, kPromptInterface, QStringLiteral("Prompt"), {QString()},
         [watch = QPointer<PromptWatch>(watch)](const QDBusMessage& reply) {
             if (Failed(reply) && watch)
                 watch->Abort();
         });
}

void SecretService::Unlock(const QStringList& objects, bool mayPrompt,
                           std::function<void(Status)> then) {
    if (!mayPrompt)
        return then(Status::Locked);
    Call(kServicePath, kServiceInterface, QStringLiteral("Unlock"),
         {QVariant::fromValue(ObjectPaths(objects))},
         [this, then = std::move(then)](const QDBusMessage& reply) {
             if (Failed(reply))
                 return then(Status::Failed);
             const QString prompt = PathArgument(reply, 1);
             if (prompt.isEmpty() || prompt == kNoObject)
                 return then(Status::Ok);
             RunPrompt(prompt,
                       [then](bool completed) { then(completed ? Status::Ok : Status::Locked); });
         });
}

void SecretService::Unlocked(const Attributes& attributes, bool mayPrompt,
                             std::function<void(Status, QStringList)> then) {
    Search(attributes, [this, mayPrompt, then = std::move(then)](
                           Status searched, QStringList unlocked, QStringList locked) {
        if (searched != Status::Ok)
            return then(searched, {});
        if (locked.isEmpty())
            return then(unlocked.isEmpty() ? Status::NotFound : Status::Ok, unlocked);
        // Items in an unlocked keyring serve without asking the user about a locked one.
        if (!unlocked.isEmpty() && !mayPrompt)
            return then(Status::Ok, unlocked);
        Unlock(locked, mayPrompt, [then, all = unlocked + locked](Status status) {
            then(status, status == Status::Ok ? all : QStringList());
        });
    });
}

void SecretService::Read(const Attributes& attributes, bool mayPrompt,
                         std::function<void(Status, const QByteArray&)> done) {
    Unlocked(attributes, mayPrompt,
             [this, done = std::move(done)](Status status, const QStringList& items) {
                 if (status != Status::Ok)
                     return done(status, {});
                 OpenSession([this, item = items.first(), done](const QString& session) {
                     if (session.isEmpty())
                         return done(Status::Failed, {});
                     Call(item, kItemInterface, QStringLiteral("GetSecret"),
                          {QVariant::fromValue(QDBusObjectPath(session))},
                          [this, session, done](const QDBusMessage& reply) {
                              CloseSession(session);
                              if (Failed(reply))
                                  return done(Status::Failed, {});
                              const Secret secret = qdbus_cast<Secret>(reply.arguments().value(0));
                              done(Status::Ok, secret.value);
                          });
                 });
             });
}

void SecretService::Write(const Attributes& attributes, const QString& label,
                          const QByteArray& secret, bool mayPrompt,
                          std::function<void(Status)> done) {
    const auto create = [=, this](const QString& collection) {
        Create(collection, attributes, label, secret, [=, this](Status status) {
            if (status != Status::Ok)
                return done(status);
            // Only what reads back equal counts as kept there.
            Read(attributes, false, [=](Status read, const QByteArray& stored) {
                done(read == Status::Ok && stored != secret ? Status::Failed : read);
            });
        });
    };
    DefaultCollection(mayPrompt, [=, this](Status found, const QString& collection) {
        if (found != Status::Ok)
            return done(found);
        Call(collection, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
             {kCollectionInterface, QStringLiteral("Locked")},
             [=, this](const QDBusMessage& locked) {
                 if (Failed(locked))
                     return done(Status::Failed);
                 if (!qdbus_cast<QDBusVariant>(locked.arguments().value(0)).variant().toBool())
                     return create(collection);
                 Unlock({collection}, mayPrompt, [=](Status status) {
                     status == Status::Ok ? create(collection) : done(status);
                 });
             });
    });
}

void SecretService::DefaultCollection(bool mayPrompt,
                                      std::function<void(Status, const QString&)> then) {
    // The default keyring's path, empty where there is none ("/").
    const auto readAlias = [this](std::function<void(Status, const QString&)> found) {
        Call(kServicePath, kServiceInterface, QStringLiteral("ReadAlias"),
             {QStringLiteral("default")}, [found](const QDBusMessage& alias) {
                 if (Failed(alias))
                     return found(FailureOf(alias), {});
                 const QString path = PathArgument(alias, 0);
                 found(Status::Ok, path == kNoObject ? QString() : path);
             });
    };
    readAlias([=, this](Status read, const QString& path) {
        if (read != Status::Ok || !path.isEmpty())
            return then(read, path);
        // A desktop where nothing was kept yet has no keyring: the user makes one
        // (with its password) through the keyring's own prompt.
        if (!mayPrompt)
            return then(Status::Locked, {});
        const QVariantMap properties{
            {QStringLiteral("org.freedesktop.Secret.Collection.Label"), QStringLiteral("Login")}};
        Call(kServicePath, kServiceInterface, QStringLiteral("CreateCollection"),
             {properties, QStringLiteral("default")}, [=, this](const QDBusMessage& reply) {
                 if (Failed(reply))
                     return then(FailureOf(reply), {});
                 const QString made = PathArgument(reply, 0);
                 if (!made.isEmpty() && made != kNoObject)
                     return then(Status::Ok, made);
                 RunPrompt(PathArgument(reply, 1), [=](bool completed) {
                     if (!completed)
                         return then(Status::Locked, {});
                     readAlias([then](Status again, const QString& now) {
                         then(again == Status::Ok && now.isEmpty() ? Status::Failed : again, now);
                     });
                 });
             });
    });
}

void SecretService::Create(const QString& collection, const Attributes& attributes,
                           const QString& label, const QByteArray& secret,
                           std::function<void(Status)> then) {
    OpenSession([=, this](const QString& session) {
        if (session.isEmpty())
            return then(Status::Failed);
        const QVariantMap properties{{QStringLiteral("org.freedesktop.Secret.Item.Label"), label},
                                     {QStringLiteral("org.freedesktop.Secret.Item.Attributes"),
                                      QVariant::fromValue(attributes)}};
        const Secret carried{
            QDBusObjectPath(session), {}, secret, QStringLiteral("text/plain; charset=utf8")};
        Call(collection, kCollectionInterface, QStringLiteral("CreateItem"),
             {properties, QVariant::fromValue(carried), true},
             [=, this](const QDBusMessage& reply) {
                 CloseSession(session);
                 if (Failed(reply))
                     return then(Status::Failed);
                 const QString prompt = PathArgument(reply, 1);
                 if (prompt.isEmpty() || prompt == kNoObject)
                     return then(Status::Ok);
                 RunPrompt(prompt, [then](bool completed) {
                     then(completed ? Status::Ok : Status::Failed);
                 });
             });
    });
}

void SecretService::Remove(const Attributes& attributes, bool mayPrompt,
                           std::function<void(Status)> done) {
    Unlocked(attributes, mayPrompt,
             [this, done = std::move(done)](Status status, QStringList items) {
                 if (status == Status::NotFound)
                     return done(Status::Ok);
                 if (status != Status::Ok)
                     return done(status);
                 DeleteEach(std::move(items), done);
             });
}

void SecretService::DeleteEach(QStringList items, std::function<void(Status)> done) {
    if (items.isEmpty())
        return done(Status::Ok);
    const QString item = items.takeFirst();
    Call(item, kItemInterface, QStringLiteral("Delete"), {},
         [this, items, done](const QDBusMessage& reply) {
             if (Failed(reply))
                 return done(Status::Failed);
             const auto next = [this, items, done](bool deleted) {
                 deleted ? DeleteEach(items, done) : done(Status::Failed);
             };
             const QString prompt = PathArgument(reply, 0);
             if (prompt == kNoObject)
                 return next(true);
             RunPrompt(prompt, next);
         });
}

} // namespace pim

#include "SecretService.moc"
