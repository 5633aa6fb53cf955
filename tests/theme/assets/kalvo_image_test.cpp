#include "asset_test_support.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/theme/kalvoimage.h>
#include <kalvo/theme/themeimage.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDataStream>

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo;
using namespace kalvo::test;

namespace {

// The named-image registry lives for the process: names of their own for
// every run of a test.
QString uniqueName(const char *stem)
{
    static int counter = 0;
    return QStringLiteral("%1_%2").arg(QString::fromLatin1(stem)).arg(++counter);
}

QColor centre(const ImagePtr &image, bool dark = false, std::shared_ptr<TNTheme> theme = nullptr)
{
    return render(image, {16, 16}, dark, std::move(theme)).pixelColor(8, 8);
}

TEST(KalvoImage, ChoosesItsVariantWhenDrawnAndIsItsOwnCopy)
{
    const ImagePtr light = solidImage(Qt::red);
    const ImagePtr dark = solidImage(Qt::blue);
    const auto pair = KalvoImage::image(light, dark);
    EXPECT_EQ(centre(pair), QColor(Qt::red));
    EXPECT_EQ(centre(pair, true), QColor(Qt::blue));
    EXPECT_EQ(pair->copy(), pair);
    EXPECT_EQ(pair->representations().size(), 2) << "both variants' bitmaps";

    const auto lightOnly = KalvoImage::image(light, nullptr);
    EXPECT_EQ(centre(lightOnly, true), QColor(Qt::red)) << "no dark variant: the light one";
    EXPECT_TRUE(KalvoImage::image(nullptr, nullptr)->isEmpty());
}

TEST(KalvoImage, NamedDarkVariantIsLoadedLazilyAndAFailureIsNotRetried)
{
    QTemporaryDir dir;
    const QString logoName = uniqueName("kt_logo");
    ASSERT_TRUE(writePng(dir.filePath(logoName + QStringLiteral(".png")), Qt::red));
    Image::registerResBundle(Bundle::fromDirectory(dir.path()));

    const ImagePtr named = KalvoImage::imageNamed(logoName);
    const auto logo = std::dynamic_pointer_cast<KalvoImage>(named);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->lightName(), logoName);
    EXPECT_EQ(logo->darkName(), logoName + QStringLiteral("_dark"));
    EXPECT_TRUE(logo->representations().isEmpty()) << "nothing loaded before use";

    EXPECT_EQ(centre(named, true), QColor(Qt::red)) << "no dark image: the light one";
    EXPECT_TRUE(logo->missingDarkImg());
    EXPECT_EQ(logo->name(), logoName);

    // Now the dark image exists, but this object does not ask again.
    ASSERT_TRUE(writePng(dir.filePath(logoName + QStringLiteral("_dark.png")), Qt::blue));
    EXPECT_EQ(centre(named, true), QColor(Qt::red));
    EXPECT_EQ(centre(KalvoImage::imageNamed(logoName), true), QColor(Qt::blue)) << "a new image finds it";

    EXPECT_EQ(KalvoImage::imageNamed(QString()), nullptr);
    EXPECT_EQ(KalvoImage::imageNamed(logoName, QString()), Image::getImageByName(logoName))
        << "without a dark name: the registry's image itself";
}

