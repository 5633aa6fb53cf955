// Bad input: every guard of the engine. Nothing here may crash, hang or
// allocate without bound; each case checks the result the guard promises.
#include <kalvo/svg/svgparser.h>

#include "svg_test_util.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

const QColor kRed(255, 0, 0);

bool allFinite(const QPainterPath &path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (!std::isfinite(e.x) || !std::isfinite(e.y))
            return false;
    }
    return true;
}

TEST(BadImageSize, HugeNegativeOrUnusableSizesGiveNoImage)
{
    EXPECT_TRUE(renderText(R"~(<svg viewBox="0 0 100000 10"><rect width="1" height="1" fill="red"/></svg>)~").isNull());
    EXPECT_TRUE(renderText(R"~(<svg viewBox="0 0 -24 24"><rect width="1" height="1" fill="red"/></svg>)~").isNull());
    EXPECT_TRUE(renderText(R"~(<svg viewBox="0 0 24 1e999"><rect width="1" height="1" fill="red"/></svg>)~").isNull());
    const auto doc = parse(R"~(<svg viewBox="0 0 24 24"><rect width="1" height="1" fill="red"/></svg>)~");
    EXPECT_TRUE(doc->exportImageWithScale(1e6).isNull());
    EXPECT_TRUE(doc->exportImageWithScale(-1).isNull());
    EXPECT_TRUE(doc->exportImageWithScale(0).isNull());
    EXPECT_TRUE(doc->exportImageWithScale(std::nan("")).isNull());
    EXPECT_TRUE(doc->exportImageWithScale(INFINITY).isNull());
    // The limits themselves: 16384 a side, 64 megapixels.
    doc->viewBox = QRectF(0, 0, 16384, 4096);
    EXPECT_EQ(doc->imageSizeForScale(1), QSize(16384, 4096));
    doc->viewBox = QRectF(0, 0, 16385, 1);
    EXPECT_TRUE(doc->imageSizeForScale(1).isEmpty());
    doc->viewBox = QRectF(0, 0, 16384, 4097);
    EXPECT_TRUE(doc->imageSizeForScale(1).isEmpty());
    // Tiny but positive sizes still make a pixel.
    doc->viewBox = QRectF(0, 0, 1e-3, 1e-3);
    EXPECT_EQ(doc->imageSizeForScale(1), QSize(1, 1));
}

TEST(BadDashes, DegenerateOrExplosivePatternsDrawSolid)
{
    // Each of these strokes a 14-point line; a pattern that cannot be used
    // draws it solid rather than not at all or forever.
    for (const char *dashes : {"0.000001,0.000001", "5,-3", "1e999,1", "-1,-1,3"}) {
        const QByteArray svg = QByteArray(R"~(<svg viewBox="0 0 16 4"><path d="M1 2 H15" stroke="red" stroke-width="2" stroke-dasharray=")~")
            + dashes + R"~("/></svg>)~";
        const QImage image = KTNSVGParserMgr::initWithSvgString(svg)->exportImage();
        for (int x = 2; x < 14; ++x)
            EXPECT_TRUE(colorAt(image, x, 1, kRed)) << dashes << " at " << x;
    }
    // A line far longer than the image with a fine pattern: drawn solid
    // where it shows.
    const QImage longLine = renderText(R"~(<svg viewBox="0 0 16 4"><path d="M-1000000 2 H1000000" stroke="red" stroke-width="2" stroke-dasharray="0.5,0.5"/></svg>)~");
    EXPECT_TRUE(colorAt(longLine, 8, 1, kRed));
}

TEST(BadNesting, DeepGroupsAreCutAtTheDepthLimit)
{
    constexpr int depth = 5000;
    QByteArray svg = R"~(<svg viewBox="0 0 4 4"><rect width="2" height="2" fill="red"/>)~";
    for (int i = 0; i < depth; ++i)
        svg += R"~(<g fill="blue">)~";
    svg += R"~(<rect x="2" width="2" height="2"/>)~";
    for (int i = 0; i < depth; ++i)
        svg += "</g>";
    svg += R"~(<rect y="2" width="2" height="2" fill="red"/></svg>)~";
    const auto doc = KTNSVGParserMgr::initWithSvgString(svg);
    EXPECT_TRUE(doc->limitReached());
    EXPECT_FALSE(doc->parseError());
    const QImage image = doc->exportImage();
    EXPECT_TRUE(colorAt(image, 0, 0, kRed));
    EXPECT_TRUE(isTransparent(image, 3, 0)) << "the deep rect is beyond the limit";
    EXPECT_TRUE(colorAt(image, 0, 3, kRed)) << "what follows the deep part is still read";
}

