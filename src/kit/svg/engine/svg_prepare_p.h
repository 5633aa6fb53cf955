// Preparing a document tree for the drawable elements: what real SVG files
// use beyond plain presentation attributes is resolved on the tree, so that
// every element reaches the element classes with its own explicit values.
//
// - style sheets ("style" elements) and "style" attributes, by CSS
//   precedence over presentation attributes;
// - inheritance of the inherited properties through "svg", "g" and "use",
//   "inherit", "currentColor" with the "color" property, "none";
// - transforms of groups, nested "svg" elements and "use" composed into
//   each shape's own transform, the view box and preserveAspectRatio;
// - lengths with units and percentages as plain user units;
// - "use" replaced by a copy of what it references, gradient "href"
//   chains (attributes and stops) copied into the referring gradient;
// - colours in every CSS notation as "#rrggbb" with the alpha moved into
//   the opacity.
//
// Reference chains and "use" copies are bounded by depth and by the
// document's element budget, so cycles and exponential copies end.
#pragma once

#include <kalvo/global.h>
#include <kalvo/svg/svgdrawables.h>
#include <kalvo/svg/svgelement.h>

#include <QByteArray>
#include <QColor>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <optional>

class QXmlStreamReader;

namespace kalvo::svg {

struct PrepareLimits
{
    int maxDepth = 256;
    qsizetype maxElements = 50'000;
};

struct PrepareResult
{
    bool limitReached = false;
};

// The XML as an element tree, with the text of "style" elements kept in
// their `text`. Reading stops at maxDepth (deeper elements are skipped) and
// at maxElements.
struct ReadResult
{
    KTNSvgElement root;
    bool hasRoot = false;
    bool limitReached = false;
};
KALVO_EXPORT ReadResult readTree(QXmlStreamReader &reader, const PrepareLimits &limits);
// The same tree from UTF-8 bytes of plain XML, quicker; false (and
// `result` untouched) when the document needs the full reader.
KALVO_EXPORT bool readTreeFast(const QByteArray &bytes, const PrepareLimits &limits, ReadResult &result);

// What `value` reads back as from its text with twelve significant digits
// (printf's "%.12g"), worked out without the text; non-finite values are 0.
KALVO_EXPORT double roundedToTwelveDigits(double value);

// A view box ("x y w h", spaces or commas); empty unless four numbers.
QRectF parseViewBox(const QString &text);

// A fill or stroke as the element classes keep it.
struct PreparedPaint
{
    // As hasFill / hasStroke: 0 none, 1 colour, 2 paint server; -1: text
    // the element reads itself (colour names, "0x" and "#rrggbbaa").
    int kind = 0;
    QString text; // the colour's text, the server's identifier, or the text to read
    QColor color; // kind 1
};

// What a prepared shape or group hands to its element: the values its
// attributes would give the element's fields, without writing them out as
// text and reading them back. Numbers are exactly what that round trip
// gives (twelve significant digits).
struct PreparedValues
{
    enum Field : quint32 {
        kId = 1u << 0,
        kOpacity = 1u << 1,
        kFill = 1u << 2,
        kFillOpacity = 1u << 3,
        kFillRule = 1u << 4,
        kStroke = 1u << 5,
        kStrokeOpacity = 1u << 6,
        kStrokeWidth = 1u << 7,
        kLineCap = 1u << 8,
        kLineJoin = 1u << 9,
        kMiterLimit = 1u << 10,
        kDashArray = 1u << 11,
        kDashOffset = 1u << 12,
        kClipPath = 1u << 13,
        kMask = 1u << 14,
        kTransform = 1u << 15,
        kPathData = 1u << 16, // "d" of a path, "points" of a polyline or polygon
        kOtherOutline = 1u << 17, // "d" or "points" the element does not read
    };
    quint32 given = 0;
    QString id;
    double opacity = 1;
    PreparedPaint fill;
    PreparedPaint stroke;
    double fillOpacity = 1;
    double strokeOpacity = 1;
    int fillRule = 0;
    double strokeWidth = 0;
    int lineCap = 0;
    int lineJoin = 0;
    double miterLimit = 10;
    QString dashArray; // as written: "4,2"
    double dashOffset = 0;
    QString clipPath; // identifiers
    QString mask;
    QTransform transform;
    // The basic shapes' lengths in their fields' order (rect: x y width
    // height rx ry; circle: cx cy r; ellipse: cx cy rx ry; line: x1 y1 x2
    // y2), and which of them are given.
    double geometry[6] = {0, 0, 0, 0, 0, 0};
    quint8 geometryGiven = 0;
    QString pathData;

    bool isEmpty() const { return given == 0 && geometryGiven == 0; }
};

// The prepared tree: definitions and the root keep text attributes;
// shapes and groups carry their values (`typed`).
struct PreparedElement
{
    QString elementName;
    KTNSVGAttributes attribute;
    QList<PreparedElement> childElements;
    double scale = 1.0;
    bool typed = false;
    PreparedValues values;

    PreparedElement() = default;
    PreparedElement(QString name, KTNSVGAttributes attributes)
        : elementName(std::move(name)), attribute(std::move(attributes))
    {
    }
};

} // namespace kalvo::svg

// Moved in memory as they are (see KTNSvgElement).
Q_DECLARE_TYPEINFO(kalvo::svg::PreparedElement, Q_RELOCATABLE_TYPE);

namespace kalvo::svg {

// Prepares `root` as described above (its style sheets are applied to it
// in place on the way).
PrepareResult prepareTree(KTNSvgElement &root, const PrepareLimits &limits, PreparedElement &prepared);
// Turns the typed elements of `tree` into plain attributes that the
// element classes read into the same fields: the slower way the values
// can also take, kept to check the typed one against.
void writeOutValues(PreparedElement &tree);

} // namespace kalvo::svg
