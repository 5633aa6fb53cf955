// KTNTKSVGBaseElement: defaults, presentation attributes, the class
// operations every element uses, and inheritance from the parent.
#include <kalvo/svg/svgdrawables.h>

#include <kalvo/theme/color.h>

#include "svg_prepare_p.h"
#include "svg_scanner_p.h"

#include <QElapsedTimer>

#include <cmath>
#include <typeinfo>

namespace kalvo {

namespace {

constexpr double kEpsilon = 1e-7;
// The most elements one path operation adds (a rounded rectangle).
constexpr qsizetype kLargestStep = 18;

template <typename T>
KTNTKSVGBaseElement::Factory factory()
{
    return [] { return std::static_pointer_cast<KTNTKSVGBaseElement>(std::make_shared<T>()); };
}

// The largest distance from the origin along either axis of `box`, which
// an outline's points keep within; NaN for a box that is not a number.
double reachOf(const QRectF &box)
{
    return std::max(std::max(std::abs(box.left()), std::abs(box.right())),
                    std::max(std::abs(box.top()), std::abs(box.bottom())));
}

} // namespace

KTNTKSVGBaseElement::~KTNTKSVGBaseElement() = default;

const QMap<QString, KTNTKSVGBaseElement::Factory> &KTNTKSVGBaseElement::classMap()
{
    static const QMap<QString, Factory> map{
        {QStringLiteral("svg"), factory<KTNTKSVGRootElement>()},
        {QStringLiteral("g"), factory<KTNTKSVGGElement>()},
        {QStringLiteral("path"), factory<KTNTKSVGPathElement>()},
        {QStringLiteral("circle"), factory<KTNTKSVGCircleElement>()},
        {QStringLiteral("rect"), factory<KTNTKSVGRectElement>()},
        {QStringLiteral("ellipse"), factory<KTNTKSVGEllipseElement>()},
        {QStringLiteral("line"), factory<KTNTKSVGLineElement>()},
        {QStringLiteral("polyline"), factory<KTNTKSVGPolylineElement>()},
        {QStringLiteral("polygon"), factory<KTNTKSVGPolygonElement>()},
        {QStringLiteral("clipPath"), factory<KTNTKSVGClipPathElement>()},
        {QStringLiteral("mask"), factory<KTNTKSVGMaskElement>()},
        {QStringLiteral("linearGradient"), factory<KTNTKSVGLinearGradientElement>()},
        {QStringLiteral("radialGradient"), factory<KTNTKSVGRadialGradientElement>()},
    };
    return map;
}

KTNSVGElementPtr KTNTKSVGBaseElement::elementWithName(const QString &name, const KTNSVGAttributes &attributes,
                                                      KTNSVGBuildContext *context)
{
    const auto it = classMap().constFind(name);
    if (it == classMap().constEnd())
        return nullptr;
    KTNSVGElementPtr element = (*it)();
    element->initWithAttributes(attributes, context);
    return element;
}

void KTNTKSVGBaseElement::initWithAttributes(const KTNSVGAttributes &attributes, KTNSVGBuildContext *context)
{
    build(context, [&] { setupPropertyWithAttributes(attributes); });
}

void KTNTKSVGBaseElement::initWithPrepared(const svg::PreparedValues &values, KTNSVGBuildContext *context)
{
    build(context, [&] { setupPreparedValues(values); });
}

template <typename Setup>
void KTNTKSVGBaseElement::build(KTNSVGBuildContext *context, const Setup &setup)
{
    m_build = context;
    const bool timed = context && context->timeStages;
    QElapsedTimer timer;
    if (timed)
        timer.start();
    setupDefaultValue();
    setup();
    if (timed) {
        context->styleNanoseconds += timer.nsecsElapsed();
        timer.restart();
    }
    createShape();
    setupShapeAttributes();
    if (timed)
        context->outlineNanoseconds += timer.nsecsElapsed();
    if (context) {
        if (shape) {
            context->pathElementBudget -= shape->path.elementCount();
            // An outline that ran into its limit was cut short: the document
            // has spent its budget.
            if (shape->path.elementCount() + kLargestStep >= shape->elementLimit)
                context->pathElementBudget = 0;
        }
    }
    m_build = nullptr;
}

qsizetype KTNTKSVGBaseElement::pathElementLimit() const
{
    if (!m_build)
        return KTNSVGBezierPath::kDefaultElementLimit;
    return std::max<qsizetype>(0, m_build->pathElementBudget);
}

void KTNTKSVGBaseElement::setupPropertyWithAttributes(const KTNSVGAttributes &attributes)
{
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it) {
        if (!it.value().isEmpty())
            parserAttributeWithKey(it.key(), it.value());
    }
    propertyToFit();
}

