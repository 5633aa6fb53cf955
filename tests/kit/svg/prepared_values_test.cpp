// Prepared values reach the elements as typed values; the same values
// written out as attributes must build the same elements and pictures.
#include "svg_test_util.h"

#include <functional>
#include <typeinfo>

namespace kalvo {

// Builds a document with either handover.
struct KTNSVGParserMgrTesting
{
    static std::unique_ptr<KTNSVGParserMgr> build(const QByteArray &svg, bool typed)
    {
        auto document = std::make_unique<KTNSVGParserMgr>();
        document->m_typedHandover = typed;
        document->parseBytes(svg);
        return document;
    }
};

} // namespace kalvo

using namespace kalvo;

namespace {

void expectSameElement(const KTNSVGElementPtr &a, const KTNSVGElementPtr &b, const std::string &where);

void expectSameList(const KTNSVGElementList &a, const KTNSVGElementList &b, const std::string &where)
{
    ASSERT_EQ(a.size(), b.size()) << where;
    for (qsizetype i = 0; i < a.size(); ++i)
        expectSameElement(a[i], b[i], where + "/" + std::to_string(i));
}

void expectSameElement(const KTNSVGElementPtr &a, const KTNSVGElementPtr &b, const std::string &where)
{
    ASSERT_EQ(!a, !b) << where;
    if (!a)
        return;
    const std::string at = where + " " + typeid(*a).name() + " #" + a->identifier.toStdString();
    ASSERT_EQ(typeid(*a), typeid(*b)) << at;
    EXPECT_EQ(a->identifier, b->identifier) << at;
    EXPECT_EQ(a->transform, b->transform) << at;
    EXPECT_EQ(a->hasFill, b->hasFill) << at;
    EXPECT_EQ(a->hasStroke, b->hasStroke) << at;
    EXPECT_EQ(a->fillColor, b->fillColor) << at;
    EXPECT_EQ(a->strokColor, b->strokColor) << at;
    EXPECT_EQ(a->fillColorStr, b->fillColorStr) << at;
    EXPECT_EQ(a->strokColorStr, b->strokColorStr) << at;
    EXPECT_EQ(a->fillElementIdentifier, b->fillElementIdentifier) << at;
    EXPECT_EQ(a->strokeElementIdentifier, b->strokeElementIdentifier) << at;
    EXPECT_EQ(a->clipPathIdentifier, b->clipPathIdentifier) << at;
    EXPECT_EQ(a->maskIdentifier, b->maskIdentifier) << at;
    EXPECT_EQ(a->opacity, b->opacity) << at;
    EXPECT_EQ(a->fillOpacity(), b->fillOpacity()) << at;
    EXPECT_EQ(a->strokeOpacity(), b->strokeOpacity()) << at;
    EXPECT_EQ(a->strokeWidth, b->strokeWidth) << at;
    EXPECT_EQ(a->useDefaultStrokeWidth, b->useDefaultStrokeWidth) << at;
    EXPECT_EQ(a->strokeDashArray, b->strokeDashArray) << at;
    EXPECT_EQ(a->strokeDashOffset, b->strokeDashOffset) << at;
    EXPECT_EQ(a->strokeLineCap, b->strokeLineCap) << at;
    EXPECT_EQ(a->strokeLineJoin, b->strokeLineJoin) << at;
    EXPECT_EQ(a->miterLimit, b->miterLimit) << at;
    EXPECT_EQ(a->fillRule, b->fillRule) << at;
    ASSERT_EQ(a->shape.has_value(), b->shape.has_value()) << at;
    if (a->shape) {
        EXPECT_EQ(a->shape->path, b->shape->path) << at;
        EXPECT_EQ(a->shape->lineWidth, b->shape->lineWidth) << at;
        EXPECT_EQ(a->shape->lineDash, b->shape->lineDash) << at;
    }
    if (auto *rect = dynamic_cast<KTNTKSVGRectElement *>(a.get())) {
        auto *other = static_cast<KTNTKSVGRectElement *>(b.get());
        EXPECT_EQ(std::vector({rect->x, rect->y, rect->width, rect->height, rect->rx, rect->ry}),
                  std::vector({other->x, other->y, other->width, other->height, other->rx, other->ry}))
            << at;
    }
    expectSameList(a->clipElements, b->clipElements, at + " clip");
    expectSameList(a->maskElements, b->maskElements, at + " mask");
    if (auto *group = dynamic_cast<KTNTKSVGGElement *>(a.get()))
        expectSameList(group->childElements, static_cast<KTNTKSVGGElement *>(b.get())->childElements, at);
}

void expectSameDocument(const char *svg)
{
    SCOPED_TRACE(svg);
    const auto typed = KTNSVGParserMgrTesting::build(QByteArray(svg), true);
    const auto text = KTNSVGParserMgrTesting::build(QByteArray(svg), false);
    expectSameList(typed->elements, text->elements, "elements");
    expectSameList(typed->clipPathElements, text->clipPathElements, "clip paths");
    expectSameList(typed->maskElements, text->maskElements, "masks");
    ASSERT_EQ(typed->gradientElements.size(), text->gradientElements.size());
    for (double scale : {1.0, 2.7}) {
        const QImage a = typed->exportImageWithScale(scale);
        EXPECT_FALSE(a.isNull());
        EXPECT_EQ(a, text->exportImageWithScale(scale)) << "scale " << scale;
    }
}

TEST(PreparedValues, TypedHandoverBuildsWhatTextWould)
{
    const char *documents[] = {
        // Style sheets and style attributes over presentation attributes.
        R"~(<svg viewBox="0 0 24 24"><style>.a { fill: #0a0 } #b { stroke: blue !important }</style>
           <rect class="a" width="10" height="10" fill="red" style="fill-opacity: .5"/>
           <circle id="b" cx="16" cy="16" r="5" stroke="red" style="stroke: red; stroke-width: 1.5"/></svg>)~",
        // Inheritance through groups: none, currentColor with and without a
        // document colour, colours with alpha, visibility, named and
        // verbatim colours.
        R"~(<svg viewBox="0 0 24 24" fill="none" stroke="currentColor" stroke-width="2" stroke-linecap="round">
           <path d="M2 2h20"/><g color="rgba(255,0,0,0.5)" stroke-linejoin="bevel">
           <path d="M2 6h20" fill="currentColor"/><path d="M2 8h20" stroke="none"/></g>
           <g fill="orangered" opacity="0.7"><rect y="10" width="5" height="5"/>
           <rect x="6" y="10" width="5" height="5" fill="#ff000080"/><rect x="12" y="10" width="5" height="5" fill="0x00ff00"/>
           <rect x="18" y="10" width="5" height="5" fill="hsl(120, 100%, 25%)" visibility="hidden"/></g>
           <polyline points="1,20 5,22 9,20" stroke-dasharray="2mm, 1" stroke-dashoffset="0.3"
                     stroke-miterlimit="7" stroke-linejoin="arcs"/><polygon points="12,18 16,23 20,18" fill="#abc"/>
           <path d="" fill="red"/><line x1="0" y1="23" x2="24" y2="23.5" stroke-width="0.33333333333333"/></svg>)~",
        // Transforms composed from groups, use, symbol and nested svg (with
        // its viewport clip and a clip path of its own).
        R"~(<svg viewBox="0 0 24 24"><defs><symbol id="s" viewBox="0 0 10 10"><circle cx="5" cy="5" r="4"/></symbol>
           <path id="p" d="M0 0L4 4"/><clipPath id="c"><rect width="12" height="12"/></clipPath></defs>
           <g transform="rotate(30 12 12) scale(0.7)"><use href="#s" x="2" y="3" width="7" height="7" fill="teal"/>
           <use xlink:href="#p" transform="translate(1 1)" stroke="black"/></g>
           <svg x="12" y="12" width="10" height="10" viewBox="0 0 5 5" clip-path="url(#c)">
           <rect x="-1" y="-1" width="7" height="7" fill="purple"/></svg></svg>)~",
        // Gradients with href chains, a missing gradient with a fallback, a
        // clip path in object units and a mask.
        R"~(<svg viewBox="0 0 24 24"><defs>
           <linearGradient id="base"><stop offset="0" stop-color="red"/><stop offset="1" stop-color="blue" stop-opacity=".5"/></linearGradient>
           <linearGradient id="g" href="#base" x2="0" y2="1"/><radialGradient id="r" xlink:href="#base" fx="0.3"/>
           <clipPath id="half" clipPathUnits="objectBoundingBox"><rect width="0.5" height="1"/></clipPath>
           <mask id="m"><rect width="24" height="12" fill="white"/></mask></defs>
           <rect width="12" height="12" fill="url(#g)" stroke="url(#r)" clip-path="url(#half)"/>
           <ellipse cx="18" cy="6" rx="auto" ry="4" fill="url(#missing) green" mask="url(#m)"/>
           <circle cx="6" cy="18" r="5" fill="url(#r)" fill-opacity="0.5"/></svg>)~",
        // Units and radii: percentages, mm, em, a zero radius, a negative
        // one, a root size in other proportions than its view box.
        R"~(<svg width="48" height="24" viewBox="0 0 24 24" style="font-size: 2px">
           <rect x="10%" y="1mm" width="2em" height="50%" rx="0" ry="5" fill="green"/>
           <rect x="12" y="2" width="8" height="8" rx="-1" ry="2pt" fill-rule="evenodd"/>
           <circle cx="18" cy="18" r="1e1%" fill="none" stroke="black" stroke-width="1pt"/></svg>)~",
    };
    for (const char *svg : documents)
        expectSameDocument(svg);
}

