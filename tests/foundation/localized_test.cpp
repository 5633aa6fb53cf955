#include <kalvo/foundation/localized.h>
#include <kalvo/platform/settings.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kalvo;

namespace {

void writeStrings(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// Two host bundles, German as the user's language, and a clean registry.
class Localized : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeStrings(dir.filePath("a/en.lproj/Localizable.strings"),
                     "\"LN_Save_1\" = \"Save (a)\";\n\"LN_OnlyEnglish_2\" = \"English only\";\n");
        writeStrings(dir.filePath("a/de.lproj/Localizable.strings"), "\"LN_Save_1\" = \"Sichern (a)\";\n");
        writeStrings(dir.filePath("a/de.lproj/Menus.strings"), "\"LN_Menu_3\" = \"Menü\";\n");
        writeStrings(dir.filePath("b/de.lproj/Localizable.strings"), "\"LN_Save_1\" = \"Speichern (b)\";\n");
        a = Bundle::fromDirectory(dir.filePath("a"), QStringLiteral("a"));
        b = Bundle::fromDirectory(dir.filePath("b"), QStringLiteral("b"));
        loc.setUserLanguageID(QStringLiteral("de"));
        loc.clearCache();
    }
    void TearDown() override
    {
        loc.unregisterBundle(a);
        loc.unregisterBundle(b);
        loc.clearCache();
        loc.setUserLanguageID(QString());
    }

    QTemporaryDir dir;
    std::shared_ptr<Bundle> a, b;
    KTNLocalized &loc = KTNLocalized::shared();
};

TEST_F(Localized, RegistrationKeepsOneEntryPerBundleAndTable)
{
    const int before = loc.entryCount();
    loc.registerBundle(a);
    loc.registerBundle(a);
    loc.registerBundle(a, QStringLiteral("Localizable"));
    EXPECT_EQ(loc.entryCount(), before + 1);
    loc.registerBundle(a, QStringLiteral("Menus"));
    EXPECT_EQ(loc.entryCount(), before + 2);
    loc.registerBundle(nullptr);
    EXPECT_EQ(loc.entryCount(), before + 2);
    loc.unregisterBundle(a);
    EXPECT_EQ(loc.entryCount(), before);
}

TEST_F(Localized, LaterRegistrationsWinAndAtFrontLoses)
{
    loc.registerBundle(a);
    loc.registerBundle(b);
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Save_1")), QStringLiteral("Speichern (b)"));
    loc.unregisterBundle(b);
    loc.registerBundle(b, {}, true);
    loc.clearCache();
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Save_1")), QStringLiteral("Sichern (a)"));
}

TEST_F(Localized, EnglishFillsInAndMissesAreTheKeyAndRemembered)
{
    loc.registerBundle(a);
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_OnlyEnglish_2")), QStringLiteral("English only"));
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Nowhere_9")), QStringLiteral("LN_Nowhere_9"));
    writeStrings(dir.filePath("c/de.lproj/Localizable.strings"), "\"LN_Nowhere_9\" = \"Jetzt da\";\n");
    auto c = Bundle::fromDirectory(dir.filePath("c"));
    loc.registerBundle(c);
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Nowhere_9")), QStringLiteral("LN_Nowhere_9")) << "cached miss";
    loc.clearCache();
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Nowhere_9")), QStringLiteral("Jetzt da"));
    loc.unregisterBundle(c);
}

TEST_F(Localized, TablesAndNullKeys)
{
    loc.registerBundle(a, QStringLiteral("Menus"));
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Menu_3")), QStringLiteral("Menü"));
    EXPECT_EQ(loc.localizedString(QString()), QStringLiteral(""));
    EXPECT_FALSE(loc.localizedString(QString()).isNull());
    EXPECT_EQ(localizedString(QStringLiteral("LN_Menu_3")), QStringLiteral("Menü")) << "the string category";
}

TEST_F(Localized, GivenLanguageBundlesAreConsultedFirst)
{
    loc.registerBundle(b);
    auto aGerman = Bundle::fromDirectory(dir.filePath("a/de.lproj"));
    auto aEnglish = Bundle::fromDirectory(dir.filePath("a/en.lproj"));
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Save_1"), aGerman, aEnglish), QStringLiteral("Sichern (a)"));
    loc.clearCache();
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_OnlyEnglish_2"), aGerman, aEnglish), QStringLiteral("English only"));
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Save_1"), nullptr, nullptr), QStringLiteral("Speichern (b)"));
}

TEST_F(Localized, RegionalLanguageFindsTheLanguageFolder)
{
    loc.registerBundle(a);
    loc.setUserLanguageID(QStringLiteral("de-CH"));
    EXPECT_EQ(loc.localizedString(QStringLiteral("LN_Save_1")), QStringLiteral("Sichern (a)"));
}

TEST_F(Localized, LanguageComesFromTheSettingsThenTheSystem)
{
    Settings::setUseInMemoryStores(true);
    loc.setUserLanguageID(QString());
    const QString key = QString::fromLatin1(KTNLocalized::kUserLanguageKey);
    ASSERT_TRUE(Settings::standard()->setValue(key, QStringLiteral("fr")));
    EXPECT_EQ(loc.userLanguageID(), QStringLiteral("fr"));
    ASSERT_TRUE(Settings::standard()->setValue(key, QStringLiteral("de")));
    EXPECT_EQ(loc.userLanguageID(), QStringLiteral("fr")) << "computed once";

    loc.setUserLanguageID(QString());
    ASSERT_TRUE(Settings::standard()->setValue(key, QString::fromLatin1(KTNLocalized::kFollowSystemLanguage)));
    EXPECT_EQ(loc.userLanguageID(), QLocale().uiLanguages().first()) << "tests run in en-US";

    // The meeting host reads the client's suite.
    loc.setUserLanguageID(QString());
    setApplicationIdentifier(QStringLiteral("org.example.MeetingHost"));
    KTNLocalized::setLanguageStoreConfiguration(QStringLiteral("org.example.MeetingHost"), QStringLiteral("org.example.Client"));
    ASSERT_TRUE(Settings::suite(QStringLiteral("org.example.Client"))->setValue(key, QStringLiteral("ja")));
    EXPECT_EQ(loc.userLanguageID(), QStringLiteral("ja"));
    KTNLocalized::setLanguageStoreConfiguration(QString(), QString());
    setApplicationIdentifier(QString());
    Settings::setUseInMemoryStores(false);
}

TEST_F(Localized, ConcurrentLookupsRegistrationsAndClears)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                const QString value = loc.localizedString(QStringLiteral("LN_Save_1"));
                if (value != QStringLiteral("LN_Save_1") && !value.contains(QStringLiteral("(a)"))
                    && !value.contains(QStringLiteral("(b)")))
                    ++wrong;
            }
        });
    }
    for (int i = 0; i < 300; ++i) {
        loc.registerBundle(i % 2 ? a : b, {}, i % 3 == 0);
        loc.clearCache();
        loc.unregisterBundle(i % 2 ? b : a);
    }
    stop = true;
    for (std::thread &reader : readers)
        reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