void KTNTKSVGBaseElement::setupPreparedValues(const svg::PreparedValues &values)
{
    using V = svg::PreparedValues;
    const quint32 given = values.given;
    // What parserAttributeWithKey does with "fill" or "stroke".
    auto paint = [&](const svg::PreparedPaint &paint, const QString &key, bool &paintGiven, int &has,
                     QString &server, QColor &color, QString &colorText) {
        if (paint.kind < 0) {
            if (!paint.text.isEmpty())
                parserAttributeWithKey(key, paint.text);
            return;
        }
        paintGiven = true;
        has = paint.kind;
        if (paint.kind == 2) {
            server = paint.text;
        } else if (paint.kind == 1) {
            color = paint.color;
            colorText = paint.text;
        }
    };
    if (given & V::kId)
        identifier = values.id;
    if (given & V::kOpacity)
        opacity = values.opacity;
    if (given & V::kFill)
        paint(values.fill, QStringLiteral("fill"), m_fillGiven, hasFill, fillElementIdentifier, fillColor, fillColorStr);
    if (given & V::kFillOpacity)
        m_fillOpacity = values.fillOpacity;
    if (given & V::kFillRule)
        fillRule = values.fillRule;
    if (given & V::kStroke)
        paint(values.stroke, QStringLiteral("stroke"), m_strokeGiven, hasStroke, strokeElementIdentifier, strokColor,
              strokColorStr);
    if (given & V::kStrokeOpacity)
        m_strokeOpacity = values.strokeOpacity;
    if (given & V::kStrokeWidth) {
        strokeWidth = values.strokeWidth;
        useDefaultStrokeWidth = false;
    }
    if (given & V::kLineCap)
        strokeLineCap = values.lineCap;
    if (given & V::kLineJoin)
        strokeLineJoin = values.lineJoin;
    if (given & V::kMiterLimit)
        miterLimit = values.miterLimit;
    if ((given & V::kDashArray) && !values.dashArray.isEmpty())
        strokeDashArray = parserStrokeDashArrayWithValue(values.dashArray);
    if (given & V::kDashOffset)
        strokeDashOffset = values.dashOffset;
    if (given & V::kClipPath)
        clipPathIdentifier = values.clipPath;
    if (given & V::kMask)
        maskIdentifier = values.mask;
    if (given & V::kTransform)
        transform = values.transform;
    if ((given & V::kPathData) && !values.pathData.isEmpty()) {
        if (dynamic_cast<KTNTKSVGPathElement *>(this))
            parserAttributeWithKey(QStringLiteral("d"), values.pathData);
        else if (dynamic_cast<KTNTKSVGPolylineElement *>(this))
            parserAttributeWithKey(QStringLiteral("points"), values.pathData);
    }
    if (values.geometryGiven) {
        double *fields[6] = {};
        if (auto *rect = dynamic_cast<KTNTKSVGRectElement *>(this)) {
            double *own[] = {&rect->x, &rect->y, &rect->width, &rect->height, &rect->rx, &rect->ry};
            std::copy(std::begin(own), std::end(own), fields);
        } else if (auto *circle = dynamic_cast<KTNTKSVGCircleElement *>(this)) {
            double *own[] = {&circle->cx, &circle->cy, &circle->r};
            std::copy(std::begin(own), std::end(own), fields);
        } else if (auto *ellipse = dynamic_cast<KTNTKSVGEllipseElement *>(this)) {
            double *own[] = {&ellipse->cx, &ellipse->cy, &ellipse->rx, &ellipse->ry};
            std::copy(std::begin(own), std::end(own), fields);
        } else if (auto *line = dynamic_cast<KTNTKSVGLineElement *>(this)) {
            double *own[] = {&line->x1, &line->y1, &line->x2, &line->y2};
            std::copy(std::begin(own), std::end(own), fields);
        }
        for (int i = 0; i < 6; ++i) {
            if (fields[i] && (values.geometryGiven & (1u << i)))
                *fields[i] = values.geometry[i];
        }
    }
    propertyToFit();
}

