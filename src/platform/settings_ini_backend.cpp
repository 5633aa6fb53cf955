// Settings in INI files through QSettings.
//
// A QSettings object is made for each load and save, under the store's flush
// lock, so no QSettings is shared between threads or left to sync itself
// from an event loop. Qt caches the parsed file, so this stays cheap.
//
// The file is checked before it is trusted: a file that cannot be read, is
// not UTF-8 text, or has lines that are no INI syntax is "corrupt". Such a
// file is never rewritten in place: the store works from memory, and on the
// first save the file is copied aside ("<name>.ini.corrupt-<UTC time>")
// before a fresh one is written. When the copy fails, the store stays in
// memory and leaves the file as it was.
#include <kalvo/platform/settings.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>

namespace kalvo {

namespace {

constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

// QSettings reads '/' and '\' in keys as group separators; keep them, and
// '%' which escapes them, literal.
QString encodeKey(const QString &key)
{
    QString out;
    out.reserve(key.size());
    for (QChar c : key) {
        if (c == QLatin1Char('%'))
            out += QLatin1String("%25");
        else if (c == QLatin1Char('/'))
            out += QLatin1String("%2F");
        else if (c == QLatin1Char('\\'))
            out += QLatin1String("%5C");
        else
            out += c;
    }
    return out;
}

QString decodeKey(const QString &stored)
{
    if (!stored.contains(QLatin1Char('%')))
        return stored;
    QString out;
    out.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == QLatin1Char('%') && i + 2 < stored.size()) {
            const QStringView code = QStringView(stored).mid(i + 1, 2);
            if (code.compare(QLatin1String("25"), Qt::CaseInsensitive) == 0) {
                out += QLatin1Char('%');
                i += 2;
                continue;
            }
            if (code.compare(QLatin1String("2F"), Qt::CaseInsensitive) == 0) {
                out += QLatin1Char('/');
                i += 2;
                continue;
            }
            if (code.compare(QLatin1String("5C"), Qt::CaseInsensitive) == 0) {
                out += QLatin1Char('\\');
                i += 2;
                continue;
            }
        }
        out += stored[i];
    }
    return out;
}

QVariantMap readAll(QSettings &settings)
{
    QVariantMap values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(decodeKey(key), settings.value(key));
    return values;
}

enum class FileState { missing, usable, corrupt };

FileState inspect(const QString &path)
{
    QFileInfo info(path);
    if (!info.exists())
        return FileState::missing;
    if (!info.isFile() || info.size() > kMaxFileBytes)
        return FileState::corrupt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileState::corrupt;
    return IniSettingsBackend::looksLikeIniFile(file.readAll()) ? FileState::usable : FileState::corrupt;
}

} // namespace

struct IniSettingsBackend::Private
{
    QString path;
    bool usingMemory = false; // the file is corrupt: work from `memory`
    bool backupFailed = false;
    QVariantMap memory;
    SettingsStatus status = SettingsStatus::ok;
    QString backup;

    void becomeCorrupt()
    {
        if (!usingMemory) {
            usingMemory = true;
            memory.clear();
        }
        if (status == SettingsStatus::ok || status == SettingsStatus::writeFailed)
            status = SettingsStatus::recoveredFromCorruptFile;
    }

    // Copies the corrupt file aside and removes it; false when it could not
    // be copied (then nothing was removed).
    bool moveAside()
    {
        const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        QString target = path + QStringLiteral(".corrupt-") + stamp;
        for (int n = 1; QFileInfo::exists(target) && n < 1000; ++n)
            target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
        if (!QFile::copy(path, target))
            return false;
        if (!QFile::remove(path)) {
            QFile::remove(target);
            return false;
        }
        backup = target;
        return true;
    }

    std::optional<QVariantMap> write(const QHash<QString, QVariant> &changes, const QVariantMap *everything)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSettings settings(path, QSettings::IniFormat);
        if (everything) {
            for (auto it = everything->begin(); it != everything->end(); ++it)
                settings.setValue(encodeKey(it.key()), it.value());
        }
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            if (it.value().isValid())
                settings.setValue(encodeKey(it.key()), it.value());
            else
                settings.remove(encodeKey(it.key()));
        }
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            status = SettingsStatus::writeFailed;
            return std::nullopt;
        }
        if (status == SettingsStatus::writeFailed)
            status = SettingsStatus::ok;
        return readAll(settings);
    }
};

IniSettingsBackend::IniSettingsBackend(const QString &path) : d(std::make_unique<Private>())
{
    d->path = QFileInfo(path).absoluteFilePath();
}

IniSettingsBackend::~IniSettingsBackend() = default;

QVariantMap IniSettingsBackend::load()
{
    if (d->backupFailed)
        return d->memory;
    switch (inspect(d->path)) {
    case FileState::missing:
        if (d->usingMemory) // the damaged file went away: start over from memory
            return d->memory;
        return {};
    case FileState::corrupt:
        d->becomeCorrupt();
        return d->memory;
    case FileState::usable:
        break;
    }
    QSettings settings(d->path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        d->becomeCorrupt();
        return d->memory;
    }
    // The file was repaired by someone else: it is the truth again.
    d->usingMemory = false;
    d->memory.clear();
    return readAll(settings);
}

std::optional<QVariantMap> IniSettingsBackend::save(const QHash<QString, QVariant> &changes)
{
    if (d->backupFailed) {
        applyChanges(d->memory, changes);
        return d->memory;
    }
    // Checked at every save: the file may have been damaged since loading,
    // and QSettings would otherwise parse the damage and write it back.
    const FileState state = inspect(d->path);
    if (state == FileState::corrupt)
        d->becomeCorrupt();
    if (d->usingMemory) {
        applyChanges(d->memory, changes);
        if (state == FileState::corrupt && !d->moveAside()) {
            d->backupFailed = true;
            d->status = SettingsStatus::memoryOnly;
            return d->memory;
        }
        const QVariantMap everything = d->memory;
        std::optional<QVariantMap> written = d->write({}, &everything);
        if (written) {
            d->usingMemory = false;
            d->memory.clear();
        }
        return written;
    }
    return d->write(changes, nullptr);
}

SettingsStatus IniSettingsBackend::status() const
{
    return d->status;
}

QString IniSettingsBackend::location() const
{
    return d->path;
}

QString IniSettingsBackend::backupPath() const
{
    return d->backup;
}

bool IniSettingsBackend::looksLikeIniFile(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(text);
    if (decoder.hasError())
        return false;
    bool continuation = false;
    const QStringList lines = decoded.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const bool wasContinuation = continuation;
        continuation = line.endsWith(QLatin1Char('\\'));
        if (wasContinuation || line.isEmpty())
            continue;
        const QChar first = line.front();
        if (first == QLatin1Char(';') || first == QLatin1Char('#'))
            continue;
        if (first == QLatin1Char('[')) {
            if (!line.contains(QLatin1Char(']')))
                return false;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return false;
    }
    return true;
}

} // namespace kalvo