TEST(BadNesting, DeepElementTreesAreCutToo)
{
    KTNSvgElement root(QStringLiteral("svg"), {{"viewBox", "0 0 4 4"}});
    KTNSvgElement *node = &root;
    for (int i = 0; i < 1000; ++i) {
        node->childElements.append(KTNSvgElement(QStringLiteral("g"), {{"fill", "red"}}));
        node = &node->childElements.last();
    }
    node->childElements.append(KTNSvgElement(QStringLiteral("rect"), {{"width", "4"}, {"height", "4"}}));
    const auto doc = KTNSVGParserMgr::initWithElement(root);
    EXPECT_TRUE(doc->limitReached());
    EXPECT_EQ(opaquePixels(doc->exportImage()), 0);
}

TEST(BadNesting, GroupCyclesBuiltByHandStop)
{
    auto group = KTNTKSVGBaseElement::create<KTNTKSVGGElement>({{"fill", "#FF0000"}});
    group->childElements.append(group);
    group->childElements.append(KTNTKSVGBaseElement::create<KTNTKSVGRectElement>(
        {{"width", "4"}, {"height", "4"}, {"fill", "#FF0000"}}));
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        KTNSVGDrawContext context(painter, image.rect());
        group->drawSVGWithCGContextRef(context, 1);
    }
    EXPECT_TRUE(colorAt(image, 1, 1, kRed));
    group->childElements.clear(); // break the cycle so the group is freed
}

TEST(BadPathData, GarbageIsReadAsFarAsItGoes)
{
    const char *cases[] = {"M", "L", "M0", "M0 0 L", "MMMM", "A", "M0 0 A", "M0 0 A1 1 0 2 2 5 5", "M0 0 A1 1 0 1 -1 5 5",
                           "M0 0 C1", "M0 0 Q", "M0 0 S T", "z", "Zz", "M0 0 h", "--..--", "M0 0 L1e 1e", "#", "M-.-.-.",
                           "\xff\xfe", "M0 0 L1 1 z z z l", "M0,0,1,1,2,2Z5", "M 1 1 a 0 0 0 0 0 0 0"};
    for (const char *data : cases) {
        const auto path = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", QString::fromLatin1(data)}});
        ASSERT_TRUE(path->shape) << data;
        EXPECT_TRUE(allFinite(path->shape->path)) << data;
    }
}

TEST(BadPathData, CommandListsAreCapped)
{
    // A run of bare command letters would otherwise make one string per
    // byte of input.
    const QString letters(1 << 20, QLatin1Char('M'));
    const QStringList tokens = KTNTKSVGBaseElement::commandListForCommandString(letters);
    EXPECT_EQ(tokens.size(), 1 << 18);
    QString points;
    for (int i = 0; i < 300000; ++i)
        points += QStringLiteral("1 2 ");
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForPolylineString(points).size(), 1 << 18);
    // Ordinary data is untouched: every token of a long path is kept.
    QString data = QStringLiteral("M0 0");
    for (int i = 0; i < 5000; ++i)
        data += QStringLiteral(" L%1 0").arg(i);
    EXPECT_EQ(KTNTKSVGBaseElement::commandListForCommandString(data).size(), 5001);
}

