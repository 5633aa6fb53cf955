// Presentation attributes, the class operations, inheritance from the parent
// and reference resolution.
#include <kalvo/svg/svgparser.h>

#include "svg_test_util.h"

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

using Base = KTNTKSVGBaseElement;

TEST(ClassOperations, UrlReferences)
{
    EXPECT_EQ(Base::parserUrlStringWithValue(QStringLiteral("url(#grad)")), QStringLiteral("grad"));
    EXPECT_EQ(Base::parserUrlStringWithValue(QStringLiteral("url(grad)")), QStringLiteral("grad"));
    EXPECT_FALSE(Base::parserUrlStringWithValue(QStringLiteral("url(#)")));
    EXPECT_FALSE(Base::parserUrlStringWithValue(QStringLiteral("url()")));
    EXPECT_FALSE(Base::parserUrlStringWithValue(QStringLiteral("url(#a) ")));
    EXPECT_FALSE(Base::parserUrlStringWithValue(QStringLiteral(" url(#a)")));
    EXPECT_FALSE(Base::parserUrlStringWithValue(QStringLiteral("#a")));
}

TEST(ClassOperations, DashArrays)
{
    EXPECT_TRUE(Base::parserStrokeDashArrayWithValue(QStringLiteral("none")).isEmpty());
    EXPECT_TRUE(Base::parserStrokeDashArrayWithValue(QStringLiteral("0,0")).isEmpty()) << "no dashes";
    EXPECT_TRUE(Base::parserStrokeDashArrayWithValue(QStringLiteral("2,-2")).isEmpty()) << "sums to zero";
    EXPECT_EQ(Base::parserStrokeDashArrayWithValue(QStringLiteral(" 4 , ,2 ")),
              (QStringList{QStringLiteral("4"), QStringLiteral("2")}));
    const QStringList nine = Base::parserStrokeDashArrayWithValue(QStringLiteral("1,2,3,4,5,6,7,8,9"));
    EXPECT_EQ(nine.size(), 8);
    EXPECT_EQ(nine.last(), QStringLiteral("8"));
    // Only commas separate: "5 3" is one part that reads as 5.
    EXPECT_EQ(Base::parserStrokeDashArrayWithValue(QStringLiteral("5 3")), QStringList{QStringLiteral("5 3")});
}

TEST(ClassOperations, KeywordsAndNumbers)
{
    EXPECT_EQ(Base::parserLineCapWithValue(QStringLiteral("Round")), 0) << "keywords are case-sensitive";
    EXPECT_EQ(Base::parserFloatWithValueString(QStringLiteral("12px")), 12);
    EXPECT_EQ(Base::parserFloatWithValueString(QStringLiteral(" -3.5e1")), -35);
    EXPECT_EQ(Base::parserFloatWithValueString(QStringLiteral("50%")), 50);
    EXPECT_EQ(Base::parserFloatWithValueString(QStringLiteral("px12")), 0);
    EXPECT_EQ(Base::parserFloatWithValueString(QString()), 0);

    EXPECT_EQ(Base::parserOpacityWithValueString(QStringLiteral("-0.5")), 1.0);
    EXPECT_EQ(Base::parserOpacityWithValueString(QStringLiteral("3")), 3.0) << "no upper clamp";
}

TEST(Attributes, FillAndStrokeKinds)
{
    const auto a = Base::create<KTNTKSVGPathElement>({{"fill", "#FF0000"}, {"stroke", "url(#g)"}});
    EXPECT_EQ(a->hasFill, 1);
    EXPECT_EQ(a->hasStroke, 2);
    EXPECT_EQ(a->strokeElementIdentifier, QStringLiteral("g"));
    EXPECT_EQ(a->strokeWidth, 1.0) << "a stroke without a width gets 1";
    EXPECT_TRUE(a->useDefaultStrokeWidth);

    const auto b = Base::create<KTNTKSVGPathElement>({{"fill", "none"}, {"stroke", "none"}, {"stroke-width", "0"}});
    EXPECT_EQ(b->hasFill, 0);
    EXPECT_EQ(b->hasStroke, 0);
    EXPECT_FALSE(b->useDefaultStrokeWidth);

    // Unknown names are the clear colour; "style" is not read.
    const auto c = Base::create<KTNTKSVGPathElement>({{"fill", "notacolour"}, {"style", "fill:red"}});
    EXPECT_EQ(c->hasFill, 1);
    EXPECT_EQ(c->fillColor.alpha(), 0);
}

