// ---- Index ----
// Value rules      which types a store takes, how values compare, typed reads
// Settings         reads, writes, defaults, flushing and observation
// Shared stores    standard(), suite() and where their files live
#include <kalvo/platform/settings.h>

#include <kalvo/platform/bundle.h>
#include <kalvo/platform/scheduler.h>

#include "observer_registry_p.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace kalvo {

// ---- Value rules ----

namespace {

constexpr int kMaxNesting = 32;

bool isScalar(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
        return true;
    default:
        return false;
    }
}

bool isPropertyListValue(const QVariant &value, int depth)
{
    if (depth > kMaxNesting)
        return false;
    if (isScalar(value))
        return true;
    switch (value.metaType().id()) {
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
    case QMetaType::QStringList:
        return true;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        return std::all_of(list.begin(), list.end(),
                           [depth](const QVariant &item) { return isPropertyListValue(item, depth + 1); });
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        return std::all_of(map.begin(), map.end(),
                           [depth](const QVariant &item) { return isPropertyListValue(item, depth + 1); });
    }
    default:
        return false;
    }
}

bool isNumber(const QVariant &value)
{
    return isScalar(value) && value.metaType().id() != QMetaType::QString;
}

// Equal as stored values: an INI file gives scalars back as text, so 5 and
// "5", or true and "true", are the same value.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (a.metaType() == b.metaType())
        return a == b;
    if (isScalar(a) && isScalar(b))
        return a.toString() == b.toString();
    const bool aList = a.metaType().id() == QMetaType::QStringList || a.metaType().id() == QMetaType::QVariantList;
    const bool bList = b.metaType().id() == QMetaType::QStringList || b.metaType().id() == QMetaType::QVariantList;
    if (aList && bList) {
        const QVariantList la = a.toList();
        const QVariantList lb = b.toList();
        if (la.size() != lb.size())
            return false;
        for (qsizetype i = 0; i < la.size(); ++i) {
            if (!sameValue(la[i], lb[i]))
                return false;
        }
        return true;
    }
    return a == b;
}

std::optional<double> numberFromText(const QString &text)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    const qlonglong asInt = trimmed.toLongLong(&ok);
    if (ok)
        return static_cast<double>(asInt);
    const double asDouble = trimmed.toDouble(&ok);
    if (ok)
        return asDouble;
    return std::nullopt;
}

} // namespace

bool Settings::isPropertyListValue(const QVariant &value)
{
    return kalvo::isPropertyListValue(value, 0);
}

// ---- Settings ----

SettingsBackend::~SettingsBackend() = default;

void SettingsBackend::applyChanges(QVariantMap &values, const QHash<QString, QVariant> &changes)
{
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isValid())
            values.insert(it.key(), it.value());
        else
            values.remove(it.key());
    }
}

struct Settings::Private
{
    QString name;
    std::unique_ptr<SettingsBackend> backend;

    mutable std::mutex mutex; // values, defaults, dirty, flushScheduled
    QVariantMap values;       // the user's values as last known
    QVariantMap defaults;
    QHash<QString, QVariant> dirty; // not yet saved; invalid = removed
    bool flushScheduled = false;

    std::mutex flushMutex; // one backend write at a time

    detail::ObserverRegistry<const QString &, const QVariant &> observers;

    QVariant effective(const QString &key) const
    {
        auto it = values.constFind(key);
        return it != values.constEnd() ? *it : defaults.value(key);
    }
};

Settings::Settings(const QString &name, std::unique_ptr<SettingsBackend> backend) : d(std::make_unique<Private>())
{
    d->name = name;
    d->backend = backend ? std::move(backend) : std::make_unique<MemorySettingsBackend>();
    d->values = d->backend->load();
}

Settings::~Settings()
{
    if (!d->dirty.isEmpty())
        (void)d->backend->save(d->dirty);
}

QString Settings::name() const
{
    return d->name;
}

QString Settings::location() const
{
    return d->backend->location();
}

void Settings::registerDefaults(const QVariantMap &defaults)
{
    std::vector<std::pair<QString, QVariant>> changed;
    {
        std::lock_guard lock(d->mutex);
        for (auto it = defaults.begin(); it != defaults.end(); ++it) {
            if (it.key().isEmpty() || !isPropertyListValue(it.value()))
                continue;
            const QVariant before = d->effective(it.key());
            d->defaults.insert(it.key(), it.value());
            const QVariant after = d->effective(it.key());
            if (!sameValue(before, after))
                changed.emplace_back(it.key(), after);
        }
    }
    for (const auto &[key, value] : changed)
        d->observers.notify(key, nullptr, key, value);
}

QVariantMap Settings::registeredDefaults() const
{
    std::lock_guard lock(d->mutex);
    return d->defaults;
}

QVariant Settings::value(const QString &key) const
{
    std::lock_guard lock(d->mutex);
    return d->effective(key);
}

bool Settings::hasUserValue(const QString &key) const
{
    std::lock_guard lock(d->mutex);
    return d->values.contains(key);
}

