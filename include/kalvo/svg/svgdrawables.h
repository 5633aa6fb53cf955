// The drawable elements of the SVG engine. Each element parses its
// presentation attributes into typed fields, builds its outline and draws
// itself with fill, stroke, gradient, clip and mask.
//
//   auto rect = KTNTKSVGBaseElement::elementWithName(QStringLiteral("rect"),
//       {{"width", "10"}, {"height", "10"}, {"fill", "#FF0000"}});
//   QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
//   image.fill(Qt::transparent);
//   QPainter painter(&image);
//   KTNSVGDrawContext context(painter, image.rect());
//   rect->drawSVGWithCGContextRef(context, 1.0);
//
// Building runs in stages that subclasses can hook (in this order):
// setupDefaultValue, parserAttributeWithKey (style), propertyToFit,
// createShape and setupShapeAttributes (outline). Drawing is split the same
// way: outlineForDrawing(scale) gives the device outline and
// paintShape(outline) paints it, inside the clip, mask and transparency
// layer set up by drawSVGWithCGContextRef.
//
// Elements are shared objects (std::shared_ptr); parents are held weakly.
// All coordinates are in points, y axis downwards. Painting is not
// thread-safe per element (drawing stores resolved colours back).
//
// ---- Index ----
// KTNSVGBuildContext       per-document build budget and stage timing
// KTNSVGDrawContext        painter, device bounds, transparency layers, work budget
// KTNTKSVGBaseElement      fields, attribute parsing, class operations, inheritance, drawing
// Root, G, Path, Circle, Rect, Ellipse, Line, Polyline, Polygon, ClipPath, Mask
// KTNSVGGradient, linear and radial gradients, KTNSVGStopElement
#pragma once

#include <kalvo/svg/svgbezierpath.h>

#include <QBrush>
#include <QColor>
#include <QGradient>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTransform>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace kalvo {

class KTNTKSVGBaseElement;
class KTNSVGGradient;
class KTNSVGStopElement;

namespace svg {
struct PreparedValues;
}

using KTNSVGAttributes = QMap<QString, QString>;
using KTNSVGElementPtr = std::shared_ptr<KTNTKSVGBaseElement>;
using KTNSVGElementList = QList<KTNSVGElementPtr>;

// What a document may spend while its elements are built, and where the
// time went. Shared by every element of one document.
struct KALVO_EXPORT KTNSVGBuildContext
{
    // Outline elements (moves, lines, curves) the document may still add.
    qsizetype pathElementBudget = KTNSVGBezierPath::kDefaultElementLimit;
    // Accumulated nanoseconds of the style stage (attributes to fields,
    // propertyToFit) and the outline stage (createShape,
    // setupShapeAttributes).
    qint64 styleNanoseconds = 0;
    qint64 outlineNanoseconds = 0;
    // Whether the two above are measured (KTNSVGLimits::timeStages).
    bool timeStages = false;
};

// What turns outlines into pixels. Cairo is the default for images: its
// coverage along edges is the one desktop SVG renderers show, which
// matters at icon sizes. QPainter draws onto any paint device.
enum class KTNSVGRasterizer { Cairo, QPainter };

// Bounds of one drawing (see KTNSVGDrawContext).
struct KALVO_EXPORT KTNSVGDrawLimits
{
    // Painting work in pixel units (covered area plus path elements plus
    // operationCost per operation) after which further painting is
    // skipped.
    double workBudget = 1.5e9;
    // What one paint, clip or state operation costs however small its
    // area: Qt's fixed cost per call, so that millions of tiny clips or
    // fills cannot outlast the budget.
    double operationCost = 1024;
    // Transparency layers open at once, and their pixels in total;
    // beyond either, elements are drawn with multiplied opacity
    // instead of a layer.
    int maxLayerDepth = 32;
    qint64 maxLayerPixels = 32LL * 1024 * 1024;
};

