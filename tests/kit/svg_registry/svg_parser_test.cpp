#include <kalvo/svg/svgmgr.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

int depthOf(const KTNSvgElement &element)
{
    int deepest = 0;
    for (const KTNSvgElement &child : element.childElements)
        deepest = std::max(deepest, depthOf(child));
    return deepest + 1;
}

TEST(SvgFileParser, BuildsTheTreeInsideThePseudoFileElement)
{
    const QByteArray svg = R"(<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:sketch="http://example.org/sketch" viewBox="0 0 16 16">
  <tarn style="hover" value="*#FF0000"/>
  <files><g id="kept"><path d="M0 0 L4 4" sketch:type="MSShape"/></g></files>
  <rect width="4" height="4"/>
  <defs><tarn style="pressed" value=":#00FF00"/></defs>
</svg>)";
    const KTNSVGMgr::ParsedFile parsed = KTNSVGMgr::parseSvgData(svg, QStringLiteral("icon.svg"));
    EXPECT_TRUE(parsed.complete);
    EXPECT_TRUE(parsed.error.isEmpty());
    EXPECT_EQ(parsed.file.elementName, QStringLiteral("file"));
    EXPECT_EQ(parsed.file.attribute.value(QStringLiteral("name")), QStringLiteral("icon.svg"));
    ASSERT_EQ(parsed.file.childElements.size(), 1);

    const KTNSvgElement &root = parsed.file.childElements.first();
    EXPECT_EQ(root.elementName, QStringLiteral("svg"));
    EXPECT_EQ(root.attribute.value(QStringLiteral("viewBox")), QStringLiteral("0 0 16 16"));
    ASSERT_EQ(root.childElements.size(), 3) << "g (out of files), rect, defs";
    EXPECT_EQ(root.childElements[0].elementName, QStringLiteral("g"));
    EXPECT_EQ(root.childElements[0].childElements[0].attribute.value(QStringLiteral("sketch:type")),
              QStringLiteral("MSShape"));
    EXPECT_EQ(root.childElements[1].elementName, QStringLiteral("rect"));
    EXPECT_TRUE(root.childElements[2].childElements.isEmpty()) << "declarations are not drawing elements";

    ASSERT_EQ(parsed.declarations.size(), 2);
    EXPECT_EQ(parsed.declarations[0].attribute.value(QStringLiteral("style")), QStringLiteral("hover"));
    EXPECT_EQ(parsed.declarations[1].attribute.value(QStringLiteral("value")), QStringLiteral(":#00FF00"));
}

TEST(SvgFileParser, ARejectedFileKeepsWhatWasReadBeforeTheError)
{
    const QByteArray broken = R"(<svg viewBox="0 0 4 4"><rect width="4" height="4"/><g><path d="M0 0"/><oops </g>)";
    const KTNSVGMgr::ParsedFile parsed = KTNSVGMgr::parseSvgData(broken, QStringLiteral("broken"));
    EXPECT_FALSE(parsed.complete);
    EXPECT_FALSE(parsed.error.isEmpty());
    ASSERT_EQ(parsed.file.childElements.size(), 1);
    const KTNSvgElement &svg = parsed.file.childElements.first();
    ASSERT_EQ(svg.childElements.size(), 2) << "the open g was closed";
    EXPECT_EQ(svg.childElements[1].childElements.size(), 1);

    const KTNSVGMgr::ParsedFile empty = KTNSVGMgr::parseSvgData(QByteArray(), QStringLiteral("empty"));
    EXPECT_FALSE(empty.complete);
    EXPECT_TRUE(empty.file.childElements.isEmpty());
}

