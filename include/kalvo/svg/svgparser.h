// The SVG document builder: SVG text, a file or an element tree turned into
// drawable elements (svgdrawables.h), with references to gradients, clip
// paths and masks resolved, rendered into an image.
//
//   if (auto document = KTNSVGParserMgr::initWithSvgString(bytes))
//       QImage image = document->exportImageWithScale(2.0);
//
// Two ways in, one way through. Text and files are read into an element
// tree; element trees (KTNSvgElement, the icon registry's form) are taken
// as they are. Either tree is first prepared: style sheets and style
// attributes, inheritance through "svg", "g" and "use", "currentColor",
// group and nested-"svg" transforms, lengths with units, "use" copies and
// gradient "href" chains are resolved into explicit attributes of each
// shape. The prepared tree is then walked recursively (the tree path):
// clip-path and mask children become what clips or masks, and references
// are resolved throughout.
//
// Images are rendered at once into a QImage (ARGB32 premultiplied,
// transparent), view-box size × scale pixels with the view box's origin at
// the top left; a root whose width and height have other proportions than
// its view box gives an image of width × height with the view box fitted
// in by preserveAspectRatio. Bad input never crashes or hangs: images
// beyond Limits are refused (null image), deep nesting, element counts,
// "use" copies, reference chains and outline sizes are capped, and
// painting stops when its work budget is spent. Any thread, one document
// per thread at a time.
#pragma once

#include <kalvo/svg/svgdrawables.h>
#include <kalvo/svg/svgelement.h>

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

#include <memory>

class QElapsedTimer;
class QXmlStreamReader;

namespace kalvo {

namespace svg {
struct PreparedElement;
}

struct KALVO_EXPORT KTNSVGLimits
{
    // Elements nested deeper than this (the "svg" element is depth 1)
    // are skipped with everything inside them.
    int maxDepth = 256;
    // Elements per document: as read, and again as prepared (each "use"
    // copy counts), and drawable elements with gradient stops as built.
    qsizetype maxElements = 50'000;
    // Outline elements (moves, lines, curves) per document.
    qsizetype maxPathElements = KTNSVGBezierPath::kDefaultElementLimit;
    // Images larger than this are refused.
    int maxImageSide = 16384;
    qint64 maxImagePixels = 64LL * 1024 * 1024;
    // SVG files larger than this are not read.
    qint64 maxFileBytes = 32LL * 1024 * 1024;
    KTNSVGDrawLimits drawing;
    // Whether stageTimes() splits building into its style and outline
    // stages. That takes clock readings around every element, a few per
    // cent of an icon's time, so it is for diagnostics; off, both count
    // as parse.
    bool timeStages = false;
};

class KALVO_EXPORT KTNSVGParserMgr
{
public:
    using Limits = KTNSVGLimits;

    // Where building and painting spent their time, in nanoseconds.
    struct StageTimes
    {
        qint64 parse = 0;   // XML reading and tree walking, without the two below
        qint64 style = 0;   // attributes into fields
        qint64 outline = 0; // outlines
        qint64 link = 0;    // reference resolution
        qint64 paint = 0;   // the last export
    };

    // Only for a non-empty path ending in ".svg" (else nothing); a file that
    // cannot be read gives a document without elements.
    static std::unique_ptr<KTNSVGParserMgr> initWithPath(const QString &path, const Limits &limits = Limits());
    // UTF-8 bytes (or the encoding the XML declaration names); empty text
    // gives nothing.
    static std::unique_ptr<KTNSVGParserMgr> initWithSvgString(const QByteArray &svgText,
                                                              const Limits &limits = Limits());
    static std::unique_ptr<KTNSVGParserMgr> initWithSvgString(const QString &svgText, const Limits &limits = Limits());
    static std::unique_ptr<KTNSVGParserMgr> initWithElement(const KTNSvgElement &element,
                                                            const Limits &limits = Limits());

    explicit KTNSVGParserMgr(const Limits &limits = Limits());
    ~KTNSVGParserMgr();

    KTNSVGParserMgr(const KTNSVGParserMgr &) = delete;
    KTNSVGParserMgr &operator=(const KTNSVGParserMgr &) = delete;

    // Null when the view box has zero size or there is no top-level
    // drawable; else exportImageWithScale(scale).
    QImage exportImage();
    // Every top-level drawable in document order, into a new image of
    // view-box size × scale pixels. Null without drawables, for a zero
    // view box, or for an image beyond the limits.
    QImage exportImageWithScale(double scale);
    // The pixel size exportImageWithScale(scale) would make; empty when it
    // would make none.
    QSize imageSizeForScale(double scale) const;