// The drawing state the elements draw into: the painter of the image (or of
// the current transparency layer), the image bounds and a work budget.
// Painter coordinates are image pixels throughout.
class KALVO_EXPORT KTNSVGDrawContext
{
public:
    using Limits = KTNSVGDrawLimits;

    KTNSVGDrawContext(QPainter &painter, const QRect &deviceRect);
    KTNSVGDrawContext(QPainter &painter, const QRect &deviceRect, const Limits &limits);
    // Draws into `image` (Format_ARGB32_Premultiplied, kept alive and not
    // shared while the context lives) whose top-left pixel is device
    // point `origin`, with the given rasteriser. With any other format the
    // image is drawn by QPainter.
    KTNSVGDrawContext(QImage &image, QPoint origin, const Limits &limits,
                      KTNSVGRasterizer rasterizer = KTNSVGRasterizer::Cairo);
    ~KTNSVGDrawContext();

    KTNSVGDrawContext(const KTNSVGDrawContext &) = delete;
    KTNSVGDrawContext &operator=(const KTNSVGDrawContext &) = delete;

    // The painter to draw into now (the innermost open layer's, else the
    // image's). A context drawing with cairo has none: its painter is
    // inactive and draws nothing.
    QPainter &painter() const;
    KTNSVGRasterizer rasterizer() const;
    // Composites `image` (premultiplied) with its top-left at device point
    // `at`, at the current opacity, inside the current clip.
    void drawImage(QPoint at, const QImage &image);
    // A context drawing into `image` (top-left at `origin`) the way this one
    // draws, with these limits: for offscreen steps such as masks.
    std::unique_ptr<KTNSVGDrawContext> offscreen(QImage &image, QPoint origin, const Limits &limits) const;
    QRect deviceRect() const { return m_deviceRect; }
    // Where drawing can still show: the device (or open layer) bounds
    // within the bounds of the clip outlines set through this context.
    QRectF visibleRect() const;

    // Save the state and apply `alpha` to what is drawn until end(): with a
    // transparency layer over `bounds` when `needsLayer`, else (or when the
    // layer limits are reached) by multiplying the painter's opacity.
    // Answers false, with nothing begun, when nothing could show (alpha 0,
    // bounds outside the visible area, or the work budget is spent).
    bool begin(double alpha, bool needsLayer, const QRectF &bounds);
    void end();

    // Paint operations that count against the work budget; they do nothing
    // once it is spent.
    void fillPath(const KTNSVGPainterPath &path, const QBrush &brush);
    void strokePath(const KTNSVGBezierPath &outline, const QColor &color);
    void strokePath(const KTNSVGBezierPath &outline, const QBrush &brush);
    // The same for an outline in points drawn at `scale` (finite and
    // positive; coordinates, line width and dashes are multiplied by it), as
    // KTNTKSVGBaseElement::transformPath(outline, scale) would draw: where
    // the engine's own rasteriser draws it, without a scaled copy.
    void fillPath(const KTNSVGPainterPath &path, const QBrush &brush, double scale);
    void strokePath(const KTNSVGBezierPath &outline, const QBrush &brush, double scale);

    // The colour "currentColor" paints with (black unless the host sets
    // another, for instance the tint of an icon).
    QColor currentColor() const { return m_currentColor; }
    void setCurrentColor(const QColor &color) { m_currentColor = color; }
    // `parts`: how many outlines the path joins (each counts as an
    // operation).
    void intersectClip(const QPainterPath &path, qsizetype parts = 1);
    void replaceClip(const QPainterPath &path);

    bool exhausted() const { return m_workSpent > m_limits.workBudget; }
    // Counts work done elsewhere (an offscreen drawing for a mask).
    void chargeWork(double work) { m_workSpent += std::max(0.0, work); }
    const Limits &limits() const { return m_limits; }
    double workSpent() const { return m_workSpent; }
    int layersUsed() const { return m_layersUsed; }

private:
    struct Frame;
    // Marks `frame` as a transparency layer over `rect` and counts it.
    void openLayer(Frame &frame, const QRect &rect);
    bool spend(const QRectF &bounds, qsizetype elements);
    // Where drawing can show in the current frame (kept here: asking the
    // painter walks every clip set since the last save).
    QRectF &currentClip();
    QRectF currentLayerRect() const;

