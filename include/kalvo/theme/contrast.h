// Contrast of the palette: WCAG 2 relative luminance and contrast ratio,
// and the check of the token files that the tests and `kalvo-tokens
// contrast` share.
#pragma once

#include <kalvo/theme/themename.h>

#include <QColor>
#include <QHash>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace kalvo {

KALVO_EXPORT double relativeLuminance(const QColor &color);
// (L1 + 0.05) / (L2 + 0.05), lighter over darker; a translucent foreground
// is first composited over the background, a translucent background over
// `canvas`.
KALVO_EXPORT double contrastRatio(const QColor &foreground, const QColor &background,
                                  const QColor &canvas = Qt::white);

// One line of the palette's promise: `foreground` drawn on `background`
// reaches `minimum` (4.5 for body text, 3 for large text and icons).
struct ContrastRequirement
{
    const char *foreground; // token key
    const char *background;
    double minimum;
};
KALVO_EXPORT const std::vector<ContrastRequirement> &tokenContrastRequirements();

// Token tables as read from token files: key -> colour text.
struct TokenTables
{
    QHash<QString, QString> light;
    QHash<QString, QString> dark;
    std::map<ThemeName, QHash<QString, QString>> themes; // dark values per theme
};

struct ContrastResult
{
    bool dark = false;
    ThemeName theme = ThemeName::none;
    QString foreground, background;
    QColor foregroundColor, backgroundColor;
    double ratio = 0;
    double minimum = 0;
    bool passes = false;
    QString problem; // set when a colour is missing or unreadable
};

// Every requirement in light and dark, and in dark under every theme table
// (a theme file's value replaces the dark file's). Missing keys fail.
KALVO_EXPORT std::vector<ContrastResult> checkTokenContrast(const TokenTables &tables);

// Parses a token file's JSON (an object of strings); nothing when it is not one.
KALVO_EXPORT std::optional<QHash<QString, QString>> parseTokenFile(const QByteArray &json);

} // namespace kalvo
