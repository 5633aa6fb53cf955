#include <kalvo/routing/routercenter.h>

#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/scheduler.h>

#include <QHash>
#include <QUuid>

#include <algorithm>

#include <mutex>

#if __has_include(<execinfo.h>)
#include <execinfo.h>
#define KALVO_HAVE_BACKTRACE 1
#endif

namespace kalvo {

namespace {

// ---- Access records ----

struct TNProtocolAccessRecord
{
    QString routerCenterID;
    QStringList firstAccessStack;
    QString accessMethod;
};

struct AccessRecords
{
    std::mutex mutex;
    QHash<TNProtocol, TNProtocolAccessRecord> singletonAccess;
    QHash<TNProtocol, TNProtocolAccessRecord> eventAccess;
    TNRouterCenter::LogSink sink;
};

AccessRecords &accessRecords()
{
    static AccessRecords *records = new AccessRecords;
    return *records;
}

QStringList captureCallStack()
{
    QStringList lines;
#ifdef KALVO_HAVE_BACKTRACE
    void *frames[64];
    const int count = backtrace(frames, 64);
    if (char **symbols = backtrace_symbols(frames, count)) {
        // Frame 0 is this function.
        for (int i = 1; i < count; ++i)
            lines.append(QString::fromLocal8Bit(symbols[i]));
        free(symbols);
    }
#endif
    return lines;
}

const char *const kTop = "╔══════════════════════════════════════════════════════════════════════════════╗";
const char *const kSeparator = "╠══════════════════════════════════════════════════════════════════════════════╣";
const char *const kBottom = "╚══════════════════════════════════════════════════════════════════════════════╝";
const char *const kTitle = "║  ❌ RouterCenter Protocol Access Conflict Detected!                          ║";
const char *const kFirstAccess = "║  FIRST ACCESS (recorded):                                                    ║";
const char *const kCurrentAccess = "║  CURRENT ACCESS (conflict):                                                  ║";
const char *const kSuggestGlobal = "║  💡 SUGGESTION: Use TNSharedFor / TNEventPosterFor instead of TNMTSharedFor  ║";
const char *const kSuggestMeeting = "║  💡 SUGGESTION: Use TNMTSharedFor / TNMTEventPosterFor instead of TNSharedFor║";
const char *const kSuggestOther = "║  💡 SUGGESTION: Protocol was first accessed via [%1] RouterCenter            ║";

QString conflictReport(const TNProtocol &protocol, const TNProtocolAccessRecord &first, const QString &currentID,
    const QString &currentMethod)
{
    QString text;
    auto line = [&text](const QString &content) {
        text += content;
        text += QLatin1Char('\n');
    };
    line(QString());
    line(QString::fromUtf8(kTop));
    line(QString::fromUtf8(kTitle));
    line(QString::fromUtf8(kSeparator));
    line(QStringLiteral("║  Protocol: <%1>").arg(protocol.name()));
    line(QString::fromUtf8(kSeparator));
    line(QString::fromUtf8(kFirstAccess));
    line(QStringLiteral("║    RouterCenter: [%1]").arg(first.routerCenterID));
    line(QStringLiteral("║    Method: %1").arg(first.accessMethod));
    line(QStringLiteral("║    Call Stack:"));
    for (const QString &frame : first.firstAccessStack)
        line(QStringLiteral("║      %1").arg(frame));
    line(QString::fromUtf8(kSeparator));
    line(QString::fromUtf8(kCurrentAccess));
    line(QStringLiteral("║    RouterCenter: [%1]").arg(currentID));
    line(QStringLiteral("║    Method: %1").arg(currentMethod));
    line(QString::fromUtf8(kSeparator));
    if (first.routerCenterID == QLatin1String("Global"))
        line(QString::fromUtf8(kSuggestGlobal));
    else if (first.routerCenterID == QLatin1String("Meeting"))
        line(QString::fromUtf8(kSuggestMeeting));
    else
        line(QString::fromUtf8(kSuggestOther).arg(first.routerCenterID));
    line(QString::fromUtf8(kBottom));
    return text;
}

enum class AccessKind { singleton, event };

void recordAccess(AccessKind kind, const TNProtocol &protocol, const QString &centerID, const char *method)
{
    if (protocol.isNull())
        return;
    const QString id = centerID.isEmpty() ? QStringLiteral("Unknown") : centerID;
    const QString methodName = QString::fromLatin1(method);
    AccessRecords &records = accessRecords();
    QString report;
    TNRouterCenter::LogSink sink;
    QStringList stack;
    bool haveStack = false;
    for (;;) {
        std::unique_lock lock(records.mutex);
        auto &map = kind == AccessKind::singleton ? records.singletonAccess : records.eventAccess;
        auto it = map.constFind(protocol);
        if (it == map.constEnd()) {
            if (!haveStack) {
                // The stack is captured without the lock, then the record
                // is made unless another thread made it meanwhile.
                lock.unlock();
                stack = captureCallStack();
                haveStack = true;
                continue;
            }
            map.insert(protocol, TNProtocolAccessRecord {id, stack, methodName});
            return;
        }
        if (it->routerCenterID == id)
            return;
        report = conflictReport(protocol, *it, id, methodName);
        sink = records.sink;
        break;
    }
    if (sink)
        sink(report);
    else
        qWarning("%s", qUtf8Printable(report));
}

} // namespace

// ---- Delegate defaults ----

TNRouterCenterDelegate::~TNRouterCenterDelegate() = default;

std::shared_ptr<TNRoutableObject> TNRouterCenterDelegate::routerCenterSingletonForProtocol(
    TNRouterCenter &, const TNProtocol &)
{
    return nullptr;
}

bool TNRouterCenterDelegate::routerCenterCollectTargets(TNRouterCenter &, TNEventRegistry &, const TNProtocol &)
{
    return false;
}

// ---- TNRouterCenter ----

struct TNRouterCenter::Private
{
    QString ID;
    std::shared_ptr<TNEventRegistry> eventRegistry = TNEventRegistry::create();