    struct Cairo;
    // `charge`: count the work (false when the caller has).
    void strokeWithCairo(const KTNSVGBezierPath &outline, const QBrush &brush, double width, bool dashed,
                         bool charge);
    // The engine's own rasteriser into the cairo image; false when it
    // leaves the shape to cairo.
    bool fillOwn(const KTNSVGPainterPath &path, const QBrush &brush, double scale);
    // Its ways for a brush (solid, gradient, else a coverage cairo paints
    // through): `draw(target, paint)` and `cover(target, mask)`.
    template <typename Draw, typename Cover>
    bool drawOwn(const QBrush &brush, double scale, Draw &&draw, Cover &&cover);
    bool strokeOwn(const KTNSVGBezierPath &outline, const QBrush &brush, double width, double miterLimit,
                   double scale);

    std::unique_ptr<QPainter> m_ownPainter;
    QPainter &m_root;
    std::unique_ptr<Cairo> m_cairo;
    // Cairo has no painter opacity: what enclosing frames multiply in.
    double m_opacity = 1.0;
    QRect m_deviceRect;
    QRectF m_rootClip;
    Limits m_limits;
    QColor m_currentColor = QColor(0, 0, 0);
    double m_workSpent = 0;
    int m_layersUsed = 0;
    qint64 m_layerPixels = 0;
    std::vector<std::unique_ptr<Frame>> m_frames;
};

// ---- KTNTKSVGBaseElement ----

class KALVO_EXPORT KTNTKSVGBaseElement : public std::enable_shared_from_this<KTNTKSVGBaseElement>
{
public:
    using Factory = std::function<KTNSVGElementPtr()>;

    KTNTKSVGBaseElement() = default;
    virtual ~KTNTKSVGBaseElement();

    KTNTKSVGBaseElement(const KTNTKSVGBaseElement &) = delete;
    KTNTKSVGBaseElement &operator=(const KTNTKSVGBaseElement &) = delete;

    // Element name to class: the 13 drawable element names. Built once.
    static const QMap<QString, Factory> &classMap();
    // A new element of the class named `name`, built from `attributes`;
    // nothing for a name not in classMap().
    static KTNSVGElementPtr elementWithName(const QString &name, const KTNSVGAttributes &attributes,
                                            KTNSVGBuildContext *context = nullptr);
    template <typename T>
    static std::shared_ptr<T> create(const KTNSVGAttributes &attributes, KTNSVGBuildContext *context = nullptr)
    {
        auto element = std::make_shared<T>();
        element->initWithAttributes(attributes, context);
        return element;
    }

    // setupDefaultValue, setupPropertyWithAttributes, createShape,
    // setupShapeAttributes, in that order.
    void initWithAttributes(const KTNSVGAttributes &attributes, KTNSVGBuildContext *context = nullptr);
    // parserAttributeWithKey for every non-empty value, then propertyToFit.
    void setupPropertyWithAttributes(const KTNSVGAttributes &attributes);
    // initWithAttributes for values the engine's document preparation has
    // already read (the fields its attributes would give).
    void initWithPrepared(const svg::PreparedValues &values, KTNSVGBuildContext *context = nullptr);

    // ---- Overridable stages (subclasses call the base first) ----
    virtual void setupDefaultValue();
    virtual void parserAttributeWithKey(const QString &key, const QString &value);
    virtual void propertyToFit();
    // The base makes an empty outline; elements without one clear it.
    virtual void createShape();
    virtual void setupShapeAttributes();
    // Steps of drawing: save, alpha and layer, clip, mask, content, restore.
    virtual void drawSVGWithCGContextRef(KTNSVGDrawContext &context, double scale);
    // Paints a gradient into `path`; the base paints nothing.
    virtual void drawGradientElementWithPath(const KTNSVGBezierPath &path, KTNSVGDrawContext &context,
                                             double opacity, double scale);

