// Drawing: the draw context (transparency layers and the work budget) and
// the elements' drawing steps.
//
// A transparency layer composites what an element draws with its opacity
// as one image. Where an element paints with one operation (a fill or a
// stroke alone), painting that operation at the opacity gives the same
// pixels, so only groups and fill-plus-stroke shapes at a partial opacity
// get a layer, and a layer covers only the element's bounds.
#include <kalvo/svg/svgdrawables.h>

#include "svg_scanline_p.h"

#include <kalvo/theme/color.h>

#include <cairo.h>

#include <QLinearGradient>
#include <QRadialGradient>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <string_view>
#include <cmath>

namespace kalvo {

namespace {

// Beyond this many dashes along a path the pattern is drawn as a solid
// line: Qt would otherwise build an outline with a piece per dash.
constexpr double kMaxDashes = 10000;
// Nesting of drawing calls beyond which elements are not drawn (element
// trees built by hand could even contain cycles).
constexpr int kMaxDrawDepth = 512;
constexpr double kMaxLineWidth = 1e6;
// Clip outlines joined into an exact union; more are joined by the
// non-zero rule.
constexpr qsizetype kMaxUnitedOutlines = 64;

double unitAlpha(double alpha)
{
    if (std::isnan(alpha))
        return 1.0;
    return std::clamp(alpha, 0.0, 1.0);
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(static_cast<float>(unitAlpha(alpha)));
    return color;
}

// Whether `text` is the lower-case ASCII keyword in any case (drawn for
// every shape, so without Qt's general comparison).
bool isKeyword(const QString &text, std::string_view keyword)
{
    if (text.size() != qsizetype(keyword.size()))
        return false;
    const QChar *u = text.constData();
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char16_t c = u[i].unicode();
        if (c >= 'A' && c <= 'Z')
            c = char16_t(c + ('a' - 'A'));
        if (c != static_cast<unsigned char>(keyword[i]))
            return false;
    }
    return true;
}

// The colour keyword "transparent" names a colour of alpha 0. Drawing
// replaces a colour's alpha with the fill or stroke opacity, which would
// turn it into opaque black; it paints nothing instead.
bool paintsNothing(const QString &colorText)
{
    return isKeyword(colorText, "transparent");
}

const QRectF &unboundedRect()
{
    static const QRectF rect(-1e9, -1e9, 2e9, 2e9);
    return rect;
}

// An upper bound of the length of a path: its control polygon.
template <typename Path>
double controlPolygonLength(const Path &path)
{
    double length = 0;
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (!e.isMoveTo())
            length += std::hypot(p.x() - last.x(), p.y() - last.y());
        last = p;
    }
    return length;
}

// ---- Cairo ----

// Shared with the engine's own rasteriser, so that both take outlines alike.
using svgscan::clampedArm;
using svgscan::kNoiseLine;
using svgscan::samePoint;

// The outline as a cairo path. Subpaths listed in `closedEnds` (by their
// last element) are closed; without a list, those that end where they
// started, as Qt's own stroker takes them.
template <typename Path>
void appendToCairo(cairo_t *cr, const Path &path, const QList<int> *closedEnds = nullptr)
{
    cairo_new_path(cr);
    const int count = path.elementCount();
    int start = -1;
    QPointF last;
    auto finish = [&](int end) {
        if (start >= 0 && end > start) {
            const QPainterPath::Element first = path.elementAt(start);
            const QPainterPath::Element last = path.elementAt(end);
            if (closedEnds ? std::binary_search(closedEnds->begin(), closedEnds->end(), end) : samePoint(first, last))
                cairo_close_path(cr);
        }
    };
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            finish(i - 1);
            start = i;
            last = QPointF(e.x, e.y);
            cairo_move_to(cr, e.x, e.y);
            break;
        case QPainterPath::LineToElement:
            if (std::abs(e.x - last.x()) < kNoiseLine && std::abs(e.y - last.y()) < kNoiseLine) {
                cairo_line_to(cr, last.x(), last.y());
                break;
            }
            last = QPointF(e.x, e.y);
            cairo_line_to(cr, e.x, e.y);
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < count) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPointF end(path.elementAt(i + 2).x, path.elementAt(i + 2).y);
                const QPointF span = end - last;
                const double chord = span.x() * span.x() + span.y() * span.y();
                const QPointF a = clampedArm(last, QPointF(e.x, e.y), chord);
                const QPointF b = clampedArm(end, QPointF(c2.x, c2.y), chord);
                cairo_curve_to(cr, a.x(), a.y(), b.x(), b.y(), end.x(), end.y());
                last = end;
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    finish(count - 1);
}

template <typename Path>
cairo_fill_rule_t cairoFillRule(const Path &path)
{
    return path.fillRule() == Qt::OddEvenFill ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
}

// The brush as cairo's source, `opacity` multiplied into its colours.
// Answers false for a brush cairo cannot take (nothing is painted).
bool setCairoSource(cairo_t *cr, const QBrush &brush, double opacity)
{
    const Qt::BrushStyle style = brush.style();
    if (style == Qt::SolidPattern) {
        const QColor c = brush.color();
        cairo_set_source_rgba(cr, c.redF(), c.greenF(), c.blueF(), c.alphaF() * opacity);
        return true;
    }
    const QGradient *gradient = brush.gradient();
    if (!gradient || (style != Qt::LinearGradientPattern && style != Qt::RadialGradientPattern))
        return false;
    cairo_pattern_t *pattern = nullptr;
    if (style == Qt::LinearGradientPattern) {
        const auto *linear = static_cast<const QLinearGradient *>(gradient);
        pattern = cairo_pattern_create_linear(linear->start().x(), linear->start().y(), linear->finalStop().x(),
                                              linear->finalStop().y());
    } else {
        const auto *radial = static_cast<const QRadialGradient *>(gradient);
        pattern = cairo_pattern_create_radial(radial->focalPoint().x(), radial->focalPoint().y(),
                                              radial->focalRadius(), radial->center().x(), radial->center().y(),
                                              radial->centerRadius());
    }
    for (const QGradientStop &stop : gradient->stops()) {
        const QColor &c = stop.second;
        cairo_pattern_add_color_stop_rgba(pattern, stop.first, c.redF(), c.greenF(), c.blueF(), c.alphaF() * opacity);
    }
    cairo_pattern_set_extend(pattern, gradient->spread() == QGradient::ReflectSpread  ? CAIRO_EXTEND_REFLECT
                                      : gradient->spread() == QGradient::RepeatSpread ? CAIRO_EXTEND_REPEAT
                                                                                      : CAIRO_EXTEND_PAD);
    // Cairo's pattern matrix maps user space to pattern space: the
    // inverse of the brush's.
    const QTransform inverse = brush.transform().inverted();
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, inverse.m11(), inverse.m12(), inverse.m21(), inverse.m22(), inverse.dx(),
                      inverse.dy());
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

