// The background shape cache must be invisible: a cached shape looks
// exactly like one drawn directly, wherever it may be reused.
#include "foundation/rounded_shape.h"

#include <QImage>
#include <QPainter>

using namespace kalvo::detail;

namespace {

struct Shape
{
    QRectF bounds;
    qreal radius, border;
    QColor fill, line;
};

QImage canvas(QSize size = QSize(120, 80), qreal ratio = 1.0)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

QImage drawn(const Shape &shape, bool cached, qreal ratio = 1.0, QPointF offset = {})
{
    QImage image = canvas(QSize(120, 80), ratio);
    QPainter painter(&image);
    painter.translate(offset);
    if (cached)
        paintRoundedShape(painter, shape.bounds, shape.radius, shape.border, shape.fill, shape.line);
    else
        drawRoundedShape(painter, shape.bounds, shape.radius, shape.border, shape.fill, shape.line);
    return image;
}

class RoundedShapeCache : public testing::Test
{
protected:
    void SetUp() override { clearRoundedShapeCache(); }
    void TearDown() override { clearRoundedShapeCache(); }
};

} // namespace

TEST_F(RoundedShapeCache, CachedShapesMatchDirectDrawing)
{
    const Shape shapes[] = {
        {QRectF(10, 10, 80, 32), 8, 1, QColor(0xFF, 0xFF, 0xFF), QColor(0xC1, 0xC6, 0xCE)},
        {QRectF(3, 7, 60, 24), 12, 1, QColor(0x0E, 0x72, 0xED), QColor(Qt::transparent)},
        {QRectF(0, 0, 48, 48), 24, 2, QColor(0, 0, 0, 40), QColor(255, 0, 0, 128)},
        {QRectF(5, 5, 40, 40), 100, 0, QColor(0x22, 0x88, 0x44), QColor(Qt::black)},
    };
    for (const Shape &shape : shapes) {
        const QImage direct = drawn(shape, false);
        EXPECT_EQ(drawn(shape, true), direct) << "first (fills the cache)";
        EXPECT_EQ(drawn(shape, true), direct) << "second (from the cache)";
        // The same shape elsewhere on whole pixels reuses the picture.
        const QImage moved = drawn(shape, true, 1.0, QPointF(7, 3));
        EXPECT_EQ(moved, drawn(shape, false, 1.0, QPointF(7, 3)));
    }
    EXPECT_EQ(roundedShapeCacheSize(), 4);
}

TEST_F(RoundedShapeCache, HalfPixelsScalesAndLargeShapesAreDrawnDirectly)
{
    const Shape shape{QRectF(10, 10, 80, 32), 8, 1, QColor(0xFF, 0xFF, 0xFF), QColor(0xC1, 0xC6, 0xCE)};
    EXPECT_EQ(drawn(shape, true, 1.0, QPointF(0.5, 0.25)), drawn(shape, false, 1.0, QPointF(0.5, 0.25)));
    EXPECT_EQ(roundedShapeCacheSize(), 0);

    {
        QImage scaled = canvas();
        QPainter painter(&scaled);
        painter.scale(1.5, 1.5);
        paintRoundedShape(painter, shape.bounds, shape.radius, shape.border, shape.fill, shape.line);
    }
    EXPECT_EQ(roundedShapeCacheSize(), 0);

    QImage big = canvas(QSize(600, 400));
    {
        QPainter painter(&big);
        paintRoundedShape(painter, QRectF(0, 0, 600, 400), 10, 1, Qt::white, Qt::gray);
    }
    EXPECT_EQ(roundedShapeCacheSize(), 0);
    EXPECT_EQ(big.pixelColor(300, 200), QColor(Qt::white));
}

TEST_F(RoundedShapeCache, HighDensityDevicesGetSharpShapes)
{
    const Shape shape{QRectF(10, 10, 80, 32), 8, 1, QColor(0xFF, 0xFF, 0xFF), QColor(0xC1, 0xC6, 0xCE)};
    const QImage direct = drawn(shape, false, 2.0);
    EXPECT_EQ(drawn(shape, true, 2.0), direct);
    EXPECT_EQ(drawn(shape, true, 2.0), direct);
    // One entry per density: a 1x picture is never stretched onto 2x.
    EXPECT_EQ(drawn(shape, true, 1.0), drawn(shape, false, 1.0));
    EXPECT_EQ(roundedShapeCacheSize(), 2);
}

TEST_F(RoundedShapeCache, ColoursAndSizesAreSeparateEntriesAndTheCacheStaysBounded)
{
    const Shape shape{QRectF(0, 0, 80, 32), 8, 1, QColor(0xFF, 0xFF, 0xFF), QColor(0xC1, 0xC6, 0xCE)};
    drawn(shape, true);
    Shape red = shape;
    red.fill = Qt::red;
    EXPECT_EQ(drawn(red, true).pixelColor(40, 16), QColor(Qt::red));
    Shape wide = shape;
    wide.bounds.setWidth(90);
    drawn(wide, true);
    EXPECT_EQ(roundedShapeCacheSize(), 3);

    // Thousands of distinct shapes never hold more than a few megabytes.
    for (int i = 0; i < 3000; ++i) {
        Shape next = shape;
        next.fill = QColor::fromRgb(static_cast<QRgb>(0xFF000000u | static_cast<unsigned>(i)));
        drawn(next, true);
    }
    EXPECT_LE(roundedShapeCacheSize() * 80 * 32 * 4, 4 * 1024 * 1024);
    EXPECT_GT(roundedShapeCacheSize(), 0);
}

TEST_F(RoundedShapeCache, OtherCompositionModesAreHonoured)
{
    const Shape shape{QRectF(10, 10, 80, 32), 8, 0, QColor(0, 0, 255, 128), QColor()};
    QImage a = canvas(), b = canvas();
    a.fill(Qt::red);
    b.fill(Qt::red);
    {
        QPainter painter(&a);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        paintRoundedShape(painter, shape.bounds, shape.radius, shape.border, shape.fill, shape.line);
    }
    {
        QPainter painter(&b);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        drawRoundedShape(painter, shape.bounds, shape.radius, shape.border, shape.fill, shape.line);
    }
    EXPECT_EQ(a, b);
}
