// Documents: view boxes and image sizes, the element lists of the two ways
// in, group nesting, files and the helper's entry points.
#include <kalvo/svg/svglibhelper.h>
#include <kalvo/svg/svgparser.h>

#include "svg_test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

constexpr const char *kSquare = R"~(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24">
  <rect x="0" y="0" width="24" height="24" fill="#FF0000"/></svg>)~";

TEST(ViewBox, SizesTheImage)
{
    const auto doc = parse(kSquare);
    EXPECT_EQ(doc->viewBox, QRectF(0, 0, 24, 24));
    EXPECT_EQ(doc->exportImageWithScale(1.5).size(), QSize(36, 36));
    EXPECT_EQ(doc->exportImage().format(), QImage::Format_ARGB32_Premultiplied);
}

TEST(ViewBox, CommaSeparatedReadsOnlyTheFirstNumber)
{
    const auto doc = parse(R"~(<svg viewBox="0,0,24,24"><rect width="4" height="4" fill="red"/></svg>)~");
    EXPECT_EQ(doc->viewBox, QRectF(0, 0, 0, 0));
    EXPECT_TRUE(doc->isEmptySizeBox());
    EXPECT_TRUE(doc->exportImage().isNull());
}

TEST(ViewBox, WidthAndHeightOrTheDefault)
{
    EXPECT_EQ(parse(R"~(<svg width="24px" height="12"><rect/></svg>)~")->viewBox, QRectF(0, 0, 24, 12));
    EXPECT_EQ(parse(R"~(<svg width="24"><rect/></svg>)~")->viewBox, QRectF(0, 0, 16, 16));
    EXPECT_EQ(parse(R"~(<svg xmlns="x"><rect x="1"/></svg>)~")->exportImage().size(), QSize(16, 16));
    // The origin is the image's top left corner.
    const auto shifted = parse(R"~(<svg viewBox="10 10 4 4"><rect x="11" y="11" width="2" height="2" fill="#F00"/></svg>)~");
    EXPECT_EQ(shifted->viewBox, QRectF(10, 10, 4, 4));
    const QImage image = shifted->exportImage();
    EXPECT_TRUE(colorAt(image, 1, 1, QColor(255, 0, 0)));
    EXPECT_TRUE(isTransparent(image, 0, 0));
}

TEST(ViewBox, NoSvgAttributesNoImage)
{
    // An "svg" without attributes creates nothing and sets no view box.
    const auto doc = parse("<svg><rect width='2' height='2' fill='red'/></svg>");
    EXPECT_EQ(doc->viewBox, QRectF());
    EXPECT_TRUE(doc->exportImage().isNull());
}

TEST(Description, ViewBoxAndAlignment)
{
    const auto doc = parse(R"~(<svg viewBox="0 0 24 24.5" preserveAspectRatio="xMaxYMid slice"><g id="a"/></svg>)~");
    // Not exactly "slice", so "meet"; the vertical keys are looked for in
    // lower case ("yMid"), which the usual spelling "YMid" does not contain.
    EXPECT_EQ(doc->description().toStdString(), "viewBox: {{0, 0}, {24, 24.5}}, alignX: 2, alignY: 0, alignType: 1");
    EXPECT_EQ(parse(R"~(<svg viewBox="0 0 1 1" preserveAspectRatio="xMid yMax"/>)~")->alignY, 2);
    EXPECT_EQ(parse(R"~(<svg viewBox="0 0 1 1" preserveAspectRatio="none"/>)~")->alignType, 0);
    EXPECT_EQ(parse(R"~(<svg viewBox="0 0 1 1" preserveAspectRatio="slice"/>)~")->alignType, 2);
}

TEST(Elements, RootAndItsChildrenAreTopLevel)
{
    const auto doc = parse(R"~(<svg viewBox="0 0 8 8"><rect width="1" height="1"/><g id="g"><circle r="1"/></g><defs><path d="M0 0"/></defs></svg>)~");
    // root, rect, g: what "defs" holds is only drawn where it is used
    ASSERT_EQ(doc->elements.size(), 3);
    EXPECT_TRUE(dynamic_cast<KTNTKSVGRootElement *>(doc->elements[0].get()));
    auto *group = dynamic_cast<KTNTKSVGGElement *>(doc->elements[2].get());
    ASSERT_TRUE(group);
    ASSERT_EQ(group->childElements.size(), 1);
    EXPECT_EQ(group->childElements[0]->parentElement(), doc->elements[2]);
    EXPECT_EQ(doc->elements[1]->parentElement(), doc->elements[0]);
    EXPECT_TRUE(doc->groupElementStack.isEmpty());
}

TEST(Elements, AttributelessGroupDoesNotCloseItsParent)
{
    // The inner <g> has no attributes and is not created; its end must not
    // take the outer group off the stack, so "after" stays in the group and
    // is filled by it.
    const char *svg = R"~(<svg viewBox="0 0 8 8"><g fill="#FF0000"><g><rect width="1" height="1"/></g><rect id="after" x="2" width="1" height="1"/></g></svg>)~";
    for (const auto &doc : {parse(svg), parseTree(svg)}) {
        ASSERT_EQ(doc->elements.size(), 2);
        auto *group = dynamic_cast<KTNTKSVGGElement *>(doc->elements[1].get());
        ASSERT_TRUE(group);
        ASSERT_EQ(group->childElements.size(), 2);
        EXPECT_EQ(group->childElements[1]->identifier, QStringLiteral("after"));
        EXPECT_EQ(group->childElements[1]->fillColor, QColor(255, 0, 0));
    }
}

TEST(Files, OnlySvgFilesAreRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString svgPath = dir.filePath(QStringLiteral("icon.svg"));
    const QString txtPath = dir.filePath(QStringLiteral("icon.txt"));
    for (const QString &path : {svgPath, txtPath}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kSquare);
    }
    EXPECT_EQ(KTNSVGLibHelper::exportImageWithPath(svgPath).size(), QSize(24, 24));
    EXPECT_TRUE(KTNSVGLibHelper::exportImageWithPath(txtPath).isNull());
    EXPECT_FALSE(KTNSVGParserMgr::initWithPath(txtPath));
    EXPECT_FALSE(KTNSVGParserMgr::initWithPath(QString()));
    const auto missing = KTNSVGParserMgr::initWithPath(dir.filePath(QStringLiteral("missing.svg")));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->elements.isEmpty());
    EXPECT_TRUE(missing->parseError());
    EXPECT_TRUE(missing->exportImage().isNull());
}