// Paints the brush through a coverage mask (its box in image pixels,
// `origin` being the image's first pixel in user space).
void paintThroughMask(cairo_t *cr, const svgscan::Mask &mask, QPoint origin, const QBrush &brush, double opacity)
{
    if (mask.box.isEmpty() || !setCairoSource(cr, brush, opacity))
        return;
    cairo_surface_t *coverage =
        cairo_image_surface_create_for_data(const_cast<uchar *>(mask.bytes.data()), CAIRO_FORMAT_A8,
                                            mask.box.width(), mask.box.height(), mask.stride);
    cairo_mask_surface(cr, coverage, mask.box.x() + origin.x(), mask.box.y() + origin.y());
    cairo_surface_destroy(coverage);
}

// The length after which the outline's dash pattern repeats (an odd
// list repeats twice); 0 when the pattern is not usable: negative or
// non-finite lengths, no length at all, or too many dashes along the path.
double dashPeriod(const KTNSVGBezierPath &outline)
{
    double period = 0;
    for (double length : outline.lineDash) {
        if (!std::isfinite(length) || length < 0)
            return 0;
        period += length;
    }
    if (outline.lineDash.size() % 2)
        period *= 2;
    if (!(period > 0) || controlPolygonLength(outline.path) / period > kMaxDashes)
        return 0;
    return period;
}

// The miter limit cairo is given.
double cairoMiterLimit(const KTNSVGBezierPath &outline)
{
    const double miter = outline.miterLimit;
    return std::isfinite(miter) ? std::clamp(miter, 1.0, 1e4) : 10.0;
}

} // namespace

// ---- KTNSVGDrawContext ----

struct KTNSVGDrawContext::Frame
{
    bool layered = false;
    // Whether cairo's state was saved when the frame began (not before
    // cairo is first needed), and whether a clip was set in it.
    bool cairoSaved = false;
    bool cairoClipped = false;
    double alpha = 1.0;
    // The opacity enclosing frames had multiplied in (cairo).
    double outerOpacity = 1.0;
    QRect layerRect;
    QRectF clip;
    QImage image;
    std::unique_ptr<QPainter> layerPainter;
};

// The image drawn into. Fills and strokes of a colour or a linear or radial
// gradient straight into it, with no clip, are drawn by the engine's own
// rasteriser when it is on
// (svgscan::enabled()); other shapes take its coverage as a cairo mask.
// Cairo's surface and context are made once something needs them.
struct KTNSVGDrawContext::Cairo
{
    svgscan::Target target;
    cairo_surface_t *surface = nullptr;
    cairo_t *cr = nullptr;
    // A clip set outside every frame.
    bool rootClipped = false;
    // Who wrote the pixels since the other last did: cairo flushes its
    // writes before ours and learns of ours before it draws again.
    bool cairoDrew = false;
    bool ownDrew = false;

    ~Cairo()
    {
        if (cr)
            cairo_destroy(cr);
        if (surface) {
            cairo_surface_flush(surface);
            cairo_surface_destroy(surface);
        }
    }

    cairo_t *context(KTNSVGDrawContext &owner)
    {
        if (!cr) {
            surface = cairo_image_surface_create_for_data(target.bits, CAIRO_FORMAT_ARGB32, target.width,
                                                          target.height, static_cast<int>(target.stride));
            cr = cairo_create(surface);
            // Out of memory: nothing more is drawn (cairo ignores what is
            // asked of a context in error).
            if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
                owner.m_workSpent = owner.m_limits.workBudget + 1;
            cairo_translate(cr, -target.origin.x(), -target.origin.y());
            // The frames open so far saved no state: they do now, so that
            // their ends restore what is set inside them.
            for (const auto &frame : owner.m_frames) {
                cairo_save(cr);
                frame->cairoSaved = true;
            }
        }
        if (ownDrew) {
            cairo_surface_mark_dirty(surface);
            ownDrew = false;
        }
        cairoDrew = true;
        return cr;
    }

    // Whether the engine's rasteriser can draw now: straight into the
    // image, with no clip.
    bool ownDrawing(const KTNSVGDrawContext &owner) const
    {
        if (!svgscan::enabled() || rootClipped)
            return false;
        for (const auto &frame : owner.m_frames) {
            if (frame->layered || frame->cairoClipped)
                return false;
        }
        return true;
    }

    void markClip(KTNSVGDrawContext &owner)
    {
        if (owner.m_frames.empty())
            rootClipped = true;
        else
            owner.m_frames.back()->cairoClipped = true;
    }

    void beginOwnDrawing()
    {
        if (cairoDrew && surface) {
            cairo_surface_flush(surface);
            cairoDrew = false;
        }
        ownDrew = true;
    }
};

KTNSVGDrawContext::KTNSVGDrawContext(QPainter &painter, const QRect &deviceRect)
    : KTNSVGDrawContext(painter, deviceRect, Limits())
{
}

KTNSVGDrawContext::KTNSVGDrawContext(QPainter &painter, const QRect &deviceRect, const Limits &limits)
    : m_root(painter), m_deviceRect(deviceRect), m_rootClip(deviceRect), m_limits(limits)
{
}

namespace {

std::unique_ptr<QPainter> painterFor(QImage &image, QPoint origin, KTNSVGRasterizer rasterizer)
{
    const bool cairo = rasterizer == KTNSVGRasterizer::Cairo && !image.isNull()
                       && image.format() == QImage::Format_ARGB32_Premultiplied;
    if (cairo)
        return std::make_unique<QPainter>();
    auto painter = std::make_unique<QPainter>(&image);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(-origin);
    return painter;
}

} // namespace

