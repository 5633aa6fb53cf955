// The engine's own rasteriser for the common drawing case: a colour or a
// gradient, no clip, no layer, straight into an ARGB32-premultiplied
// image. Outlines are flattened and stroked into polygons as cairo's stroker does (same
// tolerance, same pen for round caps and joins), filled under the non-zero
// or even-odd rule with area coverage (rows where the outline overlaps
// itself are sampled so that overlaps count once) and composited
// source-over with cairo's colour rounding; linear and radial gradients
// are painted the same way. Cairo draws every other case.
#pragma once

#include <kalvo/global.h>

#include <QBrush>
#include <QColor>
#include <QList>
#include <kalvo/svg/svgbezierpath.h>

#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QTransform>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace kalvo::svgscan {

// A control arm shorter than this (device pixels, and a small share of the
// curve's chord) is taken as no arm: the direction such an arm gives the
// curve's end is noise, and caps and joins set along it stick out.
constexpr double kNoiseArm = 0.5;
constexpr double kNoiseArmShare = 0.05;
// A line shorter than this is a line of no length: strokes then draw the
// caps of a dot, which cairo leaves out for merely tiny lines.
constexpr double kNoiseLine = 1e-3;
// Deviation allowed when curves are flattened, in device pixels (cairo's
// default tolerance).
constexpr double kTolerance = 0.1;

// Whether a subpath ends where it started. QPainterPath's closing compares
// fuzzily and adds no line for an end a hair away from the start.
inline bool samePoint(const QPainterPath::Element &a, const QPainterPath::Element &b)
{
    return std::abs(a.x - b.x) < kNoiseLine && std::abs(a.y - b.y) < kNoiseLine;
}

// `control`, or `end` for an arm that is noise; compared by squared
// lengths (`chordSquared` is the curve's chord squared), which saves the
// square roots.
inline QPointF clampedArm(QPointF end, QPointF control, double chordSquared)
{
    const double dx = control.x() - end.x();
    const double dy = control.y() - end.y();
    const double arm = dx * dx + dy * dy;
    return arm > 0 && arm < kNoiseArm * kNoiseArm && arm < kNoiseArmShare * kNoiseArmShare * chordSquared ? end
                                                                                                          : control;
}

// The pixels drawn into: `bits` of a width × height ARGB32-premultiplied
// image whose top-left pixel is device point `origin`. Path coordinates are
// multiplied by `scale` (finite and positive) to give device points: an
// outline drawn at a scale needs no scaled copy.
struct Target
{
    uchar *bits = nullptr;
    int width = 0;
    int height = 0;
    qsizetype stride = 0;
    QPoint origin;
    double scale = 1;
};

// The element of `path` at `i` in device points at `scale`: what mapping
// the path by QTransform::fromScale(scale, scale) gives it.
inline QPainterPath::Element scaledElement(const KTNSVGPainterPath &path, int i, double scale)
{
    QPainterPath::Element e = path.elementAt(i);
    e.x *= scale;
    e.y *= scale;
    return e;
}

// The control-point box of `path` at `scale`.
inline QRectF scaledControlBox(const KTNSVGPainterPath &path, double scale)
{
    const QRectF box = path.controlPointRect();
    if (scale == 1)
        return box;
    return QRectF(QPointF(box.left() * scale, box.top() * scale), QPointF(box.right() * scale, box.bottom() * scale));
}

struct StrokeStyle
{
    double width = 1;
    int cap = 0;  // 0 butt, 1 round, 2 square
    int join = 0; // 0 miter, 1 round, 2 bevel
    double miterLimit = 10;
};

// `color` at `opacity` as premultiplied ARGB32, rounded the way cairo
// rounds a source colour.
KALVO_EXPORT QRgb premultiplied(const QColor &color, double opacity);

// Fills `path` (device coordinates, its own fill rule) with the
// premultiplied colour. Answers false, having drawn nothing, for a path
// beyond what this rasteriser takes on (too many edges, or a box so large
// that cairo draws it faster): the caller draws it another way. A path
// with non-finite coordinates draws nothing.
KALVO_EXPORT bool fillPath(const Target &target, const KTNSVGPainterPath &path, QRgb color);

// Strokes `path` with `style`. Subpaths listed in `closedEnds` (by their
// last element) are closed; without a list, those that end where they
// started. Answers false as fillPath does.
KALVO_EXPORT bool strokePath(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                              const StrokeStyle &style, QRgb color);

// A linear or radial gradient painted as cairo paints one: stop colours
// interpolated channel by channel (not premultiplied), premultiplied and
// rounded per pixel at its centre; padded, repeated or reflected beyond
// the ends.
struct Gradient
{
    struct Stop
    {
        double offset; // 0 to 1, never going back
        float alpha;   // 0 to 255
        float red, green, blue; // 0 to 1
    };
    bool radial = false;
    // Linear: from (x1, y1) to (x2, y2). Radial: from the circle at
    // (x1, y1) of radius r1 to the one at (x2, y2) of radius r2.
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, r1 = 0, r2 = 0;
    // Device coordinates to the gradient's.
    QTransform fromDevice;
    int spread = 0; // 0 pad, 1 reflect, 2 repeat
    std::vector<Stop> stops;
};

// The gradient of a brush (Qt's linear or radial, as the draw context
// builds them), `opacity` multiplied into its stops; nothing for any other
// brush or one that cannot be inverted.
KALVO_EXPORT std::optional<Gradient> gradientOf(const QBrush &brush, double opacity);

// fillPath and strokePath with a gradient.
KALVO_EXPORT bool fillPath(const Target &target, const KTNSVGPainterPath &path, const Gradient &gradient);
KALVO_EXPORT bool strokePath(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                             const StrokeStyle &style, const Gradient &gradient);

// Coverage of a shape as bytes (0 to 255) over `box`, the part of the
// target's pixels it may touch, `stride` bytes per row (a multiple of
// four, as cairo's A8 images have); an empty box covers nothing.
struct Mask
{
    std::vector<uchar> bytes;
    int stride = 0;
    QRect box;
};

// The coverage fillPath and strokePath would paint with, for painting by
// other means (a gradient, through a clip, into a layer). Answer false as
// they do.
KALVO_EXPORT bool fillMask(const Target &target, const KTNSVGPainterPath &path, Mask &mask);
KALVO_EXPORT bool strokeMask(const Target &target, const KTNSVGPainterPath &path, const QList<int> *closedEnds,
                             const StrokeStyle &style, Mask &mask);

// Whether draw contexts use this rasteriser where they can (on by
// default; off draws everything with cairo, for comparison).
KALVO_EXPORT void setEnabled(bool enabled);
KALVO_EXPORT bool enabled();

} // namespace kalvo::svgscan
