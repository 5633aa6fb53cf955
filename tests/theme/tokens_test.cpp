#include <kalvo/platform/bundle.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/contrast.h>
#include <kalvo/theme/tncolors.h>

#include <gtest/gtest.h>

#include <QSet>

using namespace kalvo;

namespace {

QHash<QString, QString> shippedFile(const char *name)
{
    const std::optional<QByteArray> bytes = Bundle::library()->readResource(QString::fromLatin1(name), QStringLiteral("json"));
    if (!bytes)
        return {};
    return parseTokenFile(*bytes).value_or(QHash<QString, QString>());
}

QColor resolve(const ColorPtr &c, bool dark, ThemeName theme = ThemeName::none)
{
    DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance(),
                                 std::make_shared<TNTheme>(theme));
    return c->resolved();
}

// ---- Token files ----

TEST(TokenFiles, EveryTokenKeyIsInTheLightAndDarkFiles)
{
    const QHash<QString, QString> light = shippedFile("colors-light");
    const QHash<QString, QString> dark = shippedFile("colors-dark");
    ASSERT_EQ(Color::tokenTable().size(), 170u);
    for (const Color::TokenInfo &token : Color::tokenTable()) {
        const QString key = QString::fromLatin1(token.key);
        ASSERT_TRUE(light.contains(key)) << token.key;
        ASSERT_TRUE(dark.contains(key)) << token.key;
        EXPECT_TRUE(parseTokenValue(light.value(key))) << token.key << " light: " << light.value(key).toStdString();
        EXPECT_TRUE(parseTokenValue(dark.value(key))) << token.key << " dark: " << dark.value(key).toStdString();
        EXPECT_NE(token.accessor(), Color::kalvoClear()) << token.key;
    }
}

TEST(TokenFiles, ThemeFilesCarryTheThemeAwareKeys)
{
    for (const char *file : {"colors-agave", "colors-bloom", "colors-rose"}) {
        const QHash<QString, QString> table = shippedFile(file);
        for (const char *key : {"BackgroundDarkerNeutral", "FillSubtlerNeutral", "BorderPrimary", "FillGlobalPrimary",
                                "StatePrimaryHover", "StatePrimaryPress", "TextError", "TextNeutral",
                                "TextStrongerNeutral", "TextPrimary", "BorderSubtleNeutral"}) {
            EXPECT_TRUE(parseTokenValue(table.value(QString::fromLatin1(key)))) << file << " " << key;
        }
    }
}