    // "viewBox: {{x, y}, {w, h}}, alignX: 1, alignY: 1, alignType: 1"
    QString description() const;
    bool isEmptySizeBox() const { return viewBox.width() == 0 && viewBox.height() == 0; }
    const StageTimes &stageTimes() const { return m_times; }
    // Whether building stopped early: an XML error, or a limit reached.
    bool parseError() const { return m_parseError; }
    bool limitReached() const { return m_limitReached; }
    QString errorString() const { return m_errorString; }

    // ---- Building blocks (also used by the two ways in) ----
    void setupMgr();
    void parserRootElementWithAttributes(const KTNSVGAttributes &attributes);
    static QRectF getViewboxFromAttributes(const KTNSVGAttributes &attributes);
    KTNSVGElementPtr createSVGElementWithElementName(const QString &name, const KTNSVGAttributes &attributes);
    void addGradientStopWithAttributes(const KTNSVGAttributes &attributes);
    std::shared_ptr<KTNSVGGradient> getElementGradientWithGradientIdentifier(const QString &identifier) const;
    KTNSVGElementList getClipPathWithIdentifier(const QString &identifier) const;
    KTNSVGElementList getMaskWithIdentifier(const QString &identifier) const;
    // The tree path's resolution over elements and group children.
    void linkDefsElements();
    void linkDefsWithElements(const KTNSVGElementList &list, int depth = 0);

    // ---- Fields ----
    QRectF viewBox;
    int alignX = 0;    // 0 min, 1 mid, 2 max
    int alignY = 0;    // 0 min, 1 mid, 2 max
    int alignType = 0; // 0 none, 1 meet, 2 slice
    double scale = 1.0;
    // What "currentColor" paints with where the document does not set
    // "color" itself.
    QColor currentColor = QColor(0, 0, 0);
    // What exported images are drawn with.
    KTNSVGRasterizer rasterizer = KTNSVGRasterizer::Cairo;
    QList<std::shared_ptr<KTNSVGGradient>> gradientElements;
    KTNSVGElementList groupElementStack;
    KTNSVGElementList elements;
    KTNSVGElementList clipPathElements;
    KTNSVGElementList maskElements;
    KTNSVGElementList clipPathStack;
    KTNSVGElementList maskStack;
    bool clipPathFlag = false;
    bool maskFlag = false;

    // The element classes by name; only the engine's source needs its values.
    enum class ElementKind : unsigned char;

private:
    struct Index;
    void parseBytes(const QByteArray &bytes);
    void parseXml(QXmlStreamReader &reader);
    // Prepares the tree (style sheets, inheritance, transforms, references)
    // and builds the drawable elements from it.
    void buildPrepared(KTNSvgElement root, QElapsedTimer &timer);
    void resolveTopLevelReferences();
    void resolveReferences(const KTNSVGElementPtr &element);
    void walkElement(const svg::PreparedElement &node, int depth);
    // createSVGElementWithElementName for an element whose values were
    // prepared: made from them, then placed the same way.
    KTNSVGElementPtr createPreparedElement(const svg::PreparedElement &node);
    // Whether an element may be made (the budgets), counted when it may.
    bool admitElement();
    // Puts a new element into the lists and stacks that its kind calls for.
    void placeElement(ElementKind kind, const KTNSVGElementPtr &element);
    // What the start of an element made: the element (if any) and whether
    // it went onto the group stack.
    struct Opened
    {
        KTNSVGElementPtr element;
        bool pushedGroup = false;
    };
    Opened startElement(const QString &name, const KTNSVGAttributes &attributes, bool treePath);
    void endElement(const QString &name, const Opened &opened, bool treePath);
    const Index &index() const;

    Limits m_limits;
    KTNSVGBuildContext m_build;
    StageTimes m_times;
    qsizetype m_elementCount = 0;
    bool m_parseError = false;
    bool m_limitReached = false;
    bool m_budgetSpent = false; // elements or outline elements: building stops
    QString m_errorString;
    mutable std::unique_ptr<Index> m_index;
    // Off: prepared values reach the elements as text (the slower way, kept
    // for tests to compare with).
    bool m_typedHandover = true;
    friend struct KTNSVGParserMgrTesting;
};

} // namespace kalvo