KTNSVGDrawContext::KTNSVGDrawContext(QImage &image, QPoint origin, const Limits &limits, KTNSVGRasterizer rasterizer)
    : m_ownPainter(painterFor(image, origin, rasterizer)),
      m_root(*m_ownPainter),
      m_deviceRect(origin, image.size()),
      m_rootClip(m_deviceRect),
      m_limits(limits)
{
    if (m_ownPainter->isActive())
        return;
    // Cairo's ARGB32 is Qt's premultiplied ARGB32: the same words.
    auto cairo = std::make_unique<Cairo>();
    cairo->target = {image.bits(), image.width(), image.height(), image.bytesPerLine(), origin};
    // A size cairo refuses draws nothing, whichever rasteriser would.
    constexpr int kCairoMaxSize = 32767;
    if (image.width() > kCairoMaxSize || image.height() > kCairoMaxSize
        || cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width()) < 0)
        m_workSpent = m_limits.workBudget + 1;
    m_cairo = std::move(cairo);
}

KTNSVGDrawContext::~KTNSVGDrawContext()
{
    while (!m_frames.empty())
        end();
}

KTNSVGRasterizer KTNSVGDrawContext::rasterizer() const
{
    return m_cairo ? KTNSVGRasterizer::Cairo : KTNSVGRasterizer::QPainter;
}

std::unique_ptr<KTNSVGDrawContext> KTNSVGDrawContext::offscreen(QImage &image, QPoint origin,
                                                                const Limits &limits) const
{
    auto inner = std::make_unique<KTNSVGDrawContext>(image, origin, limits, rasterizer());
    if (!m_cairo)
        inner->m_root.setRenderHints(painter().renderHints());
    inner->setCurrentColor(m_currentColor);
    return inner;
}

void KTNSVGDrawContext::drawImage(QPoint at, const QImage &image)
{
    if (image.isNull() || exhausted())
        return;
    if (!m_cairo) {
        painter().drawImage(at, image);
        return;
    }
    QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    cairo_surface_t *surface =
        cairo_image_surface_create_for_data(source.bits(), CAIRO_FORMAT_ARGB32, source.width(), source.height(),
                                            static_cast<int>(source.bytesPerLine()));
    cairo_t *cr = m_cairo->context(*this);
    cairo_set_source_surface(cr, surface, at.x(), at.y());
    cairo_paint_with_alpha(cr, m_opacity);
    cairo_surface_destroy(surface);
}

QPainter &KTNSVGDrawContext::painter() const
{
    for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
        if ((*it)->layered)
            return *(*it)->layerPainter;
    }
    return m_root;
}

QRectF KTNSVGDrawContext::visibleRect() const
{
    return m_frames.empty() ? m_rootClip : m_frames.back()->clip;
}

QRectF &KTNSVGDrawContext::currentClip()
{
    return m_frames.empty() ? m_rootClip : m_frames.back()->clip;
}

QRectF KTNSVGDrawContext::currentLayerRect() const
{
    for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it) {
        if ((*it)->layered)
            return (*it)->layerRect;
    }
    return m_deviceRect;
}

bool KTNSVGDrawContext::spend(const QRectF &bounds, qsizetype elements)
{
    const QRectF covered = bounds & visibleRect();
    const double area = covered.isEmpty() ? 0.0 : covered.width() * covered.height();
    m_workSpent += area + static_cast<double>(elements) + m_limits.operationCost;
    return !exhausted();
}

bool KTNSVGDrawContext::begin(double alpha, bool needsLayer, const QRectF &bounds)
{
    alpha = std::isnan(alpha) ? 1.0 : std::min(alpha, 1.0);
    if (exhausted() || !(alpha > 0) || static_cast<int>(m_frames.size()) >= kMaxDrawDepth)
        return false;
    const QRectF area = visibleRect() & bounds;
    if (area.isEmpty())
        return false;

    auto frame = std::make_unique<Frame>();
    frame->alpha = alpha;
    frame->clip = visibleRect();
    frame->outerOpacity = m_opacity;
    m_workSpent += m_limits.operationCost;
    // The layer, if the limits leave room for one.
    QRect rect;
    if (needsLayer && alpha < 1.0) {
        rect = area.toAlignedRect() & m_deviceRect;
        const qint64 pixels = static_cast<qint64>(rect.width()) * rect.height();
        const int openLayers = static_cast<int>(
            std::count_if(m_frames.begin(), m_frames.end(), [](const auto &f) { return f->layered; }));
        if (openLayers >= m_limits.maxLayerDepth || m_layerPixels + pixels > m_limits.maxLayerPixels)
            rect = QRect();
    }
    if (m_cairo) {
        if (!rect.isEmpty()) {
            cairo_t *cr = m_cairo->context(*this);
            cairo_save(cr);
            frame->cairoSaved = true;
            // The group's surface covers the clip's extents: the layer
            // rectangle bounds it.
            cairo_rectangle(cr, rect.x(), rect.y(), rect.width(), rect.height());
            cairo_clip(cr);
            cairo_push_group(cr);
            m_opacity = 1.0;
            openLayer(*frame, rect);
        } else {
            if (m_cairo->cr) {
                cairo_save(m_cairo->cr);
                frame->cairoSaved = true;
            }
            m_opacity *= alpha;
        }
    } else {
        QPainter &outer = painter();
        outer.save();
        if (!rect.isEmpty()) {
            frame->image = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
            if (!frame->image.isNull()) {
                frame->image.fill(Qt::transparent);
                frame->layerPainter = std::make_unique<QPainter>(&frame->image);
                frame->layerPainter->setRenderHints(outer.renderHints());
                frame->layerPainter->translate(-rect.topLeft());
                openLayer(*frame, rect);
            }
        }
        // Without a layer the opacity applies to each operation: exact for
        // one operation, close for several.
        if (!frame->layered)
            outer.setOpacity(outer.opacity() * alpha);
    }
    m_frames.push_back(std::move(frame));
    return true;
}