QStringList Settings::userKeys() const
{
    std::lock_guard lock(d->mutex);
    return d->values.keys();
}

QVariantMap Settings::dictionaryRepresentation() const
{
    std::lock_guard lock(d->mutex);
    QVariantMap all = d->defaults;
    all.insert(d->values);
    return all;
}

std::optional<QString> Settings::string(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QString)
        return v.toString();
    if (isNumber(v))
        return v.toString();
    return std::nullopt;
}

qint64 Settings::integer(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QString) {
        const std::optional<double> number = numberFromText(v.toString());
        return number ? static_cast<qint64>(*number) : 0;
    }
    if (v.metaType().id() == QMetaType::Double)
        return static_cast<qint64>(v.toDouble());
    return isNumber(v) ? v.toLongLong() : 0;
}

double Settings::real(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QString)
        return numberFromText(v.toString()).value_or(0.0);
    return isNumber(v) ? v.toDouble() : 0.0;
}

bool Settings::boolean(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QString) {
        const QString text = v.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        const std::optional<double> number = numberFromText(text);
        return number && *number != 0.0;
    }
    if (v.metaType().id() == QMetaType::Double)
        return v.toDouble() != 0.0;
    return isNumber(v) && v.toLongLong() != 0;
}

std::optional<QVariantMap> Settings::dictionary(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QVariantMap)
        return v.toMap();
    return std::nullopt;
}

std::optional<QVariantList> Settings::array(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QVariantList || v.metaType().id() == QMetaType::QStringList)
        return v.toList();
    return std::nullopt;
}