void KTNTKSVGBaseElement::setupDefaultValue()
{
    identifier.clear();
    transform.reset();
    fillColor = QColor();
    strokColor = QColor();
    fillColorStr.clear();
    strokColorStr.clear();
    opacity = 1.0;
    m_fillOpacity = 1.0;
    m_strokeOpacity = 1.0;
    fillElementIdentifier.clear();
    strokeElementIdentifier.clear();
    clipPathIdentifier.clear();
    maskIdentifier.clear();
    strokeWidth = 0.0;
    strokeDashOffset = 0.0;
    strokeDashArray.clear();
    strokeLineJoin = 0;
    strokeLineCap = 0;
    miterLimit = 10.0;
    fillRule = 0;
    stopColor = QColor();
    stopOpacity = 1.0;
    stopOffset = 0.0;
    hasFill = 0;
    hasStroke = 0;
    m_fillGiven = false;
    m_strokeGiven = false;
    ctrlPoint = QPointF();
    useDefaultStrokeWidth = true;
}

namespace {

enum class BaseKey {
    Other, Fill, Stroke, Opacity, FillOpacity, StrokeOpacity, StopOpacity, StrokeWidth, StrokeDasharray,
    StrokeDashoffset, StrokeLinecap, StrokeLinejoin, StrokeMiterlimit, FillRule, Transform, StopColor, Offset, Id,
    ClipPath, Mask,
};

// The attribute `key` names, by its length first: one comparison at most
// for most names.
BaseKey baseKeyOf(const QString &key)
{
    auto is = [&](const char *name, BaseKey which) { return key == QLatin1String(name) ? which : BaseKey::Other; };
    switch (key.size()) {
    case 2:
        return is("id", BaseKey::Id);
    case 4:
        return key.front() == QLatin1Char('f') ? is("fill", BaseKey::Fill) : is("mask", BaseKey::Mask);
    case 6:
        return key.front() == QLatin1Char('s') ? is("stroke", BaseKey::Stroke) : is("offset", BaseKey::Offset);
    case 7:
        return is("opacity", BaseKey::Opacity);
    case 9:
        return key.front() == QLatin1Char('f')   ? is("fill-rule", BaseKey::FillRule)
               : key.front() == QLatin1Char('t') ? is("transform", BaseKey::Transform)
                                                 : is("clip-path", BaseKey::ClipPath);
    case 10:
        return is("stop-color", BaseKey::StopColor);
    case 12:
        return key.front() == QLatin1Char('f')  ? is("fill-opacity", BaseKey::FillOpacity)
               : key.at(2) == QLatin1Char('o') ? is("stop-opacity", BaseKey::StopOpacity)
                                                : is("stroke-width", BaseKey::StrokeWidth);
    case 14:
        return key.at(7) == QLatin1Char('o') ? is("stroke-opacity", BaseKey::StrokeOpacity)
                                             : is("stroke-linecap", BaseKey::StrokeLinecap);
    case 15:
        return is("stroke-linejoin", BaseKey::StrokeLinejoin);
    case 16:
        return is("stroke-dasharray", BaseKey::StrokeDasharray);
    case 17:
        return key.at(7) == QLatin1Char('m') ? is("stroke-miterlimit", BaseKey::StrokeMiterlimit)
                                             : is("stroke-dashoffset", BaseKey::StrokeDashoffset);
    default:
        return BaseKey::Other;
    }
}

// hexColorWithString for fill and stroke text. The named-colour table is
// fixed once loaded, so "currentColor", which icon files use everywhere,
// is looked up in it once.
QColor colorOfText(const QString &value)
{
    if (value.size() == 12 && value == QLatin1String("currentColor")) {
        static const QColor current = hexColorWithString(QStringLiteral("currentColor"));
        return current;
    }
    return hexColorWithString(value);
}

} // namespace