TEST(Attributes, EightDigitColoursCarryTheirOwnOpacity)
{
    const auto e = Base::create<KTNTKSVGPathElement>({{"fill", "#FF000080"}, {"fill-opacity", "0.1"},
                                                      {"stroke", "#00FF0040"}, {"stroke-opacity", "0.9"}});
    EXPECT_NEAR(e->fillOpacity(), 128.0 / 255.0, 1e-9);
    EXPECT_NEAR(e->strokeOpacity(), 64.0 / 255.0, 1e-9);
    const auto f = Base::create<KTNTKSVGPathElement>({{"fill", "#FF0000"}, {"fill-opacity", "0.1"}});
    EXPECT_NEAR(f->fillOpacity(), 0.1, 1e-9);
    const auto prefixed = Base::create<KTNTKSVGPathElement>({{"fill", "0xFF000040"}});
    EXPECT_NEAR(prefixed->fillOpacity(), 64.0 / 255.0, 1e-9);
    // Long colour names end in letters that look like hex digits
    // ("orangered" ends in "ed"); they carry no alpha.
    const auto named = Base::create<KTNTKSVGPathElement>(
        {{"fill", "orangered"}, {"stroke", "palevioletred"}, {"stroke-opacity", "0.5"}});
    EXPECT_EQ(named->fillOpacity(), 1.0);
    EXPECT_EQ(named->strokeOpacity(), 0.5);
    const QImage image = renderText(R"~(<svg viewBox="0 0 2 2"><rect width="2" height="2" fill="mediumvioletred"/></svg>)~");
    EXPECT_EQ(image.pixelColor(1, 1).alpha(), 255);
}

TEST(Attributes, OddValuesOfOtherKeys)
{
    const auto e = Base::create<KTNTKSVGPathElement>({{"stroke-miterlimit", "0.00000001"}, {"offset", "50%"}});
    EXPECT_EQ(e->miterLimit, 0.0);
    EXPECT_EQ(e->stopOffset, 50) << "percentages read as plain numbers";
    // Empty values are not read at all.
    const auto g = Base::create<KTNTKSVGPathElement>({{"opacity", ""}});
    EXPECT_EQ(g->opacity, 1.0);
}

TEST(Attributes, RectCornerRadii)
{
    auto rect = [](KTNSVGAttributes a) {
        a.insert(QStringLiteral("width"), QStringLiteral("20"));
        a.insert(QStringLiteral("height"), QStringLiteral("10"));
        return Base::create<KTNTKSVGRectElement>(a);
    };
    const auto onlyRx = rect({{"rx", "4"}});
    EXPECT_EQ(onlyRx->rx, 4);
    EXPECT_EQ(onlyRx->ry, 4);
    const auto onlyRy = rect({{"ry", "3"}});
    EXPECT_EQ(onlyRy->rx, 3);
    const auto capped = rect({{"rx", "30"}});
    EXPECT_EQ(capped->rx, 10) << "half the width";
    EXPECT_EQ(capped->ry, 5) << "half the height";
}

TEST(Attributes, UnknownGradientKeywords)
{
    EXPECT_EQ(Base::create<KTNTKSVGRadialGradientElement>({{"spreadMethod", "sideways"}})->spread, 0);
    EXPECT_EQ(Base::create<KTNTKSVGRadialGradientElement>({{"gradientUnits", "x"}})->units, 1)
        << "anything but objectBoundingBox";
    EXPECT_EQ(Base::create<KTNTKSVGRadialGradientElement>({{"gradientUnits", "objectBoundingBox"}})->units, 0);
}

// ---- Inheritance ----