TEST(NamedImages, RetinaBundleFirstUnlessTheHostSaysItIsNotReady)
{
    QTemporaryDir normal;
    QTemporaryDir retina;
    const QString badgeName = uniqueName("kt_badge");
    const QString hidpiName = uniqueName("kt_hidpi");
    ASSERT_TRUE(writePng(normal.filePath(badgeName + QStringLiteral(".png")), Qt::red));
    ASSERT_TRUE(writePng(retina.filePath(badgeName + QStringLiteral(".png")), Qt::blue));
    ASSERT_TRUE(writePng(normal.filePath(hidpiName + QStringLiteral("@2x.png")), Qt::green, 16));
    Image::registerResBundle(Bundle::fromDirectory(normal.path()));
    Image::registerRetinaBundle(Bundle::fromDirectory(retina.path()));

    QCoreApplication::instance()->setProperty("retinaBundleNotReady", true);
    const ImagePtr early = Image::getImageByName(badgeName);
    QCoreApplication::instance()->setProperty("retinaBundleNotReady", QVariant());
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(centre(early), QColor(Qt::red));

    const ImagePtr badge = Image::getImageByName(badgeName);
    EXPECT_EQ(centre(badge), QColor(Qt::blue));
    EXPECT_EQ(badge->name(), badgeName);
    EXPECT_EQ(Image::getImageByName(badgeName), badge) << "kept once found";
    EXPECT_EQ(Image::getImagePathByImage(early), badgeName);
    EXPECT_FALSE(Image::getImagePathByImage(badge)) << "the retina dictionary is not the image dictionary";

    const ImagePtr hidpi = Image::getImageByName(hidpiName);
    ASSERT_NE(hidpi, nullptr);
    EXPECT_EQ(hidpi->size(), QSizeF(8, 8)) << "an @2x file has two pixels per point";
    EXPECT_EQ(Image::getImageByName(QString()), nullptr);
    EXPECT_EQ(Image::getImageByName(uniqueName("kt_absent")), nullptr);
    Image::registerRetinaBundle(nullptr);
}

TEST(NamedImages, DataImagePathIgnoresNull)
{
    EXPECT_FALSE(Image::getDataImagePath().isNull()) << "a string from the start, empty until set";
    Image::registerDataImagePath(QStringLiteral("/data/images"));
    Image::registerDataImagePath(QString());
    EXPECT_EQ(Image::getDataImagePath(), QStringLiteral("/data/images"));
}

