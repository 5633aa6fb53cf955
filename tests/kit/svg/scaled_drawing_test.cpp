// Outlines drawn at a scale without a scaled copy: every way a draw context
// paints (its own rasteriser, the coverage mask under a layer, cairo for
// large shapes, QPainter) gives the pixels the scaled copy gives, and the
// drawing seams of element subclasses still run.
#include "kit/svg/engine/svg_scanline_p.h"

#include <kalvo/svg/svgbezierpath.h>
#include <kalvo/svg/svgdrawables.h>

#include <QLinearGradient>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace kalvo;

namespace {

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

enum class Device { Cairo, CairoOnly, Painter };

// Draws with a fresh context of the kind, inside a translucent layer when
// `layered` (where the own rasteriser paints through a coverage mask).
QImage drawOn(Device device, QSize size, bool layered, const std::function<void(KTNSVGDrawContext &)> &paint)
{
    const bool was = svgscan::enabled();
    svgscan::setEnabled(device != Device::CairoOnly);
    QImage image = blank(size);
    {
        std::unique_ptr<QPainter> painter;
        std::unique_ptr<KTNSVGDrawContext> context;
        if (device == Device::Painter) {
            painter = std::make_unique<QPainter>(&image);
            painter->setRenderHint(QPainter::Antialiasing);
            context = std::make_unique<KTNSVGDrawContext>(*painter, image.rect());
        } else {
            context = std::make_unique<KTNSVGDrawContext>(image, QPoint(0, 0), KTNSVGDrawLimits());
        }
        if (!layered || context->begin(0.6, true, QRectF(QPointF(0, 0), QSizeF(size)))) {
            paint(*context);
            if (layered)
                context->end();
        }
    }
    svgscan::setEnabled(was);
    return image;
}

KTNSVGBezierPath outline(const std::function<void(KTNSVGBezierPath &)> &build, double width, int cap, int join)
{
    KTNSVGBezierPath path;
    build(path);
    path.lineWidth = width;
    path.lineCapStyle = cap;
    path.lineJoinStyle = join;
    return path;
}

struct Case
{
    const char *name;
    KTNSVGBezierPath path;
};

std::vector<Case> cases()
{
    std::vector<Case> all;
    all.push_back({"curves, even-odd", outline(
                                           [](KTNSVGBezierPath &p) {
                                               p.appendOvalInRect(QRectF(1.3, 1.7, 14.2, 13.1));
                                               p.appendRoundedRect(QRectF(4.1, 3.9, 6.3, 7.2), 1.5, 2);
                                               p.setWindingRule(1);
                                           },
                                           1.25, 1, 1)});
    all.push_back({"open line, square caps, mitres", outline(
                                                         [](KTNSVGBezierPath &p) {
                                                             p.moveToPoint(QPointF(2.2, 12.5));
                                                             p.lineToPoint(QPointF(7.1, 3.3));
                                                             p.lineToPoint(QPointF(12.4, 12.9));
                                                             p.curveToPoint(QPointF(3, 14), QPointF(9, 16),
                                                                            QPointF(5, 17));
                                                         },
                                                         1.5, 2, 0)});
    all.push_back({"small closed shape under a wide line", outline(
                                                               [](KTNSVGBezierPath &p) {
                                                                   p.appendOvalInRect(QRectF(6, 6, 1.2, 1.1));
                                                               },
                                                               2.5, 0, 0)});
    all.push_back({"square-capped dot", outline(
                                            [](KTNSVGBezierPath &p) {
                                                p.moveToPoint(QPointF(8.4, 5.6));
                                                p.lineToPoint(QPointF(8.4, 5.6));
                                            },
                                            2, 2, 0)});
    all.push_back({"round line that nearly closes", outline(
                                                        [](KTNSVGBezierPath &p) {
                                                            p.moveToPoint(QPointF(3, 3));
                                                            p.lineToPoint(QPointF(13, 4));
                                                            p.lineToPoint(QPointF(8, 13));
                                                            p.lineToPoint(QPointF(3.0004, 3.0003));
                                                        },
                                                        1.5, 1, 1)});
    // Assembled without the closure record: closed where it ends at its
    // start, within a noise line in device pixels (a third of one at 3x).
    all.push_back({"assembled line that nearly closes", outline(
                                                            [](KTNSVGBezierPath &p) {
                                                                p.path.moveTo(QPointF(3, 3));
                                                                p.path.lineTo(QPointF(13, 4));
                                                                p.path.lineTo(QPointF(8, 13));
                                                                p.path.lineTo(QPointF(3.0004, 3));
                                                            },
                                                            1.5, 0, 0)});
    return all;
}

} // namespace

