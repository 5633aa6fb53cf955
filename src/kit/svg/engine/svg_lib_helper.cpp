#include <kalvo/svg/svglibhelper.h>

#include <kalvo/svg/svgparser.h>

#include <QFileInfo>

namespace kalvo {

QImage KTNSVGLibHelper::exportImageWithPath(const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).suffix() != QLatin1String("svg"))
        return QImage();
    const std::unique_ptr<KTNSVGParserMgr> document = KTNSVGParserMgr::initWithPath(path);
    return document ? document->exportImage() : QImage();
}

QImage KTNSVGLibHelper::exportImageWithSvgContent(const QByteArray &svgText)
{
    if (svgText.isEmpty())
        return QImage();
    const std::unique_ptr<KTNSVGParserMgr> document = KTNSVGParserMgr::initWithSvgString(svgText);
    return document ? document->exportImage() : QImage();
}

QImage KTNSVGLibHelper::exportImageWithElement(const KTNSvgElement &element)
{
    if (element.elementName.isEmpty())
        return QImage();
    return KTNSVGParserMgr::initWithElement(element)->exportImage();
}

QImage KTNSVGLibHelper::exportImageWithElement(const KTNSvgElement &element, double scale)
{
    if (element.elementName.isEmpty())
        return QImage();
    return KTNSVGParserMgr::initWithElement(element)->exportImageWithScale(scale == 0 ? 1.0 : scale);
}

namespace {

// The first element with an outline, depth first in document order (into
// groups). The root and groups have none; clip paths and masks are not what is shown.
const KTNTKSVGBaseElement *firstOutlined(const KTNSVGElementList &elements, int depth = 0)
{
    if (depth > 512)
        return nullptr;
    for (const KTNSVGElementPtr &element : elements) {
        if (!element || dynamic_cast<const KTNTKSVGClipPathElement *>(element.get())
            || dynamic_cast<const KTNTKSVGMaskElement *>(element.get()))
            continue;
        if (element->shape && !element->shape->path.isEmpty())
            return element.get();
        if (const auto *group = dynamic_cast<const KTNTKSVGGElement *>(element.get())) {
            if (const KTNTKSVGBaseElement *inner = firstOutlined(group->childElements, depth + 1))
                return inner;
        }
    }
    return nullptr;
}

} // namespace

std::optional<QPainterPath> KTNSVGLibHelper::exportFirstPathWithElement(const KTNSvgElement &element, double scale)
{
    if (element.elementName.isEmpty())
        return std::nullopt;
    const std::unique_ptr<KTNSVGParserMgr> document = KTNSVGParserMgr::initWithElement(element);
    const KTNTKSVGBaseElement *first = firstOutlined(document->elements);
    if (!first)
        return std::nullopt;
    return KTNTKSVGBaseElement::transformPath(*first->shape, scale == 0 ? 1.0 : scale).path;
}

} // namespace kalvo
