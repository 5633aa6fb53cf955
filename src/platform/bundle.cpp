#include <kalvo/platform/bundle.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLocale>

#include <mutex>

namespace kalvo {

namespace {

struct Registry
{
    std::mutex mutex;
    QString mainDirectory;
    QString applicationIdentifier;
    QHash<QString, std::shared_ptr<Bundle>> byIdentifier;
};

Registry &registry()
{
    static Registry *r = new Registry; // lives for the process
    return *r;
}

QString normalisedExtension(const QString &extension)
{
    return extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension;
}

// `relative` cleaned, or nothing when it is absolute or climbs out.
std::optional<QString> safeRelative(const QString &relative)
{
    if (relative.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(relative) || relative.startsWith(QLatin1Char(':')))
        return std::nullopt;
    const QString cleaned = QDir::cleanPath(relative);
    if (cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../")))
        return std::nullopt;
    return cleaned == QLatin1String(".") ? QString() : cleaned;
}

QString join(const QString &a, const QString &b)
{
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    return a + QLatin1Char('/') + b;
}

bool isFile(const QString &path)
{
    QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace

Bundle::Bundle(const QString &root, const QString &identifier) : m_root(root), m_identifier(identifier) {}

std::shared_ptr<Bundle> Bundle::library()
{
    static const auto bundle =
        std::make_shared<Bundle>(QStringLiteral(":/kalvo"), QString::fromLatin1(kLibraryBundleIdentifier));
    return bundle;
}

std::shared_ptr<Bundle> Bundle::main()
{
    Registry &r = registry();
    QString directory;
    {
        std::lock_guard lock(r.mutex);
        directory = r.mainDirectory;
    }
    if (directory.isEmpty())
        directory = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return std::make_shared<Bundle>(QFileInfo(directory).absoluteFilePath(), applicationIdentifier());
}

void Bundle::setMainResourceDirectory(const QString &directory)
{
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.mainDirectory = directory;
}

std::shared_ptr<Bundle> Bundle::fromDirectory(const QString &directory, const QString &identifier)
{
    QFileInfo info(directory);
    if (!info.isDir())
        return nullptr;
    return std::make_shared<Bundle>(info.absoluteFilePath(), identifier.isEmpty() ? info.fileName() : identifier);
}

std::shared_ptr<Bundle> Bundle::withIdentifier(const QString &identifier)
{
    if (identifier == QLatin1String(kLibraryBundleIdentifier))
        return library();
    {
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        if (auto found = r.byIdentifier.value(identifier))
            return found;
    }
    if (!identifier.isEmpty() && identifier == applicationIdentifier())
        return main();
    return nullptr;
}

void Bundle::registerBundle(const std::shared_ptr<Bundle> &bundle)
{
    if (!bundle)
        return;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.byIdentifier.insert(bundle->identifier(), bundle);
}

QString Bundle::identifier() const
{
    return m_identifier;
}

QString Bundle::rootPath() const
{
    return m_root;
}

bool Bundle::isEmbedded() const
{
    return m_root.startsWith(QLatin1Char(':'));
}

QString Bundle::pathForResource(const QString &name, const QString &extension, const QString &subdirectory) const
{
    const std::optional<QString> sub = safeRelative(subdirectory);
    if (!sub)
        return {};
    const QString ext = normalisedExtension(extension);
    if (name.isEmpty()) {
        if (ext.isEmpty())
            return {};
        const QStringList all = pathsForResources(ext, *sub);
        return all.isEmpty() ? QString() : all.first();
    }
    const std::optional<QString> file = safeRelative(ext.isEmpty() ? name : name + QLatin1Char('.') + ext);
    if (!file || file->isEmpty())
        return {};
    const QString direct = join(m_root, join(*sub, *file));
    if (isFile(direct))
        return direct;
    for (const QString &localization : preferredLocalizations()) {
        const QString localized =
            join(m_root, join(localization + QStringLiteral(".lproj"), join(*sub, *file)));
        if (isFile(localized))
            return localized;
    }
    return {};
}

QUrl Bundle::urlForResource(const QString &name, const QString &extension, const QString &subdirectory) const
{
    const QString path = pathForResource(name, extension, subdirectory);
    if (path.isEmpty())
        return {};
    if (path.startsWith(QLatin1Char(':')))
        return QUrl(QStringLiteral("qrc") + path);
    return QUrl::fromLocalFile(path);
}

QString Bundle::pathForLocalizedResource(const QString &name, const QString &extension, const QString &localization,
                                         const QString &subdirectory) const
{
    const std::optional<QString> sub = safeRelative(subdirectory);
    const QString ext = normalisedExtension(extension);
    const std::optional<QString> file = safeRelative(ext.isEmpty() ? name : name + QLatin1Char('.') + ext);
    const std::optional<QString> language = safeRelative(localization);
    if (!sub || !file || file->isEmpty() || !language || language->isEmpty() || language->contains(QLatin1Char('/')))
        return {};
    const QString path = join(m_root, join(*language + QStringLiteral(".lproj"), join(*sub, *file)));
    return isFile(path) ? path : QString();
}

QStringList Bundle::pathsForResources(const QString &extension, const QString &subdirectory) const
{
    const std::optional<QString> sub = safeRelative(subdirectory);
    if (!sub)
        return {};
    const QString ext = normalisedExtension(extension);
    QDir dir(join(m_root, *sub));
    const QStringList filters = ext.isEmpty() ? QStringList() : QStringList{QStringLiteral("*.") + ext};
    const QStringList names = dir.entryList(filters, QDir::Files, QDir::Name);
    QStringList paths;
    paths.reserve(names.size());
    for (const QString &name : names)
        paths.append(dir.filePath(name));
    return paths;
}

std::optional<QByteArray> Bundle::readResource(const QString &name, const QString &extension,
                                               const QString &subdirectory) const
{
    const QString path = pathForResource(name, extension, subdirectory);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

QStringList Bundle::localizations() const
{
    const QStringList dirs = QDir(m_root).entryList({QStringLiteral("*.lproj")}, QDir::Dirs, QDir::Name);
    QStringList languages;
    for (const QString &dir : dirs)
        languages.append(dir.chopped(6));
    return languages;
}

QStringList Bundle::preferredLocalizations() const
{
    const QStringList available = localizations();
    if (available.isEmpty())
        return {};
    QStringList ordered;
    auto take = [&](const QString &language) {
        if (available.contains(language) && !ordered.contains(language))
            ordered.append(language);
    };
    for (QString language : QLocale().uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        take(language);                                       // "de_CH"
        take(language.section(QLatin1Char('_'), 0, 0));        // "de"
    }
    take(QStringLiteral("Base"));
    take(QStringLiteral("en"));
    for (const QString &language : available)
        take(language);
    return ordered;
}

QString applicationIdentifier()
{
    {
        Registry &r = registry();
        std::lock_guard lock(r.mutex);
        if (!r.applicationIdentifier.isEmpty())
            return r.applicationIdentifier;
    }
    QString desktop = QGuiApplication::desktopFileName();
    if (desktop.endsWith(QLatin1String(".desktop")))
        desktop.chop(8);
    if (!desktop.isEmpty())
        return desktop;
    const QString name = QCoreApplication::applicationName();
    const QString domain = QCoreApplication::organizationDomain();
    if (!domain.isEmpty()) {
        QStringList parts = domain.split(QLatin1Char('.'), Qt::SkipEmptyParts);
        std::reverse(parts.begin(), parts.end());
        if (!name.isEmpty())
            parts.append(name);
        return parts.join(QLatin1Char('.'));
    }
    return name.isEmpty() ? QStringLiteral("kalvo") : name;
}

void setApplicationIdentifier(const QString &identifier)
{
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.applicationIdentifier = identifier;
}

} // namespace kalvo
