// Helpers of the SVG engine tests: documents from text, element trees from
// text (the icon registry's form), and pixel checks.
#pragma once

#include <kalvo/svg/svgparser.h>

#include <QColor>
#include <QImage>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kalvo::svgtest {

inline std::unique_ptr<KTNSVGParserMgr> parse(const char *svg)
{
    return KTNSVGParserMgr::initWithSvgString(QByteArray(svg));
}

// The element tree of `svg`, as the registry would hand it over.
inline KTNSvgElement tree(const char *svg)
{
    QXmlStreamReader reader{QByteArray(svg)};
    reader.setNamespaceProcessing(false);
    KTNSvgElement root;
    std::vector<KTNSvgElement *> open;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            KTNSvgElement node;
            node.elementName = reader.qualifiedName().toString();
            for (const QXmlStreamAttribute &a : reader.attributes())
                node.attribute.insert(a.qualifiedName().toString(), a.value().toString());
            if (open.empty()) {
                root = node;
                open.push_back(&root);
            } else {
                open.back()->childElements.append(node);
                open.push_back(&open.back()->childElements.last());
            }
        } else if (token == QXmlStreamReader::EndElement) {
            open.pop_back();
        } else if (token == QXmlStreamReader::Characters && !open.empty()
                   && open.back()->elementName == QLatin1String("style")) {
            open.back()->text += reader.text();
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return root;
}

inline std::unique_ptr<KTNSVGParserMgr> parseTree(const char *svg)
{
    return KTNSVGParserMgr::initWithElement(tree(svg));
}

inline QImage renderTree(const char *svg, double scale = 1.0)
{
    return parseTree(svg)->exportImageWithScale(scale);
}

inline QImage renderText(const char *svg, double scale = 1.0)
{
    const auto document = parse(svg);
    return document ? document->exportImageWithScale(scale) : QImage();
}

inline bool isTransparent(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y).alpha() == 0;
}

// The colour at (x, y) equals `expected` within `tolerance` per channel
// (alpha included).
inline testing::AssertionResult colorAt(const QImage &image, int x, int y, const QColor &expected, int tolerance = 2)
{
    if (image.isNull())
        return testing::AssertionFailure() << "no image";
    const QColor c = image.pixelColor(x, y);
    const bool near = std::abs(c.red() - expected.red()) <= tolerance
        && std::abs(c.green() - expected.green()) <= tolerance && std::abs(c.blue() - expected.blue()) <= tolerance
        && std::abs(c.alpha() - expected.alpha()) <= tolerance;
    if (near)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is rgba(" << c.red() << ", " << c.green()
                                       << ", " << c.blue() << ", " << c.alpha() << "), expected rgba("
                                       << expected.red() << ", " << expected.green() << ", " << expected.blue()
                                       << ", " << expected.alpha() << ")";
}

inline int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).alpha() > 0 ? 1 : 0;
    return count;
}

// The elements of an outline, for comparing with expected moves and lines.
struct PathStep
{
    QPainterPath::ElementType type;
    double x;
    double y;
};

inline std::vector<PathStep> steps(const QPainterPath &path)
{
    std::vector<PathStep> out;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        out.push_back({e.type, e.x, e.y});
    }
    return out;
}

} // namespace kalvo::svgtest