TEST(ScaledDrawing, EveryWayOfPaintingMatchesTheScaledCopy)
{
    QLinearGradient gradient(QPointF(0, 0), QPointF(40, 30));
    gradient.setColorAt(0, QColor(200, 30, 60));
    gradient.setColorAt(1, QColor(20, 90, 220, 180));
    const std::vector<QBrush> brushes{QBrush(QColor(10, 20, 30)), QBrush(QColor(0, 120, 0, 140)), QBrush(gradient)};
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        for (const double scale : {0.75, 1.0 + 1e-9, 1.5, 3.0, 13.0}) {
            SCOPED_TRACE(scale);
            const KTNSVGBezierPath copy = KTNTKSVGBaseElement::transformPath(c.path, scale);
            // 13x makes boxes beyond what the own rasteriser takes: cairo
            // draws those.
            const QSize size = scale > 10 ? QSize(240, 240) : QSize(56, 56);
            for (const Device device : {Device::Cairo, Device::CairoOnly, Device::Painter}) {
                for (const bool layered : {false, true}) {
                    SCOPED_TRACE(int(device) * 2 + int(layered));
                    for (const QBrush &brush : brushes) {
                        const QImage scaled = drawOn(device, size, layered, [&](KTNSVGDrawContext &context) {
                            context.fillPath(c.path.path, brush, scale);
                            context.strokePath(c.path, brush, scale);
                        });
                        const QImage copied = drawOn(device, size, layered, [&](KTNSVGDrawContext &context) {
                            context.fillPath(copy.path, brush);
                            context.strokePath(copy, brush);
                        });
                        ASSERT_EQ(scaled, copied);
                    }
                }
            }
        }
    }
}

TEST(ScaledDrawing, DashesAndTheWorkBudgetFollowTheCopy)
{
    KTNSVGBezierPath dashed = outline(
        [](KTNSVGBezierPath &p) {
            p.moveToPoint(QPointF(2, 2));
            p.curveToPoint(QPointF(14, 12), QPointF(12, 1), QPointF(3, 14));
        },
        1, 1, 1);
    dashed.lineDash = {2, 1.5};
    dashed.lineDashPhase = 0.5;
    const KTNSVGBezierPath copy = KTNTKSVGBaseElement::transformPath(dashed, 2.5);
    double scaledWork = 0;
    double copiedWork = 0;
    const QImage scaled = drawOn(Device::Cairo, QSize(48, 48), false, [&](KTNSVGDrawContext &context) {
        context.strokePath(dashed, QBrush(Qt::black), 2.5);
        context.fillPath(dashed.path, QBrush(Qt::black), 2.5);
        scaledWork = context.workSpent();
    });
    const QImage copied = drawOn(Device::Cairo, QSize(48, 48), false, [&](KTNSVGDrawContext &context) {
        context.strokePath(copy, QBrush(Qt::black));
        context.fillPath(copy.path, QBrush(Qt::black));
        copiedWork = context.workSpent();
    });
    EXPECT_EQ(scaled, copied);
    EXPECT_GT(scaledWork, 0);
    EXPECT_NEAR(scaledWork, copiedWork, 1e-9 * copiedWork);
}

