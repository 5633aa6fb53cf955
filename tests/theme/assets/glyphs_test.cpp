#include "asset_test_support.h"

#include <kalvo/theme/iconmanager.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

bool anyOpaque(const QImage &image, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y).alpha() > 0)
                return true;
        }
    }
    return false;
}

TEST(Glyphs, CodesAndSizes)
{
    EXPECT_EQ(Image::imageWithIndentifier(1007, PlatformColor()), nullptr);
    EXPECT_EQ(Image::imageWithIndentifier(999, PlatformColor()), nullptr);

    const ImagePtr arrow = Image::imageWithIndentifier(1006, PlatformColor());
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->size(), QSizeF(32, 32)) << "the 9 x 9 glyph sized to the default 32";
    const QImage pixels = render(arrow, {32, 32});
    EXPECT_EQ(pixels.pixelColor(16, 14).alpha(), 255) << "the filled arrow, scaled up";
    EXPECT_EQ(pixels.pixelColor(16, 2).alpha(), 0);

    const ImagePtr tinted = Image::imageWithIndentifier(1000, QColor(Qt::red), 16);
    EXPECT_EQ(tinted->size(), QSizeF(16, 16));
    EXPECT_TRUE(near(render(tinted, {32, 32}).pixelColor(16, 16), QColor(Qt::red), 40)) << "middle dot, tinted";

    for (int code = 1001; code <= 1005; ++code) {
        const ImagePtr glyph = Image::imageWithIndentifier(code, PlatformColor(), 24);
        ASSERT_NE(glyph, nullptr) << code;
        EXPECT_TRUE(anyOpaque(render(glyph, {24, 24}), QRect(0, 0, 24, 24))) << code;
    }

    const ImagePtr measured = Image::imageWithIndentifier(1006, PlatformColor(), 9.7, 9.2);
    ASSERT_NE(measured, nullptr);
    EXPECT_EQ(measured->size(), QSizeF(9.7, 9.2));
    EXPECT_EQ(Image::imageWithIndentifier(1000, PlatformColor(), 9.0, 9.0), nullptr) << "only 1006 takes a width";
    EXPECT_EQ(Image::imageWithIndentifier(1006, PlatformColor(), 0.5, 9.0), nullptr) << "no whole pixel wide";
}

TEST(Glyphs, TriangleSizesFollowTheApexAngle)
{
    const ImagePtr down = Image::triangleImage(10.0, 0.0, 90.0, 0, PlatformColor());
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->size(), QSizeF(16, 8)) << "a = b = ceil(7.07) = 8";
    EXPECT_EQ(Image::triangleImage(10.0, 0.0, 90.0, 2, PlatformColor())->size(), QSizeF(8, 16));
    EXPECT_EQ(Image::triangleImage(10.0, 0.0, 90.0, 4, PlatformColor()), nullptr);
    EXPECT_EQ(Image::triangleImage(QSizeF(10, 10), 1.0, -1, PlatformColor()), nullptr);

    const ImagePtr stroked = Image::triangleImage(QSizeF(10, 6), 2.0, 1, PlatformColor());
    EXPECT_EQ(stroked->size(), QSizeF(12, 8)) << "the canvas grows by the line width";

    // Down points down: its wide side is at the top. No colour is black.
    const QImage pixels = render(down, {16, 8});
    EXPECT_EQ(pixels.pixelColor(8, 1), QColor(Qt::black));
    EXPECT_EQ(pixels.pixelColor(1, 6).alpha(), 0);
    const QImage up = render(Image::triangleImage(10.0, 0.0, 90.0, 1, QColor(Qt::red)), {16, 8});
    EXPECT_EQ(up.pixelColor(8, 6), QColor(Qt::red));
    EXPECT_EQ(up.pixelColor(1, 1).alpha(), 0);
}