TEST(BadNumbers, NonFiniteValuesNeverReachAnOutline)
{
    const char *cases[] = {"M1e999 0 L0 0 L5 5", "M0 0 L1e999 1e999 L-1e999 5", "M0 0 A1e999 1 0 0 1 5 5",
                           "M0 0 A1 1e999 0 0 1 5 5", "M0 0 A1e-320 1e-320 0 0 1 5 5", "M0 0 A1 1 1e999 0 1 5 5",
                           "M0 0 C1e308 1e308 -1e308 -1e308 1e308 -1e308 l1e308 1e308 l1e308 1e308"};
    for (const char *data : cases) {
        const auto path = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", QString::fromLatin1(data)}});
        EXPECT_TRUE(allFinite(path->shape->path)) << data;
        const QRectF box = path->shape->path.controlPointRect();
        EXPECT_LE(std::max(std::abs(box.left()), std::abs(box.right())), KTNSVGBezierPath::kCoordinateLimit) << data;
    }
    // A transform that overflows empties the outline rather than poisoning it.
    const auto scaled = KTNTKSVGBaseElement::create<KTNTKSVGRectElement>(
        {{"width", "4"}, {"height", "4"}, {"transform", "scale(1e308) scale(1e308) translate(-1e308)"}});
    EXPECT_TRUE(allFinite(scaled->shape->path));
    const auto rotated = KTNTKSVGBaseElement::create<KTNTKSVGRectElement>(
        {{"width", "4"}, {"height", "4"}, {"transform", "rotate(1e999) skewX(90)"}});
    EXPECT_TRUE(allFinite(rotated->shape->path));
}

TEST(BadNumbers, HugeAttributesRenderWithoutTrouble)
{
    const QImage image = renderText(R"~(<svg viewBox="0 0 8 8">
        <rect width="1e999" height="1e999" fill="red" opacity="1e999" fill-opacity="-5"/>
        <circle cx="4" cy="4" r="1e300" stroke="blue" stroke-width="1e999"/>
        <path d="M-1e300 -1e300 L1e300 1e300" stroke="green" stroke-width="1e300" stroke-miterlimit="1e300"/>
        <polyline points="1e300,1e300 -1e300,5 0,0" stroke="red"/>
        <ellipse rx="-5" ry="1e999" fill="red"/>
        <line x2="1e999" stroke="red" stroke-dasharray="1,1"/></svg>)~");
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(8, 8));
}

TEST(BadXml, WhatWasBuiltBeforeAnErrorStays)
{
    const auto unterminated = parse(R"~(<svg viewBox="0 0 4 4"><rect width="4" height="4" fill="#FF0000"/><g fill="blue"><rect)~");
    ASSERT_TRUE(unterminated);
    EXPECT_TRUE(unterminated->parseError());
    EXPECT_TRUE(colorAt(unterminated->exportImage(), 1, 1, kRed));

    QByteArray invalid = R"~(<svg viewBox="0 0 4 4"><rect width="4" height="4" fill="#FF0000"/><rect fill=")~";
    invalid += "\xff\xfe\xc3(";
    invalid += R"~("/></svg>)~";
    const auto bytes = KTNSVGParserMgr::initWithSvgString(invalid);
    EXPECT_TRUE(bytes->parseError());
    EXPECT_TRUE(colorAt(bytes->exportImage(), 1, 1, kRed));

    for (const char *text : {"not xml at all", "<", "<svg", "<?xml version='1.0'?>", "<svg viewBox='0 0 4 4'></svg><svg>",
                             "<!DOCTYPE svg [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'><!ENTITY d '&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;'><!ENTITY e '&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;'>]><svg viewBox='0 0 4 4' id='&e;&e;&e;&e;'/>"}) {
        const auto doc = parse(text);
        ASSERT_TRUE(doc) << text;
        (void)doc->exportImage();
    }
}

