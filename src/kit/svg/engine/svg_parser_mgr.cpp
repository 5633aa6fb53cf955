// KTNSVGParserMgr: the two ways of building a document (XML events and
// element trees), reference resolution and image export.
#include <kalvo/svg/svgparser.h>

#include "svg_prepare_p.h"
#include "svg_scanner_p.h"
#include "kit/svg/xml_text_p.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QXmlStreamReader>

#include <cmath>

namespace kalvo {

// Identifier lookups: the last element of each list with a given
// identifier, built once the lists stop growing.
struct KTNSVGParserMgr::Index
{
    qsizetype gradientCount = -1;
    qsizetype clipPathCount = -1;
    qsizetype maskCount = -1;
    QHash<QString, std::shared_ptr<KTNSVGGradient>> gradients;
    QHash<QString, KTNSVGElementPtr> clipPaths;
    QHash<QString, KTNSVGElementPtr> masks;
};

// The names KTNTKSVGBaseElement::classMap() knows, told apart by length and
// one comparison: every element built looks its name up.
enum class KTNSVGParserMgr::ElementKind : unsigned char {
    Other,
    Root,
    G,
    Path,
    Circle,
    Rect,
    Ellipse,
    Line,
    Polyline,
    Polygon,
    ClipPath,
    Mask,
    LinearGradient,
    RadialGradient,
};

namespace {

using Kind = KTNSVGParserMgr::ElementKind;

const QString &svgName()
{
    static const QString name = QStringLiteral("svg");
    return name;
}

Kind elementKind(QStringView name)
{
    auto is = [&](QStringView known, Kind kind) { return name == known ? kind : Kind::Other; };
    switch (name.size()) {
    case 1:
        return is(u"g", Kind::G);
    case 3:
        return is(u"svg", Kind::Root);
    case 4:
        switch (name[0].unicode()) {
        case 'p':
            return is(u"path", Kind::Path);
        case 'r':
            return is(u"rect", Kind::Rect);
        case 'l':
            return is(u"line", Kind::Line);
        case 'm':
            return is(u"mask", Kind::Mask);
        default:
            return Kind::Other;
        }
    case 6:
        return is(u"circle", Kind::Circle);
    case 7:
        return name[0] == u'e' ? is(u"ellipse", Kind::Ellipse) : is(u"polygon", Kind::Polygon);
    case 8:
        return name[0] == u'p' ? is(u"polyline", Kind::Polyline) : is(u"clipPath", Kind::ClipPath);
    case 14:
        return name[0] == u'l' ? is(u"linearGradient", Kind::LinearGradient)
                               : is(u"radialGradient", Kind::RadialGradient);
    default:
        return Kind::Other;
    }
}

// What classMap()'s factory for the same name makes.
KTNSVGElementPtr makeElement(Kind kind)
{
    switch (kind) {
    case Kind::Root:
        return std::make_shared<KTNTKSVGRootElement>();
    case Kind::G:
        return std::make_shared<KTNTKSVGGElement>();
    case Kind::Path:
        return std::make_shared<KTNTKSVGPathElement>();
    case Kind::Circle:
        return std::make_shared<KTNTKSVGCircleElement>();
    case Kind::Rect:
        return std::make_shared<KTNTKSVGRectElement>();
    case Kind::Ellipse:
        return std::make_shared<KTNTKSVGEllipseElement>();
    case Kind::Line:
        return std::make_shared<KTNTKSVGLineElement>();
    case Kind::Polyline:
        return std::make_shared<KTNTKSVGPolylineElement>();
    case Kind::Polygon:
        return std::make_shared<KTNTKSVGPolygonElement>();
    case Kind::ClipPath:
        return std::make_shared<KTNTKSVGClipPathElement>();
    case Kind::Mask:
        return std::make_shared<KTNTKSVGMaskElement>();
    case Kind::LinearGradient:
        return std::make_shared<KTNTKSVGLinearGradientElement>();
    case Kind::RadialGradient:
        return std::make_shared<KTNTKSVGRadialGradientElement>();
    case Kind::Other:
        break;
    }
    return nullptr;
}

} // namespace

KTNSVGParserMgr::KTNSVGParserMgr(const Limits &limits) : m_limits(limits)
{
    setupMgr();
}

KTNSVGParserMgr::~KTNSVGParserMgr() = default;

void KTNSVGParserMgr::setupMgr()
{
    scale = 1.0;
    gradientElements.clear();
    groupElementStack.clear();
    elements.clear();
    clipPathElements.clear();
    maskElements.clear();
    clipPathStack.clear();
    maskStack.clear();
    m_build = KTNSVGBuildContext();
    m_build.pathElementBudget = m_limits.maxPathElements;
    m_build.timeStages = m_limits.timeStages;
}

// ---- Ways in ----

std::unique_ptr<KTNSVGParserMgr> KTNSVGParserMgr::initWithPath(const QString &path, const Limits &limits)
{
    if (path.isEmpty() || QFileInfo(path).suffix() != svgName())
        return nullptr;
    auto manager = std::make_unique<KTNSVGParserMgr>(limits);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        manager->m_parseError = true;
        manager->m_errorString = file.errorString();
        return manager;
    }
    // A file larger than any icon is not read at all (it could be a device
    // or a mistake): reading it would allocate without bound.
    const QByteArray bytes = file.read(limits.maxFileBytes + 1);
    if (bytes.size() > limits.maxFileBytes) {
        manager->m_parseError = true;
        manager->m_limitReached = true;
        manager->m_errorString = QStringLiteral("file larger than %1 bytes").arg(limits.maxFileBytes);
        return manager;
    }
    manager->parseBytes(bytes);
    return manager;
}

