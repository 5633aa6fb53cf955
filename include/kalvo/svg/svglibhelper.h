// Entry points of the SVG engine: a document from a file, from SVG text or
// from an element tree, rendered into an image (or its first outline).
// Every entry point answers empty or unusable input with a null result and
// never throws. Images are rendered at once: view-box size × scale pixels,
// y axis downwards. Main thread (like all painting in the library).
#pragma once

#include <kalvo/svg/svgelement.h>

#include <QImage>
#include <QPainterPath>

#include <optional>

namespace kalvo {

class KALVO_EXPORT KTNSVGLibHelper
{
public:
    // Only for a path ending in ".svg".
    static QImage exportImageWithPath(const QString &path);
    static QImage exportImageWithSvgContent(const QByteArray &svgText);
    static QImage exportImageWithElement(const KTNSvgElement &element);
    // A scale of 0 means 1.
    static QImage exportImageWithElement(const KTNSvgElement &element, double scale);
    // The first top-level drawable's outline, scaled (0 means 1); nothing
    // when there is none.
    static std::optional<QPainterPath> exportFirstPathWithElement(const KTNSvgElement &element, double scale);
};

} // namespace kalvo