TEST(ScaledDrawing, ScalesThatAreNotFiniteAndPositiveDrawNothing)
{
    // The device spans both sides of the origin, where a mirrored or
    // collapsed outline would show.
    const KTNSVGBezierPath path = cases().front().path;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QImage empty = blank(QSize(96, 96));
    for (const bool painted : {false, true}) {
        SCOPED_TRACE(painted);
        auto drawWith = [&](const std::function<void(KTNSVGDrawContext &)> &paint) {
            QImage image = empty;
            QPainter painter;
            std::unique_ptr<KTNSVGDrawContext> context;
            if (painted) {
                painter.begin(&image);
                painter.translate(48, 48);
                context = std::make_unique<KTNSVGDrawContext>(painter, QRect(-48, -48, 96, 96));
            } else {
                context = std::make_unique<KTNSVGDrawContext>(image, QPoint(-48, -48), KTNSVGDrawLimits());
            }
            paint(*context);
            context.reset();
            painter.end();
            return image;
        };
        const KTNSVGBezierPath mirrored = KTNTKSVGBaseElement::transformPath(path, -2);
        EXPECT_NE(drawWith([&](KTNSVGDrawContext &context) { context.fillPath(mirrored.path, QBrush(Qt::black)); }),
                  empty);
        for (const double scale : {0.0, -2.0, nan, inf, -inf}) {
            SCOPED_TRACE(scale);
            EXPECT_EQ(drawWith([&](KTNSVGDrawContext &context) {
                          context.fillPath(path.path, QBrush(Qt::black), scale);
                          context.strokePath(path, QBrush(Qt::black), scale);
                      }),
                      empty);
        }
    }
    // The rasteriser itself refuses them too, with nothing drawn.
    QImage image = blank(QSize(32, 32));
    svgscan::Target target{image.bits(), 32, 32, image.bytesPerLine(), QPoint(0, 0), nan};
    EXPECT_TRUE(svgscan::fillPath(target, path.path, 0xff000000u));
    EXPECT_EQ(image, blank(QSize(32, 32)));
}

namespace {

// A path element with its own seams: they must still be asked.
class OutlinedPath : public KTNTKSVGPathElement
{
public:
    std::optional<KTNSVGBezierPath> outlineForDrawing(double scale) const override
    {
        ++outlines;
        std::optional<KTNSVGBezierPath> device = KTNTKSVGPathElement::outlineForDrawing(scale);
        if (device)
            device->path.translate(0, 10);
        return device;
    }
    void paintShape(const KTNSVGBezierPath &device, KTNSVGDrawContext &context, double scale) override
    {
        ++paints;
        KTNTKSVGPathElement::paintShape(device, context, scale);
    }
    mutable int outlines = 0;
    int paints = 0;
};

} // namespace

TEST(ScaledDrawing, SubclassSeamsStillRun)
{
    const KTNSVGAttributes attributes{{QStringLiteral("d"), QStringLiteral("M1 1h6v3h-6z")},
                                      {QStringLiteral("fill"), QStringLiteral("#000")}};
    auto own = std::make_shared<OutlinedPath>();
    own->initWithAttributes(attributes);
    const KTNSVGElementPtr plain = KTNTKSVGBaseElement::elementWithName(QStringLiteral("path"), attributes);
    QImage seams = blank(QSize(24, 24));
    QImage direct = blank(QSize(24, 24));
    {
        KTNSVGDrawContext context(seams, QPoint(0, 0), KTNSVGDrawLimits());
        own->drawSVGWithCGContextRef(context, 2);
    }
    {
        KTNSVGDrawContext context(direct, QPoint(0, 0), KTNSVGDrawLimits());
        plain->drawSVGWithCGContextRef(context, 2);
    }
    EXPECT_EQ(own->outlines, 1);
    EXPECT_EQ(own->paints, 1);
    // The subclass's outline moved down; the plain element's did not.
    EXPECT_EQ(qAlpha(seams.pixel(5, 4)), 0);
    EXPECT_EQ(qAlpha(seams.pixel(5, 14)), 255);
    EXPECT_EQ(qAlpha(direct.pixel(5, 4)), 255);
    EXPECT_EQ(qAlpha(direct.pixel(5, 14)), 0);
}