TEST(PreparedValues, ValuesAreWhatTheirTextReadsAs)
{
    // Prepared numbers keep twelve significant digits, as the text the
    // preparation once wrote did; colours keep their normalised text.
    const auto document = svgtest::parse(R"~(<svg viewBox="0 0 24 24" stroke="currentColor">
        <g transform="rotate(30)"><line x2="10" stroke-width="0.33333333333333" fill="#abc"/></g>
        <rect width="10" height="10" rx="0" ry="3" fill="rgba(255,0,0,0.5)" stroke="none"/></svg>)~");
    KTNSVGElementList shapes;
    std::function<void(const KTNSVGElementList &)> collect = [&](const KTNSVGElementList &list) {
        for (const KTNSVGElementPtr &element : list) {
            if (auto *group = dynamic_cast<KTNTKSVGGElement *>(element.get()))
                collect(group->childElements);
            else if (element->shape)
                shapes.append(element);
        }
    };
    collect(document->elements);
    ASSERT_EQ(shapes.size(), 2);
    const auto &line = shapes[0];
    EXPECT_EQ(line->strokeWidth, 0.333333333333);
    EXPECT_EQ(line->strokColorStr, QStringLiteral("currentColor"));
    EXPECT_EQ(line->fillColorStr, QStringLiteral("#aabbcc"));
    EXPECT_EQ(line->fillColor, QColor(0xaa, 0xbb, 0xcc));
    ASSERT_TRUE(line->transform);
    EXPECT_EQ(line->transform->m11(), 0.866025403784);
    EXPECT_EQ(line->transform->m12(), 0.5);
    auto *rect = dynamic_cast<KTNTKSVGRectElement *>(shapes[1].get());
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->rx, 0.0) << "a zero radius makes the other zero too";
    EXPECT_EQ(rect->ry, 0.0);
    EXPECT_EQ(rect->fillColorStr, QStringLiteral("#ff0000"));
    EXPECT_EQ(rect->fillOpacity(), 0.500007629395) << "the colour's alpha, to twelve digits";
    EXPECT_EQ(rect->hasStroke, 0);
}