TEST(Inheritance, UnsetFillAndStrokeComeFromTheParent)
{
    const auto group = Base::create<KTNTKSVGGElement>(
        {{"fill", "#00FF00"}, {"stroke", "#0000FF"}, {"stroke-width", "3"}});
    const auto bare = Base::create<KTNTKSVGPathElement>({{"d", "M0 0 L1 1"}});
    const auto none = Base::create<KTNTKSVGPathElement>({{"d", "M0 0 L1 1"}, {"fill", "none"}});
    const auto own = Base::create<KTNTKSVGPathElement>({{"d", "M0 0 L1 1"}, {"fill", "#FF0000"}, {"stroke-width", "5"}});
    for (const auto &child : {bare, none, own})
        child->setParentElement(group);
    EXPECT_EQ(bare->hasFill, 1);
    EXPECT_EQ(bare->fillColor, QColor(0, 255, 0));
    EXPECT_EQ(bare->hasStroke, 1);
    EXPECT_EQ(bare->strokColor, QColor(0, 0, 255));
    EXPECT_EQ(bare->strokeWidth, 3);
    EXPECT_EQ(bare->shape->lineWidth, 3) << "the outline's line width follows";
    EXPECT_EQ(none->hasFill, 0) << "\"none\" is a value of its own, not inherited over";
    EXPECT_EQ(none->hasStroke, 1) << "what it does not say is inherited";
    EXPECT_EQ(own->fillColor, QColor(255, 0, 0));
    EXPECT_EQ(own->strokeWidth, 5);
}

TEST(Inheritance, RunsOncePerChangeOfParent)
{
    const auto red = Base::create<KTNTKSVGGElement>({{"fill", "#FF0000"}});
    const auto blue = Base::create<KTNTKSVGGElement>({{"fill", "#0000FF"}});
    const auto child = Base::create<KTNTKSVGPathElement>({{"d", "M0 0"}});
    child->setParentElement(red);
    EXPECT_EQ(child->parentElement(), red);
    EXPECT_EQ(child->fillColor, QColor(255, 0, 0));
    // Once set, the fill is the child's own: a new parent does not replace it.
    child->setParentElement(blue);
    EXPECT_EQ(child->fillColor, QColor(255, 0, 0));
}

TEST(Inheritance, TransformsAreAppendedWithoutMovingTheOutline)
{
    const auto group = Base::create<KTNTKSVGGElement>({{"transform", "translate(10 0)"}});
    const auto child = Base::create<KTNTKSVGRectElement>(
        {{"width", "1"}, {"height", "1"}, {"transform", "scale(2)"}});
    const auto plain = Base::create<KTNTKSVGRectElement>({{"width", "1"}, {"height", "1"}});
    child->setParentElement(group);
    plain->setParentElement(group);
    ASSERT_TRUE(child->transform.has_value());
    EXPECT_EQ(child->transform->map(QPointF(1, 1)), QPointF(12, 2));
    EXPECT_EQ(child->shape->path.boundingRect(), QRectF(0, 0, 2, 2));
    EXPECT_FALSE(plain->transform.has_value());
}

// ---- References ----

constexpr const char *kReferences = R"~(<svg viewBox="0 0 20 20">
  <defs>
    <linearGradient id="g"><stop offset="0" stop-color="#FF0000"/><stop offset="1" stop-color="#0000FF"/></linearGradient>
    <clipPath id="c"><rect width="5" height="5"/></clipPath>
    <mask id="m" fill="white"><rect width="6" height="6"/></mask>
  </defs>
  <rect id="filled" width="10" height="10" fill="url(#g)" stroke="url(#g)" clip-path="url(#c)" mask="url(#m)"/>
  <g id="group" fill="#000">
    <rect id="inner" width="4" height="4" fill="url(#g)" clip-path="url(#c)"/>
  </g>
  <rect id="missing" width="4" height="4" fill="url(#nope)" clip-path="url(#nope)"/>
</svg>)~";

KTNSVGElementPtr findById(const KTNSVGElementList &list, const QString &id)
{
    for (const KTNSVGElementPtr &e : list) {
        if (e->identifier == id)
            return e;
        if (auto *g = dynamic_cast<KTNTKSVGGElement *>(e.get())) {
            if (KTNSVGElementPtr found = findById(g->childElements, id))
                return found;
        }
    }
    return nullptr;
}

