// A generic SVG element tree: the element's name, its attributes as read,
// its children in document order and a scale. The icon registry keeps one
// tree per file and builds drawable documents from copies of it.
//
//   KTNSvgElement svg{QStringLiteral("svg"), {{"viewBox", "0 0 16 16"}}};
//   svg.childElements.append(KTNSvgElement{QStringLiteral("path"), {{"d", "M0 0 L16 16"}}});
//   QImage image = KTNSVGLibHelper::exportImageWithElement(svg, 2.0);
//
// A plain value: copies are deep.
#pragma once

#include <kalvo/global.h>

#include <QList>
#include <QMap>
#include <QString>

namespace kalvo {

struct KALVO_EXPORT KTNSvgElement
{
    QString elementName;
    // Attributes by name. A map, so walks over them are deterministic.
    QMap<QString, QString> attribute;
    QList<KTNSvgElement> childElements;
    double scale = 1.0;
    // The character data of a "style" element (its style sheet); empty for
    // other elements.
    QString text;

    KTNSvgElement() = default;
    KTNSvgElement(QString name, QMap<QString, QString> attributes, double elementScale = 1.0)
        : elementName(std::move(name)), attribute(std::move(attributes)), scale(elementScale)
    {
    }

    bool operator==(const KTNSvgElement &other) const = default;
};

} // namespace kalvo

// Its members may be moved in memory as they are: lists of elements grow
// by copying bytes instead of element by element.
Q_DECLARE_TYPEINFO(kalvo::KTNSvgElement, Q_RELOCATABLE_TYPE);