void KTNSVGDrawContext::openLayer(Frame &frame, const QRect &rect)
{
    const qint64 pixels = static_cast<qint64>(rect.width()) * rect.height();
    frame.layered = true;
    frame.layerRect = rect;
    frame.clip = rect;
    m_layerPixels += pixels;
    ++m_layersUsed;
    m_workSpent += static_cast<double>(pixels);
}

void KTNSVGDrawContext::end()
{
    if (m_frames.empty())
        return;
    std::unique_ptr<Frame> frame = std::move(m_frames.back());
    m_frames.pop_back();
    if (m_cairo) {
        if (frame->layered) {
            cairo_t *cr = m_cairo->context(*this);
            m_layerPixels -= static_cast<qint64>(frame->layerRect.width()) * frame->layerRect.height();
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, frame->outerOpacity * frame->alpha);
            m_workSpent += static_cast<double>(frame->layerRect.width()) * frame->layerRect.height();
        }
        if (frame->cairoSaved)
            cairo_restore(m_cairo->cr);
        m_opacity = frame->outerOpacity;
        return;
    }
    QPainter &outer = painter();
    if (frame->layered) {
        frame->layerPainter->end();
        m_layerPixels -= static_cast<qint64>(frame->layerRect.width()) * frame->layerRect.height();
        outer.setOpacity(outer.opacity() * frame->alpha);
        outer.drawImage(frame->layerRect.topLeft(), frame->image);
        m_workSpent += static_cast<double>(frame->layerRect.width()) * frame->layerRect.height();
    }
    outer.restore();
}

void KTNSVGDrawContext::fillPath(const KTNSVGPainterPath &path, const QBrush &brush)
{
    fillPath(path, brush, 1.0);
}

void KTNSVGDrawContext::fillPath(const KTNSVGPainterPath &path, const QBrush &brush, double scale)
{
    if (exhausted() || path.elementCount() == 0 || !(scale > 0) || !std::isfinite(scale))
        return;
    if (!spend(svgscan::scaledControlBox(path, scale), path.elementCount()))
        return;
    if (m_cairo && fillOwn(path, brush, scale))
        return;
    // The other ways draw a scaled copy.
    std::optional<QPainterPath> copy;
    if (scale != 1) {
        copy = QTransform::fromScale(scale, scale).map(path.toPainterPath());
        copy->setFillRule(path.fillRule());
    }
    const QPainterPath &device = copy ? *copy : path.toPainterPath();
    if (m_cairo) {
        cairo_t *cr = m_cairo->context(*this);
        if (!setCairoSource(cr, brush, m_opacity))
            return;
        appendToCairo(cr, device);
        cairo_set_fill_rule(cr, cairoFillRule(device));
        cairo_fill(cr);
        return;
    }
    painter().fillPath(device, brush);
}

template <typename Draw, typename Cover>
bool KTNSVGDrawContext::drawOwn(const QBrush &brush, double scale, Draw &&draw, Cover &&cover)
{
    svgscan::Target target = m_cairo->target;
    target.scale = scale;
    const bool own = m_cairo->ownDrawing(*this);
    std::optional<svgscan::Gradient> gradient;
    if (own && brush.style() == Qt::SolidPattern) {
        m_cairo->beginOwnDrawing();
        return draw(target, svgscan::premultiplied(brush.color(), m_opacity));
    }
    if (own && (gradient = svgscan::gradientOf(brush, m_opacity))) {
        m_cairo->beginOwnDrawing();
        return draw(target, *gradient);
    }
    if (!svgscan::enabled())
        return false;
    // Anything else paints through the same coverage, by cairo.
    svgscan::Mask mask;
    if (!cover(target, mask))
        return false;
    paintThroughMask(m_cairo->context(*this), mask, target.origin, brush, m_opacity);
    return true;
}

bool KTNSVGDrawContext::fillOwn(const KTNSVGPainterPath &path, const QBrush &brush, double scale)
{
    return drawOwn(
        brush, scale,
        [&](const svgscan::Target &target, const auto &paint) { return svgscan::fillPath(target, path, paint); },
        [&](const svgscan::Target &target, svgscan::Mask &mask) { return svgscan::fillMask(target, path, mask); });
}

void KTNSVGDrawContext::strokePath(const KTNSVGBezierPath &outline, const QColor &color)
{
    strokePath(outline, QBrush(color));
}

void KTNSVGDrawContext::strokePath(const KTNSVGBezierPath &outline, const QBrush &brush)
{
    if (exhausted() || outline.path.elementCount() == 0)
        return;
    double width = outline.lineWidth;
    if (!std::isfinite(width) || width < 0)
        width = 0;
    width = std::min(width, kMaxLineWidth);
    if (m_cairo) {
        // Zero width strokes nothing (Qt would draw a hairline).
        if (width > 0)
            strokeWithCairo(outline, brush, width, true, true);
        return;
    }
    QPen pen(brush, width);
    pen.setCapStyle(outline.lineCapStyle == 1 ? Qt::RoundCap : outline.lineCapStyle == 2 ? Qt::SquareCap : Qt::FlatCap);
    pen.setJoinStyle(outline.lineJoinStyle == 1   ? Qt::RoundJoin
                     : outline.lineJoinStyle == 2 ? Qt::BevelJoin
                                                  : Qt::SvgMiterJoin);
    const double miter = outline.miterLimit;
    pen.setMiterLimit(std::isfinite(miter) ? std::clamp(miter, 0.0, 1e4) : 10.0);

    if (!outline.lineDash.isEmpty()) {
        // Dash lengths are in points; Qt's are in units of the pen width
        // (at least one pixel). Negative or non-finite lengths, or too many
        // dashes, draw solid.
        if (const double period = dashPeriod(outline); period > 0) {
            const double unit = std::max(width, 1.0);
            QList<qreal> pattern;
            const int repeats = outline.lineDash.size() % 2 ? 2 : 1;
            for (int r = 0; r < repeats; ++r) {
                for (double length : outline.lineDash)
                    pattern.append(length / unit);
            }
            pen.setDashPattern(pattern);
            if (std::isfinite(outline.lineDashPhase))
                pen.setDashOffset(std::fmod(outline.lineDashPhase, period) / unit);
        }
    }
    const double pad = std::max(width, 1.0) * std::max(pen.miterLimit(), 2.0) + 2;
    if (!spend(outline.path.controlPointRect().adjusted(-pad, -pad, pad, pad), outline.path.elementCount() * 4))
        return;

    // Qt strokes curves with offset curves that stray from the true
    // outline by up to a pixel; strokes of flattened curves are exact.
    bool curved = false;
    for (int i = 0; i < outline.path.elementCount() && !curved; ++i)
        curved = outline.path.elementAt(i).isCurveTo();
    if (curved && pen.style() == Qt::SolidLine && outline.path.elementCount() < 100000) {
        QPainterPath flat;
        flat.setFillRule(outline.path.fillRule());
        // Flattened at four times the resolution: Qt's own tolerance
        // shows facets on large arcs.
        const QTransform down = QTransform::fromScale(0.25, 0.25);
        for (const QPolygonF &polygon : outline.path.toSubpathPolygons(QTransform::fromScale(4, 4)))
            flat.addPolygon(down.map(polygon));
        painter().strokePath(flat, pen);
        return;
    }
    painter().strokePath(outline.path, pen);
}

