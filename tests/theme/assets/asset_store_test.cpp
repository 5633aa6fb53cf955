// The test icons come from data/asset_tests.qrc, compiled into this program
// under ":/kalvo/TestIcons": a 16 x 16 red square under several names (the
// cache lives for the process, so each test takes its own) and a disc.
#include "asset_test_support.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/theme/assetstore.h>
#include <kalvo/theme/themeimage.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace kalvo;
using namespace kalvo::test;

namespace {

std::size_t tintedCount(const QString &identifier)
{
    const std::optional<ImageAsset> asset = AssetStore::cachedAsset(identifier);
    std::size_t count = 0;
    if (asset) {
        for (const auto &[space, values] : asset->tintedImages)
            count += values.size();
    }
    return count;
}

// The most opaque pixel (the first found), for the colour an icon is drawn in.
QColor mostOpaque(const QImage &image)
{
    QColor best(Qt::transparent);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > best.alpha())
                best = pixel;
        }
    }
    return best;
}

// Every identifier the library's controls ask for.
const char *const kLibraryIcons[] = {
    "Icon/Alert/Small/Triangle",
    "Icon/Fill/Alert/Small/Circle",
    "Icon/Fill/Checkmark/Small/Circle",
    "Icon/Fill/Checkmark/Small/Default",
    "Icon/Fill/Chevron/18X18/Down",
    "Icon/Fill/Chevron/18X18/Up",
    "Icon/Fill/Chevron/Medium/Left",
    "Icon/Fill/Close/Small/Default",
    "Icon/Fill/Info/Small",
    "Icon/Fill/Phone/Medium/Default",
    "Icon/Fill/Phone/Medium/End",
    "Icon/Fill/Phone/Medium/Transfer",
    "Icon/Fill/Resize handle",
    "Icon/Outline/Asterisk",
    "Icon/Outline/Calendar/14X14/Default",
    "Icon/Outline/Checkmark/Medium/Circle",
    "Icon/Outline/Chevron/Medium/Down",
    "Icon/Outline/Chevron/Medium/Up",
    "Icon/Outline/Chevron/Small/Down",
    "Icon/Outline/Chevron/Small/Right",
    "Icon/Outline/Chevron/Small/Up",
    "Icon/Outline/Clock/Default",
    "Icon/Outline/Close/Medium/Circle",
    "Icon/Outline/Close/Small/Default",
    "Icon/Outline/Ellipsis/Horizontal/Medium/Default",
    "Icon/Outline/Eye/Show",
    "Icon/Outline/Info/Small",
    "Icon/Outline/Magnifier/Small",
    "Icon/Outline/Plus/Small/Default",
    "Icon/Outline/Pound/Default/Regular",
};

TEST(AssetStore, EveryLibraryIconIsAnImageAndAnSvgIcon)
{
    for (const char *raw : kLibraryIcons) {
        const QString id = QString::fromLatin1(raw);
        SCOPED_TRACE(raw);
        const ImagePtr image = AssetStore::image(id);
        ASSERT_NE(image, nullptr);
        const QSizeF size = image->size();
        EXPECT_EQ(size.width(), size.height());
        ASSERT_GE(size.width(), 14);
        const QSize pixels = size.toSize();
        EXPECT_EQ(mostOpaque(render(image, pixels)).alpha(), 255) << "something is drawn";

        // One colour, so a tint recolours all of it.
        const QImage tinted = render(AssetStore::image(id, QColor(Qt::red)), pixels * 2);
        EXPECT_TRUE(near(mostOpaque(tinted), QColor(Qt::red)));

        const ImagePtr svgImage = AssetStore::svgImage(id, 1.0);
        ASSERT_NE(svgImage, nullptr);
        EXPECT_EQ(svgImage->size(), size);
        EXPECT_EQ(AssetStore::svgImage(id, 2.0)->size(), size * 2);
        const std::optional<KTNSvgElement> element = AssetStore::svgElement(id);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->attribute.value(QStringLiteral("name")), QStringLiteral("SVG/") + id);
        ASSERT_FALSE(element->childElements.isEmpty());
        EXPECT_EQ(element->childElements.first().elementName, QStringLiteral("svg"));
    }
}

TEST(AssetStore, UntintedRequestsGetNewCopiesOfOneLoadedImage)
{
    const QString id = QStringLiteral("TestIcons/Square1");
    const ImagePtr first = AssetStore::image(id);
    ASSERT_NE(first, nullptr);
    const std::optional<ImageAsset> asset = AssetStore::cachedAsset(id);
    ASSERT_TRUE(asset);
    const ImagePtr second = AssetStore::image(id);
    EXPECT_NE(first, second);
    EXPECT_NE(first, asset->image) << "the cached image itself is never handed out";
    EXPECT_EQ(AssetStore::cachedAsset(id)->image, asset->image) << "read once";

    EXPECT_EQ(first->size(), QSizeF(16, 16));
    EXPECT_EQ(render(first, {16, 16}).pixelColor(8, 8), QColor(Qt::red));
    first->setName(QStringLiteral("changed"));
    EXPECT_NE(asset->image->name(), QStringLiteral("changed")) << "a copy's attributes are its own";
}

