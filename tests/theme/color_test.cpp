#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/pigment.h>

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo;

namespace {

QColor underLight(const ColorPtr &c)
{
    DrawingAppearanceScope scope(Appearance::tn_lightAppearance());
    return c->resolved();
}

QColor underDark(const ColorPtr &c, std::shared_ptr<TNTheme> theme = nullptr)
{
    DrawingAppearanceScope scope(Appearance::tn_darkAppearance(), std::move(theme));
    return c->resolved();
}

QColor under(bool dark, ThemeName theme, const ColorPtr &c)
{
    DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance(),
                                 std::make_shared<TNTheme>(theme));
    return c->resolved();
}

// ---- The hex factory ----

TEST(ColorFactory, AlphaByteWinsOverTheAlphaArgument)
{
    const ColorPtr packed = Color::color(0x800E72ED, 1.0, 0x000000, 1.0);
    EXPECT_DOUBLE_EQ(packed->lightAlpha(), 128.0 / 255.0);
    EXPECT_EQ(packed->lightHex(), 0x0E72EDu);
    // Another value: keys print alphas with two decimals, so 128/255 and 0.5
    // of the same colour are one cached object.
    const ColorPtr plain = Color::color(0x0E72EE, 0.5, 0x000000, 1.0);
    EXPECT_DOUBLE_EQ(plain->lightAlpha(), 0.5);
    EXPECT_EQ(plain->lightHex(), 0x0E72EEu);
    EXPECT_EQ(Color::color(0x0E72ED, 0.5, 0x000000, 1.0), packed);
}

TEST(ColorFactory, EqualRequestsShareOneObject)
{
    EXPECT_EQ(Color::color(0xFF0E72ED, 1.0, 0x112233, 1.0), Color::color(0x0E72ED, 1.0, 0x112233, 1.0));
    EXPECT_EQ(Color::color(0x0E72ED, 0x112233), Color::color(0x0E72ED, 1.0, 0x112233, 1.0));
    EXPECT_NE(Color::color(0x0E72ED, 0.5, 0x112233, 1.0), Color::color(0x0E72ED, 1.0, 0x112233, 1.0));
}

TEST(ColorFactory, CacheKeyText)
{
    EXPECT_EQ(Color::cachekey(0xFF0E72ED, 1.0, 0x0E72ED, 1.0), QStringLiteral("e72ed1.00e72ed1.00"));
    EXPECT_EQ(Color::cachekey(0x14000000, 1.0, 0x7A000000, 1.0), QStringLiteral("00.0800.48"));
    EXPECT_EQ(Color::colorFor(0xAB123456), 0x123456u);
    EXPECT_DOUBLE_EQ(Color::alphaFor(0xAB123456, 0.3), 0xAB / 255.0);
    EXPECT_DOUBLE_EQ(Color::alphaFor(0x123456, 0.3), 0.3);
}

TEST(ColorFactory, ThemesMakeAFixedThemeColorKeyedByItsEntries)
{
    const ColorPtr rose = Color::color(0xAA0000, 0x550000);
    const ColorPtr themed = Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, rose}});
    EXPECT_STREQ(themed->className(), "kalvo::FixedThemeColor");
    EXPECT_STREQ(Color::color(0x111111, 1.0, 0x222222, 1.0)->className(), "kalvo::AppearanceColor");
    EXPECT_EQ(themed, Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, rose}}));
    EXPECT_EQ(themed->tnCacheKey(), QStringLiteral("0x1111111.000x2222221.00[Rose:0xaa00001.000x5500001.00]"));
}

TEST(ColorFactory, NumberKeyedThemesDropUnknownNumbers)
{
    const ColorPtr c = Color::color(0x1, 0x2, std::map<qint64, PlatformColor>{{5, QColor(Qt::red)}, {42, QColor(Qt::blue)}});
    const auto *theme = dynamic_cast<const ThemeColor *>(c.get());
    ASSERT_NE(theme, nullptr);
    EXPECT_EQ(theme->themes().size(), 1u);
    EXPECT_TRUE(theme->themes().count(ThemeName::rose));
}

TEST(ColorFactory, PerThemeHexValuesFillTheGapsFromTheBase)
{
    const ColorPtr a = Color::color(0x4793F1, 0x0E72ED, ThemeHexMap{{ThemeName::agave, 0x00B2AE}}, ThemeHexMap{});
    const ColorPtr b = Color::color(0x4793F1, 0x0E72ED, ThemeHexMap{{ThemeName::agave, 0x00B2AE}}, ThemeHexMap{});
    EXPECT_NE(a, b) << "each call makes a fresh object";
    EXPECT_EQ(under(false, ThemeName::agave, a), NSColorFromHex(0x00B2AE));
    EXPECT_EQ(under(true, ThemeName::agave, a), NSColorFromHex(0x0E72ED)) << "dark falls back to the base dark";
    EXPECT_EQ(a->light(ThemeName::agave).resolved(), NSColorFromHex(0x00B2AE));
    EXPECT_EQ(a->light(ThemeName::bloom).resolved(), NSColorFromHex(0x4793F1));
}

