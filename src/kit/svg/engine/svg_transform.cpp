// Transform lists: translate, scale and rotate act before what was read so
// far; matrix, skewX and skewY act after it.
#include <kalvo/svg/svgdrawables.h>

#include "svg_scanner_p.h"

#include <cmath>

namespace kalvo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Reads up to `count` numbers into `values`, stopping at the first one
// missing (the rest keep their defaults).
void readNumbers(svg::Scanner &scanner, double *values, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!scanner.scanFloatAndAdvance(values[i]))
            return;
    }
}

bool startsFunction(svg::Scanner &scanner, QLatin1String name)
{
    if (!scanner.remaining().startsWith(name))
        return false;
    scanner.setPosition(scanner.position() + name.size());
    return true;
}

} // namespace

std::optional<QTransform> KTNTKSVGBaseElement::parserTransformWithValueString(const QString &value)
{
    if (value.isEmpty())
        return std::nullopt;
    QTransform result;
    svg::Scanner scanner(value);
    while (!scanner.atEnd()) {
        if (startsFunction(scanner, QLatin1String("translate("))) {
            double v[2] = {0, 0};
            readNumbers(scanner, v, 2);
            result.translate(v[0], v[1]);
        } else if (startsFunction(scanner, QLatin1String("scale("))) {
            double sx = 1;
            if (scanner.scanFloatAndAdvance(sx)) {
                double sy = sx;
                scanner.scanFloatAndAdvance(sy);
                result.scale(sx, sy);
            }
        } else if (startsFunction(scanner, QLatin1String("rotate("))) {
            double v[3] = {0, 0, 0};
            readNumbers(scanner, v, 3);
            result.translate(v[1], v[2]);
            result.rotate(v[0]); // exact for quarter turns
            result.translate(-v[1], -v[2]);
        } else if (startsFunction(scanner, QLatin1String("matrix("))) {
            double v[6] = {1, 0, 0, 1, 0, 0};
            readNumbers(scanner, v, 6);
            result = result * QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
        } else if (startsFunction(scanner, QLatin1String("skewX("))) {
            double a = 0;
            readNumbers(scanner, &a, 1);
            result = result * QTransform(1, 0, std::tan(a * kPi / 180.0), 1, 0, 0);
        } else if (startsFunction(scanner, QLatin1String("skewY("))) {
            double a = 0;
            readNumbers(scanner, &a, 1);
            result = result * QTransform(1, std::tan(a * kPi / 180.0), 0, 1, 0, 0);
        } else {
            scanner.skipCharacter();
        }
    }
    return result;
}

} // namespace kalvo