TEST(AssetStore, BadIdentifiersYieldNothingWithoutTouchingTheBundle)
{
    // The accented file exists; the identifier is refused before any lookup.
    ASSERT_FALSE(Bundle::library()->pathForResource(QStringLiteral("TestIcons/Café"), QStringLiteral("svg")).isEmpty());
    EXPECT_EQ(AssetStore::image(QStringLiteral("TestIcons/Café")), nullptr);
    EXPECT_FALSE(AssetStore::cachedAsset(QStringLiteral("TestIcons/Café")));

    EXPECT_EQ(AssetStore::image(QString()), nullptr);
    EXPECT_EQ(AssetStore::image(QStringLiteral("TestIcons/Missing"), QColor(Qt::red)), nullptr);
    EXPECT_FALSE(AssetStore::cachedAsset(QStringLiteral("TestIcons/Missing")));
    EXPECT_EQ(AssetStore::image(QStringLiteral("../TestIcons/Square1")), nullptr) << "names stay inside the bundle";
}

TEST(AssetStore, EqualColoursShareOneTintedCopy)
{
    const QString id = QStringLiteral("TestIcons/Square2");
    const ImagePtr red = AssetStore::image(id, QColor(255, 0, 0));
    EXPECT_EQ(AssetStore::image(id, QColor(255, 0, 0)), red) << "a hit is the stored image itself";

    // Two Color objects with the same values.
    const ColorPtr a = Color::color(0x00FF00, 0x0000FF, ThemeHexMap{}, ThemeHexMap{});
    const ColorPtr b = Color::color(0x00FF00, 0x0000FF, ThemeHexMap{}, ThemeHexMap{});
    ASSERT_NE(a, b);
    const ImagePtr tintedA = AssetStore::image(id, a);
    EXPECT_EQ(AssetStore::image(id, b), tintedA);
    EXPECT_NE(tintedA, red);

    // Equal in light, different in dark: not the same colour.
    const ColorPtr otherDark = Color::color(0x00FF00, 0xFFFF00, ThemeHexMap{}, ThemeHexMap{});
    const ImagePtr tintedOther = AssetStore::image(id, otherDark);
    EXPECT_NE(tintedOther, tintedA);
    EXPECT_TRUE(near(render(tintedOther, {16, 16}, true).pixelColor(8, 8), QColor(Qt::yellow)));
    EXPECT_EQ(tintedCount(id), 3u);
}

TEST(AssetStore, ColoursWithoutAColourSpaceAreNeverCached)
{
    const QString id = QStringLiteral("TestIcons/Square3");
    TNPigment pigment;
    pigment.color = QColor(Qt::blue);
    const std::shared_ptr<PigmentColor> color = Color::color(pigment);
    EXPECT_FALSE(AssetStore::tintKey(color));
    // Nor a Color made from one: its value can change with the pigment.
    EXPECT_FALSE(AssetStore::tintKey(Color::color(PlatformColor(color), PlatformColor(QColor(Qt::red)))));

    const ImagePtr first = AssetStore::image(id, color);
    const ImagePtr second = AssetStore::image(id, color);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(tintedCount(id), 0u);
    EXPECT_TRUE(near(render(first, {16, 16}).pixelColor(8, 8), QColor(Qt::blue)));
}

TEST(AssetStore, TintKeysSeparateColourSpaces)
{
    EXPECT_FALSE(AssetStore::tintKey(PlatformColor()));
    const auto rgb = AssetStore::tintKey(QColor(Qt::red));
    const auto hsv = AssetStore::tintKey(QColor(Qt::red).toHsv());
    ASSERT_TRUE(rgb && hsv);
    EXPECT_NE(rgb->colorSpace, hsv->colorSpace);
    EXPECT_EQ(AssetStore::tintKey(QColor(255, 0, 0)), rgb);
    const auto kalvo = AssetStore::tintKey(Color::color(0xFF0000, 0xFF0000));
    ASSERT_TRUE(kalvo);
    EXPECT_NE(kalvo->colorSpace, rgb->colorSpace);
}

