#include <kalvo/platform/bundle.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/contrast.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

QHash<QString, QString> shipped(const char *name)
{
    const auto bytes = Bundle::library()->readResource(QString::fromLatin1(name), QStringLiteral("json"));
    return bytes ? parseTokenFile(*bytes).value_or(QHash<QString, QString>()) : QHash<QString, QString>();
}

TEST(Contrast, WcagFormula)
{
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Qt::white, Qt::white), 1.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(contrastRatio(Qt::white, QColor(0x77, 0x77, 0x77)), 4.48, 0.01) << "order does not matter";
    EXPECT_NEAR(relativeLuminance(Qt::white), 1.0, 1e-9);
    // Half-transparent black text on white is a mid grey.
    EXPECT_NEAR(contrastRatio(QColor(0, 0, 0, 128), Qt::white), contrastRatio(QColor(127, 127, 127), Qt::white), 0.05);
}

TEST(Contrast, ShippedFilesAreReadableInEveryAppearanceAndTheme)
{
    TokenTables tables;
    tables.light = shipped("colors-light");
    tables.dark = shipped("colors-dark");
    tables.themes[ThemeName::agave] = shipped("colors-agave");
    tables.themes[ThemeName::bloom] = shipped("colors-bloom");
    tables.themes[ThemeName::rose] = shipped("colors-rose");
    const std::vector<ContrastResult> results = checkTokenContrast(tables);
    EXPECT_EQ(results.size(), tokenContrastRequirements().size() * 5);
    for (const ContrastResult &r : results) {
        EXPECT_TRUE(r.passes) << r.foreground.toStdString() << " on " << r.background.toStdString() << " ("
                              << (r.dark ? "dark" : "light") << ", " << description(r.theme).toStdString()
                              << "): " << r.ratio << " < " << r.minimum << " " << r.problem.toStdString();
    }
}

TEST(Contrast, MissingTokensFailTheCheck)
{
    TokenTables tables;
    tables.light = {{QStringLiteral("BackgroundDefault"), QStringLiteral("#FFFFFF")}};
    tables.dark = tables.light;
    const std::vector<ContrastResult> results = checkTokenContrast(tables);
    ASSERT_FALSE(results.empty());
    EXPECT_FALSE(results.front().passes);
    EXPECT_FALSE(results.front().problem.isEmpty());
}

// The fixed theme-aware tokens, drawn by the model itself in every theme.
// (Their border values are fixed by the design system and decorative; the
// agave and rose light borders stay below 3:1, so borders are not listed.)
TEST(Contrast, ThemeAwareTokensAreReadableOnTheirSurfaces)
{
    struct Pair
    {
        ColorPtr (*foreground)();
        ColorPtr (*background)();
        double minimum;
        const char *what;
    };
    const Pair pairs[] = {
        {&Color::Theme::textStrongerNeutral, &Color::backgroundDefault, 4.5, "textStrongerNeutral/backgroundDefault"},
        {&Color::Theme::textNeutral, &Color::backgroundDefault, 4.5, "textNeutral/backgroundDefault"},
        {&Color::Theme::textPrimary, &Color::backgroundDefault, 4.5, "textPrimary/backgroundDefault"},
        {&Color::Theme::textError, &Color::backgroundDefault, 4.5, "textError/backgroundDefault"},
        {&Color::Theme::textStrongerNeutral, &Color::Theme::backgroundDarkerNeutral, 4.5, "textStrongerNeutral/darker"},
        {&Color::Theme::textNeutral, &Color::Theme::backgroundDarkerNeutral, 4.5, "textNeutral/darker"},
        {&Color::Theme::textPrimary, &Color::Theme::backgroundDarkerNeutral, 4.5, "textPrimary/darker"},
        {&Color::Theme::textError, &Color::Theme::backgroundDarkerNeutral, 4.5, "textError/darker"},
        {&Color::Theme::textStrongerNeutral, &Color::Theme::fillSubtlerNeutral, 4.5, "textStrongerNeutral/subtler"},
        {&Color::inverseGlobalDefault, &Color::Theme::fillGlobalPrimary, 4.5, "inverse/fillGlobalPrimary"},
        {&Color::inverseGlobalDefault, &Color::Theme::primaryPressed, 4.5, "inverse/primaryPressed"},
    };
    for (bool dark : {false, true}) {
        for (ThemeName theme : {ThemeName::none, ThemeName::agave, ThemeName::bloom, ThemeName::rose}) {
            DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance(),
                                         std::make_shared<TNTheme>(theme));
            for (const Pair &pair : pairs) {
                const double ratio = contrastRatio(pair.foreground()->resolved(), pair.background()->resolved());
                EXPECT_GE(ratio, pair.minimum) << pair.what << (dark ? " dark " : " light ")
                                               << description(theme).toStdString();
            }
        }
    }
}

} // namespace