std::optional<QStringList> Settings::stringArray(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList();
    if (v.metaType().id() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList strings;
    for (const QVariant &item : v.toList()) {
        if (item.metaType().id() != QMetaType::QString)
            return std::nullopt;
        strings.append(item.toString());
    }
    return strings;
}

bool Settings::setValue(const QString &key, const QVariant &value)
{
    if (key.isEmpty())
        return false;
    if (value.isValid() && !isPropertyListValue(value))
        return false;
    write(key, value);
    return true;
}

void Settings::remove(const QString &key)
{
    if (!key.isEmpty())
        write(key, QVariant());
}

void Settings::write(const QString &key, const QVariant &value)
{
    QVariant after;
    bool changed = false;
    bool schedule = false;
    {
        std::lock_guard lock(d->mutex);
        if (!value.isValid() && !d->values.contains(key))
            return;
        const QVariant before = d->effective(key);
        if (value.isValid())
            d->values.insert(key, value);
        else
            d->values.remove(key);
        d->dirty.insert(key, value);
        after = d->effective(key);
        changed = !sameValue(before, after);
        schedule = !d->flushScheduled;
        d->flushScheduled = true;
    }
    if (schedule) {
        // Coalesces a burst of writes into one file write on the main queue.
        kalvo::async([weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->synchronize();
        });
    }
    if (changed)
        d->observers.notify(key, nullptr, key, after);
}

bool Settings::synchronize()
{
    std::lock_guard flushLock(d->flushMutex);
    QHash<QString, QVariant> changes;
    {
        std::lock_guard lock(d->mutex);
        changes.swap(d->dirty);
        d->flushScheduled = false;
    }
    const std::optional<QVariantMap> stored = changes.isEmpty() ? d->backend->load() : d->backend->save(changes);

    std::vector<std::pair<QString, QVariant>> changed;
    {
        std::lock_guard lock(d->mutex);
        if (!stored) {
            // Keep the unsaved changes for the next attempt, unless a newer
            // write to the same key came in meanwhile.
            for (auto it = changes.begin(); it != changes.end(); ++it) {
                if (!d->dirty.contains(it.key()))
                    d->dirty.insert(it.key(), it.value());
            }
            return false;
        }
        QVariantMap merged = *stored;
        // Writes made while the backend worked win over what it returned.
        for (auto it = d->dirty.begin(); it != d->dirty.end(); ++it) {
            if (it.value().isValid())
                merged.insert(it.key(), it.value());
            else
                merged.remove(it.key());
        }
        QStringList keys = d->values.keys();
        keys.append(merged.keys());
        keys.removeDuplicates();
        for (const QString &key : keys) {
            const QVariant before = d->values.value(key);
            const QVariant after = merged.value(key);
            if (sameValue(before, after)) {
                // Same value: keep the typed one this process wrote rather
                // than its text form read back from disk.
                if (before.isValid())
                    merged.insert(key, before);
                continue;
            }
            const QVariant effectiveBefore = before.isValid() ? before : d->defaults.value(key);
            const QVariant effectiveAfter = after.isValid() ? after : d->defaults.value(key);
            if (!sameValue(effectiveBefore, effectiveAfter))
                changed.emplace_back(key, effectiveAfter);
        }
        d->values = merged;
    }
    for (const auto &[key, value] : changed)
        d->observers.notify(key, nullptr, key, value);
    return true;
}

SettingsStatus Settings::status() const
{
    std::lock_guard flushLock(d->flushMutex);
    return d->backend->status();
}

QString Settings::backupPath() const
{
    std::lock_guard flushLock(d->flushMutex);
    return d->backend->backupPath();
}

ObserverId Settings::observe(const QString &key, const ObserverOwner &owner, Observer observer)
{
    if (key.isEmpty() || !observer)
        return 0;
    return d->observers.add(key, nullptr, owner, std::move(observer));
}

ObserverId Settings::bind(const QString &key, const ObserverOwner &owner, Observer observer)
{
    if (key.isEmpty() || !observer)
        return 0;
    observer(key, value(key));
    return d->observers.add(key, nullptr, owner, std::move(observer));
}

void Settings::removeObserver(ObserverId id)
{
    d->observers.remove(id);
}

// ---- Shared stores ----

namespace {

struct SharedStores
{
    std::mutex mutex;
    QString directory; // empty: the XDG config directory
    bool inMemory = false;
    bool flushAtExit = false;
    QHash<QString, std::shared_ptr<Settings>> byName;
};

SharedStores &sharedStores()
{
    // Never destroyed: stores are flushed by a post routine while Qt is up.
    static SharedStores *stores = new SharedStores;
    return *stores;
}

// Suite names become file names: keep the readable characters, escape the
// rest, and never produce a hidden or parent-directory name.
QString fileNameForSuite(const QString &name)
{
    QString out;
    const QByteArray utf8 = name.toUtf8();
    for (int i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
                           || c == '_' || c == '@' || c == '+' || (c == '.' && i > 0);
        if (plain)
            out.append(QLatin1Char(static_cast<char>(c)));
        else
            out.append(QString::asprintf("%%%02X", c));
    }
    return out;
}

QString directoryLocked(const SharedStores &stores)
{
    if (!stores.directory.isEmpty())
        return stores.directory;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

std::shared_ptr<Settings> sharedStore(const QString &name)
{
    SharedStores &stores = sharedStores();
    std::lock_guard lock(stores.mutex);
    if (auto found = stores.byName.value(name))
        return found;
    std::unique_ptr<SettingsBackend> backend;
    if (stores.inMemory)
        backend = std::make_unique<MemorySettingsBackend>();
    else
        backend = std::make_unique<IniSettingsBackend>(
            QDir(directoryLocked(stores)).filePath(fileNameForSuite(name) + QStringLiteral(".ini")));
    auto store = std::make_shared<Settings>(name, std::move(backend));
    stores.byName.insert(name, store);
    if (!stores.flushAtExit) {
        stores.flushAtExit = true;
        qAddPostRoutine(&Settings::synchronizeAll);
    }
    return store;
}

void forgetSharedStores()
{
    Settings::synchronizeAll();
    SharedStores &stores = sharedStores();
    std::lock_guard lock(stores.mutex);
    stores.byName.clear();
}

} // namespace

std::shared_ptr<Settings> Settings::standard()
{
    return sharedStore(applicationIdentifier());
}

std::shared_ptr<Settings> Settings::suite(const QString &name)
{
    if (name.isEmpty())
        return standard();
    return sharedStore(name);
}

std::shared_ptr<Settings> Settings::openFile(const QString &path)
{
    return std::make_shared<Settings>(QFileInfo(path).completeBaseName(), std::make_unique<IniSettingsBackend>(path));
}

std::shared_ptr<Settings> Settings::inMemory(const QString &name)
{
    return std::make_shared<Settings>(name, std::make_unique<MemorySettingsBackend>());
}

std::shared_ptr<Settings> Settings::withBackend(const QString &name, std::unique_ptr<SettingsBackend> backend)
{
    return std::make_shared<Settings>(name, std::move(backend));
}

QString Settings::storageDirectory()
{
    SharedStores &stores = sharedStores();
    std::lock_guard lock(stores.mutex);
    return directoryLocked(stores);
}

void Settings::setStorageDirectory(const QString &directory)
{
    forgetSharedStores();
    SharedStores &stores = sharedStores();
    std::lock_guard lock(stores.mutex);
    stores.directory = directory;
}

void Settings::setUseInMemoryStores(bool inMemory)
{
    forgetSharedStores();
    SharedStores &stores = sharedStores();
    std::lock_guard lock(stores.mutex);
    stores.inMemory = inMemory;
}

QString Settings::filePathForSuite(const QString &name)
{
    return QDir(storageDirectory()).filePath(fileNameForSuite(name) + QStringLiteral(".ini"));
}

void Settings::synchronizeAll()
{
    std::vector<std::shared_ptr<Settings>> all;
    {
        SharedStores &stores = sharedStores();
        std::lock_guard lock(stores.mutex);
        for (const auto &store : std::as_const(stores.byName))
            all.push_back(store);
    }
    for (const auto &store : all)
        (void)store->synchronize();
}

} // namespace kalvo