// The typed handover picks the element class from the name by length and
// first letter; every name the text handover knows, and names one letter or
// one case away from them, must build the same (or no) element.
TEST(PreparedValues, ElementNamesPickTheSameClasses)
{
    expectSameDocument(R"~(<svg viewBox="0 0 24 24"><defs>
       <linearGradient id="l"><stop offset="0" stop-color="red"/><stop offset="1" stop-color="blue"/></linearGradient>
       <radialGradient id="r"><stop offset="0" stop-color="#0f0"/><stop offset="1" stop-color="#00f"/></radialGradient>
       <clipPath id="c"><rect width="20" height="20"/></clipPath>
       <mask id="m"><rect width="24" height="24" fill="white"/></mask></defs>
       <g clip-path="url(#c)" mask="url(#m)"><path d="M1 1h6v6z" fill="url(#l)"/>
       <circle cx="12" cy="4" r="3" fill="url(#r)"/><rect x="16" y="1" width="6" height="6"/>
       <ellipse cx="4" cy="12" rx="3" ry="2"/><line x1="9" y1="9" x2="15" y2="15" stroke="black"/>
       <polyline points="16,9 22,12 16,15" stroke="red" fill="none"/><polygon points="1,17 7,17 4,22"/>
       <svg x="12" y="12" width="12" height="12" viewBox="0 0 2 2"><rect width="1" height="1"/></svg></g>
       <G><rect width="24" height="24"/></G><Path d="M0 0h24v24z"/><paths d="M0 0h24v24z"/>
       <lineargradient id="x"/><clippath id="y"><rect width="2" height="2"/></clippath>
       <pathx d="M0 0h9v9z"/><rects width="9" height="9"/><masks/><Circle r="9"/><ellipsE rx="9" ry="9"/>
       <polygoN points="0,0 9,0 9,9"/><Polyline points="0,0 9,0 9,9"/><radialGradienT id="z"/><svG/></svg>)~");
}

// The document picks classes without the class map; for every name in the
// map it must make what the map's factory makes.
TEST(PreparedValues, DocumentClassesMatchTheClassMap)
{
    const auto &map = KTNTKSVGBaseElement::classMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString &name = it.key();
        SCOPED_TRACE(name.toStdString());
        // A nested "svg" becomes a group; the root is the one to look at.
        const QByteArray inner = "<rect width=\"1\" height=\"1\"/>";
        const QByteArray svg = name == QStringLiteral("svg")
            ? "<svg id=\"e\" viewBox=\"0 0 8 8\">" + inner + "</svg>"
            : "<svg viewBox=\"0 0 8 8\"><" + name.toUtf8() + " id=\"e\" width=\"2\">" + inner + "</"
                + name.toUtf8() + "></svg>";
        for (bool typed : {true, false}) {
            const auto document = KTNSVGParserMgrTesting::build(svg, typed);
            KTNSVGElementList all = document->elements + document->clipPathElements + document->maskElements;
            for (const auto &gradient : std::as_const(document->gradientElements))
                all.append(gradient);
            KTNSVGElementPtr found;
            for (const auto &element : std::as_const(all)) {
                if (element && element->identifier == QStringLiteral("e"))
                    found = element;
            }
            ASSERT_TRUE(found) << "typed " << typed;
            const KTNSVGElementPtr expected = (*it)();
            EXPECT_EQ(typeid(*found), typeid(*expected)) << "typed " << typed;
        }
    }
}

} // namespace