TEST(AssetStore, TintedIconFollowsTheAppearanceAndKeepsTheIconsShape)
{
    const ImagePtr tinted = AssetStore::image(QStringLiteral("TestIcons/Circle1"), Color::color(0xFF0000, 0x0000FF));
    ASSERT_NE(tinted, nullptr);
    const QImage light = render(tinted, {20, 20});
    const QImage dark = render(tinted, {20, 20}, true);
    EXPECT_TRUE(near(light.pixelColor(10, 10), QColor(Qt::red)));
    EXPECT_TRUE(near(dark.pixelColor(10, 10), QColor(Qt::blue)));
    EXPECT_EQ(light.pixelColor(1, 1).alpha(), 0);

    const ColorPtr themed = Color::color(0xFF0000, 1.0, 0x0000FF, 1.0, {{ThemeName::bloom, QColor(Qt::green)}});
    const ImagePtr bloom = AssetStore::image(QStringLiteral("TestIcons/Circle2"), themed);
    ASSERT_NE(std::dynamic_pointer_cast<ThemeImage>(bloom), nullptr);
    EXPECT_TRUE(near(render(bloom, {20, 20}, true, TNTheme::bloom()).pixelColor(10, 10), QColor(Qt::green)));
}

TEST(AssetStore, ConcurrentRequestsLoadAndTintOnce)
{
    const QString id = QStringLiteral("TestIcons/Square4");
    constexpr int kThreads = 8;
    std::vector<ImagePtr> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { results[i] = AssetStore::image(id, QColor(Qt::green)); });
    for (std::thread &thread : threads)
        thread.join();
    for (const ImagePtr &result : results) {
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result, results.front());
    }
    EXPECT_EQ(tintedCount(id), 1u);
}

TEST(AssetStore, SentimentIconsAreNeverNull)
{
    for (const Sentiment sentiment : allCases<Sentiment>())
        EXPECT_NE(AssetStore::icon(sentiment), nullptr) << debugDescription(sentiment).toStdString();
    for (const Sentiment none : {Sentiment::plain, Sentiment::new_, Sentiment::beta, Sentiment::system})
        EXPECT_TRUE(AssetStore::icon(none)->isEmpty());
    EXPECT_TRUE(KalvoAssetStore::iconForSentiment(99)->isEmpty());

    // Tinted icons come from the tint cache; the warning triangle is drawn as
    // the file has it.
    const ImagePtr information = AssetStore::icon(Sentiment::information);
    EXPECT_FALSE(information->isEmpty());
    EXPECT_EQ(information, AssetStore::image(QStringLiteral("Icon/Fill/Info/Small"), Color::iconPrimary()));
    EXPECT_EQ(AssetStore::icon(Sentiment::danger),
              AssetStore::image(QStringLiteral("Icon/Fill/Alert/Small/Circle"), Color::iconError()));
    EXPECT_NE(AssetStore::icon(Sentiment::ai), AssetStore::icon(Sentiment::danger)) << "same icon, other tint";
    const ImagePtr warning = AssetStore::icon(Sentiment::warning);
    EXPECT_NE(warning, AssetStore::icon(Sentiment::warning)) << "untinted: a new copy each time";
    const QImage warningPixels = render(warning, {16, 16});
    EXPECT_EQ(mostOpaque(warningPixels).alpha(), 255);
    EXPECT_EQ(warningPixels, render(AssetStore::image(QStringLiteral("Icon/Alert/Small/Triangle")), {16, 16}));
}

TEST(AssetStore, SvgOperationsForwardToTheRegistryUnderTheSvgPrefix)
{
    const ImagePtr image = AssetStore::svgImage(QStringLiteral("TestIcons/RedSquare"), 2.0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), QSizeF(32, 32));
    const std::optional<KTNSvgElement> element = AssetStore::svgElement(QStringLiteral("TestIcons/RedSquare"));
    ASSERT_TRUE(element);
    EXPECT_EQ(element->elementName, QStringLiteral("file"));
    EXPECT_EQ(element->attribute.value(QStringLiteral("name")), QStringLiteral("SVG/TestIcons/RedSquare"));
    EXPECT_FALSE(AssetStore::svgElement(QStringLiteral("TestIcons/Nothing")));
    EXPECT_EQ(AssetStore::svgImage(QStringLiteral("TestIcons/Nothing"), 1.0), nullptr);
    EXPECT_FALSE(AssetStore::svgFirstPath(QStringLiteral("TestIcons/Nothing"), 1.0));
    // The first outline of the icon, scaled.
    const std::optional<QPainterPath> outline = AssetStore::svgFirstPath(QStringLiteral("TestIcons/RedSquare"), 2.0);
    ASSERT_TRUE(outline);
    EXPECT_EQ(outline->boundingRect(), QRectF(0, 0, 32, 32));

    // From another thread the work is done on the main thread.
    ImagePtr fromThread;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fromThread = AssetStore::svgImage(QStringLiteral("TestIcons/RedSquare"), 1.0);
        done = true;
    });
    // processEvents() does not wait for events: spin until the worker's task
    // has come and gone (the worker cannot finish without it).
    QElapsedTimer waited;
    waited.start();
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (waited.hasExpired(30000)) {
            ADD_FAILURE() << "the main thread never got the task";
            waited.restart();
        }
    }
    worker.join();
    ASSERT_NE(fromThread, nullptr);
    EXPECT_EQ(fromThread->size(), QSizeF(16, 16));
}

} // namespace