TEST(BadXml, UndeclaredPrefixesAreJustNames)
{
    const auto doc = parse(R"~(<svg viewBox="0 0 4 4"><linearGradient id="g" xlink:href="#x"/><svg:rect width="4" height="4" fill="red"/></svg>)~");
    EXPECT_FALSE(doc->parseError());
    ASSERT_EQ(doc->gradientElements.size(), 1);
    EXPECT_EQ(doc->gradientElements[0]->ref, QStringLiteral("#x"));
    EXPECT_EQ(doc->elements.size(), 1) << "\"svg:rect\" is not a known element";
}

TEST(WorkLimits, ElementCountStopsBuilding)
{
    KTNSVGLimits limits;
    limits.maxElements = 10;
    QByteArray svg = R"~(<svg viewBox="0 0 4 4">)~";
    for (int i = 0; i < 100; ++i)
        svg += R"~(<rect width="1" height="1" fill="red"/>)~";
    svg += "</svg>";
    const auto doc = KTNSVGParserMgr::initWithSvgString(svg, limits);
    EXPECT_TRUE(doc->limitReached());
    EXPECT_EQ(doc->elements.size(), 10);
    EXPECT_FALSE(doc->exportImage().isNull()) << "what was built still renders";
}

TEST(WorkLimits, OutlineElementsPerDocument)
{
    KTNSVGLimits limits;
    limits.maxPathElements = 1000;
    QByteArray data = "M0 0";
    for (int i = 0; i < 5000; ++i)
        data += " L1 " + QByteArray::number(i % 7);
    QByteArray svg = R"~(<svg viewBox="0 0 4 4"><path stroke="red" d=")~" + data + R"~("/><path fill="red" d=")~" + data
        + R"~("/></svg>)~";
    const auto doc = KTNSVGParserMgr::initWithSvgString(svg, limits);
    EXPECT_TRUE(doc->limitReached());
    ASSERT_EQ(doc->elements.size(), 2) << "root and the first path; the second exceeds the budget";
    EXPECT_LE(doc->elements[1]->shape->path.elementCount(), 1000);
    // One element alone is capped as well.
    const auto single = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", QString::fromLatin1(data)}});
    EXPECT_EQ(single->shape->path.elementCount(), 5001);
}

TEST(WorkLimits, PaintingStopsWhenTheBudgetIsSpent)
{
    KTNSVGLimits limits;
    limits.drawing.workBudget = 16 * 16 * 3.5;
    limits.drawing.operationCost = 0;
    QByteArray svg = R"~(<svg viewBox="0 0 16 16">)~";
    for (int i = 0; i < 10; ++i)
        svg += R"~(<rect width="16" height="16" fill="#FF0000" fill-opacity="0.1"/>)~";
    svg += "</svg>";
    const auto limited = KTNSVGParserMgr::initWithSvgString(svg, limits);
    const auto full = KTNSVGParserMgr::initWithSvgString(svg);
    const int limitedAlpha = limited->exportImage().pixelColor(8, 8).alpha();
    const int fullAlpha = full->exportImage().pixelColor(8, 8).alpha();
    EXPECT_GT(limitedAlpha, 0);
    EXPECT_LT(limitedAlpha, fullAlpha);
}