void KTNSVGDrawContext::strokePath(const KTNSVGBezierPath &outline, const QBrush &brush, double scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        return;
    if (scale == 1 || !m_cairo || !outline.lineDash.isEmpty() || !svgscan::enabled()) {
        strokePath(scale == 1 ? outline : KTNTKSVGBaseElement::transformPath(outline, scale), brush);
        return;
    }
    if (exhausted() || outline.path.elementCount() == 0)
        return;
    // As the scaled copy would have it.
    double width = outline.lineWidth * scale;
    if (!std::isfinite(width) || width < 0)
        width = 0;
    width = std::min(width, kMaxLineWidth);
    // Zero width strokes nothing.
    if (!(width > 0))
        return;
    const double miterLimit = cairoMiterLimit(outline);
    const double pad = std::max(width, 1.0) * std::max(miterLimit, 2.0) + 2;
    if (!spend(svgscan::scaledControlBox(outline.path, scale).adjusted(-pad, -pad, pad, pad),
               outline.path.elementCount() * 4))
        return;
    if (strokeOwn(outline, brush, width, miterLimit, scale))
        return;
    strokeWithCairo(KTNTKSVGBaseElement::transformPath(outline, scale), brush, width, true, false);
}

bool KTNSVGDrawContext::strokeOwn(const KTNSVGBezierPath &outline, const QBrush &brush, double width,
                                  double miterLimit, double scale)
{
    svgscan::StrokeStyle style;
    style.width = width;
    style.cap = outline.lineCapStyle == 1 || outline.lineCapStyle == 2 ? outline.lineCapStyle : 0;
    style.join = outline.lineJoinStyle == 1 || outline.lineJoinStyle == 2 ? outline.lineJoinStyle : 0;
    style.miterLimit = miterLimit;
    const QList<int> *closedEnds = outline.closureRecorded ? &outline.closedEnds : nullptr;
    return drawOwn(
        brush, scale,
        [&](const svgscan::Target &target, const auto &paint) {
            return svgscan::strokePath(target, outline.path, closedEnds, style, paint);
        },
        [&](const svgscan::Target &target, svgscan::Mask &mask) {
            return svgscan::strokeMask(target, outline.path, closedEnds, style, mask);
        });
}

void KTNSVGDrawContext::strokeWithCairo(const KTNSVGBezierPath &outline, const QBrush &brush, double width,
                                        bool dashed, bool charge)
{
    const double miterLimit = cairoMiterLimit(outline);
    if (charge) {
        const double pad = std::max(width, 1.0) * std::max(miterLimit, 2.0) + 2;
        if (!spend(outline.path.controlPointRect().adjusted(-pad, -pad, pad, pad), outline.path.elementCount() * 4))
            return;
        // Negative or non-finite dash lengths, a pattern of no length, or
        // too many dashes along the path draw solid.
        const bool solid = !dashed || outline.lineDash.isEmpty() || dashPeriod(outline) <= 0;
        if (solid && svgscan::enabled() && strokeOwn(outline, brush, width, miterLimit, 1.0))
            return;
    }
    cairo_t *cr = m_cairo->context(*this);
    if (!setCairoSource(cr, brush, m_opacity))
        return;
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, outline.lineCapStyle == 1   ? CAIRO_LINE_CAP_ROUND
                           : outline.lineCapStyle == 2 ? CAIRO_LINE_CAP_SQUARE
                                                       : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, outline.lineJoinStyle == 1   ? CAIRO_LINE_JOIN_ROUND
                            : outline.lineJoinStyle == 2 ? CAIRO_LINE_JOIN_BEVEL
                                                         : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, miterLimit);
    std::vector<double> dashes;
    if (dashed && !outline.lineDash.isEmpty()) {
        // Negative or non-finite lengths, a pattern of no length, or too
        // many dashes along the path draw solid.
        if (const double period = dashPeriod(outline); period > 0) {
            dashes.assign(outline.lineDash.begin(), outline.lineDash.end());
            const double phase = std::isfinite(outline.lineDashPhase) ? std::fmod(outline.lineDashPhase, period) : 0;
            cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), phase);
        }
    }
    if (!dashes.empty()) {
        // Dashes of no length with butt caps show nothing (cairo would
        // still draw the joins at corners).
        bool visible = outline.lineCapStyle != 0;
        for (size_t i = 0; i < dashes.size() * (dashes.size() % 2 ? 2 : 1) && !visible; i += 2)
            visible = dashes[i % dashes.size()] > 0;
        if (!visible)
            return;
        // Cairo measures dashes along a finer flattening of curves than
        // other renderers and drifts from them along long curves; along
        // Qt's flattening the dashes fall where they put them.
        QPainterPath flat;
        for (const QPolygonF &polygon : outline.path.toSubpathPolygons())
            flat.addPolygon(polygon);
        appendToCairo(cr, flat);
    } else {
        appendToCairo(cr, outline.path, outline.closureRecorded ? &outline.closedEnds : nullptr);
    }
    if (!dashes.empty()) {
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        return;
    }
    // What cairo's stroker leaves out: square caps of a subpath of no
    // length (it gives such subpaths round caps only), the square about its
    // point with sides along the axes; and the inside of a closed subpath
    // narrower than the line, which the line covers whole but where the
    // stroker's inner offset turns over and leaves a hole.
    const QPainterPath &path = outline.path;
    const int count = path.elementCount();
    std::vector<std::pair<int, int>> insides;
    std::vector<QPointF> dots;
    for (int i = 0; i < count;) {
        const QPointF at(path.elementAt(i).x, path.elementAt(i).y);
        QRectF box(at, at);
        int j = i + 1;
        bool degenerate = true;
        for (; j < count && !path.elementAt(j).isMoveTo(); ++j) {
            const QPainterPath::Element e = path.elementAt(j);
            degenerate = degenerate && std::abs(e.x - at.x()) < kNoiseLine && std::abs(e.y - at.y()) < kNoiseLine;
            box.setLeft(std::min(box.left(), e.x));
            box.setRight(std::max(box.right(), e.x));
            box.setTop(std::min(box.top(), e.y));
            box.setBottom(std::max(box.bottom(), e.y));
        }
        if (j > i + 1) {
            const QPainterPath::Element last = path.elementAt(j - 1);
            if (degenerate && outline.lineCapStyle == 2)
                dots.push_back(at);
            else if (!degenerate && samePoint(last, path.elementAt(i))
                     && std::min(box.width(), box.height()) < width)
                insides.emplace_back(i, j);
        }
        i = j;
    }
    if (insides.empty()) {
        cairo_stroke(cr);
    } else {
        // The line and the insides make one coverage mask, painted
        // through once: a translucent line is not darker inside.
        cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        // Added coverage: along the hole's edge the line and the inside
        // each cover part of a pixel, together all of it.
        cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
        cairo_stroke(cr);
        QPainterPath inside;
        inside.setFillRule(Qt::WindingFill);
        for (const auto &[from, to] : insides) {
            inside.moveTo(path.elementAt(from).x, path.elementAt(from).y);
            for (int k = from + 1; k < to; ++k) {
                const QPainterPath::Element e = path.elementAt(k);
                if (e.isCurveTo() && k + 2 < to) {
                    inside.cubicTo(e.x, e.y, path.elementAt(k + 1).x, path.elementAt(k + 1).y,
                                   path.elementAt(k + 2).x, path.elementAt(k + 2).y);
                    k += 2;
                } else {
                    inside.lineTo(e.x, e.y);
                }
            }
        }
        appendToCairo(cr, inside);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);
        // Popping restores the source the line paints with.
        cairo_pattern_t *coverage = cairo_pop_group(cr);
        cairo_mask(cr, coverage);
        cairo_pattern_destroy(coverage);
    }
    if (!dots.empty()) {
        for (const QPointF &at : dots)
            cairo_rectangle(cr, at.x() - width / 2, at.y() - width / 2, width, width);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);
    }
}