std::unique_ptr<KTNSVGParserMgr> KTNSVGParserMgr::initWithSvgString(const QByteArray &svgText, const Limits &limits)
{
    if (svgText.isEmpty())
        return nullptr;
    auto manager = std::make_unique<KTNSVGParserMgr>(limits);
    manager->parseBytes(svgText);
    return manager;
}

std::unique_ptr<KTNSVGParserMgr> KTNSVGParserMgr::initWithSvgString(const QString &svgText, const Limits &limits)
{
    if (svgText.isEmpty())
        return nullptr;
    auto manager = std::make_unique<KTNSVGParserMgr>(limits);
    QXmlStreamReader reader(svgText);
    manager->parseXml(reader);
    return manager;
}

std::unique_ptr<KTNSVGParserMgr> KTNSVGParserMgr::initWithElement(const KTNSvgElement &element, const Limits &limits)
{
    auto manager = std::make_unique<KTNSVGParserMgr>(limits);
    QElapsedTimer timer;
    timer.start();
    manager->buildPrepared(element, timer);
    return manager;
}

// ---- Direct path ----

void KTNSVGParserMgr::parseBytes(const QByteArray &bytes)
{
    // Qt's reader rejects a whole buffer with one bad byte in it; reading
    // up to the bad byte keeps what comes before, as for any other error.
    const qsizetype valid = detail::readableXmlLength(bytes);
    if (valid == bytes.size()) {
        QElapsedTimer timer;
        timer.start();
        svg::ReadResult read;
        if (svg::readTreeFast(bytes, svg::PrepareLimits{m_limits.maxDepth, m_limits.maxElements}, read)) {
            if (read.limitReached)
                m_limitReached = true;
            buildPrepared(std::move(read.root), timer);
            return;
        }
    }
    QXmlStreamReader reader(valid == bytes.size() ? bytes : bytes.left(valid));
    parseXml(reader);
    if (valid < bytes.size()) {
        m_parseError = true;
        m_errorString = QStringLiteral("invalid UTF-8 at byte %1").arg(valid);
    }
}

void KTNSVGParserMgr::parseXml(QXmlStreamReader &reader)
{
    QElapsedTimer timer;
    timer.start();
    const svg::PrepareLimits limits{m_limits.maxDepth, m_limits.maxElements};
    svg::ReadResult read = svg::readTree(reader, limits);
    if (read.limitReached)
        m_limitReached = true;
    if (reader.hasError()) {
        // What was read before the error stays.
        m_parseError = true;
        m_errorString = reader.errorString();
    }
    if (read.hasRoot)
        buildPrepared(std::move(read.root), timer);
}

void KTNSVGParserMgr::buildPrepared(KTNSvgElement root, QElapsedTimer &timer)
{
    const svg::PrepareLimits limits{m_limits.maxDepth, m_limits.maxElements};
    svg::PreparedElement prepared;
    if (svg::prepareTree(root, limits, prepared).limitReached)
        m_limitReached = true;
    // The source tree is done with: free it before the elements are built.
    root = KTNSvgElement();
    if (!m_typedHandover)
        svg::writeOutValues(prepared);
    walkElement(prepared, 1);
    const qint64 built = timer.nsecsElapsed();
    linkDefsElements();
    m_times.link = timer.nsecsElapsed() - built;
    m_times.style = m_build.styleNanoseconds;
    m_times.outline = m_build.outlineNanoseconds;
    m_times.parse = std::max<qint64>(0, built - m_times.style - m_times.outline);
}