void KTNTKSVGBaseElement::parserAttributeWithKey(const QString &key, const QString &value)
{
    // Keys are matched exactly; "style" (inline CSS) is not read.
    const BaseKey which = baseKeyOf(key);
    if (which == BaseKey::Fill) {
        m_fillGiven = true;
        if (value == QLatin1String("none")) {
            hasFill = 0;
        } else if (value.contains(QLatin1String("url("))) {
            hasFill = 2;
            fillElementIdentifier = parserUrlStringWithValue(value).value_or(QString());
        } else {
            hasFill = 1;
            fillColor = colorOfText(value);
            fillColorStr = value;
        }
    } else if (which == BaseKey::Stroke) {
        m_strokeGiven = true;
        if (value == QLatin1String("none")) {
            hasStroke = 0;
        } else if (value.contains(QLatin1String("url("))) {
            hasStroke = 2;
            strokeElementIdentifier = parserUrlStringWithValue(value).value_or(QString());
        } else {
            hasStroke = 1;
            strokColor = colorOfText(value);
            strokColorStr = value;
        }
    } else if (which == BaseKey::Opacity) {
        opacity = parserOpacityWithValueString(value);
    } else if (which == BaseKey::FillOpacity) {
        m_fillOpacity = parserOpacityWithValueString(value);
    } else if (which == BaseKey::StrokeOpacity) {
        m_strokeOpacity = parserOpacityWithValueString(value);
    } else if (which == BaseKey::StopOpacity) {
        stopOpacity = parserOpacityWithValueString(value);
    } else if (which == BaseKey::StrokeWidth) {
        strokeWidth = parserFloatWithValueString(value);
        useDefaultStrokeWidth = false;
    } else if (which == BaseKey::StrokeDasharray) {
        strokeDashArray = parserStrokeDashArrayWithValue(value);
    } else if (which == BaseKey::StrokeDashoffset) {
        strokeDashOffset = parserFloatWithValueString(value);
    } else if (which == BaseKey::StrokeLinecap) {
        strokeLineCap = parserLineCapWithValue(value);
    } else if (which == BaseKey::StrokeLinejoin) {
        strokeLineJoin = parserLineJoinWithValue(value);
    } else if (which == BaseKey::StrokeMiterlimit) {
        const double limit = parserFloatWithValueString(value);
        miterLimit = limit < kEpsilon ? 0.0 : limit;
    } else if (which == BaseKey::FillRule) {
        fillRule = parserFillRuleWithValue(value);
    } else if (which == BaseKey::Transform) {
        transform = parserTransformWithValueString(value);
    } else if (which == BaseKey::StopColor) {
        stopColor = hexColorWithString(value);
    } else if (which == BaseKey::Offset) {
        stopOffset = parserFloatWithValueString(value);
    } else if (which == BaseKey::Id) {
        identifier = value;
    } else if (which == BaseKey::ClipPath) {
        clipPathIdentifier = parserUrlStringWithValue(value).value_or(QString());
    } else if (which == BaseKey::Mask) {
        maskIdentifier = parserUrlStringWithValue(value).value_or(QString());
    }
}

void KTNTKSVGBaseElement::propertyToFit()
{
    if (hasStroke != 0 && useDefaultStrokeWidth)
        strokeWidth = 1.0;
}

void KTNTKSVGBaseElement::createShape()
{
    shape = KTNSVGBezierPath();
    shape->elementLimit = pathElementLimit();
}