void KTNSVGDrawContext::intersectClip(const QPainterPath &path, qsizetype parts)
{
    m_workSpent += m_limits.operationCost * static_cast<double>(std::max<qsizetype>(0, parts - 1));
    if (exhausted() || !spend(path.controlPointRect(), path.elementCount()))
        return;
    if (m_cairo) {
        cairo_t *cr = m_cairo->context(*this);
        appendToCairo(cr, path);
        cairo_set_fill_rule(cr, cairoFillRule(path));
        cairo_clip(cr);
        m_cairo->markClip(*this);
    } else {
        painter().setClipPath(path, Qt::IntersectClip);
    }
    currentClip() &= path.controlPointRect();
}

void KTNSVGDrawContext::replaceClip(const QPainterPath &path)
{
    if (exhausted() || !spend(path.controlPointRect(), path.elementCount()))
        return;
    if (m_cairo) {
        cairo_t *cr = m_cairo->context(*this);
        m_cairo->markClip(*this);
        cairo_reset_clip(cr);
        // The bounds of the layer being drawn stay.
        const QRectF layer = currentLayerRect();
        cairo_rectangle(cr, layer.x(), layer.y(), layer.width(), layer.height());
        cairo_clip(cr);
        appendToCairo(cr, path);
        cairo_set_fill_rule(cr, cairoFillRule(path));
        cairo_clip(cr);
    } else {
        painter().setClipPath(path, Qt::ReplaceClip);
    }
    // Replacing drops the clips of the enclosing frames that share this
    // painter, but not the bounds of the layer being drawn.
    currentClip() = path.controlPointRect() & currentLayerRect();
}

// ---- Elements ----

int KTNTKSVGBaseElement::paintOperationCount() const
{
    if (!shape)
        return 0;
    int count = 0;
    if ((hasFill == 1 && !paintsNothing(fillColorStr)) || (hasFill == 2 && fillElement))
        ++count;
    if ((hasStroke == 1 && !paintsNothing(strokColorStr)) || (hasStroke == 2 && strokeElement))
        ++count;
    return count;
}

namespace {

// What a group's children paint together (2 meaning more than one). A
// masked child is composited as one image. Deep (or, built by hand,
// cyclic) nesting counts as more than one.
int groupOperations(const KTNTKSVGGElement &group, int depth)
{
    if (depth > 8)
        return 2;
    int count = 0;
    for (const KTNSVGElementPtr &child : group.childElements) {
        if (!child)
            continue;
        if (!child->maskElements.isEmpty())
            count += 1;
        else if (const auto *inner = dynamic_cast<const KTNTKSVGGElement *>(child.get()))
            count += groupOperations(*inner, depth + 1);
        else
            count += child->paintOperationCount();
        if (count > 1)
            return 2;
    }
    return count;
}

} // namespace

int KTNTKSVGGElement::paintOperationCount() const
{
    return groupOperations(*this, 0);
}

QRectF KTNTKSVGBaseElement::paintBounds(double scale) const
{
    if (!shape)
        return QRectF();
    const QRectF box = shape->path.controlPointRect();
    QRectF scaled(box.x() * scale, box.y() * scale, box.width() * scale, box.height() * scale);
    double width = shape->lineWidth * scale;
    if (!std::isfinite(width) || width < 0)
        width = 0;
    const double pad = hasStroke != 0 ? std::max(std::min(width, kMaxLineWidth), 1.0) * std::max(miterLimit, 2.0) + 2 : 2;
    scaled.adjust(-pad, -pad, pad, pad);
    if (!std::isfinite(scaled.x()) || !std::isfinite(scaled.y()) || !std::isfinite(scaled.width())
        || !std::isfinite(scaled.height()))
        return unboundedRect();
    return scaled;
}

