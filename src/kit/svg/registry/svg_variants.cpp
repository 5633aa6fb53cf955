// Variant recolouring, scales in names and cache keys: pure helpers.
#include <kalvo/svg/svgmgr.h>

#include <QRegularExpression>

namespace kalvo {

namespace {

const QString kStroke = QStringLiteral("stroke");
const QString kFill = QStringLiteral("fill");

// The number at the start of the text, as a lenient reader of numbers takes
// it: leading white space, an optional sign, digits with an optional
// fraction and exponent; 0 when there is none.
double leadingNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0.0;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    return ok ? value : 0.0;
}

QString trimmedStars(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u'*')
        ++begin;
    while (end > begin && text.at(end - 1) == u'*')
        --end;
    return text.mid(begin, end - begin);
}

// A missing part means no paint. It is written as "none" rather than left
// out: a left-out fill or stroke would be inherited from the group or take
// SVG's black default.
void setPaint(QMap<QString, QString> &attributes, const QString &key, const QString &value)
{
    attributes.insert(key, value.isEmpty() ? QStringLiteral("none") : value);
}

const QString kStyle = QStringLiteral("style");

// Whether the tree holds a style sheet: its rules would beat the paint
// attributes a variant writes.
bool hasStyleSheet(const KTNSvgElement &element)
{
    if (element.elementName == kStyle)
        return true;
    for (const KTNSvgElement &child : element.childElements) {
        if (hasStyleSheet(child))
            return true;
    }
    return false;
}

void recolour(KTNSvgElement &element, const QStringList &colorArray, qsizetype &index, bool sheet)
{
    if (index < 0 || index >= colorArray.size())
        return; // this node and what follows keep their colours
    const QString &item = colorArray.at(index);
    if (!item.isEmpty()) {
        const QStringList parts = item.split(u':');
        QString stroke = parts.value(0);
        QString fill = parts.value(1);
        if (stroke.startsWith(u'*')) {
            stroke = trimmedStars(stroke);
            fill = stroke;
        }
        // Style sheet rules and the element's own style attribute beat
        // paint attributes: where either can reach the element, the
        // colours go into its style attribute too, last so they win.
        const bool styled = sheet || element.attribute.contains(kStyle);
        if (!KTNSVGMgr::stringToEqual(stroke, element.attribute.value(kStroke))
            || !KTNSVGMgr::stringToEqual(fill, element.attribute.value(kFill)) || styled) {
            QMap<QString, QString> attributes = element.attribute;
            setPaint(attributes, kStroke, stroke);
            setPaint(attributes, kFill, fill);
            if (styled) {
                QString style = attributes.value(kStyle);
                if (!style.isEmpty())
                    style += u';';
                style += QStringLiteral("stroke:%1;fill:%2").arg(attributes.value(kStroke), attributes.value(kFill));
                attributes.insert(kStyle, style);
            }
            element.attribute = std::move(attributes);
        }
    }
    for (KTNSvgElement &child : element.childElements) {
        ++index;
        recolour(child, colorArray, index, sheet);
    }
}

} // namespace

double KTNSVGMgr::getScaleFromName(const QString &name)
{
    const qsizetype at = name.lastIndexOf(u'@');
    if (at < 0)
        return 1.0;
    return leadingNumber(name.mid(at + 1));
}

QString KTNSVGMgr::cacheKey(const QString &name, double scale)
{
    return name + QString::asprintf("&s%.2f&", scale);
}

bool KTNSVGMgr::stringToEqual(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty();
    return a == b;
}

void KTNSVGMgr::updateElement(KTNSvgElement &element, const QStringList &colorArray, qsizetype &index)
{
    recolour(element, colorArray, index, false);
}

KTNSvgElement KTNSVGMgr::generateWithSvgElement(const KTNSvgElement &content,
                                                const std::optional<KTNSvgElement> &declaration)
{
    if (!declaration)
        return content;
    const QStringList items = declaration->attribute.value(QStringLiteral("value")).split(u'|');
    KTNSvgElement recoloured = content; // copies are deep (nodes detach as they change)
    qsizetype index = 0;
    if (!items.isEmpty() && items.first().startsWith(u'x')) {
        recoloured.scale = leadingNumber(items.first().mid(1));
        index = 1;
    } else {
        recoloured.scale = 1.0;
    }
    recolour(recoloured, items, index, hasStyleSheet(content));
    return recoloured;
}

} // namespace kalvo
