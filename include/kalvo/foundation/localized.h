// KTNLocalized: the registry of host string tables the older kit translates
// with ("LN_…" keys), with a translation cache.
//
//   KTNLocalized::shared().registerBundle(Bundle::fromDirectory("/usr/share/client/strings"));
//   QString title = localizedString(QStringLiteral("LN_Hotkey_Not_Set_41839"));
//
// A bundle is a directory of "<language>.lproj/<Table>.strings" files (see
// stringsfile.h). Lookups try every bundle in the user's language, the
// bundle registered last first, then every bundle in English; a key nobody
// translates is its own translation. Answers, misses included, are cached
// until clearCache().
//
// Thread-safe: registration takes a writer lock; lookups copy the entries
// under a reader lock and read files outside it; the cache has its own lock.
#pragma once

#include <kalvo/platform/bundle.h>

#include <QString>

#include <memory>

namespace kalvo {

class KALVO_EXPORT KTNLocalized
{
public:
    // The settings key holding the user's language choice.
    static constexpr char kUserLanguageKey[] = "User Select Language Identify";
    // Its value meaning "use the system's language".
    static constexpr char kFollowSystemLanguage[] = "follow system language";

    static KTNLocalized &shared();

    // A null bundle does nothing; a null table means "Localizable". The same
    // bundle and table registered twice stay one entry. atFront puts the
    // entry where it is consulted last.
    void registerBundle(const std::shared_ptr<Bundle> &bundle, const QString &tableName = {}, bool atFront = false);
    // Removes every entry of the bundle (all tables).
    void unregisterBundle(const std::shared_ptr<Bundle> &bundle);
    void clearCache();

    // The translation of `key`; "" for a null key; the key itself when no
    // bundle has it.
    QString localizedString(const QString &key);
    // The same, consulting the two given language bundles first.
    QString localizedString(const QString &key, const std::shared_ptr<Bundle> &langBundle,
                            const std::shared_ptr<Bundle> &enBundle);

    // The language looked up: set by the host, else the stored choice (not
    // "follow system language"), else the main bundle's preferred
    // localisation, else the system's first UI language, else "en". Computed
    // once.
    QString userLanguageID();
    void setUserLanguageID(const QString &languageID);

    // The language choice is read from the standard settings, except in the
    // meeting-host process (the application whose identifier is
    // `meetingHostIdentifier`), which reads the main client's suite.
    static void setLanguageStoreConfiguration(const QString &meetingHostIdentifier, const QString &clientSuiteName);

    int entryCount() const;

    ~KTNLocalized();

private:
    KTNLocalized();
    struct Private;
    std::unique_ptr<Private> d;
};

// The older kit's string category: KTNLocalized::shared().localizedString(key).
KALVO_EXPORT QString localizedString(const QString &key);

} // namespace kalvo