std::optional<KTNSVGBezierPath> KTNTKSVGBaseElement::outlineForDrawing(double scale) const
{
    if (!shape)
        return std::nullopt;
    return transformPath(*shape, scale);
}

void KTNTKSVGBaseElement::drawSVGWithCGContextRef(KTNSVGDrawContext &context, double scale)
{
    if (!shape)
        return;
    if (!maskElements.isEmpty()) {
        drawMasked(context, scale, paintBounds(scale), [&](KTNSVGDrawContext &inner) {
            if (const std::optional<KTNSVGBezierPath> outline = outlineForDrawing(scale))
                paintShape(*outline, inner, scale);
        });
        return;
    }
    if (!context.begin(opacity, paintOperationCount() > 1, paintBounds(scale)))
        return;
    applyClipAndMask(context, scale);
    if (const double direct = directDrawingScale(scale); direct > 0)
        paintOutline(*shape, context, scale, direct);
    else if (const std::optional<KTNSVGBezierPath> outline = outlineForDrawing(scale))
        paintShape(*outline, context, scale);
    context.end();
}

void KTNTKSVGBaseElement::applyClipAndMask(KTNSVGDrawContext &context, double scale)
{
    // The outlines of one clip path together make the clip: their union,
    // kept for the next drawing at the same scale. Every outline counts
    // as an operation against the work budget.
    if (!clipElements.isEmpty()) {
        if (!m_clipArea || m_clipAreaScale != scale) {
            QPainterPath area;
            area.setFillRule(Qt::WindingFill);
            bool first = true;
            for (const KTNSVGElementPtr &clip : std::as_const(clipElements)) {
                if (!clip || !clip->shape)
                    continue;
                QPainterPath outline = transformPath(*clip->shape, scale).path;
                if (first) {
                    area = outline;
                    first = false;
                } else if (clipElements.size() <= kMaxUnitedOutlines) {
                    area = area.united(outline);
                } else {
                    // Beyond a few outlines an exact union costs too much:
                    // they are added with the non-zero rule instead.
                    area.setFillRule(Qt::WindingFill);
                    area.addPath(outline);
                }
            }
            m_clipArea = area;
            m_clipAreaScale = scale;
        }
        if (context.exhausted())
            return;
        context.intersectClip(*m_clipArea, clipElements.size());
    }
}

void KTNTKSVGBaseElement::drawMasked(KTNSVGDrawContext &context, double scale, const QRectF &bounds,
                                     const std::function<void(KTNSVGDrawContext &)> &content)
{
    if (!context.begin(opacity, false, bounds))
        return;
    applyClipAndMask(context, scale);
    const QRect rect = (context.visibleRect() & bounds).toAlignedRect() & context.deviceRect();
    const qint64 pixels = static_cast<qint64>(rect.width()) * rect.height();
    // Two images of the area: beyond the layer limits nothing is drawn.
    if (rect.isEmpty() || 2 * pixels > context.limits().maxLayerPixels || context.exhausted()) {
        context.end();
        return;
    }
    KTNSVGDrawLimits limits = context.limits();
    auto drawInto = [&](QImage &image, const std::function<void(KTNSVGDrawContext &)> &draw) {
        image = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return false;
        image.fill(Qt::transparent);
        limits.workBudget = std::max(0.0, context.limits().workBudget - context.workSpent());
        double spent = 0;
        {
            const std::unique_ptr<KTNSVGDrawContext> inner = context.offscreen(image, rect.topLeft(), limits);
            draw(*inner);
            spent = inner->workSpent();
        }
        context.chargeWork(spent + static_cast<double>(pixels));
        return true;
    };
    QImage drawn;
    QImage mask;
    const bool alpha = [&] {
        for (const KTNSVGElementPtr &element : std::as_const(maskElements)) {
            if (const auto *owner = element ? dynamic_cast<const KTNTKSVGMaskElement *>(element->parentElement().get())
                                            : nullptr)
                return owner->alphaMask;
        }
        return false;
    }();
    if (drawInto(drawn, content) && !context.exhausted()
        && drawInto(mask, [&](KTNSVGDrawContext &inner) {
               for (const KTNSVGElementPtr &element : std::as_const(maskElements)) {
                   if (inner.exhausted())
                       break;
                   if (element)
                       element->drawSVGWithCGContextRef(inner, scale);
               }
           })) {
        for (int y = 0; y < rect.height(); ++y) {
            auto *target = reinterpret_cast<QRgb *>(drawn.scanLine(y));
            const auto *cover = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
            for (int x = 0; x < rect.width(); ++x) {
                const QRgb m = cover[x];
                // Premultiplied channels: the luminance already carries
                // the mask's alpha.
                const int share = alpha ? qAlpha(m)
                                        : std::clamp(static_cast<int>(0.2125 * qRed(m) + 0.7154 * qGreen(m)
                                                                      + 0.0721 * qBlue(m) + 0.5),
                                                     0, 255);
                const QRgb c = target[x];
                target[x] = qRgba(qRed(c) * share / 255, qGreen(c) * share / 255, qBlue(c) * share / 255,
                                  qAlpha(c) * share / 255);
            }
        }
        context.drawImage(rect.topLeft(), drawn);
    }
    context.end();
}

namespace {

bool isCurrentColor(const QString &text)
{
    return isKeyword(text, "currentcolor");
}

} // namespace

void KTNTKSVGBaseElement::paintShape(const KTNSVGBezierPath &outline, KTNSVGDrawContext &context, double scale)
{
    paintOutline(outline, context, scale, 1.0);
}

