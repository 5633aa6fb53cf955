// The themes a colour can carry values for. Raw values are stored and passed
// by hosts; a raw value above 8 is no theme.
#pragma once

#include <kalvo/global.h>

namespace kalvo {

enum class ThemeName : unsigned {
    none = 0,
    base = 1,
    classic = 2,
    bloom = 3,
    agave = 4,
    rose = 5,
    dark = 6,
    custom = 7,
    backstage = 8,
};

template <>
struct EnumTraits<ThemeName>
{
    static constexpr const char *name = "ThemeName";
    static constexpr std::array rows{
        EnumRow<ThemeName>{ThemeName::none, "None", ".none"},
        EnumRow<ThemeName>{ThemeName::base, "Base", ".base"},
        EnumRow<ThemeName>{ThemeName::classic, "Classic", ".classic"},
        EnumRow<ThemeName>{ThemeName::bloom, "Bloom", ".bloom"},
        EnumRow<ThemeName>{ThemeName::agave, "Agave", ".agave"},
        EnumRow<ThemeName>{ThemeName::rose, "Rose", ".rose"},
        EnumRow<ThemeName>{ThemeName::dark, "dark", ".dark"},
        EnumRow<ThemeName>{ThemeName::custom, "custom", ".custom"},
        EnumRow<ThemeName>{ThemeName::backstage, "backstage", ".backstage"},
    };
};

} // namespace kalvo
