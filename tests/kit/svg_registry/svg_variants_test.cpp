#include <kalvo/svg/svgmgr.h>
#include <kalvo/svg/svgparser.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

KTNSvgElement node(const QString &name, QMap<QString, QString> attributes, QList<KTNSvgElement> children = {})
{
    KTNSvgElement element(name, std::move(attributes));
    element.childElements = std::move(children);
    return element;
}

KTNSvgElement tarn(const QString &value)
{
    return node(QStringLiteral("tarn"), {{QStringLiteral("style"), QStringLiteral("v")}, {QStringLiteral("value"), value}});
}

// svg(stroke none, fill blue) > path(stroke black, fill black), rect(fill yellow)
KTNSvgElement sampleTree()
{
    return node(QStringLiteral("svg"), {{QStringLiteral("stroke"), QStringLiteral("none")}, {QStringLiteral("fill"), QStringLiteral("blue")}},
                {node(QStringLiteral("path"), {{QStringLiteral("stroke"), QStringLiteral("black")}, {QStringLiteral("fill"), QStringLiteral("black")}, {QStringLiteral("d"), QStringLiteral("M0 0")}}),
                 node(QStringLiteral("rect"), {{QStringLiteral("fill"), QStringLiteral("yellow")}})});
}

TEST(SvgNames, ScaleFromNameAndCacheKey)
{
    EXPECT_EQ(KTNSVGMgr::getScaleFromName(QStringLiteral("icon@2x")), 2.0);
    EXPECT_EQ(KTNSVGMgr::getScaleFromName(QStringLiteral("icon")), 1.0);
    EXPECT_EQ(KTNSVGMgr::getScaleFromName(QStringLiteral("a@b@3x")), 3.0) << "after the last @";
    EXPECT_EQ(KTNSVGMgr::getScaleFromName(QStringLiteral("icon@1.5x")), 1.5);
    EXPECT_EQ(KTNSVGMgr::getScaleFromName(QStringLiteral("icon@x")), 0.0) << "no number reads as 0";
    EXPECT_EQ(KTNSVGMgr::cacheKey(QStringLiteral("icon"), 1.005), QStringLiteral("icon&s1.00&"));
}

TEST(SvgVariants, ScaleAndColourItemsApplyInPreOrder)
{
    const KTNSvgElement out = KTNSVGMgr::generateWithSvgElement(sampleTree(), tarn(QStringLiteral("x2|*#FF0000|:#00FF00")));
    EXPECT_EQ(out.scale, 2.0);
    EXPECT_EQ(out.attribute.value(QStringLiteral("stroke")), QStringLiteral("#FF0000"));
    EXPECT_EQ(out.attribute.value(QStringLiteral("fill")), QStringLiteral("#FF0000"));
    const KTNSvgElement &path = out.childElements.at(0);
    EXPECT_EQ(path.attribute.value(QStringLiteral("fill")), QStringLiteral("#00FF00"));
    EXPECT_EQ(path.attribute.value(QStringLiteral("stroke")), QStringLiteral("none"));
    EXPECT_EQ(path.attribute.value(QStringLiteral("d")), QStringLiteral("M0 0")) << "other attributes stay";
    EXPECT_EQ(out.childElements.at(1), sampleTree().childElements.at(1)) << "past the list: unchanged";
}

TEST(SvgVariants, NumberingFollowsTheWholeTreeNotEachLevel)
{
    // svg > g > (p1, p2), rect: pre-order svg, g, p1, p2, rect.
    const KTNSvgElement tree = node(QStringLiteral("svg"), {},
                                    {node(QStringLiteral("g"), {}, {node(QStringLiteral("path"), {}), node(QStringLiteral("path"), {})}),
                                     node(QStringLiteral("rect"), {})});
    const KTNSvgElement out = KTNSVGMgr::generateWithSvgElement(tree, tarn(QStringLiteral(":a|:b|:c|:d|:e")));
    EXPECT_EQ(out.attribute.value(QStringLiteral("fill")), QStringLiteral("a"));
    EXPECT_EQ(out.childElements[0].attribute.value(QStringLiteral("fill")), QStringLiteral("b"));
    EXPECT_EQ(out.childElements[0].childElements[0].attribute.value(QStringLiteral("fill")), QStringLiteral("c"));
    EXPECT_EQ(out.childElements[0].childElements[1].attribute.value(QStringLiteral("fill")), QStringLiteral("d"));
    EXPECT_EQ(out.childElements[1].attribute.value(QStringLiteral("fill")), QStringLiteral("e"));
    EXPECT_EQ(out.scale, 1.0);
}