void KTNTKSVGBaseElement::paintOutline(const KTNSVGBezierPath &outline, KTNSVGDrawContext &context, double scale,
                                       double outlineScale)
{
    if (hasFill == 1 && isCurrentColor(fillColorStr)) {
        QColor color = context.currentColor();
        color.setAlphaF(static_cast<float>(color.alphaF() * unitAlpha(fillOpacity())));
        context.fillPath(outline.path, color, outlineScale);
    } else if (hasFill == 1 && fillColor.isValid()) {
        if (!paintsNothing(fillColorStr)) {
            fillColor = withAlpha(fillColor, fillOpacity());
            context.fillPath(outline.path, fillColor, outlineScale);
        }
    } else if (hasFill == 2 && fillElement) {
        if (const std::optional<QBrush> brush = fillElement->brushForElement(this, userBounds(), fillOpacity(), scale))
            context.fillPath(outline.path, *brush, outlineScale);
    }
    if (hasStroke == 1 && isCurrentColor(strokColorStr)) {
        QColor color = context.currentColor();
        color.setAlphaF(static_cast<float>(color.alphaF() * unitAlpha(strokeOpacity())));
        context.strokePath(outline, color, outlineScale);
    } else if (hasStroke == 1 && strokColor.isValid() && !paintsNothing(strokColorStr)) {
        strokColor = withAlpha(strokColor, strokeOpacity());
        context.strokePath(outline, strokColor, outlineScale);
    } else if (hasStroke == 2 && strokeElement) {
        if (const std::optional<QBrush> brush =
                strokeElement->brushForElement(this, userBounds(), strokeOpacity(), scale))
            context.strokePath(outline, *brush, outlineScale);
    }
}

void KTNTKSVGBaseElement::drawGradientElementWithPath(const KTNSVGBezierPath &, KTNSVGDrawContext &, double, double)
{
}

void KTNTKSVGGElement::drawSVGWithCGContextRef(KTNSVGDrawContext &context, double scale)
{
    if (!maskElements.isEmpty()) {
        drawMasked(context, scale, unboundedRect(), [&](KTNSVGDrawContext &inner) {
            for (const KTNSVGElementPtr &child : std::as_const(childElements)) {
                if (inner.exhausted())
                    break;
                if (child)
                    child->drawSVGWithCGContextRef(inner, scale);
            }
        });
        return;
    }
    // A group that paints once (a "use" of one shape, say) needs no layer
    // for its opacity: the one operation takes it.
    if (!context.begin(opacity, paintOperationCount() > 1, unboundedRect()))
        return;
    applyClipAndMask(context, scale);
    for (const KTNSVGElementPtr &child : std::as_const(childElements)) {
        if (context.exhausted())
            break;
        if (child)
            child->drawSVGWithCGContextRef(context, scale);
    }
    context.end();
}

std::optional<QBrush> KTNSVGGradient::brushForElement(const KTNTKSVGBaseElement *element, const QRectF &userBounds,
                                                     double opacity, double scale) const
{
    QGradientStops stops;
    double last = 0;
    for (const std::shared_ptr<KTNSVGStopElement> &stop : std::as_const(colorStops)) {
        if (!stop || !stop->stopColor.isValid())
            continue;
        double offset = std::isnan(stop->stopOffset) ? 0.0 : std::clamp(stop->stopOffset, 0.0, 1.0);
        // Offsets never go back, and equal offsets stay distinct (a hard
        // edge): Qt keeps one stop per position.
        if (!stops.isEmpty() && offset <= last)
            offset = std::min(1.0, last + 1e-9);
        last = offset;
        stops.append({offset, withAlpha(stop->stopColor, stop->stopOpacity * opacity)});
    }
    if (stops.isEmpty())
        return std::nullopt;
    std::optional<QGradient> gradient = stops.size() > 1 ? makeGradient() : std::nullopt;
    if (!gradient)
        return QBrush(stops.last().second);

    QTransform toDevice;
    // A transform that flattens the gradient is left out.
    if (gradientTransform && gradientTransform->isInvertible())
        toDevice = *gradientTransform;
    if (units == 0) {
        // Fractions of the element's box; a box without area has none.
        if (!(userBounds.width() > 0) || !(userBounds.height() > 0))
            return std::nullopt;
        toDevice *= QTransform(userBounds.width(), 0, 0, userBounds.height(), userBounds.x(), userBounds.y());
    }
    if (element && element->transform)
        toDevice *= *element->transform;
    toDevice *= QTransform::fromScale(scale, scale);
    if (!toDevice.isInvertible())
        return std::nullopt;
    gradient->setSpread(spread == 1 ? QGradient::ReflectSpread : spread == 2 ? QGradient::RepeatSpread
                                                                              : QGradient::PadSpread);
    gradient->setInterpolationMode(QGradient::ComponentInterpolation);
    gradient->setStops(stops);
    QBrush brush(*gradient);
    brush.setTransform(toDevice);
    return brush;
}

std::optional<QGradient> KTNTKSVGLinearGradientElement::makeGradient() const
{
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)
        || (x1 == x2 && y1 == y2))
        return std::nullopt;
    return QLinearGradient(x1, y1, x2, y2);
}

std::optional<QGradient> KTNTKSVGRadialGradientElement::makeGradient() const
{
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(r) || !std::isfinite(fx) || !std::isfinite(fy)
        || r <= 0)
        return std::nullopt;
    QPointF focal(fx, fy);
    const QPointF centre(cx, cy);
    const double distance = std::hypot(fx - cx, fy - cy);
    if (distance > r * 0.999)
        focal = centre + (focal - centre) * (r * 0.999 / distance);
    // A focal circle as large as the end circle leaves a step from the
    // first colour to the last at its edge, which a gradient of no width
    // would not draw at all.
    const double focalRadius = std::isfinite(fr) ? std::clamp(fr, 0.0, r * (1 - 1e-3)) : 0.0;
    return QRadialGradient(centre, r, focal, focalRadius);
}

void KTNSVGGradient::drawGradientElementWithPath(const KTNSVGBezierPath &path, KTNSVGDrawContext &context,
                                                 double opacity, double scale)
{
    // Without the element: its box is the outline's.
    const QRectF bounds = path.path.boundingRect();
    const QRectF userBounds(bounds.x() / scale, bounds.y() / scale, bounds.width() / scale, bounds.height() / scale);
    if (const std::optional<QBrush> brush = brushForElement(nullptr, userBounds, opacity, scale))
        context.fillPath(path.path, *brush);
}

} // namespace kalvo
