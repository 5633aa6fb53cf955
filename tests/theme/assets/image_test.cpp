#include "asset_test_support.h"

#include <kalvo/theme/themeimage.h>

#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kalvo;
using namespace kalvo::test;

namespace {

TEST(Image, BitmapSizeIsInPointsAndCopiesKeepAttributesButNotIdentity)
{
    QImage retina(32, 20, QImage::Format_ARGB32_Premultiplied);
    retina.fill(Qt::red);
    retina.setDevicePixelRatio(2.0);
    const ImagePtr image = BitmapImage::create(retina);
    EXPECT_EQ(image->size(), QSizeF(16, 10));
    EXPECT_EQ(image->pixelSize(), QSize(32, 20));
    image->setName(QStringLiteral("flag"));
    image->setAnnounceLabel(QStringLiteral("Flag"));
    EXPECT_EQ(image->templatedImage(), image);

    const ImagePtr copy = image->copy();
    EXPECT_NE(copy, image);
    EXPECT_EQ(copy->name(), QStringLiteral("flag"));
    EXPECT_EQ(copy->announceLabel(), QStringLiteral("Flag"));
    EXPECT_TRUE(copy->isTemplate());

    const ImagePtr empty = Image::emptyImage();
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_FALSE(empty->isValid());
    EXPECT_EQ(empty->pixelSize(), QSize(0, 0));
    EXPECT_TRUE(render(empty, {4, 4}).pixelColor(1, 1).alpha() == 0);
}

TEST(Image, DrawnImageRunsItsRoutineAtEveryDrawAndUnflippedMeansYUp)
{
    int runs = 0;
    const auto drawn = DrawnImage::create({10, 10}, [&](QPainter &painter, const QRectF &) {
        ++runs;
        painter.fillRect(QRectF(0, 0, 10, 3), Qt::blue); // the low y band
    });
    const QImage first = render(drawn, {10, 10});
    render(drawn, {10, 10});
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(first.pixelColor(5, 1), QColor(Qt::blue)) << "flipped: y grows downwards";

    const auto unflipped = DrawnImage::create(
        {10, 10}, [](QPainter &painter, const QRectF &) { painter.fillRect(QRectF(0, 0, 10, 3), Qt::blue); }, false);
    const QImage upright = render(unflipped, {10, 10});
    EXPECT_EQ(upright.pixelColor(5, 8), QColor(Qt::blue)) << "y up: the low band is at the bottom";
    EXPECT_EQ(upright.pixelColor(5, 1).alpha(), 0);
}

TEST(Image, TintFollowsTheAppearanceAtDrawingTimeThroughTheShape)
{
    const ImagePtr disc = discImage();
    const ImagePtr tinted = disc->tinted(Color::color(0xFF0000, 0x0000FF));
    EXPECT_EQ(tinted->size(), disc->size());

    const QImage light = render(tinted, {20, 20});
    const QImage dark = render(tinted, {20, 20}, true);
    EXPECT_TRUE(near(light.pixelColor(10, 10), QColor(255, 0, 0)));
    EXPECT_TRUE(near(dark.pixelColor(10, 10), QColor(0, 0, 255))) << "same image, drawn dark";
    EXPECT_EQ(light.pixelColor(1, 1).alpha(), 0) << "the disc's shape, not a square";
    EXPECT_EQ(dark.pixelColor(18, 18).alpha(), 0);
}

TEST(Image, DrawingSmallerThanTheNaturalSizeScalesDownInsteadOfCropping)
{
    // A 20-point disc drawn into 10 pixels: the whole disc, centred, at half
    // size; the tinted copy paints through a canvas below ratio 1.
    const ImagePtr disc = discImage(Qt::black, 20);
    for (const ImagePtr &image : {disc, disc->tinted(Color::color(0xFF0000, 0x0000FF)),
                                  disc->newImageWithTintColor(QColor(Qt::red))}) {
        const QImage small = render(image, {10, 10});
        EXPECT_GT(small.pixelColor(5, 5).alpha(), 200);
        EXPECT_EQ(small.pixelColor(0, 0).alpha(), 0) << "corners stay clear: nothing was cropped";
        EXPECT_EQ(small.pixelColor(9, 9).alpha(), 0);
        EXPECT_EQ(small.pixelColor(0, 9).alpha(), 0);
    }
    // A drawn image rendered below ratio 1 keeps its whole drawing.
    const auto drawn = DrawnImage::create({20, 20}, [](QPainter &painter, const QRectF &rect) {
        painter.fillRect(QRectF(rect.center(), rect.size() / 2), Qt::green); // bottom-right quarter
    });
    const QImage half = drawn->toImage(0.5);
    ASSERT_EQ(half.size(), QSize(10, 10));
    EXPECT_EQ(half.pixelColor(7, 7), QColor(Qt::green));
    EXPECT_EQ(half.pixelColor(3, 3).alpha(), 0);
}

TEST(Image, TintWithAThemeColorGivesAThemeImageThatUsesTheThemesValue)
{
    const ColorPtr color = Color::color(0xFF0000, 1.0, 0x0000FF, 1.0, {{ThemeName::rose, QColor(0, 255, 0)}});
    const ImagePtr tinted = solidImage(Qt::black)->tinted(color);
    const auto themed = std::dynamic_pointer_cast<ThemeImage>(tinted);
    ASSERT_NE(themed, nullptr);
    EXPECT_EQ(themed->titedColor(), color);

    EXPECT_TRUE(near(render(tinted, {16, 16}, false, TNTheme::rose()).pixelColor(8, 8), QColor(0, 255, 0)));
    EXPECT_EQ(themed->themes().count(ThemeName::rose), 1u) << "the rose image is made once and kept";
    EXPECT_TRUE(near(render(tinted, {16, 16}, false, TNTheme::classic()).pixelColor(8, 8), QColor(255, 0, 0)));
    EXPECT_TRUE(near(render(tinted, {16, 16}, true, TNTheme::classic()).pixelColor(8, 8), QColor(0, 0, 255)));
    EXPECT_EQ(themed->themes().count(ThemeName::classic), 0u);
}

TEST(Image, BakedTintsAndTheirLimits)
{
    const ImagePtr disc = discImage();
    const ImagePtr tiny = solidImage(Qt::black, 0); // nothing to draw
    EXPECT_TRUE(tiny->tintedImage(QColor(Qt::red))->isEmpty());
    EXPECT_EQ(tiny->newImageWithTintColor(QColor(Qt::red)), tiny) << "the older kit answers the receiver";
    EXPECT_EQ(disc->newImageWithTintColor(PlatformColor()), disc);

    const ImagePtr copy = disc->tintedImage(PlatformColor());
    EXPECT_NE(copy, disc);
    EXPECT_EQ(render(copy, {20, 20}), render(disc, {20, 20}));

    // Baked now: an appearance colour keeps the value it had.
    const ImagePtr baked = disc->tintedImage(Color::color(0xFF0000, 0x0000FF));
    EXPECT_TRUE(near(render(baked, {20, 20}, true).pixelColor(10, 10), QColor(255, 0, 0)));
    EXPECT_EQ(render(baked, {20, 20}).pixelColor(1, 1).alpha(), 0) << "source-atop keeps the shape";
    const ImagePtr everywhere = disc->tintedImage(QColor(Qt::green), QPainter::CompositionMode_SourceOver);
    EXPECT_TRUE(near(render(everywhere, {20, 20}).pixelColor(1, 1), QColor(0, 255, 0)));
}

TEST(Image, VectorImageRendersAtTheResolutionDrawnAndKeepsAFewRenderings)
{
    std::atomic<int> renders{0};
    std::vector<qreal> scales;
    auto image = VectorImage::create(
        [&](qreal scale) {
            ++renders;
            scales.push_back(scale);
            QImage picture(qRound(12 * scale), qRound(8 * scale), QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::red);
            return picture;
        },
        1.0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSizeF(12, 8));
    EXPECT_EQ(image->toImage(2.0).size(), QSize(24, 16));
    EXPECT_EQ(image->toImage(2.0).devicePixelRatio(), 2.0);
    EXPECT_EQ(renders.load(), 2) << "the 2x rendering is kept";

    const ImagePtr copy = image->copy();
    EXPECT_NE(copy, image);
    copy->toImage(2.0);
    EXPECT_EQ(renders.load(), 2) << "copies share the renderings";

    for (const qreal scale : {3.0, 4.0, 5.0, 6.0})
        image->toImage(scale);
    EXPECT_LE(image->representations().size(), VectorImage::kKeptRenderings);

    // Drawn into a 2x device, the image asks for a 2x rendering.
    QImage device(48, 32, QImage::Format_ARGB32_Premultiplied);
    device.setDevicePixelRatio(2.0);
    device.fill(Qt::transparent);
    image->tn_forceUpdateImage();
    EXPECT_TRUE(image->representations().isEmpty());
    scales.clear();
    QPainter painter(&device);
    image->draw(painter, QRectF(0, 0, 24, 16));
    painter.end();
    ASSERT_FALSE(scales.empty());
    EXPECT_DOUBLE_EQ(scales.back(), 4.0) << "twice the size on a 2x device";

    EXPECT_EQ(VectorImage::create([](qreal) { return QImage(); }), nullptr);
    const auto huge = VectorImage::create([](qreal scale) {
        return scale > 1.0 ? QImage() : QImage(100, 100, QImage::Format_ARGB32_Premultiplied);
    }, 1.0);
    ASSERT_NE(huge, nullptr);
    EXPECT_TRUE(huge->toImage(1e9).isNull()) << "the ratio is bounded, and an empty rendering is no crash";
}

TEST(Image, NumberedCompositingOperations)
{
    EXPECT_EQ(compositingOperationFromRaw(5), QPainter::CompositionMode_SourceAtop);
    EXPECT_FALSE(compositingOperationFromRaw(11));
    EXPECT_FALSE(compositingOperationFromRaw(-1));
}

TEST(ImageUtilities, RotateFlipAlphaCornersAndResize)
{
    QImage base(10, 20, QImage::Format_ARGB32_Premultiplied);
    base.fill(Qt::transparent);
    base.setPixelColor(0, 0, Qt::red); // top left
    const ImagePtr image = BitmapImage::create(base);

    const ImagePtr turned = image->rotateImageWithDegrees(90);
    EXPECT_EQ(turned->size(), QSizeF(20, 10));
    const QImage turnedPixels = render(turned, {20, 10});
    EXPECT_GT(turnedPixels.pixelColor(0, 9).red(), 100) << "counter-clockwise: top left goes to bottom left";

    const QImage mirrored = render(image->imageByFlipped(true), {10, 20});
    EXPECT_GT(mirrored.pixelColor(9, 0).red(), 100);
    const QImage upsideDown = render(image->imageByFlipped(false), {10, 20});
    EXPECT_GT(upsideDown.pixelColor(0, 19).red(), 100);

    const QImage faded = render(solidImage(Qt::blue)->imageByApplyingAlpha(0.5), {16, 16});
    EXPECT_NEAR(faded.pixelColor(8, 8).alpha(), 128, 2);

    const QImage rounded = render(solidImage(Qt::blue)->roundCornersImageCornerRadius(6), {16, 16});
    EXPECT_EQ(rounded.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(rounded.pixelColor(8, 8).alpha(), 255);

    EXPECT_EQ(image->resizeImage({5, 5})->size(), QSizeF(5, 5));
    EXPECT_TRUE(image->resizeImage({0, 5})->isEmpty());
    EXPECT_EQ(image->bitmapImageRepWithSize({4, 8}).size(), QSize(4, 8));
}

TEST(ImageUtilities, CompositeCentresTheImageOnARoundedBackground)
{
    const ImagePtr composite = solidImage(Qt::blue, 10)->compositeWithSize({30, 30}, QColor(Qt::green), 8);
    const QImage pixels = render(composite, {30, 30});
    EXPECT_EQ(pixels.pixelColor(15, 15), QColor(Qt::blue));
    EXPECT_EQ(pixels.pixelColor(15, 3), QColor(Qt::green));
    EXPECT_EQ(pixels.pixelColor(0, 0).alpha(), 0) << "rounded corner";

    const QImage shrunk = render(solidImage(Qt::blue, 40)->compositeWithSize({20, 20}, PlatformColor(), 0), {20, 20});
    EXPECT_EQ(shrunk.pixelColor(0, 0), QColor(Qt::blue)) << "a larger image is scaled down to fit";
}

TEST(ImageUtilities, NinePieceDrawingKeepsCornersAndStretchesTheRest)
{
    QImage frame(10, 10, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::blue);
    QPainter framePainter(&frame);
    framePainter.fillRect(0, 0, 10, 2, Qt::red);
    framePainter.fillRect(0, 8, 10, 2, Qt::red);
    framePainter.fillRect(0, 0, 2, 10, Qt::red);
    framePainter.fillRect(8, 0, 2, 10, Qt::red);
    framePainter.end();
    const ImagePtr image = BitmapImage::create(frame);

    QImage canvas(60, 30, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    image->drawInRect(painter, QRectF(0, 0, 60, 30), 2);
    painter.end();
    EXPECT_EQ(canvas.pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(canvas.pixelColor(30, 1), QColor(Qt::red)) << "the top edge stretches, 2 high";
    EXPECT_EQ(canvas.pixelColor(30, 3), QColor(Qt::blue)) << "the border did not grow";
    EXPECT_EQ(canvas.pixelColor(58, 15), QColor(Qt::red));
    EXPECT_EQ(canvas.pixelColor(30, 15), QColor(Qt::blue));

    // Caps longer than the image are shortened instead of overlapping.
    QImage small(6, 6, QImage::Format_ARGB32_Premultiplied);
    small.fill(Qt::transparent);
    QPainter smallPainter(&small);
    image->drawInRect(smallPainter, QRectF(0, 0, 6, 6), 50);
    smallPainter.end();
    EXPECT_EQ(small.pixelColor(0, 0), QColor(Qt::red));
}

TEST(ImageFiles, ImagePathsNeedAnExistingFileWithAnImageExtension)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tiff = dir.filePath(QStringLiteral("a.tiff"));
    const QString jpg = dir.filePath(QStringLiteral("b.JPG"));
    const QString fakePng = dir.filePath(QStringLiteral("c.png"));
    const QString noExtension = dir.filePath(QStringLiteral("d"));
    ASSERT_TRUE(writePng(tiff, Qt::red));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(jpg, "JPG"));
    ASSERT_TRUE(writeFile(fakePng, QByteArray("not an image")));
    ASSERT_TRUE(writePng(noExtension, Qt::red));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.png")));

    EXPECT_FALSE(Image::isImagePath(tiff));
    EXPECT_TRUE(Image::isImagePath(jpg));
    EXPECT_FALSE(Image::isImagePath(noExtension));
    EXPECT_FALSE(Image::isImagePath(dir.filePath(QStringLiteral("missing.png"))));
    EXPECT_FALSE(Image::isImagePath(dir.filePath(QStringLiteral("folder.png"))));
    EXPECT_FALSE(Image::isImagePath(QString()));

    EXPECT_TRUE(Image::isImagePath(fakePng));
    EXPECT_FALSE(Image::isValidImagePath(fakePng)) << "the contents are no image";
    EXPECT_TRUE(Image::isValidImagePath(jpg));
}

TEST(ImageFiles, ThumbnailsAreBoundedAndOnlyForLocalFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.png"));
    QImage wide(100, 50, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    ASSERT_TRUE(wide.save(path));

    const ImagePtr thumbnail = Image::thumbnailWithContentsOfURL(QUrl::fromLocalFile(path), 20);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->pixelSize(), QSize(20, 10));
    EXPECT_EQ(Image::thumbnailWithContentsOfURL(QUrl::fromLocalFile(path), 0)->pixelSize(), QSize(100, 50));
    EXPECT_EQ(Image::thumbnailWithContentsOfURL(QUrl(QStringLiteral("https://example.org/a.png")), 20), nullptr);
    EXPECT_EQ(Image::thumbnailWithContentsOfURL(QUrl::fromLocalFile(dir.filePath(QStringLiteral("none.png"))), 20),
              nullptr);
}

TEST(ImageFiles, JpegIsSavedOnWhite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.jpg"));
    ASSERT_TRUE(discImage(Qt::black)->saveAsJPGtoPath(path));
    const QImage saved(path);
    ASSERT_FALSE(saved.isNull());
    EXPECT_GT(saved.pixelColor(0, 0).lightness(), 240) << "transparency became white, not black";
    EXPECT_LT(saved.pixelColor(10, 10).lightness(), 20);
    EXPECT_FALSE(Image::emptyImage()->saveAsJPGtoPath(path));
}

} // namespace