TEST(Glyphs, DrawnOnceImagesAndSquareTints)
{
    int runs = 0;
    const ImagePtr once = Image::imageWithSize(QSizeF(10, 10), [&](QPainter &painter, const QRectF &rect) {
        ++runs;
        painter.fillRect(rect, Qt::blue);
    });
    render(once, {10, 10});
    render(once, {10, 10});
    EXPECT_EQ(runs, 1) << "drawn once, at once";
    EXPECT_EQ(Image::imageWithSize(QSizeF(0, 10), [](QPainter &, const QRectF &) {}), nullptr);

    EXPECT_TRUE(Image::imageWithSize(0.00001, QColor(Qt::red), nullptr)->isEmpty());
    const ImagePtr disc = Image::imageWithSize(20.0, QColor(Qt::red), [](QPainter &painter, const QRectF &rect) {
        painter.setBrush(Qt::black);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(rect.adjusted(4, 4, -4, -4));
    });
    const QImage pixels = render(disc, {20, 20});
    EXPECT_EQ(pixels.pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(pixels.pixelColor(1, 1).alpha(), 0) << "the tint takes the drawing's shape";

    EXPECT_EQ(Image::crossImage({10, 10}, 2, QColor(Qt::red))->size(), QSizeF(10, 10));
    EXPECT_EQ(render(Image::crossImage({10, 10}, 2, QColor(Qt::red)), {10, 10}).pixelColor(5, 5), QColor(Qt::red));
    const QImage dots = render(Image::threeDotImage({40, 10}, QColor(Qt::blue)), {40, 10});
    EXPECT_EQ(dots.pixelColor(20, 5), QColor(Qt::blue));
    EXPECT_EQ(dots.pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(dots.pixelColor(12, 5).alpha(), 0) << "gaps between the dots";
}

class IconManagerTest : public testing::Test
{
protected:
    void TearDown() override { setAppearance(QCoreApplication::instance(), nullptr); }
};

TEST_F(IconManagerTest, KeyNumbersAreShortestDecimalsWithAFraction)
{
    EXPECT_EQ(KTNIconManager::keyNumber(16), QStringLiteral("16.0"));
    EXPECT_EQ(KTNIconManager::keyNumber(1.5), QStringLiteral("1.5"));
    EXPECT_EQ(KTNIconManager::keyNumber(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(KTNIconManager::keyNumber(100000), QStringLiteral("100000.0"));
    EXPECT_EQ(KTNIconManager::keyNumber(-2), QStringLiteral("-2.0"));
    EXPECT_EQ(KTNIconManager::keyNumber(1e16), QStringLiteral("1e+16"));
    EXPECT_EQ(KTNIconManager::keyNumber(0.00001), QStringLiteral("1e-05"));
    EXPECT_EQ(KTNIconManager::keyNumber(0), QStringLiteral("0.0"));
}

TEST_F(IconManagerTest, CloseCrossIsCachedPerSizeAndAppearance)
{
    setAppearance(QCoreApplication::instance(), Appearance::tn_lightAppearance());
    KTNIconManager &manager = KTNIconManager::shared();
    const ImagePtr light = manager.closeImage({16, 16}, 1.5);
    EXPECT_EQ(manager.closeImage({16, 16}, 1.5), light);
    EXPECT_EQ(manager.imageCache().count(QStringLiteral("16.0_16.0_1.5_false")), 1u);

    const QImage pixels = render(light, {16, 16});
    EXPECT_GT(pixels.pixelColor(8, 8).alpha(), 0) << "the diagonals cross in the middle";
    EXPECT_GT(pixels.pixelColor(6, 9).alpha(), 0) << "bottom-left to top-right";
    EXPECT_EQ(pixels.pixelColor(2, 2).alpha(), 0) << "inset by 5";
    EXPECT_EQ(pixels.pixelColor(8, 3).alpha(), 0);

    setAppearance(QCoreApplication::instance(), Appearance::tn_darkAppearance());
    const ImagePtr dark = manager.closeImage({16, 16}, 1.5);
    EXPECT_NE(dark, light);
    EXPECT_EQ(manager.imageCache().count(QStringLiteral("16.0_16.0_1.5_true")), 1u);
}

TEST_F(IconManagerTest, ColouredCrossesOfOneSizeAreDifferentIcons)
{
    KTNIconManager &manager = KTNIconManager::shared();
    const ImagePtr red = manager.closeImage({20, 20}, 2, QColor(Qt::red));
    const ImagePtr blue = manager.closeImage({20, 20}, 2, QColor(Qt::blue));
    EXPECT_NE(red, blue);
    EXPECT_EQ(manager.closeImage({20, 20}, 2, QColor(Qt::red)), red);
    EXPECT_TRUE(near(render(red, {20, 20}).pixelColor(10, 10), QColor(Qt::red), 30));
    EXPECT_TRUE(near(render(blue, {20, 20}).pixelColor(10, 10), QColor(Qt::blue), 30));
    EXPECT_NE(manager.closeImage({20, 20}, 2), red) << "the token-coloured cross is another icon";

    // The colour sits inside the key, which still ends in the dark flag.
    setAppearance(QCoreApplication::instance(), Appearance::tn_lightAppearance());
    const QString prefix = QStringLiteral("20.0_20.0_2.0_");
    manager.closeImage({20, 20}, 2, QColor(Qt::green));
    const QString greenKey = prefix + PlatformColor(QColor(Qt::green)).tnCacheKey() + QStringLiteral("_false");
    EXPECT_EQ(manager.imageCache().count(greenKey), 1u);
    for (const auto &[key, image] : manager.imageCache())
        EXPECT_TRUE(key.endsWith(u"_true") || key.endsWith(u"_false")) << key.toStdString();
}

TEST_F(IconManagerTest, HelpIconSitsInTheCentredSquare)
{
    setAppearance(QCoreApplication::instance(), Appearance::tn_lightAppearance());
    const KTNIconManager::HelpIconGeometry geometry = KTNIconManager::helpIconGeometry({20, 16});
    EXPECT_EQ(geometry.square, QRectF(2, 0, 16, 16));
    EXPECT_EQ(geometry.circle, QRectF(4, 2, 12, 12));
    EXPECT_DOUBLE_EQ(geometry.fontSize, 16 / 1.8);

    KTNIconManager &manager = KTNIconManager::shared();
    const ImagePtr icon = manager.helpIcon({20, 16});
    EXPECT_EQ(manager.helpIcon({20, 16}), icon);
    EXPECT_EQ(manager.imageCache().count(QStringLiteral("20.0_16.0_?_false")), 1u);
    EXPECT_FALSE(icon->isTemplate());
    EXPECT_EQ(icon->size(), QSizeF(20, 16));

    const QImage pixels = render(icon, {20, 16});
    EXPECT_FALSE(anyOpaque(pixels, QRect(0, 0, 3, 16))) << "left of the circle";
    EXPECT_FALSE(anyOpaque(pixels, QRect(17, 0, 3, 16))) << "right of the circle";
    EXPECT_TRUE(anyOpaque(pixels, QRect(3, 7, 2, 2))) << "the circle's left edge at x = 4";
    EXPECT_TRUE(anyOpaque(pixels, QRect(8, 4, 4, 8))) << "the question mark";
    // The light value of the icon colour, on the circle's top edge (y = 2).
    QColor stroke = pixels.pixelColor(10, 1);
    if (pixels.pixelColor(10, 2).alpha() > stroke.alpha())
        stroke = pixels.pixelColor(10, 2);
    ASSERT_GT(stroke.alpha(), 60);
    EXPECT_TRUE(near(QColor(stroke.red(), stroke.green(), stroke.blue()), QColor(0x6E7680), 12)) << stroke.name().toStdString();

    EXPECT_TRUE(manager.helpIcon({0, 16})->isEmpty());
    EXPECT_EQ(manager.imageCache().count(QStringLiteral("0.0_16.0_?_false")), 0u) << "nothing drawn, nothing kept";
}

} // namespace