    // ---- Drawing seams ----
    // The outline in image pixels at `scale`; nothing without an outline.
    virtual std::optional<KTNSVGBezierPath> outlineForDrawing(double scale) const;
    // Fill and stroke of the device outline (steps 5 and 6).
    virtual void paintShape(const KTNSVGBezierPath &outline, KTNSVGDrawContext &context, double scale);
    // What fills and strokes would paint: more than one needs a
    // transparency layer for a partial opacity.
    virtual int paintOperationCount() const;
    // Where the element can paint, in image pixels at `scale`; an infinite
    // rect when unknown.
    virtual QRectF paintBounds(double scale) const;

    // ---- Class operations ----
    // "url(#id)" or "url(id)" to "id"; nothing otherwise.
    static std::optional<QString> parserUrlStringWithValue(const QString &value);
    // Up to 8 comma-separated non-empty parts; nothing for "none" or parts
    // summing to (almost) zero.
    static QStringList parserStrokeDashArrayWithValue(const QString &value);
    static int parserLineCapWithValue(const QString &value);
    static int parserLineJoinWithValue(const QString &value);
    static int parserFillRuleWithValue(const QString &value);
    // The leading number ("12px" reads 12); 0 when there is none.
    static double parserFloatWithValueString(const QString &value);
    // 1.0 for no value or a negative number, else the number.
    static double parserOpacityWithValueString(const std::optional<QString> &value);
    // The transform list; nothing for an empty value.
    static std::optional<QTransform> parserTransformWithValueString(const QString &value);
    // `path` itself when |scale - 1| < 1e-7, else a copy scaled about the
    // origin whose line width and dash lengths are multiplied by `scale`.
    static KTNSVGBezierPath transformPath(const KTNSVGBezierPath &path, double scale);

    // ---- Path data ----
    // Path data split into command tokens ("M10 10", "L20 20", "z"); at
    // most 2^18 tokens are kept.
    static QStringList commandListForCommandString(const QString &data);
    // Polyline points as the commands "M%f,%f", "L%f,%f", ... (at most
    // 2^18 points).
    static QStringList commandListForPolylineString(const QString &points);
    // Interprets `commands` into `path`, keeping ctrlPoint up to date.
    void bezierPathFromCommandList(const QStringList &commands, KTNSVGBezierPath &path);
    // The same for path data as it stands, without making a list of it.
    void bezierPathFromCommandString(QStringView data, KTNSVGBezierPath &path);

    // ---- Relations ----
    KTNSVGElementPtr parentElement() const { return m_parentElement.lock(); }
    // Runs resetAttribute() when the parent changes.
    void setParentElement(const KTNSVGElementPtr &parent);
    virtual void resetAttribute();

    // ---- Computed opacities ----
    // The alpha of a "#RRGGBBAA" (or "0xRRGGBBAA") colour string when there
    // is one, else the stored value.
    double fillOpacity() const;
    double strokeOpacity() const;
    void setFillOpacity(double value) { m_fillOpacity = value; }
    void setStrokeOpacity(double value) { m_strokeOpacity = value; }

