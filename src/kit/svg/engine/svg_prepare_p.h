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
#include <kalvo/svg/svgelement.h>

#include <QByteArray>
#include <QRectF>
#include <QString>

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

// A view box ("x y w h", spaces or commas); empty unless four numbers.
QRectF parseViewBox(const QString &text);

// Rewrites `root` in place as described above.
PrepareResult prepareTree(KTNSvgElement &root, const PrepareLimits &limits);

} // namespace kalvo::svg
