// The older kit's colour names (the "tn" family). Rows with a dark value are
// Colors made through TNHexColor (so cached and shared); "fixed" rows are
// plain sRGB colours with no dark variant.
//
//   painter.fillRect(r, kalvo::tnBackground()->resolved());
//   painter.setPen(kalvo::tnBlue());
#pragma once

#include <kalvo/theme/color.h>

#include <vector>

namespace kalvo {

#define KALVO_TN_HEX(name, light, dark, lightAlpha, darkAlpha) KALVO_EXPORT ColorPtr name();
#define KALVO_TN_FIXED(name, rgb, alpha) KALVO_EXPORT QColor name();
#include <kalvo/theme/tncolors.inc>
#undef KALVO_TN_HEX
#undef KALVO_TN_FIXED

// Names that stand for other tokens.
KALVO_EXPORT ColorPtr tnBtnTxtNormalBgColor(); // Color::fillDefaultTransparent()
KALVO_EXPORT ColorPtr tnWhiteColor();          // Color::inverseGlobalDefault()
KALVO_EXPORT ColorPtr tnPriTextColor();        // Color::textStrongerNeutral()
KALVO_EXPORT ColorPtr tnLineColor();           // Color::borderSubtleNeutral()
KALVO_EXPORT QColor tnWhite();
KALVO_EXPORT QColor tnDarkGray(); // red, green and blue 0.333
KALVO_EXPORT QColor tnDarkGrayColor();

struct TNColorInfo
{
    const char *name;
    PlatformColor (*accessor)();
};
// Every name above, in declaration order, for listings.
KALVO_EXPORT const std::vector<TNColorInfo> &tnColorTable();

} // namespace kalvo
