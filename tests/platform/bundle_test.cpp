#include <kalvo/platform/bundle.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

class HostBundle : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char *file : {"a.txt", "z.txt", "data.json", "sub/b.txt", "de.lproj/c.txt", "en.lproj/c.txt",
                                 "en.lproj/only-en.txt", "fr.lproj/Main.strings"}) {
            const QString path = dir.filePath(QString::fromLatin1(file));
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        bundle = Bundle::fromDirectory(dir.path(), QStringLiteral("org.example.host"));
        ASSERT_TRUE(bundle);
    }

    QTemporaryDir dir;
    std::shared_ptr<Bundle> bundle;
};

TEST(Bundle, LibraryResourcesAreCompiledIn)
{
    auto library = Bundle::library();
    EXPECT_TRUE(library->isEmbedded());
    EXPECT_EQ(library->identifier(), QLatin1String(kLibraryBundleIdentifier));
    EXPECT_EQ(library->pathForResource(QStringLiteral("info"), QStringLiteral("json")), QStringLiteral(":/kalvo/info.json"));
    EXPECT_EQ(library->urlForResource(QStringLiteral("info.json")), QUrl(QStringLiteral("qrc:/kalvo/info.json")));
    const std::optional<QByteArray> bytes = library->readResource(QStringLiteral("info"), QStringLiteral(".json"));
    ASSERT_TRUE(bytes);
    const QJsonObject info = QJsonDocument::fromJson(*bytes).object();
    EXPECT_EQ(info.value(QStringLiteral("identifier")).toString(), QLatin1String(kLibraryBundleIdentifier));
    EXPECT_EQ(Bundle::withIdentifier(QLatin1String(kLibraryBundleIdentifier)), library);
}

TEST_F(HostBundle, FindsFilesByNameAndExtension)
{
    const QString root = QFileInfo(dir.path()).absoluteFilePath();
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("a"), QStringLiteral("txt")), root + QStringLiteral("/a.txt"));
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("a"), QStringLiteral(".txt")), root + QStringLiteral("/a.txt"));
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("a.txt")), root + QStringLiteral("/a.txt"));
    EXPECT_EQ(bundle->pathForResource(QStringLiteral("b"), QStringLiteral("txt"), QStringLiteral("sub")),
              root + QStringLiteral("/sub/b.txt"));
    EXPECT_EQ(bundle->urlForResource(QStringLiteral("data"), QStringLiteral("json")),
              QUrl::fromLocalFile(root + QStringLiteral("/data.json")));
    // No name: the first file with the extension.
    EXPECT_EQ(bundle->pathForResource(QString(), QStringLiteral("txt")), root + QStringLiteral("/a.txt"));
    EXPECT_EQ(bundle->pathsForResources(QStringLiteral("txt")).size(), 2);
}

TEST_F(HostBundle, MissingOrEscapingNamesGiveNothing)
{
    EXPECT_TRUE(bundle->pathForResource(QStringLiteral("missing"), QStringLiteral("txt")).isEmpty());
    EXPECT_FALSE(bundle->urlForResource(QStringLiteral("missing"), QStringLiteral("txt")).isValid());
    EXPECT_TRUE(bundle->pathForResource(QString(), QString()).isEmpty());
    EXPECT_TRUE(bundle->pathForResource(QStringLiteral("sub")).isEmpty()) << "directories are not resources";
    for (const QString &bad : {QStringLiteral("../a.txt"), QStringLiteral("sub/../../a.txt"), QStringLiteral("/etc/passwd"),
                               QStringLiteral(":/kalvo/info.json")}) {
        EXPECT_TRUE(bundle->pathForResource(bad).isEmpty()) << bad.toStdString();
    }
    EXPECT_TRUE(bundle->pathForResource(QStringLiteral("a"), QStringLiteral("txt"), QStringLiteral("..")).isEmpty());
    EXPECT_EQ(bundle->readResource(QStringLiteral("missing")), std::nullopt);
    EXPECT_EQ(Bundle::fromDirectory(dir.filePath(QStringLiteral("a.txt"))), nullptr);
    EXPECT_EQ(Bundle::fromDirectory(dir.filePath(QStringLiteral("nowhere"))), nullptr);
}

TEST_F(HostBundle, LocalisedFilesFollowTheUsersLanguages)
{
    EXPECT_EQ(bundle->localizations(), (QStringList{QStringLiteral("de"), QStringLiteral("en"), QStringLiteral("fr")}));
    // Tests run in US English.
    EXPECT_EQ(bundle->preferredLocalizations().first(), QStringLiteral("en"));
    EXPECT_TRUE(bundle->pathForResource(QStringLiteral("c.txt")).endsWith(QStringLiteral("/en.lproj/c.txt")));
    EXPECT_TRUE(bundle->pathForResource(QStringLiteral("Main"), QStringLiteral("strings")).endsWith(QStringLiteral("/fr.lproj/Main.strings")))
        << "any localisation is better than none";
    EXPECT_TRUE(bundle->pathForLocalizedResource(QStringLiteral("c"), QStringLiteral("txt"), QStringLiteral("de"))
                    .endsWith(QStringLiteral("/de.lproj/c.txt")));
    EXPECT_TRUE(bundle->pathForLocalizedResource(QStringLiteral("only-en"), QStringLiteral("txt"), QStringLiteral("de")).isEmpty());
    EXPECT_TRUE(bundle->pathForLocalizedResource(QStringLiteral("c"), QStringLiteral("txt"), QStringLiteral("../de")).isEmpty());
}

TEST_F(HostBundle, RegisteredBundlesAreFoundByIdentifier)
{
    EXPECT_EQ(Bundle::withIdentifier(QStringLiteral("org.example.host")), nullptr);
    Bundle::registerBundle(bundle);
    EXPECT_EQ(Bundle::withIdentifier(QStringLiteral("org.example.host")), bundle);
    EXPECT_EQ(Bundle::withIdentifier(QStringLiteral("org.example.unknown")), nullptr);
}

TEST(Bundle, ApplicationIdentifierComesFromTheApplication)
{
    // The test main sets organisation domain "tests.kalvo.org" and name "kalvo-tests".
    EXPECT_EQ(applicationIdentifier(), QStringLiteral("org.kalvo.tests.kalvo-tests"));
    setApplicationIdentifier(QStringLiteral("org.example.Client"));
    EXPECT_EQ(applicationIdentifier(), QStringLiteral("org.example.Client"));
    EXPECT_EQ(Bundle::main()->identifier(), QStringLiteral("org.example.Client"));
    EXPECT_EQ(Bundle::withIdentifier(QStringLiteral("org.example.Client"))->rootPath(), Bundle::main()->rootPath());
    setApplicationIdentifier(QString());
}

} // namespace