void KTNTKSVGBaseElement::setupShapeAttributes()
{
    if (!shape)
        return;
    shape->setWindingRule(fillRule);
    shape->lineCapStyle = strokeLineCap;
    shape->lineJoinStyle = strokeLineJoin;
    shape->miterLimit = miterLimit;
    if (strokeWidth != 0.0)
        shape->lineWidth = strokeWidth;
    else
        shape->lineWidth = hasStroke != 0 ? 1.0 : 0.0;
    if (!strokeDashArray.isEmpty()) {
        shape->lineDash.clear();
        for (const QString &part : std::as_const(strokeDashArray))
            shape->lineDash.append(parserFloatWithValueString(part));
        shape->lineDashPhase = std::isfinite(strokeDashOffset) ? strokeDashOffset : 0.0;
    }
    m_userBounds.reset();
    // Without a transform the outline is its own user-space outline (a copy
    // is kept only where clamping would change it).
    m_userOutline = KTNSVGPainterPath();
    m_userOutlineIsShape = !transform;
    if (transform) {
        m_userOutline = shape->path;
        shape->transformUsingAffineTransform(*transform);
        // The outline is stroked after the transform: the width and dashes
        // grow with the transform's (mean) scale.
        const double factor = std::sqrt(std::abs(transform->determinant()));
        if (std::isfinite(factor) && std::abs(factor - 1.0) > 1e-12) {
            shape->lineWidth *= factor;
            for (double &length : shape->lineDash)
                length *= factor;
            shape->lineDashPhase *= factor;
        }
    } else {
        // (The transform above has done this.) An outline just built holds
        // only finite points (the builders refuse others): its box, which
        // drawing asks for anyway, tells whether any is beyond the limit.
        if (!(reachOf(shape->path.controlPointRect()) <= KTNSVGBezierPath::kCoordinateLimit)) {
            m_userOutline = shape->path;
            m_userOutlineIsShape = false;
            shape->sanitize();
        }
    }
}

QRectF KTNTKSVGBaseElement::userBounds() const
{
    if (!m_userBounds)
        m_userBounds = (m_userOutlineIsShape && shape ? shape->path : m_userOutline).boundingRect();
    return *m_userBounds;
}

// ---- Class operations ----

std::optional<QString> KTNTKSVGBaseElement::parserUrlStringWithValue(const QString &value)
{
    if (!value.startsWith(QLatin1String("url(")) || !value.endsWith(QLatin1Char(')')) || value.size() < 5)
        return std::nullopt;
    QStringView inner = QStringView(value).sliced(4, value.size() - 5);
    if (inner.startsWith(QLatin1Char('#')))
        inner = inner.sliced(1);
    if (inner.isEmpty())
        return std::nullopt;
    return inner.toString();
}

QStringList KTNTKSVGBaseElement::parserStrokeDashArrayWithValue(const QString &value)
{
    if (value == QLatin1String("none"))
        return {};
    const QStringList parts = value.split(QLatin1Char(','));
    QStringList result;
    double sum = 0;
    for (qsizetype i = 0; i < parts.size() && i < 8; ++i) {
        const QString part = parts[i].trimmed();
        if (part.isEmpty())
            continue;
        result.append(part);
        sum += parserFloatWithValueString(part);
    }
    if (std::abs(sum) < kEpsilon)
        return {};
    return result;
}

int KTNTKSVGBaseElement::parserLineCapWithValue(const QString &value)
{
    if (value == QLatin1String("round"))
        return 1;
    if (value == QLatin1String("square"))
        return 2;
    return 0;
}

int KTNTKSVGBaseElement::parserLineJoinWithValue(const QString &value)
{
    if (value == QLatin1String("round"))
        return 1;
    if (value == QLatin1String("bevel"))
        return 2;
    return 0;
}

int KTNTKSVGBaseElement::parserFillRuleWithValue(const QString &value)
{
    return value == QLatin1String("evenodd") ? 1 : 0;
}

double KTNTKSVGBaseElement::parserFloatWithValueString(const QString &value)
{
    double number = 0;
    if (!svg::leadingNumber(value, number))
        return 0.0;
    return number;
}

double KTNTKSVGBaseElement::parserOpacityWithValueString(const std::optional<QString> &value)
{
    if (!value)
        return 1.0;
    const double number = parserFloatWithValueString(*value);
    return number < 0 ? 1.0 : number;
}

KTNSVGBezierPath KTNTKSVGBaseElement::transformPath(const KTNSVGBezierPath &path, double scale)
{
    if (std::abs(scale - 1.0) < kEpsilon)
        return path;
    KTNSVGBezierPath scaled = path;
    scaled.path = QTransform::fromScale(scale, scale).map(path.path);
    scaled.path.setFillRule(path.path.fillRule());
    scaled.lineWidth = path.lineWidth * scale;
    // Dashes are lengths along the outline: they grow with it, or an icon
    // drawn at 2x would show twice as many dashes.
    for (double &length : scaled.lineDash)
        length *= scale;
    scaled.lineDashPhase = path.lineDashPhase * scale;
    // Built outlines are already sane (as the unscaled way trusts): only a
    // scale that takes them past the coordinate limit leaves sanitize()
    // anything to do. The box is the outline's own, mostly known already.
    if (!(reachOf(path.path.controlPointRect()) * std::abs(scale) <= KTNSVGBezierPath::kCoordinateLimit))
        scaled.sanitize();
    return scaled;
}