void KTNSVGParserMgr::resolveTopLevelReferences()
{
    for (const KTNSVGElementPtr &element : std::as_const(elements))
        resolveReferences(element);
}

void KTNSVGParserMgr::resolveReferences(const KTNSVGElementPtr &element)
{
    if (!element)
        return;
    if (element->hasFill == 2)
        element->fillElement = getElementGradientWithGradientIdentifier(element->fillElementIdentifier);
    if (element->hasStroke == 2)
        element->strokeElement = getElementGradientWithGradientIdentifier(element->strokeElementIdentifier);
    if (!element->clipPathIdentifier.isEmpty())
        element->clipElements = getClipPathWithIdentifier(element->clipPathIdentifier);
    if (!element->maskIdentifier.isEmpty())
        element->maskElements = getMaskWithIdentifier(element->maskIdentifier);
}

// ---- Tree path ----

void KTNSVGParserMgr::walkElement(const svg::PreparedElement &node, int depth)
{
    if (m_budgetSpent)
        return;
    if (depth > m_limits.maxDepth) {
        m_limitReached = true;
        return;
    }
    Opened opened;
    if (node.typed) {
        const qsizetype groups = groupElementStack.size();
        opened.element = createPreparedElement(node);
        opened.pushedGroup = groupElementStack.size() > groups;
    } else {
        opened = startElement(node.elementName, node.attribute, true);
    }
    for (const svg::PreparedElement &child : node.childElements) {
        if (m_budgetSpent)
            break;
        walkElement(child, depth + 1);
    }
    endElement(node.elementName, opened, true);
}

void KTNSVGParserMgr::linkDefsElements()
{
    linkDefsWithElements(elements, 0);
    // What masks draw paints with gradients too.
    for (const KTNSVGElementPtr &mask : std::as_const(maskElements)) {
        if (mask)
            linkDefsWithElements(mask->maskElements, 1);
    }
}

void KTNSVGParserMgr::linkDefsWithElements(const KTNSVGElementList &list, int depth)
{
    if (depth > m_limits.maxDepth)
        return;
    for (const KTNSVGElementPtr &element : list) {
        if (!element || dynamic_cast<KTNTKSVGRootElement *>(element.get()))
            continue;
        resolveReferences(element);
        if (auto *group = dynamic_cast<KTNTKSVGGElement *>(element.get()))
            linkDefsWithElements(group->childElements, depth + 1);
    }
}

// ---- Shared steps ----

KTNSVGParserMgr::Opened KTNSVGParserMgr::startElement(const QString &name, const KTNSVGAttributes &attributes,
                                                      bool treePath)
{
    if (name == QLatin1String("stop")) {
        addGradientStopWithAttributes(attributes);
        return {};
    }
    if (name == svgName())
        parserRootElementWithAttributes(attributes);
    if (treePath) {
        // The direct path leaves these flags alone, so there the children of
        // "clipPath" and "mask" are drawn like any element.
        if (name == QLatin1String("clipPath"))
            clipPathFlag = true;
        else if (name == QLatin1String("mask"))
            maskFlag = true;
    }
    const qsizetype groups = groupElementStack.size();
    Opened opened;
    opened.element = createSVGElementWithElementName(name, attributes);
    opened.pushedGroup = groupElementStack.size() > groups;
    return opened;
}

void KTNSVGParserMgr::endElement(const QString &name, const Opened &opened, bool treePath)
{
    // Only an element that pushed a group pops one: an element that was not
    // created (no attributes, too deep) must not take its parent group
    // off the stack.
    if (opened.pushedGroup) {
        if (!groupElementStack.isEmpty())
            groupElementStack.removeLast();
        return;
    }
    if (!treePath)
        return;
    // The children go to the element this start made; a "clipPath" or
    // "mask" that made none (no attributes) must not hand them to an
    // earlier one.
    if (name == QLatin1String("clipPath")) {
        clipPathFlag = false;
        if (!clipPathStack.isEmpty() && opened.element)
            opened.element->clipElements = clipPathStack;
        clipPathStack.clear();
    } else if (name == QLatin1String("mask")) {
        maskFlag = false;
        if (!maskStack.isEmpty() && opened.element) {
            opened.element->maskElements = maskStack;
            if (auto *mask = dynamic_cast<KTNTKSVGMaskElement *>(opened.element.get()))
                mask->maskChildrenAdopted = false;
        }
        maskStack.clear();
    }
}

