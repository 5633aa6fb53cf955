// ---- Index ----
// String tables     parsed .strings files, cached by path
// Entries           a registered bundle and table, with its language bundles
// Registry          registration, lookup order, the translation cache
// Language          the user's language identifier
#include <kalvo/foundation/localized.h>

#include <kalvo/platform/settings.h>
#include <kalvo/platform/stringsfile.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <mutex>
#include <shared_mutex>
#include <vector>

namespace kalvo {

// ---- String tables ----

namespace {

using Table = QHash<QString, QString>;

// Tables are parsed once per file; files of a bundle do not change while the
// process runs.
std::shared_ptr<const Table> tableAt(const QString &path)
{
    static std::mutex mutex;
    static auto *tables = new QHash<QString, std::shared_ptr<const Table>>;
    {
        std::lock_guard lock(mutex);
        if (auto found = tables->value(path))
            return found;
    }
    QFile file(path);
    std::shared_ptr<const Table> table;
    if (file.open(QIODevice::ReadOnly))
        table = std::make_shared<const Table>(parseStringsFile(file.readAll()).entries);
    else
        table = std::make_shared<const Table>();
    std::lock_guard lock(mutex);
    tables->insert(path, table);
    return table;
}

std::optional<QString> lookUp(const std::shared_ptr<Bundle> &bundle, const QString &tableName, const QString &key)
{
    if (!bundle || key.isNull())
        return std::nullopt;
    const QString path = bundle->pathForResource(tableName, QStringLiteral("strings"));
    if (path.isEmpty())
        return std::nullopt;
    const std::shared_ptr<const Table> table = tableAt(path);
    auto it = table->constFind(key);
    if (it == table->constEnd())
        return std::nullopt;
    return *it;
}

std::shared_ptr<Bundle> lprojBundle(const std::shared_ptr<Bundle> &bundle, const QString &language)
{
    const QString path = QDir(bundle->rootPath()).filePath(language + QStringLiteral(".lproj"));
    if (bundle->isEmbedded()) {
        // QFileInfo understands ":/" paths too.
        if (!QFileInfo(path).isDir())
            return nullptr;
        return std::make_shared<Bundle>(path, bundle->identifier() + QLatin1Char('/') + language);
    }
    return Bundle::fromDirectory(path, bundle->identifier() + QLatin1Char('/') + language);
}

// ---- Entries ----

struct Entry
{
    std::shared_ptr<Bundle> bundle;
    QString tableName;

    // Found lazily; lookups may run on several threads at once.
    std::mutex mutex;
    std::shared_ptr<Bundle> userLangBundle;
    QString userLanguageID;
    bool userLangResolved = false;
    std::shared_ptr<Bundle> enBundle;
    bool isEnBundleInitialized = false;

    // The bundle of `language` inside this entry's bundle. Linux language
    // names carry regions ("de-DE", "pt_BR"); when "<language>.lproj" is
    // missing the shorter forms are tried ("de").
    std::shared_ptr<Bundle> languageBundle(const QString &language)
    {
        std::lock_guard lock(mutex);
        if (language.isEmpty())
            return bundle;
        if (userLangResolved && language == userLanguageID)
            return userLangBundle;
        userLanguageID = language;
        userLangResolved = true;
        userLangBundle = nullptr;
        QString candidate = language;
        for (int attempt = 0; attempt < 4 && !candidate.isEmpty(); ++attempt) {
            for (const QString &form : {candidate, QString(candidate).replace(QLatin1Char('_'), QLatin1Char('-')),
                                        QString(candidate).replace(QLatin1Char('-'), QLatin1Char('_'))}) {
                if ((userLangBundle = lprojBundle(bundle, form)))
                    return userLangBundle;
            }
            const qsizetype cut = std::max(candidate.lastIndexOf(QLatin1Char('-')), candidate.lastIndexOf(QLatin1Char('_')));
            candidate = cut > 0 ? candidate.left(cut) : QString();
        }
        return userLangBundle;
    }

    std::shared_ptr<Bundle> englishBundle()
    {
        std::lock_guard lock(mutex);
        if (enBundle || isEnBundleInitialized)
            return enBundle;
        enBundle = lprojBundle(bundle, QStringLiteral("en"));
        isEnBundleInitialized = true;
        return enBundle;
    }

    QString table() const { return tableName.isEmpty() ? QStringLiteral("Localizable") : tableName; }
};

// Entries last to first in the user's language, then again in English.
std::optional<QString> lookUpAll(const std::vector<std::shared_ptr<Entry>> &entries, const QString &language,
                                 const QString &key)
{
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (std::optional<QString> hit = lookUp((*it)->languageBundle(language), (*it)->table(), key))
            return hit;
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (std::optional<QString> hit = lookUp((*it)->englishBundle(), (*it)->table(), key))
            return hit;
    }
    return std::nullopt;
}

struct StoreConfiguration
{
    std::mutex mutex;
    QString meetingHostIdentifier;
    QString clientSuiteName;
};

StoreConfiguration &storeConfiguration()
{
    static auto *config = new StoreConfiguration;
    return *config;
}

} // namespace

// ---- Registry ----

struct KTNLocalized::Private
{
    mutable std::shared_mutex entriesLock;
    std::vector<std::shared_ptr<Entry>> entries;

    std::mutex cacheLock;
    QHash<QString, QString> cache;