TEST(WorkLimits, TinyClipsStillCostTheirOperation)
{
    // Every shape clipped by a clip path of many tiny outlines: the clip
    // operations number shapes × outlines. Each costs Qt a fixed amount
    // however small it is, so the budget must run out long before all of
    // them are done.
    KTNSvgElement svg(QStringLiteral("svg"), {{"viewBox", "0 0 1000 1000"}});
    KTNSvgElement clip(QStringLiteral("clipPath"), {{"id", "c"}});
    for (int i = 0; i < 1500; ++i)
        clip.childElements.append(KTNSvgElement(QStringLiteral("rect"), {{"width", "2"}, {"height", "2"}}));
    svg.childElements.append(clip);
    for (int i = 0; i < 1500; ++i)
        svg.childElements.append(KTNSvgElement(QStringLiteral("rect"),
                                               {{"width", "1"}, {"height", "1"}, {"fill", "red"}, {"clip-path", "url(#c)"}}));
    const auto doc = KTNSVGParserMgr::initWithElement(svg);
    ASSERT_EQ(doc->elements.size(), 1501);
    QImage image(1000, 1000, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    KTNSVGDrawContext context(painter, image.rect());
    for (const KTNSVGElementPtr &element : std::as_const(doc->elements))
        element->drawSVGWithCGContextRef(context, 1.0);
    EXPECT_TRUE(context.exhausted());
    EXPECT_LT(context.workSpent(), KTNSVGDrawLimits().workBudget * 1.01);
    // The first shapes were drawn before the budget ran out.
    EXPECT_TRUE(colorAt(image, 0, 0, kRed));
}

TEST(WorkLimits, DrawContextKnowsWhereDrawingCanShow)
{
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    KTNSVGDrawContext context(painter, image.rect());
    QPainterPath left;
    left.addRect(0, 0, 50, 100);
    QPainterPath top;
    top.addRect(0, 0, 100, 30);
    QPainterPath corner;
    corner.addRect(80, 80, 10, 10);
    ASSERT_TRUE(context.begin(1.0, false, QRectF(0, 0, 100, 100)));
    context.intersectClip(left);
    context.intersectClip(top);
    EXPECT_EQ(context.visibleRect(), QRectF(0, 0, 50, 30));
    // Nothing can show where the clip leaves nothing: such elements are
    // not begun at all.
    EXPECT_FALSE(context.begin(1.0, false, QRectF(60, 60, 10, 10)));
    ASSERT_TRUE(context.begin(0.5, true, QRectF(10, 10, 10, 10)));
    EXPECT_EQ(context.visibleRect(), QRectF(10, 10, 10, 10)) << "a layer covers the element's bounds";
    context.end();
    ASSERT_TRUE(context.begin(1.0, false, QRectF(0, 0, 100, 100)));
    context.replaceClip(corner);
    EXPECT_EQ(context.visibleRect(), QRectF(80, 80, 10, 10)) << "replacing drops the enclosing clips";
    context.fillPath(left, Qt::red);
    context.end();
    EXPECT_EQ(context.visibleRect(), QRectF(0, 0, 50, 30));
    context.fillPath(left, Qt::red);
    context.end();
    EXPECT_EQ(context.visibleRect(), QRectF(0, 0, 100, 100));
    painter.end();
    EXPECT_TRUE(colorAt(image, 10, 10, kRed));
    EXPECT_TRUE(isTransparent(image, 10, 40));
    EXPECT_TRUE(isTransparent(image, 85, 85)) << "the replaced clip lay outside the fill";
}

TEST(WorkLimits, LayersBeyondTheLimitsFallBackToOpacity)
{
    KTNSVGLimits limits;
    limits.drawing.maxLayerDepth = 2;
    QByteArray svg = R"~(<svg viewBox="0 0 4 4">)~";
    for (int i = 0; i < 6; ++i)
        svg += R"~(<g opacity="0.9">)~";
    svg += R"~(<rect width="4" height="4" fill="#000000"/>)~";
    for (int i = 0; i < 6; ++i)
        svg += "</g>";
    svg += "</svg>";
    const QImage limited = KTNSVGParserMgr::initWithSvgString(svg, limits)->exportImage();
    const QImage full = KTNSVGParserMgr::initWithSvgString(svg)->exportImage();
    // Either way the opacities multiply: 0.9^6 ≈ 0.53.
    EXPECT_NEAR(limited.pixelColor(1, 1).alpha(), 136, 3);
    EXPECT_NEAR(full.pixelColor(1, 1).alpha(), 136, 3);
}

TEST(BadFiles, OversizedFilesAreNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.svg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"~(<svg viewBox="0 0 4 4"><rect width="4" height="4" fill="red"/>)~");
    file.write(QByteArray(4096, ' '));
    file.write("</svg>");
    file.close();
    KTNSVGLimits limits;
    limits.maxFileBytes = 1024;
    const auto doc = KTNSVGParserMgr::initWithPath(path, limits);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->elements.isEmpty());
    EXPECT_TRUE(doc->limitReached());
    EXPECT_FALSE(KTNSVGParserMgr::initWithPath(path)->elements.isEmpty());
}

TEST(BadReferences, ManyReferencesToOneMaskShareItsChildren)
{
    QByteArray svg = R"~(<svg viewBox="0 0 4 4"><mask id="m" fill="white">)~";
    for (int i = 0; i < 200; ++i)
        svg += R"~(<rect width="4" height="4"/>)~";
    svg += "</mask>";
    for (int i = 0; i < 200; ++i)
        svg += R"~(<rect width="4" height="4" fill="red" mask="url(#m)"/>)~";
    svg += "</svg>";
    const auto doc = KTNSVGParserMgr::initWithElement(tree(svg.constData()));
    ASSERT_EQ(doc->elements.size(), 201);
    EXPECT_EQ(doc->elements[1]->maskElements.size(), 200);
    EXPECT_EQ(doc->elements[200]->maskElements[199]->parentElement(), doc->maskElements[0]);
    EXPECT_TRUE(colorAt(doc->exportImage(), 1, 1, kRed));
}

} // namespace