TEST(SvgFileParser, BytesThatAreNotUtf8EndTheReadingLikeAnyOtherError)
{
    // A Latin-1 copyright sign in a comment after the drawing: the reader
    // alone would refuse the whole buffer.
    const QByteArray latin1Comment = "<svg viewBox=\"0 0 4 4\"><rect width=\"4\" height=\"4\"/>"
                                     "<g><path d=\"M0 0 L4 4\"/></g><!-- \xA9 2020 --><circle r=\"1\"/></svg>";
    const KTNSVGMgr::ParsedFile cut = KTNSVGMgr::parseSvgData(latin1Comment, QStringLiteral("latin1"));
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(cut.error.contains(QStringLiteral("UTF-8"))) << cut.error.toStdString();
    ASSERT_EQ(cut.file.childElements.size(), 1);
    const KTNSvgElement &svg = cut.file.childElements.first();
    ASSERT_EQ(svg.childElements.size(), 2) << "rect and g before the bad byte; nothing after it";
    EXPECT_EQ(svg.childElements[1].childElements.size(), 1);

    // Overlong forms, surrogates and a sequence cut short are bad bytes too.
    for (const QByteArray &bad : {QByteArray("\xC0\xAF"), QByteArray("\xED\xA0\x80"), QByteArray("\xE2\x82")}) {
        const KTNSVGMgr::ParsedFile parsed =
            KTNSVGMgr::parseSvgData("<svg><rect/>" + bad + "<rect/></svg>", QStringLiteral("bad"));
        ASSERT_EQ(parsed.file.childElements.size(), 1);
        EXPECT_EQ(parsed.file.childElements.first().childElements.size(), 1) << bad.toHex().toStdString();
    }

    // Proper UTF-8 and a file that names its own encoding are read whole.
    const KTNSVGMgr::ParsedFile utf8 =
        KTNSVGMgr::parseSvgData("<svg><title>\xC2\xA9 \xE2\x82\xAC</title><rect/></svg>", QStringLiteral("utf8"));
    EXPECT_TRUE(utf8.complete);
    EXPECT_EQ(utf8.file.childElements.first().childElements.size(), 2);
    const KTNSVGMgr::ParsedFile declared = KTNSVGMgr::parseSvgData(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><svg><title>\xA9</title><rect fill=\"red\"/></svg>",
        QStringLiteral("declared"));
    EXPECT_TRUE(declared.complete) << declared.error.toStdString();
    ASSERT_EQ(declared.file.childElements.first().childElements.size(), 2);
    EXPECT_EQ(declared.file.childElements.first().childElements[1].attribute.value(QStringLiteral("fill")),
              QStringLiteral("red"));
}

TEST(SvgFileParser, HostileFilesAreCutAtTheLimits)
{
    QByteArray deep = "<svg>";
    for (int i = 0; i < 5000; ++i)
        deep += "<g>";
    const KTNSVGMgr::ParsedFile nested = KTNSVGMgr::parseSvgData(deep, QStringLiteral("deep"));
    EXPECT_FALSE(nested.complete);
    EXPECT_LE(depthOf(nested.file), KTNSVGMgr::kMaxDepth + 1);

    QByteArray wide = "<svg>";
    for (int i = 0; i < KTNSVGMgr::kMaxElements + 100; ++i)
        wide += "<tarn/><rect/>";
    wide += "</svg>";
    const KTNSVGMgr::ParsedFile many = KTNSVGMgr::parseSvgData(wide, QStringLiteral("wide"));
    EXPECT_FALSE(many.complete);
    const qsizetype counted = many.declarations.size() + many.file.childElements.first().childElements.size() + 1;
    EXPECT_EQ(counted, KTNSVGMgr::kMaxElements);

    const QByteArray laughs = R"(<?xml version="1.0"?>
<!DOCTYPE svg [
 <!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">
 <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
 <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
 <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
 <!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
]>
<svg><rect id="&e;"/></svg>)";
    const KTNSVGMgr::ParsedFile bomb = KTNSVGMgr::parseSvgData(laughs, QStringLiteral("bomb"));
    EXPECT_FALSE(bomb.complete) << "entity expansion is limited";

    const QByteArray huge(KTNSVGMgr::kMaxFileSize + 1, ' ');
    const KTNSVGMgr::ParsedFile large = KTNSVGMgr::parseSvgData(huge, QStringLiteral("large"));
    EXPECT_FALSE(large.complete);
    EXPECT_TRUE(large.file.childElements.isEmpty());
}

} // namespace
