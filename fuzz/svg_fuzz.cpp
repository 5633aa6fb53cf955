// libFuzzer target: SVG text through the document builder and the renderer,
// and the outline helper. Any bytes must give a document or nothing, an
// image or a null image: no crash, no hang, no unbounded allocation.
#include <kalvo/svg/svglibhelper.h>
#include <kalvo/svg/svgparser.h>

#include "../src/theme/named_colors_p.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

namespace kalvo::detail {

// The colour-name table lives in the library's resources, which this target
// does not link; a few names are enough to reach the named-colour paths.
std::optional<QString> namedColorText(const QString &name)
{
    if (name == QLatin1String("white"))
        return QStringLiteral("#FFFFFF");
    if (name == QLatin1String("black"))
        return QStringLiteral("#000000");
    if (name == QLatin1String("red"))
        return QStringLiteral("#FF0000");
    if (name == QLatin1String("transparent"))
        return QStringLiteral("#00000000");
    return std::nullopt;
}

} // namespace kalvo::detail

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // QPainter text and image code wants a GUI application object.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A leading byte 0x01-0x09 picks the scale, so huge, tiny and fractional
    // scales meet every document; plain SVG text renders at scale 1.
    static const double scales[] = {2.0, 0.5, 0.01, 3.7, 100.0, 1e9, -1.0, 0.0, 1e-300};
    double scale = 1.0;
    if (size > 0 && data[0] >= 1 && data[0] <= 9) {
        scale = scales[data[0] - 1];
        ++data;
        --size;
    }
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // Smaller images than the defaults keep runs fast; the refusal logic is
    // the same.
    kalvo::KTNSVGLimits limits;
    limits.maxImageSide = 1024;
    limits.maxImagePixels = 512 * 512;

    if (auto document = kalvo::KTNSVGParserMgr::initWithSvgString(text, limits)) {
        // Both rasterisers meet every kind of document.
        document->rasterizer = size % 2 ? kalvo::KTNSVGRasterizer::QPainter : kalvo::KTNSVGRasterizer::Cairo;
        const QSize expected = document->imageSizeForScale(scale);
        const QImage image = document->exportImageWithScale(scale);
        if (!image.isNull() && image.size() != expected)
            std::abort(); // the promised size and the made one must agree
        if (!image.isNull() && (image.width() > limits.maxImageSide || image.height() > limits.maxImageSide))
            std::abort();
        (void)document->description();
    }
    return 0;
}