    // ---- Fields ----
    QString identifier;
    std::optional<QTransform> transform;
    QColor fillColor;  // invalid: no colour
    QColor strokColor; // invalid: no colour
    QString fillColorStr;
    QString strokColorStr;
    double opacity = 1.0;
    QString fillElementIdentifier;
    QString strokeElementIdentifier;
    QString clipPathIdentifier;
    QString maskIdentifier;
    double strokeWidth = 0.0;
    double strokeDashOffset = 0.0;
    QStringList strokeDashArray;
    int strokeLineJoin = 0; // 0 miter, 1 round, 2 bevel
    int strokeLineCap = 0;  // 0 butt, 1 round, 2 square
    double miterLimit = 10.0;
    int fillRule = 0; // 0 non-zero, 1 even-odd
    QColor stopColor; // invalid: no colour
    double stopOpacity = 1.0;
    double stopOffset = 0.0;
    int hasFill = 0;   // 0 none, 1 colour, 2 paint server
    int hasStroke = 0; // 0 none, 1 colour, 2 paint server
    QPointF ctrlPoint;
    std::optional<KTNSVGBezierPath> shape;
    std::shared_ptr<KTNSVGGradient> fillElement;
    std::shared_ptr<KTNSVGGradient> strokeElement;
    KTNSVGElementList clipElements;
    KTNSVGElementList maskElements;
    bool useDefaultStrokeWidth = true;

protected:
    // How many outline elements this element may still add.
    qsizetype pathElementLimit() const;
    // Step 2 of drawing: intersect the clip outlines (the mask is applied
    // by drawMasked).
    void applyClipAndMask(KTNSVGDrawContext &context, double scale);
    // Draws `content` through the mask: into an image of the visible part
    // of `bounds`, multiplied by the mask's image, then composited with
    // the element's opacity.
    void drawMasked(KTNSVGDrawContext &context, double scale, const QRectF &bounds,
                    const std::function<void(KTNSVGDrawContext &)> &content);
    // The outline's bounds before the element's transform: the box that
    // "objectBoundingBox" gradients span. Worked out from the outline as it
    // was when a gradient first asks: tight bounds of
    // curves cost more than most elements ever need.
    QRectF userBounds() const;
    KTNSVGPainterPath m_userOutline;
    bool m_userOutlineIsShape = false;
    mutable std::optional<QRectF> m_userBounds;
    // The union of the clip outlines at m_clipAreaScale.
    std::optional<QPainterPath> m_clipArea;
    double m_clipAreaScale = 0;

private:

    std::weak_ptr<KTNTKSVGBaseElement> m_parentElement;
    double m_fillOpacity = 1.0;
    double m_strokeOpacity = 1.0;
    // Whether "fill" or "stroke" was given (including "none"): only what
    // was not given is inherited.
    bool m_fillGiven = false;
    bool m_strokeGiven = false;
    // The build stages around `setup` (which fills the fields).
    template <typename Setup>
    void build(KTNSVGBuildContext *context, const Setup &setup);
    void setupPreparedValues(const svg::PreparedValues &values);
    KTNSVGBuildContext *m_build = nullptr; // only while initWithAttributes runs
    // What paintShape does, for an outline in points drawn at
    // `outlineScale` (1 for a device outline).
    void paintOutline(const KTNSVGBezierPath &outline, KTNSVGDrawContext &context, double scale, double outlineScale);
    // The scale the shape itself can be painted at, without the drawing
    // seams' scaled copy: only for the engine's own element kinds (a
    // subclass's seams always run), else 0.
    double directDrawingScale(double scale) const;
};

// ---- Containers ----

// "svg": no outline.
class KALVO_EXPORT KTNTKSVGRootElement : public KTNTKSVGBaseElement
{
public:
    void createShape() override;
};

// "g": draws its children.
class KALVO_EXPORT KTNTKSVGGElement : public KTNTKSVGBaseElement
{
public:
    KTNSVGElementList childElements;

    void createShape() override;
    void drawSVGWithCGContextRef(KTNSVGDrawContext &context, double scale) override;
    // What the children paint together (2 meaning more than one).
    int paintOperationCount() const override;
};

// "clipPath": its clipElements are the outlines that clip a referring
// element.
class KALVO_EXPORT KTNTKSVGClipPathElement : public KTNTKSVGBaseElement
{
public:
    void createShape() override;
};

// "mask": its maskElements are drawn as the mask of a referring element;
// their luminance (or, with "mask-type" alpha, their alpha) is how much of
// the element shows.
class KALVO_EXPORT KTNTKSVGMaskElement : public KTNTKSVGBaseElement
{
public:
    void createShape() override;
    void setupDefaultValue() override;
    void parserAttributeWithKey(const QString &key, const QString &value) override;
    bool alphaMask = false;
    // Whether getMaskWithIdentifier already made it the parent of its
    // maskElements.
    bool maskChildrenAdopted = false;
};