TEST(ColorFactory, AlphaComponentKeepsValuesAndMapsThemes)
{
    const ColorPtr base = Color::color(0x102030, 1.0, 0x405060, 1.0);
    const ColorPtr half = base->colorWithAlphaComponent(0.5);
    EXPECT_EQ(half->lightHex(), 0x102030u);
    EXPECT_DOUBLE_EQ(half->darkAlpha(), 0.5);
    const ColorPtr themed = Color::color(0x1, 1.0, 0x2, 1.0, {{ThemeName::bloom, base}, {ThemeName::rose, QColor(Qt::red)}});
    const auto *mapped = dynamic_cast<const ThemeColor *>(themed->colorWithAlphaComponent(0.25).get());
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped->themes().at(ThemeName::bloom).kalvoColorPtr(), base->colorWithAlphaComponent(0.25));
    EXPECT_NEAR(mapped->themes().at(ThemeName::rose).plain().alphaF(), 0.25, 1e-4);
}

// ---- Colours from colours ----

TEST(ColorFromColors, PairOfPlainColoursIsCachedByTheirKeys)
{
    const ColorPtr pair = Color::color(PlatformColor(QColor(255, 0, 0)), PlatformColor(QColor(0, 0, 255, 128)));
    EXPECT_EQ(pair, Color::color(PlatformColor(QColor(255, 0, 0)), PlatformColor(QColor(0, 0, 255, 128))));
    EXPECT_EQ(pair->lightHex(), 0xFF0000u);
    EXPECT_EQ(pair->darkHex(), 0x0000FFu);
    EXPECT_NEAR(pair->darkAlpha(), 128.0 / 255.0, 1e-4);
    EXPECT_EQ(underDark(pair), QColor(0, 0, 255, 128));
}

TEST(ColorFromColors, PairOfThemeColorsResolvesByThemeAgain)
{
    const ColorPtr light = Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, QColor(Qt::red)}});
    const ColorPtr pair = Color::color(light, Color::color(0x333333, 0x444444));
    EXPECT_EQ(under(false, ThemeName::rose, pair), QColor(Qt::red));
    EXPECT_EQ(under(false, ThemeName::bloom, pair), NSColorFromHex(0x111111));
    EXPECT_EQ(under(true, ThemeName::rose, pair), NSColorFromHex(0x444444)) << "dark: the second colour (no rose entry)";
}

TEST(ColorFromColors, AnyColourAsAColor)
{
    const ColorPtr token = Color::color(0x1, 0x2);
    EXPECT_EQ(Color::color(PlatformColor(token)), token);
    const ColorPtr wrapped = Color::color(PlatformColor(QColor(10, 20, 30)));
    EXPECT_EQ(wrapped, Color::color(PlatformColor(QColor(10, 20, 30))));
    EXPECT_STREQ(wrapped->className(), "kalvo::WrapperNSColor");
    EXPECT_EQ(underDark(wrapped), QColor(10, 20, 30)) << "a wrapped colour ignores the appearance";
    EXPECT_EQ(PlatformColor(QColor(10, 20, 30)).kalvoColor(), wrapped);
}

// ---- Resolution ----

TEST(ColorResolution, AppearanceColorFollowsTheDrawingAppearance)
{
    const ColorPtr c = Color::color(0xFFFFFF, 0x000000);
    EXPECT_EQ(underLight(c), QColor(Qt::white));
    EXPECT_EQ(underDark(c), QColor(Qt::black));
    {
        DrawingAppearanceScope outer(Appearance::tn_darkAppearance());
        {
            DrawingAppearanceScope inner(Appearance::tn_lightAppearance());
            EXPECT_EQ(c->resolved(), QColor(Qt::white));
        }
        EXPECT_EQ(c->resolved(), QColor(Qt::black)) << "scopes nest";
    }
}

TEST(ColorResolution, ThemeColorUsesTheEntryOfTheDrawingTheme)
{
    const ColorPtr c = Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, Color::color(0xAA0000, 0x550000)}});
    EXPECT_EQ(under(false, ThemeName::rose, c), NSColorFromHex(0xAA0000));
    EXPECT_EQ(under(true, ThemeName::rose, c), NSColorFromHex(0x550000));
    EXPECT_EQ(under(false, ThemeName::classic, c), NSColorFromHex(0x111111)) << "no entry: plain pair";
    EXPECT_EQ(under(true, ThemeName::none, c), NSColorFromHex(0x222222));
}