void KTNSVGParserMgr::parserRootElementWithAttributes(const KTNSVGAttributes &attributes)
{
    if (attributes.isEmpty())
        return;
    viewBox = getViewboxFromAttributes(attributes);
    const auto aspect = attributes.constFind(QStringLiteral("preserveAspectRatio"));
    if (aspect == attributes.constEnd())
        return;
    const QString &value = *aspect;
    if (value == QLatin1String("none")) {
        alignType = 0;
    } else if (value == QLatin1String("slice")) {
        alignType = 2;
    } else {
        alignType = 1;
        if (value.contains(QLatin1String("xMin")))
            alignX = 0;
        else if (value.contains(QLatin1String("xMid")))
            alignX = 1;
        else if (value.contains(QLatin1String("xMax")))
            alignX = 2;
        if (value.contains(QLatin1String("yMin")))
            alignY = 0;
        else if (value.contains(QLatin1String("yMid")))
            alignY = 1;
        else if (value.contains(QLatin1String("yMax")))
            alignY = 2;
    }
}

QRectF KTNSVGParserMgr::getViewboxFromAttributes(const KTNSVGAttributes &attributes)
{
    const auto box = attributes.constFind(QStringLiteral("viewBox"));
    if (box != attributes.constEnd()) {
        svg::Scanner scanner(*box);
        double values[4] = {0, 0, 0, 0};
        for (double &value : values) {
            if (!scanner.scanDouble(value))
                break;
        }
        return QRectF(values[0], values[1], values[2], values[3]);
    }
    const auto width = attributes.constFind(QStringLiteral("width"));
    const auto height = attributes.constFind(QStringLiteral("height"));
    if (width != attributes.constEnd() && height != attributes.constEnd())
        return QRectF(0, 0, KTNTKSVGBaseElement::parserFloatWithValueString(*width),
                      KTNTKSVGBaseElement::parserFloatWithValueString(*height));
    return QRectF(0, 0, 16, 16);
}

KTNSVGElementPtr KTNSVGParserMgr::createSVGElementWithElementName(const QString &name,
                                                                  const KTNSVGAttributes &attributes)
{
    if (attributes.isEmpty())
        return nullptr;
    // As KTNTKSVGBaseElement::elementWithName() makes it, without looking
    // the name up twice.
    const Kind kind = elementKind(name);
    if (kind == Kind::Other || !admitElement())
        return nullptr;
    const KTNSVGElementPtr element = makeElement(kind);
    element->initWithAttributes(attributes, &m_build);
    ++m_elementCount;
    placeElement(kind, element);
    return element;
}

KTNSVGElementPtr KTNSVGParserMgr::createPreparedElement(const svg::PreparedElement &node)
{
    if (node.values.isEmpty())
        return nullptr;
    const Kind kind = elementKind(node.elementName);
    if (kind == Kind::Other || !admitElement())
        return nullptr;
    const KTNSVGElementPtr element = makeElement(kind);
    element->initWithPrepared(node.values, &m_build);
    ++m_elementCount;
    placeElement(kind, element);
    return element;
}

bool KTNSVGParserMgr::admitElement()
{
    if (m_elementCount >= m_limits.maxElements || m_build.pathElementBudget <= 0) {
        m_limitReached = m_budgetSpent = true;
        return false;
    }
    return true;
}

void KTNSVGParserMgr::placeElement(Kind kind, const KTNSVGElementPtr &element)
{
    static const KTNSVGElementPtr noGroup;
    const KTNSVGElementPtr &group = groupElementStack.isEmpty() ? noGroup : groupElementStack.constLast();
    element->setParentElement(group);
    if (kind == Kind::LinearGradient || kind == Kind::RadialGradient) {
        gradientElements.append(std::static_pointer_cast<KTNSVGGradient>(element));
    } else if (kind == Kind::ClipPath) {
        clipPathElements.append(element);
    } else if (kind == Kind::Mask) {
        maskElements.append(element);
    } else if (clipPathFlag) {
        clipPathStack.append(element);
    } else if (maskFlag) {
        maskStack.append(element);
    } else {
        if (auto *g = dynamic_cast<KTNTKSVGGElement *>(group.get()))
            g->childElements.append(element);
        else
            elements.append(element);
        if (kind == Kind::G || kind == Kind::Root)
            groupElementStack.append(element);
    }
}

void KTNSVGParserMgr::addGradientStopWithAttributes(const KTNSVGAttributes &attributes)
{
    if (gradientElements.isEmpty())
        return;
    if (m_elementCount >= m_limits.maxElements) {
        m_limitReached = m_budgetSpent = true;
        return;
    }
    ++m_elementCount;
    gradientElements.last()->colorStops.append(KTNTKSVGBaseElement::create<KTNSVGStopElement>(attributes, &m_build));
}