// ---- Shapes ----

class KALVO_EXPORT KTNTKSVGPathElement : public KTNTKSVGBaseElement
{
public:
    // Dropped after the outline is built.
    QStringList commandList;

    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;

private:
    // "d" as given: read straight into the outline unless commandList was
    // filled.
    QString m_pathData;
};

class KALVO_EXPORT KTNTKSVGCircleElement : public KTNTKSVGBaseElement
{
public:
    double cx = 0, cy = 0, r = 0;

    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;
};

class KALVO_EXPORT KTNTKSVGRectElement : public KTNTKSVGBaseElement
{
public:
    double x = 0, y = 0, width = 0, height = 0;
    double rx = -1, ry = -1; // -1: not given

    void setupDefaultValue() override;
    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void propertyToFit() override;
    void createShape() override;
};

class KALVO_EXPORT KTNTKSVGEllipseElement : public KTNTKSVGBaseElement
{
public:
    double cx = 0, cy = 0, rx = 0, ry = 0;

    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;
};

class KALVO_EXPORT KTNTKSVGLineElement : public KTNTKSVGBaseElement
{
public:
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;
};

class KALVO_EXPORT KTNTKSVGPolylineElement : public KTNTKSVGBaseElement
{
public:
    // Dropped after the outline is built.
    QStringList commandList;

    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;
};

class KALVO_EXPORT KTNTKSVGPolygonElement : public KTNTKSVGPolylineElement
{
public:
    void createShape() override;
};

// ---- Paint servers ----

class KALVO_EXPORT KTNSVGGradient : public KTNTKSVGBaseElement
{
public:
    int units = 0;  // 0 objectBoundingBox, 1 userSpaceOnUse
    int spread = 0; // 0 pad, 1 reflect, 2 repeat
    QString ref;    // "xlink:href" as written
    QList<std::shared_ptr<KTNSVGStopElement>> colorStops;
    std::optional<QTransform> gradientTransform;

    void setupDefaultValue() override;
    void parserAttributeWithKey(const QString &key, const QString &value) override;
    void createShape() override;

    // The brush that paints for `element` (its bounds and transform) at
    // `scale` in image pixels, with the stops' opacities times `opacity`;
    // nothing when the gradient paints nothing there (no stops, an empty
    // box for "objectBoundingBox").
    std::optional<QBrush> brushForElement(const KTNTKSVGBaseElement *element, const QRectF &userBounds,
                                          double opacity, double scale) const;
    // Fills `path` (image pixels) with the gradient over the path's own box.
    void drawGradientElementWithPath(const KTNSVGBezierPath &path, KTNSVGDrawContext &context, double opacity,
                                     double scale) override;

protected:
    // The gradient in its own coordinates; nothing when it degenerates
    // (the last stop's colour then paints).
    virtual std::optional<QGradient> makeGradient() const { return std::nullopt; }
};

class KALVO_EXPORT KTNTKSVGLinearGradientElement : public KTNSVGGradient
{
public:
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    void parserAttributeWithKey(const QString &key, const QString &value) override;

protected:
    std::optional<QGradient> makeGradient() const override;
};

// A focal point outside the circle is drawn from just inside it.
class KALVO_EXPORT KTNTKSVGRadialGradientElement : public KTNSVGGradient
{
public:
    double cx = 0, cy = 0, r = 50, fx = 0, fy = 0;
    double fr = 0; // the focal circle's radius

    void setupDefaultValue() override;
    void parserAttributeWithKey(const QString &key, const QString &value) override;

protected:
    std::optional<QGradient> makeGradient() const override;
};

// "stop": uses stopOffset, stopOpacity and stopColor.
class KALVO_EXPORT KTNSVGStopElement : public KTNTKSVGBaseElement
{
public:
    void createShape() override;
};

} // namespace kalvo