double KTNTKSVGBaseElement::directDrawingScale(double scale) const
{
    // Exact kinds: a subclass may have its own outline or painting.
    const std::type_info &kind = typeid(*this);
    if (!shape
        || (kind != typeid(KTNTKSVGPathElement) && kind != typeid(KTNTKSVGRectElement)
            && kind != typeid(KTNTKSVGCircleElement) && kind != typeid(KTNTKSVGEllipseElement)
            && kind != typeid(KTNTKSVGLineElement) && kind != typeid(KTNTKSVGPolylineElement)
            && kind != typeid(KTNTKSVGPolygonElement)))
        return 0;
    // transformPath leaves a scale this close to 1 out.
    const double at = std::abs(scale - 1.0) < kEpsilon ? 1.0 : scale;
    // A scale that could take the outline past the coordinate limit needs
    // the copy's clamping.
    if (!(at > 0) || !(reachOf(shape->path.controlPointRect()) * at <= KTNSVGBezierPath::kCoordinateLimit))
        return 0;
    return at;
}

// ---- Relations ----

void KTNTKSVGBaseElement::setParentElement(const KTNSVGElementPtr &parent)
{
    const KTNSVGElementPtr current = m_parentElement.lock();
    if (current == parent)
        return;
    m_parentElement = parent;
    resetAttribute();
}

void KTNTKSVGBaseElement::resetAttribute()
{
    const KTNSVGElementPtr parent = m_parentElement.lock();
    if (!parent)
        return;
    // Kept for the record: the outline was built with the element's own
    // transform only.
    if (transform && parent->transform)
        transform = *transform * *parent->transform;

    // "none" is a value of its own: an element that says it is not filled
    // or stroked stays so inside a group that is.
    if (!m_strokeGiven && hasStroke == 0 && parent->hasStroke == 1) {
        strokColor = parent->strokColor;
        strokColorStr = parent->strokColorStr;
        hasStroke = 1;
    } else if (!m_strokeGiven && hasStroke == 0 && parent->hasStroke == 2) {
        strokeElement = parent->strokeElement;
        // The parent's gradient is usually resolved only after its children
        // are built: keep its name so that resolution finds it for the child.
        if (strokeElementIdentifier.isEmpty())
            strokeElementIdentifier = parent->strokeElementIdentifier;
        hasStroke = 2;
    }

    if (useDefaultStrokeWidth && std::abs(parent->strokeWidth) >= kEpsilon) {
        strokeWidth = parent->strokeWidth;
        if (shape)
            shape->lineWidth = strokeWidth;
    }

    if (!m_fillGiven && hasFill == 0 && parent->hasFill == 1) {
        fillColor = parent->fillColor;
        fillColorStr = parent->fillColorStr;
        hasFill = 1;
    } else if (!m_fillGiven && hasFill == 0 && parent->hasFill == 2) {
        fillElement = parent->fillElement;
        if (fillElementIdentifier.isEmpty())
            fillElementIdentifier = parent->fillElementIdentifier;
        hasFill = 2;
    }
}

namespace {

// Only hexadecimal colour text carries an alpha in its last two digits:
// colour names of nine letters or more ("orangered") do not.
bool carriesHexAlpha(const QString &text)
{
    return text.size() >= 9 && (text.startsWith(QLatin1Char('#')) || text.startsWith(QLatin1String("0x")));
}

} // namespace

double KTNTKSVGBaseElement::fillOpacity() const
{
    if (carriesHexAlpha(fillColorStr))
        return opacityOfHexColor(fillColorStr);
    return m_fillOpacity;
}

double KTNTKSVGBaseElement::strokeOpacity() const
{
    if (carriesHexAlpha(strokColorStr))
        return opacityOfHexColor(strokColorStr);
    return m_strokeOpacity;
}

} // namespace kalvo