TEST(TokenFiles, FileThatIsNotAnObjectOfStringsCountsAsEmpty)
{
    EXPECT_TRUE(parseTokenFile(R"({"A": "#000000", "B": "#FFFFFF"})"));
    EXPECT_FALSE(parseTokenFile(R"({"A": "#000000", "B": 5})"));
    EXPECT_FALSE(parseTokenFile(R"(["#000000"])"));
    EXPECT_FALSE(parseTokenFile(R"({"A": "#000000")"));
    EXPECT_FALSE(parseTokenFile(QByteArray("\xff\xfe{", 3)));
}

// ---- Tokens ----

TEST(Tokens, AreMadeOnceAndShared)
{
    EXPECT_EQ(Color::fillPrimary(), Color::fillPrimary());
    // A token is the cached hex colour of its file values.
    EXPECT_EQ(Color::fillPrimary(), Color::colorWithTokenName(QStringLiteral("FillPrimary")));
}

TEST(Tokens, UnknownKeyIsClearAndNotRemembered)
{
    EXPECT_EQ(Color::colorWithTokenName(QStringLiteral("NoSuchToken")), Color::kalvoClear());
    EXPECT_EQ(Color::Theme::colorWithTokenName(QStringLiteral("NoSuchToken")), Color::kalvoClear());
}

TEST(Tokens, FixedTokenValues)
{
    EXPECT_EQ(resolve(Color::kalvoClear(), false).alpha(), 0);
    EXPECT_EQ(resolve(Color::underlay(), false), QColor(0, 0, 0, 20));
    EXPECT_EQ(resolve(Color::underlay(), true), QColor(0, 0, 0, 122));
    EXPECT_EQ(Color::AvatarGroupWrapperBackground(), Color::color(0xF3F9FF, 0x0D1F31)) << "made through the cache";
    EXPECT_NE(Color::invalidTokenColor(), Color::color(0xFF0000, 0xFF0000)) << "made directly";
}

TEST(Tokens, ThemeTokensFromFilesTakeTheirDarkVariantFromTheThemeFile)
{
    const ColorPtr text = Color::Theme::colorWithTokenName(QStringLiteral("TextPrimary"));
    EXPECT_EQ(text, Color::Theme::colorWithTokenName(QStringLiteral("TextPrimary")));
    const auto *themed = dynamic_cast<const ThemeColor *>(text.get());
    ASSERT_NE(themed, nullptr);
    EXPECT_EQ(themed->themes().size(), 3u);
    const QHash<QString, QString> rose = shippedFile("colors-rose");
    const QHash<QString, QString> light = shippedFile("colors-light");
    EXPECT_EQ(resolve(text, true, ThemeName::rose).rgb(), NSColorFromHex(*parseTokenValue(rose.value("TextPrimary"))).rgb());
    EXPECT_EQ(resolve(text, false, ThemeName::rose).rgb(), NSColorFromHex(*parseTokenValue(light.value("TextPrimary"))).rgb());
    // A key no theme file has is a plain pair.
    EXPECT_STREQ(Color::Theme::colorWithTokenName(QStringLiteral("FillSuccess"))->className(), "kalvo::AppearanceColor");
}

TEST(Tokens, FixedThemeTokens)
{
    // borderPrimary has no bloom entry: base values.
    EXPECT_EQ(resolve(Color::Theme::borderPrimary(), false, ThemeName::bloom), NSColorFromHex(0x4793F1));
    EXPECT_EQ(resolve(Color::Theme::borderPrimary(), true, ThemeName::bloom), NSColorFromHex(0x0E72ED));
    EXPECT_EQ(resolve(Color::Theme::borderPrimary(), false, ThemeName::agave), NSColorFromHex(0x00B2AE));
    EXPECT_EQ(resolve(Color::Theme::borderPrimary(), true, ThemeName::agave), NSColorFromHex(0x0E72ED));
    EXPECT_EQ(Color::Theme::tokenTable().size(), 11u);
}

// ---- Colours by name ----

TEST(ColorNames, NamesBecomeTokenKeys)
{
    Color::clearColorCache();
    EXPECT_EQ(Color::colorWithName(QStringLiteral("colors/bg-default")), Color::backgroundDefault());
    EXPECT_EQ(Color::colorWithName(QStringLiteral("text-strong-neutral")), Color::textStrongNeutral());
    EXPECT_EQ(Color::colorWithName(QStringLiteral("//a//text-primary")), Color::textPrimary());
    EXPECT_EQ(Color::colorWithName(QStringLiteral("fillPrimary")), Color::fillPrimary());
    EXPECT_EQ(Color::colorWithName(QStringLiteral("kalvoClear")), Color::kalvoClear()) << "falls back to the property";
    EXPECT_EQ(Color::colorWithName(QStringLiteral("hovered")), Color::hover());
}

TEST(ColorNames, UnknownNamesAreInvalidAndCached)
{
    Color::clearColorCache();
    for (const char *odd : {"nothing-here", "/", "---", "//-/", "", "bg"}) {
        EXPECT_EQ(Color::colorWithName(QString::fromLatin1(odd)), Color::invalidTokenColor()) << odd;
    }
    EXPECT_EQ(Color::colorCache().count(QStringLiteral("nothing-here")), 1u);
    EXPECT_EQ(Color::colorWithName(QString()), Color::fillError()) << "a null name";
    EXPECT_EQ(Color::colorCache().count(QString()), 1u) << "the empty name, not the null one";
}

TEST(ColorNames, CacheCanBeReadReplacedAndCleared)
{
    Color::clearColorCache();
    EXPECT_TRUE(Color::colorCache().empty());
    Color::setColorCache({{QStringLiteral("brand"), Color::fillSuccess()}});
    EXPECT_EQ(Color::colorWithName(QStringLiteral("brand")), Color::fillSuccess());
    {
        std::lock_guard lock(Color::cacheLock()); // callers may hold it around several calls
        EXPECT_EQ(Color::colorCache().size(), 1u);
    }
    Color::clearColorCache();
    EXPECT_EQ(Color::colorWithName(QStringLiteral("brand")), Color::invalidTokenColor());
}

// ---- The tn family ----

TEST(TNColors, ValuesKindsAndSharing)
{
    EXPECT_EQ(tnBtnTxtNormalBgColor(), Color::fillDefaultTransparent());
    EXPECT_EQ(tnFocusBlue(), tnFocusBlueColor()) << "same values, same cached colour";
    EXPECT_EQ(resolve(tnBtnDisableTitle(), true).rgba(), qRgba(255, 255, 255, 138));
    EXPECT_EQ(resolve(tnMenuHoverColor(), false).rgba(), qRgba(0x13, 0x16, 0x19, 46));
    QSet<QString> names;
    for (const TNColorInfo &info : tnColorTable()) {
        EXPECT_TRUE(info.accessor().isValid()) << info.name;
        names.insert(QString::fromLatin1(info.name));
    }
    EXPECT_EQ(names.size(), static_cast<int>(tnColorTable().size())) << "no name twice";
}

} // namespace