    mutable std::mutex mutex;
    std::weak_ptr<TNRouterCenterDelegate> delegate;
    QList<TNProtocol> protocolOrder;
    QHash<TNProtocol, TNClass> protocolMap;
    QList<TNProtocol> singletonOrder;
    QHash<TNProtocol, std::shared_ptr<TNRoutableObject>> singletonMap;
    // Per protocol, the waiting actions by identifier, in arrival order.
    QHash<TNProtocol, QList<std::pair<QString, std::function<void()>>>> registerAction;
};

TNRouterCenter::TNRouterCenter(const QString &ID) : d(std::make_unique<Private>())
{
    d->ID = ID;
}

TNRouterCenter::~TNRouterCenter() = default;

std::shared_ptr<TNRouterCenter> TNRouterCenter::shared()
{
    // Never destroyed: targets may unregister during exit.
    static auto *center = new std::shared_ptr<TNRouterCenter>(new TNRouterCenter(QStringLiteral("Global")));
    return *center;
}

std::shared_ptr<TNRouterCenter> TNRouterCenter::initWithID(const QString &ID)
{
    return std::shared_ptr<TNRouterCenter>(new TNRouterCenter(ID));
}

QString TNRouterCenter::ID() const
{
    return d->ID;
}

std::shared_ptr<TNRouterCenterDelegate> TNRouterCenter::delegate() const
{
    std::lock_guard lock(d->mutex);
    return d->delegate.lock();
}

void TNRouterCenter::setDelegate(const std::shared_ptr<TNRouterCenterDelegate> &delegate)
{
    std::lock_guard lock(d->mutex);
    d->delegate = delegate;
}

std::shared_ptr<TNEventRegistry> TNRouterCenter::eventRegistry() const
{
    return d->eventRegistry;
}

// ---- Protocols ----

void TNRouterCenter::registerProtocol(const TNProtocol &protocol, const TNClass &cls)
{
    if (protocol.isNull() || cls.isNull())
        return;
    if (!isMainThread()) {
        std::weak_ptr<TNRouterCenter> weak = weak_from_this();
        kalvo::async([weak, protocol, cls] {
            if (auto center = weak.lock())
                center->registerProtocolOnMain(protocol, cls);
        });
        return;
    }
    registerProtocolOnMain(protocol, cls);
}

void TNRouterCenter::registerProtocolOnMain(const TNProtocol &protocol, const TNClass &cls)
{
    if (!cls.conformsToRoutableObject())
        qFatal("class:%s need conforms To TNRoutableObject protocol", qUtf8Printable(cls.name()));
    QList<std::pair<QString, std::function<void()>>> actions;
    {
        std::lock_guard lock(d->mutex);
        if (d->protocolMap.contains(protocol))
            return;
        d->protocolMap.insert(protocol, cls);
        d->protocolOrder.append(protocol);
        actions = d->registerAction.take(protocol);
    }
    // Posted when the main loop comes back, like a notification queued to
    // be posted when idle.
    kalvo::async([protocol] {
        NotificationCenter::defaultCenter().post(
            TNRouterReady, protocol.identity(), {{QStringLiteral("protocol"), protocol.name()}});
    });
    for (auto &action : actions)
        kalvo::async(std::move(action.second));
}

void TNRouterCenter::registerProtocols(const QList<TNProtocol> &protocols, const TNClass &cls)
{
    for (const TNProtocol &protocol : protocols)
        registerProtocol(protocol, cls);
}

TNClass TNRouterCenter::classForProtocol(const TNProtocol &protocol) const
{
    std::lock_guard lock(d->mutex);
    return d->protocolMap.value(protocol);
}

std::shared_ptr<TNRoutableObject> TNRouterCenter::objectForProtocol(const TNProtocol &protocol) const
{
    return classForProtocol(protocol).createInstance();
}

void TNRouterCenter::enumerateProtocolsAndClassesUsingBlock(
    const std::function<void(const TNProtocol &, const TNClass &, bool *)> &block) const
{
    if (!block)
        return;
    QList<std::pair<TNProtocol, TNClass>> entries;
    {
        std::lock_guard lock(d->mutex);
        for (const TNProtocol &protocol : std::as_const(d->protocolOrder))
            entries.append({protocol, d->protocolMap.value(protocol)});
    }
    bool stop = false;
    for (const auto &[protocol, cls] : entries) {
        block(protocol, cls, &stop);
        if (stop)
            return;
    }
}

// ---- Success actions ----

bool TNRouterCenter::registerSuccessAction(std::function<void()> action, const TNProtocol &protocol)
{
    return registerSuccessAction(std::move(action), protocol, QString());
}

bool TNRouterCenter::registerSuccessAction(std::function<void()> action, const TNProtocol &protocol, const QString &ID)
{
    if (!action || protocol.isNull())
        return false;
    {
        std::lock_guard lock(d->mutex);
        if (!d->protocolMap.contains(protocol)) {
            const QString key = ID.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : ID;
            auto &waiting = d->registerAction[protocol];
            auto same
                = std::find_if(waiting.begin(), waiting.end(), [&](const auto &entry) { return entry.first == key; });
            if (same != waiting.end())
                same->second = std::move(action);
            else
                waiting.append({key, std::move(action)});
            return true;
        }
    }
    action();
    return false;
}

void TNRouterCenter::removeSuccessActionForProtocol(const TNProtocol &protocol, const QString &ID)
{
    std::function<void()> removed; // destroyed outside the lock
    std::lock_guard lock(d->mutex);
    auto it = d->registerAction.find(protocol);
    if (it == d->registerAction.end())
        return;
    auto &waiting = it.value();
    for (qsizetype i = 0; i < waiting.size(); ++i) {
        if (waiting[i].first == ID) {
            removed = std::move(waiting[i].second);
            waiting.removeAt(i);
            break;
        }
    }
    if (waiting.isEmpty())
        d->registerAction.erase(it);
}

int TNRouterCenter::pendingSuccessActionCount(const TNProtocol &protocol) const
{
    std::lock_guard lock(d->mutex);
    return static_cast<int>(d->registerAction.value(protocol).size());
}

// ---- Singletons ----

void TNRouterCenter::registerSingleton(const std::shared_ptr<TNRoutableObject> &singleton, const TNProtocol &protocol)
{
    if (!singleton || protocol.isNull())
        return;
    std::shared_ptr<TNRoutableObject> previous;
    std::lock_guard lock(d->mutex);
    auto it = d->singletonMap.find(protocol);
    if (it == d->singletonMap.end()) {
        d->singletonMap.insert(protocol, singleton);
        d->singletonOrder.append(protocol);
    } else {
        previous = std::exchange(it.value(), singleton);
    }
}

void TNRouterCenter::removeSingletonForProtocol(const TNProtocol &protocol)
{
    std::shared_ptr<TNRoutableObject> removed;
    std::lock_guard lock(d->mutex);
    removed = d->singletonMap.take(protocol);
    d->singletonOrder.removeOne(protocol);
}

std::shared_ptr<TNRoutableObject> TNRouterCenter::singletonForProtocol(const TNProtocol &protocol)
{
    if (protocol.isNull())
        return nullptr;
    recordAccess(AccessKind::singleton, protocol, d->ID, "singletonForProtocol:");
    TNClass cls;
    std::shared_ptr<TNRouterCenterDelegate> delegate;
    {
        std::lock_guard lock(d->mutex);
        if (auto singleton = d->singletonMap.value(protocol))
            return singleton;
        cls = d->protocolMap.value(protocol);
        delegate = d->delegate.lock();
    }
    if (cls.hasShared()) {
        if (auto shared = cls.sharedInstance())
            return shared;
    }
    if (delegate)
        return delegate->routerCenterSingletonForProtocol(*this, protocol);
    return nullptr;
}

void TNRouterCenter::enumerateSingletonsUsingBlock(
    const std::function<void(const TNProtocol &, const std::shared_ptr<TNRoutableObject> &, bool *)> &block) const
{
    if (!block)
        return;
    QList<std::pair<TNProtocol, std::shared_ptr<TNRoutableObject>>> entries;
    {
        std::lock_guard lock(d->mutex);
        for (const TNProtocol &protocol : std::as_const(d->singletonOrder))
            entries.append({protocol, d->singletonMap.value(protocol)});
    }
    bool stop = false;
    for (const auto &[protocol, singleton] : entries) {
        block(protocol, singleton, &stop);
        if (stop)
            return;
    }
}

// ---- Events ----

TNEventPoster TNRouterCenter::posterForProtocol(
    const TNProtocol &protocol, const ObserverOwner &sender, const void *object, qint64 tag, bool ignoreSelfObjectIfNil)
{
    recordAccess(AccessKind::event, protocol, d->ID, "posterForProtocol:");
    TNEventTargetList targets;
    std::shared_ptr<TNEventRegistry> collected;
    if (auto delegate = this->delegate()) {
        auto fresh = TNEventRegistry::create();
        if (delegate->routerCenterCollectTargets(*this, *fresh, protocol)) {
            targets = fresh->eventTargetsForProtocol(protocol);
            if (!targets.empty())
                collected = std::move(fresh);
        }
    }
    if (targets.empty())
        targets = d->eventRegistry->eventTargetsForProtocol(protocol);
    TNEventPoster poster(protocol, std::move(targets), std::move(collected));
    poster.setSender(sender).setObject(object).setTag(tag).setIgnoreSelfObjectIfNil(ignoreSelfObjectIfNil);
    return poster;
}

void TNRouterCenter::recordEventRegistration(const TNProtocol &protocol)
{
    recordAccess(AccessKind::event, protocol, d->ID, "registerTarget:forProtocol:");
}

void TNRouterCenter::unregisterTartget(const ObserverOwner &target, const TNProtocol &protocol)
{
    d->eventRegistry->unregisterTartget(target, protocol);
}

void TNRouterCenter::unregisterTartgetByEventTarget(const std::shared_ptr<TNEventTarget> &eventTarget)
{
    d->eventRegistry->unregisterTartgetByEventTarget(eventTarget);
}

void TNRouterCenter::unregisterTartget(const ObserverOwner &target)
{
    d->eventRegistry->unregisterTartget(target);
}

void TNRouterCenter::setAccessConflictLogSink(LogSink sink)
{
    AccessRecords &records = accessRecords();
    std::lock_guard lock(records.mutex);
    records.sink = std::move(sink);
}

} // namespace kalvo