TEST(TNAppearanceHandlerImage, DrawsOncePerAppearanceWithThatAppearancesColours)
{
    int runs = 0;
    const ColorPtr color = Color::color(0xFF0000, 0x0000FF);
    const auto image = Image::tnImageWithSize({16, 16}, [&](QPainter &painter, const QRectF &rect) {
        ++runs;
        painter.fillRect(rect, color->resolved());
    });
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(centre(image), QColor(Qt::red));
    EXPECT_EQ(centre(image), QColor(Qt::red));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(centre(image, true), QColor(Qt::blue));
    EXPECT_EQ(runs, 2);
    // Asked directly, outside any drawing: still the light colours.
    EXPECT_EQ(render(image->lightImage(), {16, 16}, true).pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(image->size(), QSizeF(16, 16));
}

TEST(KalvoImage, TintWithAColorKeepsTheLightShapeForBothVariants)
{
    const auto pair = KalvoImage::image(discImage(Qt::black, 16), solidImage(Qt::black));
    const ImagePtr tinted = pair->newImageWithTintColor(Color::color(0xFF0000, 0x0000FF));
    ASSERT_NE(std::dynamic_pointer_cast<KalvoImage>(tinted), nullptr);
    const QImage dark = render(tinted, {16, 16}, true);
    EXPECT_TRUE(near(dark.pixelColor(8, 8), QColor(Qt::blue)));
    EXPECT_EQ(dark.pixelColor(0, 0).alpha(), 0) << "the light image's disc, not the dark square";

    const ImagePtr plain = pair->newImageWithTintColor(QColor(Qt::green));
    EXPECT_EQ(std::dynamic_pointer_cast<KalvoImage>(plain), nullptr) << "a plain colour tints the current variant";
    EXPECT_EQ(render(plain, {16, 16}).pixelColor(0, 0).alpha(), 0);

    // No colour: the pair itself, which still follows the appearance.
    const ImagePtr untouched = pair->newImageWithTintColor(PlatformColor());
    EXPECT_EQ(untouched, pair);
    EXPECT_EQ(render(untouched, {16, 16}, true).pixelColor(0, 0), QColor(Qt::black));
}

TEST(ThemeImage, PerThemeImagesAndTheirRepresentations)
{
    const ImagePtr rose = solidImage(Qt::magenta);
    const auto themed = KalvoImage::imageWithImage(KalvoImage::image(solidImage(Qt::red), solidImage(Qt::blue)),
                                                   std::map<qint64, ImagePtr>{{5, rose}, {99, solidImage(Qt::green)}});
    EXPECT_EQ(themed->themes().size(), 1u) << "99 is no theme";
    EXPECT_EQ(centre(themed, false, TNTheme::rose()), QColor(Qt::magenta));
    EXPECT_EQ(centre(themed, true, TNTheme::rose()), QColor(Qt::magenta));
    EXPECT_EQ(centre(themed, true, TNTheme::bloom()), QColor(Qt::blue));
    EXPECT_EQ(themed->representations().size(), 3);

    themed->setImage(nullptr, ThemeName::rose);
    EXPECT_TRUE(themed->themes().empty());
    EXPECT_EQ(themed->representations().size(), 2) << "the removed image's bitmap left";
    EXPECT_EQ(centre(themed, false, TNTheme::rose()), QColor(Qt::red));

    themed->setImage(rose, ThemeName::agave);
    ImagePtr offMain;
    std::thread([&] { offMain = themed->currentAppearanceImage(); }).join();
    EXPECT_EQ(offMain, themed->lightImage()) << "other threads get the light variant";
}

TEST(PigmentImage, ThePigmentsImageAnswersForBothVariants)
{
    TNPigment pigment;
    pigment.image = QImage(16, 16, QImage::Format_ARGB32_Premultiplied);
    pigment.image.fill(Qt::green);
    const auto image = KalvoImage::imageWithPigment(pigment);
    EXPECT_EQ(centre(image), QColor(Qt::green));
    EXPECT_EQ(centre(image, true), QColor(Qt::green));
    EXPECT_EQ(image->lightImage(), image->darkImage());

    image->setPigment(TNPigment{});
    EXPECT_EQ(image->lightImage(), nullptr) << "without an image: a KalvoImage without variants";
    EXPECT_TRUE(image->isEmpty());
}

TEST(KalvoImage, ArchivesNamesAndVariantsAndRejectsDamagedData)
{
    auto original = std::make_shared<KalvoImage>(QStringLiteral("kt_light"), QStringLiteral("kt_dark"));
    QByteArray namesOnly;
    {
        QDataStream out(&namesOnly, QIODevice::WriteOnly);
        original->encodeWithCoder(out);
    }
    QDataStream namesIn(namesOnly);
    const auto names = KalvoImage::initWithCoder(namesIn);
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->lightName(), QStringLiteral("kt_light"));
    EXPECT_EQ(names->darkName(), QStringLiteral("kt_dark"));

    QImage retina(8, 8, QImage::Format_ARGB32_Premultiplied);
    retina.fill(Qt::blue);
    retina.setDevicePixelRatio(2.0);
    const auto pair = KalvoImage::image(solidImage(Qt::red), BitmapImage::create(retina));
    QByteArray data;
    {
        QDataStream out(&data, QIODevice::WriteOnly);
        pair->encodeWithCoder(out);
    }
    QDataStream in(data);
    const auto decoded = KalvoImage::initWithCoder(in);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(decoded->lightName().isEmpty());
    EXPECT_EQ(centre(decoded), QColor(Qt::red));
    EXPECT_EQ(centre(decoded, true), QColor(Qt::blue));
    EXPECT_EQ(decoded->darkImage()->size(), QSizeF(4, 4)) << "the pixel ratio travels with the bitmap";

    for (const qsizetype length : {qsizetype(0), qsizetype(5), data.size() / 2, data.size() - 1}) {
        QDataStream truncated(data.left(length));
        EXPECT_EQ(KalvoImage::initWithCoder(truncated), nullptr) << "length " << length;
    }
    QByteArray garbage(64, '\x7f');
    QDataStream garbageIn(garbage);
    EXPECT_EQ(KalvoImage::initWithCoder(garbageIn), nullptr);
}

} // namespace