// ---- Lookups ----

const KTNSVGParserMgr::Index &KTNSVGParserMgr::index() const
{
    if (!m_index)
        m_index = std::make_unique<Index>();
    Index &index = *m_index;
    if (index.gradientCount != gradientElements.size()) {
        index.gradients.clear();
        for (const auto &gradient : gradientElements) {
            if (gradient)
                index.gradients.insert(gradient->identifier, gradient);
        }
        index.gradientCount = gradientElements.size();
    }
    if (index.clipPathCount != clipPathElements.size()) {
        index.clipPaths.clear();
        for (const auto &clip : clipPathElements) {
            if (clip)
                index.clipPaths.insert(clip->identifier, clip);
        }
        index.clipPathCount = clipPathElements.size();
    }
    if (index.maskCount != maskElements.size()) {
        index.masks.clear();
        for (const auto &mask : maskElements) {
            if (mask)
                index.masks.insert(mask->identifier, mask);
        }
        index.maskCount = maskElements.size();
    }
    return index;
}

std::shared_ptr<KTNSVGGradient> KTNSVGParserMgr::getElementGradientWithGradientIdentifier(const QString &identifier) const
{
    if (identifier.isEmpty())
        return nullptr;
    return index().gradients.value(identifier);
}

KTNSVGElementList KTNSVGParserMgr::getClipPathWithIdentifier(const QString &identifier) const
{
    const KTNSVGElementPtr clip = index().clipPaths.value(identifier);
    return clip ? clip->clipElements : KTNSVGElementList();
}

KTNSVGElementList KTNSVGParserMgr::getMaskWithIdentifier(const QString &identifier) const
{
    const KTNSVGElementPtr mask = index().masks.value(identifier);
    if (!mask)
        return {};
    // Adopting is the same for every reference; doing it once keeps many
    // references to a large mask linear.
    auto *maskElement = dynamic_cast<KTNTKSVGMaskElement *>(mask.get());
    if (!maskElement || !maskElement->maskChildrenAdopted) {
        for (const KTNSVGElementPtr &child : std::as_const(mask->maskElements)) {
            if (child)
                child->setParentElement(mask);
        }
        if (maskElement)
            maskElement->maskChildrenAdopted = true;
    }
    return mask->maskElements;
}

// ---- Export ----

QSize KTNSVGParserMgr::imageSizeForScale(double imageScale) const
{
    if (!std::isfinite(imageScale) || imageScale <= 0)
        return QSize();
    const double width = viewBox.width() * imageScale;
    const double height = viewBox.height() * imageScale;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
        return QSize();
    // A hair above a whole number is rounding noise, not another pixel.
    const double w = std::ceil(width - 1e-6);
    const double h = std::ceil(height - 1e-6);
    if (w < 1 || h < 1 || w > m_limits.maxImageSide || h > m_limits.maxImageSide
        || w * h > static_cast<double>(m_limits.maxImagePixels))
        return QSize();
    return QSize(static_cast<int>(w), static_cast<int>(h));
}

QImage KTNSVGParserMgr::exportImage()
{
    if (isEmptySizeBox() || elements.isEmpty())
        return QImage();
    return exportImageWithScale(scale);
}

QImage KTNSVGParserMgr::exportImageWithScale(double imageScale)
{
    if (elements.isEmpty() || isEmptySizeBox())
        return QImage();
    const QSize size = imageSizeForScale(imageScale);
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return QImage();
    QElapsedTimer timer;
    timer.start();
    image.fill(Qt::transparent);
    {
        KTNSVGDrawContext context(image, QPoint(0, 0), m_limits.drawing, rasterizer);
        context.setCurrentColor(currentColor.isValid() ? currentColor : QColor(0, 0, 0));
        for (const KTNSVGElementPtr &element : std::as_const(elements)) {
            if (context.exhausted())
                break;
            if (element)
                element->drawSVGWithCGContextRef(context, imageScale);
        }
    }
    m_times.paint = timer.nsecsElapsed();
    return image;
}

QString KTNSVGParserMgr::description() const
{
    return QString::asprintf("viewBox: {{%g, %g}, {%g, %g}}, alignX: %d, alignY: %d, alignType: %d", viewBox.x(),
                             viewBox.y(), viewBox.width(), viewBox.height(), alignX, alignY, alignType);
}

} // namespace kalvo