TEST(References, ResolvedAlikeOnBothWaysIn)
{
    const auto tree = parseTree(kReferences);
    for (const auto &doc : {parse(kReferences), parseTree(kReferences)}) {
        ASSERT_EQ(doc->gradientElements.size(), 1);
        EXPECT_EQ(doc->gradientElements[0]->colorStops.size(), 2);
        const KTNSVGElementPtr filled = findById(doc->elements, QStringLiteral("filled"));
        ASSERT_TRUE(filled);
        EXPECT_EQ(filled->fillElement, doc->gradientElements[0]);
        EXPECT_EQ(filled->strokeElement, doc->gradientElements[0]);
        ASSERT_EQ(filled->clipElements.size(), 1) << "clip paths keep their children";
        EXPECT_EQ(filled->clipElements[0]->shape->path.boundingRect(), QRectF(0, 0, 5, 5));
        const KTNSVGElementPtr inner = findById(doc->elements, QStringLiteral("inner"));
        ASSERT_TRUE(inner);
        EXPECT_EQ(inner->fillElement, doc->gradientElements[0]) << "resolved inside groups";
        EXPECT_EQ(inner->clipElements.size(), 1);
        // root, filled, group, missing: clip and mask children are not drawn
        EXPECT_EQ(doc->elements.size(), 4);
        const KTNSVGElementPtr missing = findById(doc->elements, QStringLiteral("missing"));
        ASSERT_TRUE(missing);
        EXPECT_FALSE(missing->fillElement);
        EXPECT_TRUE(missing->clipElements.isEmpty());
    }
    const KTNSVGElementPtr filled = findById(tree->elements, QStringLiteral("filled"));
    ASSERT_EQ(filled->maskElements.size(), 1);
    EXPECT_EQ(filled->maskElements[0]->parentElement(), tree->maskElements[0]) << "mask children adopted";
}

TEST(References, ClipAndMaskChildrenStayWithTheirOwnElement)
{
    // A "clipPath" or "mask" without attributes makes no element; its
    // children must not replace those of the one before it.
    const auto doc = parseTree(R"~(<svg viewBox="0 0 16 16">
        <clipPath id="c"><rect width="5" height="5"/></clipPath>
        <clipPath><rect width="1" height="1"/></clipPath>
        <mask id="m" fill="white"><rect width="6" height="6"/></mask>
        <mask><rect width="2" height="2"/></mask>
        <rect width="16" height="16" fill="red" clip-path="url(#c)" mask="url(#m)"/></svg>)~");
    ASSERT_EQ(doc->clipPathElements.size(), 1);
    ASSERT_EQ(doc->clipPathElements[0]->clipElements.size(), 1);
    EXPECT_EQ(doc->clipPathElements[0]->clipElements[0]->shape->path.boundingRect(), QRectF(0, 0, 5, 5));
    ASSERT_EQ(doc->maskElements.size(), 1);
    ASSERT_EQ(doc->maskElements[0]->maskElements.size(), 1);
    EXPECT_EQ(doc->maskElements[0]->maskElements[0]->shape->path.boundingRect(), QRectF(0, 0, 6, 6));
    const QImage image = doc->exportImage();
    EXPECT_TRUE(colorAt(image, 4, 4, QColor(255, 0, 0)));
    EXPECT_TRUE(isTransparent(image, 5, 5));
}

TEST(References, LastElementWithAnIdentifierWins)
{
    const auto doc = parseTree(R"~(<svg viewBox="0 0 4 4">
        <linearGradient id="g" x1="1"/><linearGradient id="g" x1="2"/>
        <rect width="1" height="1" fill="url(#g)"/></svg>)~");
    ASSERT_EQ(doc->gradientElements.size(), 2);
    EXPECT_EQ(doc->getElementGradientWithGradientIdentifier(QStringLiteral("g")), doc->gradientElements[1]);
    EXPECT_FALSE(doc->getElementGradientWithGradientIdentifier(QString()));
}

TEST(References, StopsOutsideGradientsAreDropped)
{
    const auto doc = parse(R"~(<svg viewBox="0 0 4 4"><stop offset="0" stop-color="red"/>
        <linearGradient id="a"><stop offset="0.5" stop-color="red" stop-opacity="0.5"/></linearGradient>
        <stop offset="1" stop-color="blue"/></svg>)~");
    ASSERT_EQ(doc->gradientElements.size(), 1);
    const auto &stops = doc->gradientElements[0]->colorStops;
    ASSERT_EQ(stops.size(), 1) << "only the gradient's own stops";
    EXPECT_EQ(stops[0]->stopOffset, 0.5);
    EXPECT_EQ(stops[0]->stopOpacity, 0.5);
    EXPECT_EQ(stops[0]->stopColor, QColor(255, 0, 0));
}

} // namespace