TEST(ColorResolution, OffTheMainThreadEverythingIsLight)
{
    const ColorPtr themed = Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, QColor(Qt::red)}});
    TNPigment pigment;
    pigment.color = QColor(Qt::green);
    const std::shared_ptr<PigmentColor> pigmentColor = Color::color(pigment);
    QColor seenThemed, seenPigment;
    DrawingAppearanceScope scope(Appearance::tn_darkAppearance(), TNTheme::rose());
    EXPECT_EQ(themed->resolved(), QColor(Qt::red));
    std::thread worker([&] {
        DrawingAppearanceScope workerScope(Appearance::tn_darkAppearance(), TNTheme::rose());
        seenThemed = themed->resolved();
        seenPigment = pigmentColor->resolved();
    });
    worker.join();
    EXPECT_EQ(seenThemed, NSColorFromHex(0x111111));
    EXPECT_EQ(seenPigment.alpha(), 0);
}

TEST(ColorResolution, PigmentColorFollowsItsPigment)
{
    const std::shared_ptr<PigmentColor> c = Color::color(TNPigment{});
    EXPECT_EQ(c->resolved().alpha(), 0) << "no colour: clear";
    TNPigment pigment;
    pigment.color = Color::color(0x00FF00, 0x0000FF);
    c->setPigment(pigment);
    EXPECT_EQ(underDark(c), QColor(Qt::blue));
    EXPECT_EQ(c->lightColor().resolved(), QColor(Qt::green));
    EXPECT_NE(Color::color(pigment), Color::color(pigment)) << "pigment colours are not cached";
}

TEST(ColorResolution, ColourThatContainsItselfResolvesToClear)
{
    const std::shared_ptr<PigmentColor> loop = Color::color(TNPigment{});
    TNPigment pigment;
    pigment.color = PlatformColor(loop);
    loop->setPigment(pigment);
    EXPECT_EQ(loop->resolved().alpha(), 0);
    pigment.color = PlatformColor();
    loop->setPigment(pigment); // break the cycle so the object can go
}

// ---- Text forms ----

TEST(ColorText, KeysAndHtmlForm)
{
    const ColorPtr c = Color::color(0x0E72ED, 1.0, 0x599EF2, 0.5);
    EXPECT_EQ(c->tnCacheKey(), QStringLiteral("0xe72ed1.000x599ef20.50"));
    EXPECT_EQ(c->htmlNodeClor(), (HTMLNodeColor{0x0E72ED, 0x599EF2, 1.0f, 0.5f}));
}

TEST(ColorText, PlainColourForms)
{
    const PlatformColor half(QColor(0x80, 0x40, 0xFF, 128));
    EXPECT_EQ(half.hexRGB(), 0x8040FFu);
    EXPECT_EQ(half.hexString(), QStringLiteral("0x8040FF"));
    EXPECT_EQ(half.tnCacheKey(), QStringLiteral("0x8040ff0.50"));
    EXPECT_EQ(half.htmlNodeClor().lightRGB, 0x8040FF);
    EXPECT_NEAR(half.htmlNodeClor().darkAlpha, 0.502, 0.001);
    // Truncation, not rounding, for hexString: 0.333 * 255 = 84.9.
    EXPECT_EQ(PlatformColor(QColor::fromRgbF(0.333f, 0.333f, 0.333f)).hexString(), QStringLiteral("0x545454"));
    EXPECT_EQ(PlatformColor(QColor::fromRgbF(0.333f, 0.333f, 0.333f)).hexRGB(), 0x555555u);
    EXPECT_EQ(PlatformColor(QColor::fromCmykF(0, 1, 1, 0)).htmlNodeClor(), HTMLNodeColor{}) << "not the RGB model";
    EXPECT_EQ(PlatformColor(QColor()).htmlNodeClor(), HTMLNodeColor{});
}

TEST(ColorText, ColorAnswersForTheVariantOfTheMoment)
{
    const ColorPtr c = Color::color(0x112233, 0x445566);
    {
        DrawingAppearanceScope scope(Appearance::tn_darkAppearance());
        EXPECT_EQ(c->hexRGB(), 0x445566u);
        EXPECT_EQ(c->hexString(), QStringLiteral("0x445566"));
    }
    DrawingAppearanceScope scope(Appearance::tn_lightAppearance());
    EXPECT_EQ(c->hexRGB(), 0x112233u);
}

TEST(ColorThreads, ConcurrentFactoriesAgreeOnIdentity)
{
    std::vector<ColorPtr> seen(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&seen, t] {
            for (int i = 0; i < 200; ++i)
                seen[t] = Color::color(0xABC000 + static_cast<quint64>(i), 0x111111);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const ColorPtr &c : seen)
        EXPECT_EQ(c, seen.front());
}

} // namespace
