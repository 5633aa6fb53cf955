// Places resources come from. The library's own resources (token files,
// icons, named colours, string tables) are compiled in with the Qt resource
// system under ":/kalvo"; a host bundle is a directory on disk with the same
// layout, optionally with "<language>.lproj" subdirectories for localised
// files.
//
// Lookups never fail loudly: a missing resource, or a name that would leave
// the bundle ("../x", an absolute path), gives an empty path and an invalid
// URL.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

namespace kalvo {

inline constexpr char kLibraryBundleIdentifier[] = "org.kalvo.Kalvo";

class KALVO_EXPORT Bundle
{
public:
    // The library's resources (root ":/kalvo").
    static std::shared_ptr<Bundle> library();
    // The application's directory (the executable's, unless the host set
    // another), identified by applicationIdentifier().
    static std::shared_ptr<Bundle> main();
    static void setMainResourceDirectory(const QString &directory);
    // A host bundle over a directory; null when it is not a directory. The
    // identifier defaults to the directory's name.
    static std::shared_ptr<Bundle> fromDirectory(const QString &directory, const QString &identifier = {});
    // The library, the main bundle, or a bundle registered under that name.
    static std::shared_ptr<Bundle> withIdentifier(const QString &identifier);
    static void registerBundle(const std::shared_ptr<Bundle> &bundle);

    QString identifier() const;
    // ":/kalvo" or an absolute directory path.
    QString rootPath() const;
    bool isEmbedded() const;

    // The file `name`.`extension` ("json" and ".json" both work; without an
    // extension `name` is the whole file name; without a name the first file
    // with the extension, by name). Looks in `subdirectory` of the root,
    // then of each localisation in preference order. Empty when missing.
    QString pathForResource(const QString &name, const QString &extension = {},
                            const QString &subdirectory = {}) const;
    // The same as a "qrc:" or "file:" URL; invalid when missing.
    QUrl urlForResource(const QString &name, const QString &extension = {}, const QString &subdirectory = {}) const;
    // Only inside "<localization>.lproj".
    QString pathForLocalizedResource(const QString &name, const QString &extension, const QString &localization,
                                     const QString &subdirectory = {}) const;
    // Every file with the extension in the subdirectory of the root, by name.
    QStringList pathsForResources(const QString &extension, const QString &subdirectory = {}) const;
    // The contents of a resource, or nothing.
    std::optional<QByteArray> readResource(const QString &name, const QString &extension = {},
                                           const QString &subdirectory = {}) const;

    // Languages of the "<language>.lproj" directories, sorted.
    QStringList localizations() const;
    // localizations() ordered by the user's UI languages, then "Base" and
    // "en" when present, then the rest.
    QStringList preferredLocalizations() const;

    Bundle(const QString &root, const QString &identifier);

private:
    QString m_root;
    QString m_identifier;
};

// The application's identifier, used for the standard settings store: the
// host's choice, else the desktop file name ("org.example.Client"), else
// the reversed organisation domain and the application name, else the
// application name.
KALVO_EXPORT QString applicationIdentifier();
KALVO_EXPORT void setApplicationIdentifier(const QString &identifier);

} // namespace kalvo
