// Persistent user settings ("user defaults"): the application's standard
// store and named suites, each a set of keys with property-list values (bool,
// integers, double, string, byte array, date-time, lists and maps of these).
//
//   auto settings = Settings::suite("com.example.client.Hotkey");
//   settings->registerDefaults({{"[HK@state]-mute", true}});
//   settings->setValue("[HK@state]-mute", false);
//   settings->observe("[HK@state]-mute", this, [](const QString &, const QVariant &v) { ... });
//
// Stores are INI files (through QSettings) in storageDirectory(), by default
// the XDG config directory: the standard store is "<application
// identifier>.ini", a suite "<suite name>.ini". Writes land in memory at once
// and reach the file shortly after on the main queue, at synchronize(), and
// when the application quits. synchronize() also picks up what other
// processes wrote.
//
// Reading gives the user's value when there is one, else the registered
// default. INI files store scalars as text, so after a reload a number comes
// back as a string: read with the typed getters (integer(), boolean(), ...),
// which convert as expected, rather than comparing value() types.
//
// A file that cannot be read or is not a settings file is never overwritten
// silently: the store starts from the defaults, and before its first write
// the old file is copied aside (backupPath()). If it cannot be copied the
// store keeps changes in memory only and leaves the file alone (status()).
//
// Thread-safe. Observers run on the thread that made the change (for
// changes found on disk: the thread that synchronized).
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

namespace kalvo {

enum class SettingsStatus {
    ok,
    // The file was unreadable or malformed: it was left as it was (and is
    // copied aside before the first write); the store started from defaults.
    recoveredFromCorruptFile,
    // The damaged file could not be copied aside: changes live in memory
    // only, the file is untouched.
    memoryOnly,
    // The last write to disk failed; it is retried on the next flush.
    writeFailed,
};

// Where a store keeps its keys. Implement it to put settings elsewhere.
class KALVO_EXPORT SettingsBackend
{
public:
    virtual ~SettingsBackend();
    // Applies changes as save() describes them to a map of values.
    static void applyChanges(QVariantMap &values, const QHash<QString, QVariant> &changes);
    // Everything stored, read afresh.
    virtual QVariantMap load() = 0;
    // Applies the changes (an invalid QVariant removes the key) and returns
    // what is stored afterwards, other writers' changes included; nothing
    // when the write failed.
    virtual std::optional<QVariantMap> save(const QHash<QString, QVariant> &changes) = 0;
    virtual SettingsStatus status() const { return SettingsStatus::ok; }
    virtual QString location() const { return {}; }
    virtual QString backupPath() const { return {}; }
};

class KALVO_EXPORT Settings : public std::enable_shared_from_this<Settings>
{
public:
    using Observer = std::function<void(const QString &key, const QVariant &value)>;

    // ---- Stores ----

    // The application's store, one object per process.
    static std::shared_ptr<Settings> standard();
    // A named suite, one object per name and process. An empty name, or the
    // application identifier, gives the standard store.
    static std::shared_ptr<Settings> suite(const QString &name);
    // A private store over a file of one's own.
    static std::shared_ptr<Settings> openFile(const QString &path);
    // A private store that forgets everything when released.
    static std::shared_ptr<Settings> inMemory(const QString &name = {});
    static std::shared_ptr<Settings> withBackend(const QString &name, std::unique_ptr<SettingsBackend> backend);

    // Where standard() and suite() keep their files. Changing it, or the
    // in-memory switch, forgets the shared stores (after writing them out).
    static QString storageDirectory();
    static void setStorageDirectory(const QString &directory);
    // Shared stores kept in memory only: for tests and sandboxed hosts.
    static void setUseInMemoryStores(bool inMemory);
    // The file a suite of this name lives in.
    static QString filePathForSuite(const QString &name);
    // Writes every shared store out.
    static void synchronizeAll();

    explicit Settings(const QString &name, std::unique_ptr<SettingsBackend> backend);
    ~Settings();

    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    QString name() const;
    QString location() const;

    // ---- Defaults ----

    // Merged into the registered defaults (not persisted); a key already
    // registered takes the new value.
    void registerDefaults(const QVariantMap &defaults);
    QVariantMap registeredDefaults() const;

    // ---- Reading ----

    // The user's value, else the registered default, else an invalid QVariant.
    QVariant value(const QString &key) const;
    bool hasUserValue(const QString &key) const;
    QStringList userKeys() const;
    // Defaults overlaid with the user's values.
    QVariantMap dictionaryRepresentation() const;

    // Text, or a number as text.
    std::optional<QString> string(const QString &key) const;
    // Numbers, and text that reads as a number; 0 otherwise.
    qint64 integer(const QString &key) const;
    double real(const QString &key) const;
    // true for true, non-zero numbers, and "true"/"yes" or a non-zero number
    // as text (any case); false otherwise.
    bool boolean(const QString &key) const;
    std::optional<QVariantMap> dictionary(const QString &key) const;
    std::optional<QVariantList> array(const QString &key) const;
    std::optional<QStringList> stringArray(const QString &key) const;

    // ---- Writing ----

    // Stores a user value; an invalid QVariant removes it. Refuses (false) an
    // empty key and values that are not property-list types.
    bool setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Writes pending changes and reads back what others wrote, notifying
    // observers of what changed. False when writing failed.
    bool synchronize();
    SettingsStatus status() const;
    QString backupPath() const;

    // ---- Observation ----

    // Called with the key's new effective value whenever it changes (an
    // invalid QVariant when it disappeared).
    ObserverId observe(const QString &key, const ObserverOwner &owner, Observer observer);
    // Like observe(), and called once at once with the current value.
    ObserverId bind(const QString &key, const ObserverOwner &owner, Observer observer);
    void removeObserver(ObserverId id);

    // True for the types a store accepts (recursively for lists and maps).
    static bool isPropertyListValue(const QVariant &value);

private:
    // Stores (or, with an invalid value, removes) a user value, schedules the
    // flush and notifies observers.
    void write(const QString &key, const QVariant &value);

    struct Private;
    std::unique_ptr<Private> d;
};

// The in-memory backend. Two stores made over one shared state see each
// other's writes on synchronize(), like two processes sharing a file.
class KALVO_EXPORT MemorySettingsBackend final : public SettingsBackend
{
public:
    struct SharedState;
    static std::shared_ptr<SharedState> newSharedState();

    MemorySettingsBackend();
    explicit MemorySettingsBackend(std::shared_ptr<SharedState> state);
    ~MemorySettingsBackend() override;

    std::shared_ptr<SharedState> sharedState() const;

    QVariantMap load() override;
    std::optional<QVariantMap> save(const QHash<QString, QVariant> &changes) override;

private:
    std::shared_ptr<SharedState> m_state;
};

// The INI file backend (QSettings). Keys keep '/', '\' and '%' literally
// (QSettings would read them as groups), so any text is a usable key.
class KALVO_EXPORT IniSettingsBackend final : public SettingsBackend
{
public:
    explicit IniSettingsBackend(const QString &path);
    ~IniSettingsBackend() override;

    QVariantMap load() override;
    std::optional<QVariantMap> save(const QHash<QString, QVariant> &changes) override;
    SettingsStatus status() const override;
    QString location() const override;
    QString backupPath() const override;

    // Whether the bytes look like a settings file we may rewrite: UTF-8
    // text of comments, [sections] and key=value lines.
    static bool looksLikeIniFile(const QByteArray &bytes);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