TEST(SvgVariants, EmptyItemsStarsAndMissingParts)
{
    const KTNSvgElement original = sampleTree();
    const KTNSvgElement out = KTNSVGMgr::generateWithSvgElement(original, tarn(QStringLiteral("|**#123**|#456")));
    EXPECT_EQ(out.attribute, original.attribute) << "an empty item leaves its node alone";
    EXPECT_EQ(out.childElements[0].attribute.value(QStringLiteral("stroke")), QStringLiteral("#123"));
    EXPECT_EQ(out.childElements[0].attribute.value(QStringLiteral("fill")), QStringLiteral("#123"));
    EXPECT_EQ(out.childElements[1].attribute.value(QStringLiteral("stroke")), QStringLiteral("#456"));
    EXPECT_EQ(out.childElements[1].attribute.value(QStringLiteral("fill")), QStringLiteral("none"))
        << "a missing fill part means none, also where a group would hand down its fill";

    EXPECT_EQ(KTNSVGMgr::generateWithSvgElement(original, std::nullopt), original);
    EXPECT_EQ(KTNSVGMgr::generateWithSvgElement(original, tarn(QStringLiteral("xz|"))).scale, 0.0);
    const KTNSvgElement noValue = KTNSVGMgr::generateWithSvgElement(original, node(QStringLiteral("tarn"), {}));
    EXPECT_EQ(noValue.attribute, original.attribute);
    EXPECT_EQ(noValue.childElements, original.childElements);
}

TEST(SvgVariants, ColoursBeatStyleSheetsAndStyleAttributes)
{
    // svg > style, rect (class rule), rect (style attribute): pre-order
    // svg, style, rect, rect.
    KTNSvgElement sheet = node(QStringLiteral("style"), {});
    sheet.text = QStringLiteral(".k { fill: #ff0000 }");
    const KTNSvgElement tree = node(
        QStringLiteral("svg"), {{QStringLiteral("viewBox"), QStringLiteral("0 0 20 10")}},
        {sheet,
         node(QStringLiteral("rect"), {{QStringLiteral("class"), QStringLiteral("k")}, {QStringLiteral("width"), QStringLiteral("10")},
                                       {QStringLiteral("height"), QStringLiteral("10")}}),
         node(QStringLiteral("rect"), {{QStringLiteral("style"), QStringLiteral("fill: #ff0000")}, {QStringLiteral("x"), QStringLiteral("10")},
                                       {QStringLiteral("width"), QStringLiteral("10")}, {QStringLiteral("height"), QStringLiteral("10")}})});
    const QImage before = KTNSVGParserMgr::initWithElement(tree)->exportImage();
    ASSERT_FALSE(before.isNull());
    EXPECT_EQ(before.pixelColor(5, 5), QColor(255, 0, 0));

    const KTNSvgElement out = KTNSVGMgr::generateWithSvgElement(tree, tarn(QStringLiteral("||:#00ff00|:#0000ff")));
    const QImage after = KTNSVGParserMgr::initWithElement(out)->exportImage();
    ASSERT_FALSE(after.isNull());
    EXPECT_EQ(after.pixelColor(5, 5), QColor(0, 255, 0)) << "over the class rule";
    EXPECT_EQ(after.pixelColor(15, 5), QColor(0, 0, 255)) << "over the style attribute";
    EXPECT_EQ(out.childElements[1].attribute.value(QStringLiteral("fill")), QStringLiteral("#00ff00"));
}

TEST(SvgVariants, UpdateElementReportsWhereItStopped)
{
    KTNSvgElement tree = sampleTree();
    qsizetype index = 0;
    KTNSVGMgr::updateElement(tree, {QStringLiteral(":x"), QStringLiteral(":y"), QStringLiteral(":z")}, index);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(tree.childElements[1].attribute.value(QStringLiteral("fill")), QStringLiteral("z"));
}

} // namespace