    std::mutex languageLock;
    QString userLanguageID;

    std::vector<std::shared_ptr<Entry>> snapshot() const
    {
        std::shared_lock lock(entriesLock);
        return entries;
    }

    std::optional<QString> cached(const QString &key)
    {
        std::lock_guard lock(cacheLock);
        auto it = cache.constFind(key);
        if (it == cache.constEnd())
            return std::nullopt;
        return *it;
    }

    QString remember(const QString &key, const std::optional<QString> &found)
    {
        const QString value = found.value_or(key);
        std::lock_guard lock(cacheLock);
        cache.insert(key, value);
        return value;
    }
};

KTNLocalized::KTNLocalized() : d(std::make_unique<Private>()) {}

KTNLocalized::~KTNLocalized() = default;

KTNLocalized &KTNLocalized::shared()
{
    static auto *instance = new KTNLocalized; // lives for the process
    return *instance;
}

void KTNLocalized::registerBundle(const std::shared_ptr<Bundle> &bundle, const QString &tableName, bool atFront)
{
    if (!bundle)
        return;
    const QString table = tableName.isEmpty() ? QStringLiteral("Localizable") : tableName;
    std::unique_lock lock(d->entriesLock);
    for (const std::shared_ptr<Entry> &entry : d->entries) {
        if (entry->bundle == bundle && entry->table() == table)
            return;
    }
    auto entry = std::make_shared<Entry>();
    entry->bundle = bundle;
    entry->tableName = table;
    if (atFront)
        d->entries.insert(d->entries.begin(), std::move(entry));
    else
        d->entries.push_back(std::move(entry));
}

void KTNLocalized::unregisterBundle(const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle)
        return;
    std::unique_lock lock(d->entriesLock);
    std::erase_if(d->entries, [&](const std::shared_ptr<Entry> &entry) { return entry->bundle == bundle; });
}

void KTNLocalized::clearCache()
{
    std::lock_guard lock(d->cacheLock);
    d->cache.clear();
}

QString KTNLocalized::localizedString(const QString &key)
{
    if (key.isNull())
        return QStringLiteral("");
    if (std::optional<QString> hit = d->cached(key))
        return *hit;
    const std::vector<std::shared_ptr<Entry>> entries = d->snapshot();
    return d->remember(key, lookUpAll(entries, userLanguageID(), key));
}

QString KTNLocalized::localizedString(const QString &key, const std::shared_ptr<Bundle> &langBundle,
                                      const std::shared_ptr<Bundle> &enBundle)
{
    if (!langBundle && !enBundle)
        return localizedString(key);
    if (key.isNull())
        return QStringLiteral("");
    if (std::optional<QString> hit = d->cached(key))
        return *hit;
    std::vector<std::shared_ptr<Entry>> entries = d->snapshot();
    const QString language = userLanguageID();
    // Appended last, so consulted first.
    auto extra = std::make_shared<Entry>();
    extra->bundle = langBundle ? langBundle : enBundle;
    extra->userLangBundle = langBundle;
    extra->userLanguageID = language;
    extra->userLangResolved = true;
    extra->enBundle = enBundle;
    extra->isEnBundleInitialized = true;
    entries.push_back(extra);
    return d->remember(key, lookUpAll(entries, language, key));
}

int KTNLocalized::entryCount() const
{
    std::shared_lock lock(d->entriesLock);
    return static_cast<int>(d->entries.size());
}

// ---- Language ----

QString KTNLocalized::userLanguageID()
{
    std::lock_guard lock(d->languageLock);
    if (!d->userLanguageID.isEmpty())
        return d->userLanguageID;
    QString meetingHost, clientSuite;
    {
        StoreConfiguration &config = storeConfiguration();
        std::lock_guard configLock(config.mutex);
        meetingHost = config.meetingHostIdentifier;
        clientSuite = config.clientSuiteName;
    }
    const std::shared_ptr<Settings> store = !meetingHost.isEmpty() && applicationIdentifier() == meetingHost
                                                ? Settings::suite(clientSuite)
                                                : Settings::standard();
    const std::optional<QString> stored = store->string(QString::fromLatin1(kUserLanguageKey));
    if (stored && !stored->isEmpty() && *stored != QLatin1String(kFollowSystemLanguage)) {
        d->userLanguageID = *stored;
    } else if (const QStringList preferred = Bundle::main()->preferredLocalizations(); !preferred.isEmpty()) {
        d->userLanguageID = preferred.first();
    } else if (const QStringList ui = QLocale().uiLanguages(); !ui.isEmpty() && !ui.first().isEmpty()) {
        d->userLanguageID = ui.first();
    } else {
        d->userLanguageID = QStringLiteral("en");
    }
    return d->userLanguageID;
}

void KTNLocalized::setUserLanguageID(const QString &languageID)
{
    std::lock_guard lock(d->languageLock);
    d->userLanguageID = languageID;
}

void KTNLocalized::setLanguageStoreConfiguration(const QString &meetingHostIdentifier, const QString &clientSuiteName)
{
    StoreConfiguration &config = storeConfiguration();
    std::lock_guard lock(config.mutex);
    config.meetingHostIdentifier = meetingHostIdentifier;
    config.clientSuiteName = clientSuiteName;
}

QString localizedString(const QString &key)
{
    return KTNLocalized::shared().localizedString(key);
}

} // namespace kalvo
