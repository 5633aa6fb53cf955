// The typography scale used by every text-bearing control. A Typograph names
// a size and weight of the application's font; fontWithTypograph() makes it.
//
// Sizes are in device-independent pixels, the unit every Kalvo metric uses, so
// a 12-point title fits a 24-point-high button on any screen density.
#pragma once

#include <kalvo/global.h>

#include <QFont>

namespace kalvo {

enum class Typograph : int {
    bold36 = 0,
    semibold24 = 1,
    medium20 = 2,
    medium16 = 3,
    regular16 = 4,
    medium14 = 5,
    regular14 = 6,
    semibold12 = 7,
    regular12 = 8,
    light10 = 9,
    ultraLight9 = 10,
};

template <>
struct EnumTraits<Typograph>
{
    static constexpr const char *name = "Typograph";
    static constexpr std::array rows{
        EnumRow<Typograph>{Typograph::bold36, "36 pt bold", ".bold36"},
        EnumRow<Typograph>{Typograph::semibold24, "24 pt semibold", ".semibold24"},
        EnumRow<Typograph>{Typograph::medium20, "20 pt medium", ".medium20"},
        EnumRow<Typograph>{Typograph::medium16, "16 pt medium", ".medium16"},
        EnumRow<Typograph>{Typograph::regular16, "16 pt regular", ".regular16"},
        EnumRow<Typograph>{Typograph::medium14, "14 pt medium", ".medium14"},
        EnumRow<Typograph>{Typograph::regular14, "14 pt regular", ".regular14"},
        EnumRow<Typograph>{Typograph::semibold12, "12 pt semibold", ".semibold12"},
        EnumRow<Typograph>{Typograph::regular12, "12 pt regular", ".regular12"},
        EnumRow<Typograph>{Typograph::light10, "10 pt light", ".light10"},
        EnumRow<Typograph>{Typograph::ultraLight9, "9 pt ultra-light", ".ultraLight9"},
    };
};

struct TypographMetrics
{
    int size;            // device-independent pixels
    QFont::Weight weight;
};

KALVO_EXPORT TypographMetrics typographMetrics(Typograph typograph);

// The application's font (QGuiApplication::font(), the desktop's system font
// unless the host replaced it) at the typograph's size and weight. Italic asks
// Qt's font matching for the italic face, synthesising an oblique one when the
// family has none.
KALVO_EXPORT QFont fontWithTypograph(Typograph typograph, bool italic = false);

// The same for a raw value from older code; a value outside 0...10 is a
// programming error and stops the process.
KALVO_EXPORT QFont fontWithTypograph(int raw, bool italic);

} // namespace kalvo
