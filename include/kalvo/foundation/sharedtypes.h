// The small enumerations shared by controls and overlays: where a decoration
// sits (Gravity), which way something opens (Direction) and which point of a
// rectangle anchors it (RectEdge). Raw values are part of the API: hosts pass
// them as integers.
#pragma once

#include <kalvo/global.h>

namespace kalvo {

enum class Gravity : int {
    top = 0,
    leading = 1,
    center = 2,
    trailing = 3,
    bottom = 4,
};

template <>
struct EnumTraits<Gravity>
{
    static constexpr const char *name = "Gravity";
    static constexpr std::array rows{
        EnumRow<Gravity>{Gravity::top, "Top", ".top"},
        EnumRow<Gravity>{Gravity::leading, "Leading", ".leading"},
        EnumRow<Gravity>{Gravity::center, "Center", ".center"},
        EnumRow<Gravity>{Gravity::trailing, "Trailing", ".trailing"},
        EnumRow<Gravity>{Gravity::bottom, "Bottom", ".bottom"},
    };
};

enum class Direction : int {
    down = 0,
    up = 1,
    left = 2,
    right = 3,
};

template <>
struct EnumTraits<Direction>
{
    static constexpr const char *name = "Direction";
    static constexpr std::array rows{
        EnumRow<Direction>{Direction::down, "Down", ".down"},
        EnumRow<Direction>{Direction::up, "Up", ".up"},
        EnumRow<Direction>{Direction::left, "Left", ".left"},
        EnumRow<Direction>{Direction::right, "Right", ".right"},
    };
};

constexpr bool isVertical(Direction d) { return toRaw(d) < 2; }
constexpr bool isHorizontal(Direction d) { return d == Direction::left || d == Direction::right; }

enum class RectEdge : int {
    top = 0,
    bottom = 1,
    left = 2,
    right = 3,
    center = 4,
    topLeft = 5,
    topRight = 6,
    bottomLeft = 7,
    bottomRight = 8,
};

template <>
struct EnumTraits<RectEdge>
{
    static constexpr const char *name = "RectEdge";
    static constexpr std::array rows{
        EnumRow<RectEdge>{RectEdge::top, "Top", ".top"},
        EnumRow<RectEdge>{RectEdge::bottom, "Bottom", ".bottom"},
        EnumRow<RectEdge>{RectEdge::left, "Left", ".left"},
        EnumRow<RectEdge>{RectEdge::right, "Right", ".right"},
        EnumRow<RectEdge>{RectEdge::center, "Center", ".center"},
        EnumRow<RectEdge>{RectEdge::topLeft, "Top left", ".topLeft"},
        EnumRow<RectEdge>{RectEdge::topRight, "Top right", ".topRight"},
        EnumRow<RectEdge>{RectEdge::bottomLeft, "Bottom left", ".bottomLeft"},
        EnumRow<RectEdge>{RectEdge::bottomRight, "Bottom right", ".bottomRight"},
    };
};

} // namespace kalvo
