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
        if (!stringToEqual(stroke, element.attribute.value(kStroke)) || !stringToEqual(fill, element.attribute.value(kFill))) {
            QMap<QString, QString> attributes = element.attribute;
            setPaint(attributes, kStroke, stroke);
            setPaint(attributes, kFill, fill);
            element.attribute = std::move(attributes);
        }
    }
    for (KTNSvgElement &child : element.childElements) {
        ++index;
        updateElement(child, colorArray, index);
    }
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
    updateElement(recoloured, items, index);
    return recoloured;
}

} // namespace kalvo
