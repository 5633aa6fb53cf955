#include <kalvo/theme/appearance.h>
#include <kalvo/theme/pigment.h>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

QImage paint(const TNPigment &pigment, double borderWidth = 0, QSize size = {40, 24}, bool dark = false)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawingAppearanceScope scope(dark ? Appearance::tn_darkAppearance() : Appearance::tn_lightAppearance());
    paintPigment(painter, QRectF(QPointF(0, 0), size), pigment, borderWidth);
    return image;
}

TEST(Pigment, EffectiveCornerRadius)
{
    TNPigment p;
    p.cornerRadius = 0;
    p.cornerRadiusRatio = 0.5;
    EXPECT_EQ(p.effectiveCornerRadius(40, 24), 12.0);
    p.cornerRadius = 3;
    EXPECT_EQ(p.effectiveCornerRadius(40, 24), 15.0);
    p.cornerRadiusRatio = 2.220446049250313e-16; // not above the epsilon
    EXPECT_EQ(p.effectiveCornerRadius(40, 24), 3.0);
    p.cornerRadiusRatio = 0.3;
    EXPECT_EQ(p.effectiveCornerRadius(40, 25), 3.0 + 8.0) << "rounded: 7.5 -> 8";
}

TEST(Pigment, ColourFillFollowsTheAppearanceAndRoundsCorners)
{
    TNPigment p;
    p.color = Color::color(0xFF0000, 0x0000FF);
    p.cornerRadiusRatio = 0.5;
    const QImage light = paint(p);
    EXPECT_EQ(light.pixelColor(20, 12), QColor(255, 0, 0));
    EXPECT_EQ(light.pixelColor(0, 0).alpha(), 0) << "rounded corner";
    EXPECT_EQ(light.pixelColor(39, 23).alpha(), 0);
    EXPECT_EQ(paint(p, 0, {40, 24}, true).pixelColor(20, 12), QColor(0, 0, 255));
}

TEST(Pigment, CornerMaskRoundsOnlyTheChosenCorners)
{
    TNPigment p;
    p.color = QColor(Qt::black);
    p.cornerRadius = 10;
    p.cornerMask = CornerMask::minXMinY | CornerMask::maxXMinY; // the top ones in a widget
    const QImage image = paint(p);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(39, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(0, 23).alpha(), 255);
    EXPECT_EQ(image.pixelColor(39, 23).alpha(), 255);
}

TEST(Pigment, GradientRunsBetweenItsPointsAndWinsOverColourAndImage)
{
    TNPigment p;
    p.color = QColor(Qt::green);
    p.image = QImage(4, 4, QImage::Format_ARGB32);
    p.image.fill(Qt::yellow);
    p.gradient = TNGradient{{QColor(Qt::red), QColor(Qt::blue)}, {0.0, 1.0}, {0.5, 1.0}, {0.5, 0.0}};
    // y up: from the top (y = 1) to the bottom (y = 0) of the view.
    const QImage image = paint(p, 0, {20, 100});
    EXPECT_GT(image.pixelColor(10, 1).red(), 240);
    EXPECT_GT(image.pixelColor(10, 98).blue(), 240);
    const QImage unflipped = [&] {
        QImage img(20, 100, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter painter(&img);
        paintPigment(painter, QRectF(0, 0, 20, 100), p, 0, false);
        return img;
    }();
    EXPECT_GT(unflipped.pixelColor(10, 1).blue(), 240) << "unflipped views keep the points as given";
}

TEST(Pigment, ImageIsClippedToTheCornersOnlyWhenMasking)
{
    TNPigment p;
    p.image = QImage(8, 8, QImage::Format_ARGB32);
    p.image.fill(Qt::yellow);
    p.cornerRadius = 10;
    EXPECT_EQ(paint(p).pixelColor(0, 0), QColor(Qt::yellow)) << "contents are not masked by default";
    p.masksToBounds = true;
    EXPECT_EQ(paint(p).pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(paint(p).pixelColor(20, 12), QColor(Qt::yellow));
}

TEST(Pigment, BorderIsDrawnInsideTheBounds)
{
    TNPigment p;
    p.color = QColor(Qt::white);
    p.borderColor = Color::color(0x00FF00, 0x00FF00);
    const QImage image = paint(p, 2);
    EXPECT_EQ(image.pixelColor(0, 12), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(1, 12), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(3, 12), QColor(Qt::white));
    EXPECT_EQ(paint(p, 0).pixelColor(0, 12), QColor(Qt::white)) << "no width, no border";
}

TEST(Pigment, DegenerateInputIsHarmless)
{
    TNPigment p;
    p.gradient = TNGradient{{QColor(Qt::red)}, {std::nan("")}, {}, {}};
    p.cornerRadius = 1e9;
    EXPECT_NO_FATAL_FAILURE(paint(p));
    QImage empty(1, 1, QImage::Format_ARGB32);
    QPainter painter(&empty);
    paintPigment(painter, QRectF(), p, 5);
    EXPECT_EQ(p.appearanceColor()->resolved().alpha(), 0) << "no colour: clear";
}

} // namespace