TEST(Helper, EntryPoints)
{
    EXPECT_TRUE(KTNSVGLibHelper::exportImageWithSvgContent(QByteArray()).isNull());
    EXPECT_FALSE(KTNSVGParserMgr::initWithSvgString(QByteArray()));
    EXPECT_FALSE(KTNSVGParserMgr::initWithSvgString(QString()));
    EXPECT_EQ(KTNSVGLibHelper::exportImageWithSvgContent(kSquare).size(), QSize(24, 24));

    const KTNSvgElement element = tree(kSquare);
    EXPECT_EQ(KTNSVGLibHelper::exportImageWithElement(element, 0).size(), QSize(24, 24)) << "0 means 1";
    EXPECT_EQ(KTNSVGLibHelper::exportImageWithElement(element, 3).size(), QSize(72, 72));
    EXPECT_TRUE(KTNSVGLibHelper::exportImageWithElement(KTNSvgElement()).isNull());
}

TEST(Helper, FirstPathIsTheFirstOutlineInDocumentOrder)
{
    // The root and groups have no outline: the first shape inside counts,
    // and clip paths never do.
    const KTNSvgElement document = tree(R"(<svg viewBox="0 0 24 24"><defs><clipPath id="c"><rect width="9" height="9"/></clipPath></defs>
        <g><g/><circle cx="5" cy="5" r="2"/></g><rect x="10" width="4" height="4"/></svg>)");
    const std::optional<QPainterPath> first = KTNSVGLibHelper::exportFirstPathWithElement(document, 2);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->boundingRect(), QRectF(6, 6, 8, 8));
    // Nothing with an outline: nothing.
    EXPECT_FALSE(KTNSVGLibHelper::exportFirstPathWithElement(tree(R"(<svg viewBox="0 0 4 4"><g/></svg>)"), 1));
    // A bare shape element is its own document.
    const KTNSvgElement rect(QStringLiteral("rect"), {{"width", "2"}, {"height", "3"}});
    const std::optional<QPainterPath> path = KTNSVGLibHelper::exportFirstPathWithElement(rect, 2);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->boundingRect(), QRectF(0, 0, 4, 6));
    EXPECT_EQ(KTNSVGLibHelper::exportFirstPathWithElement(rect, 0)->boundingRect(), QRectF(0, 0, 2, 3));
}

TEST(Export, RepeatableAndTimed)
{
    const auto doc = parse(kSquare);
    const QImage first = doc->exportImageWithScale(2);
    const QImage second = doc->exportImageWithScale(2);
    EXPECT_EQ(first, second);
    EXPECT_GT(doc->stageTimes().paint, 0);
    // Building is split into stages only when asked; otherwise it is all
    // parse time.
    EXPECT_GT(doc->stageTimes().parse, 0);
    EXPECT_EQ(doc->stageTimes().style + doc->stageTimes().outline, 0);
    KTNSVGLimits limits;
    limits.timeStages = true;
    const auto timed = KTNSVGParserMgr::initWithSvgString(QByteArray(kSquare), limits);
    EXPECT_GT(timed->stageTimes().style, 0);
    EXPECT_GT(timed->stageTimes().outline, 0);
}

} // namespace
