// kalvo-svg-compare: renders folders of real icons with Kalvo's SVG engine,
// QtSvg and librsvg, counts the icons that look different from librsvg and
// times all three, side by side in one run.
//
//   kalvo-svg-compare [options] NAME=DIR [NAME=DIR ...]
//     --compare-sizes 24,96   widths the pictures are compared at
//     --time-sizes 24,256     widths the engines are timed at
//     --repeat N              timed passes over each set (default 3, best kept)
//     --show N                list up to N differing icons per set (default 10)
//     --dump DIR              write ours/librsvg PNG pairs of differing icons
//     --rasterizer NAME       cairo (default) or qpainter: what our engine draws with
//     --slowest N             list the N icons our engine takes longest on (first
//                             time size), with QtSvg's time for them
//     --digest FILE           only write a checksum of our picture of every icon at
//                             the compare sizes to FILE (to check that a change
//                             leaves the pictures as they were)
//
// Every .svg file under DIR (recursively) is one icon. Pictures are compared
// by the reference rule of the conformance cases: premultiplied RGBA, a 3 × 3
// box blur on each, a pixel differs when a channel differs by more than 24,
// and an icon agrees when at most 0.1 % of its pixels differ. `currentColor`
// renders black in every engine. Times are parse + render of one icon into
// a fresh image, per icon, the best of the passes.
#include <kalvo/svg/svgparser.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QCryptographicHash>

#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace kalvo;

namespace {

struct Icon
{
    QString path;
    QByteArray bytes;
};

struct Set
{
    QString name;
    QString dir;
    std::vector<Icon> icons;
};

// The picture's aspect (height / width) from librsvg's reading of the
// document, so all three engines fill the same pixel box.
// librsvg's reading of the document, or null when it refuses it.
RsvgHandle *openWithRsvg(const QByteArray &bytes)
{
    GError *error = nullptr;
    RsvgHandle *handle =
        rsvg_handle_new_from_data(reinterpret_cast<const guint8 *>(bytes.constData()), gsize(bytes.size()), &error);
    if (error)
        g_error_free(error);
    return handle;
}

double aspectOf(const QByteArray &bytes)
{
    RsvgHandle *handle = openWithRsvg(bytes);
    if (!handle)
        return 1.0;
    double aspect = 1.0;
    gboolean hasWidth = false, hasHeight = false, hasViewBox = false;
    RsvgLength width{}, height{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &width, &hasHeight, &height, &hasViewBox, &viewBox);
    if (hasViewBox && viewBox.width > 0 && viewBox.height > 0)
        aspect = viewBox.height / viewBox.width;
    else if (hasWidth && hasHeight && width.length > 0 && height.length > 0 && width.unit == height.unit)
        aspect = height.length / width.length;
    g_object_unref(handle);
    return std::clamp(aspect, 0.05, 20.0);
}

QSize boxFor(int width, double aspect)
{
    return QSize(width, std::max(1, int(std::lround(width * aspect))));
}

QImage blank(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

KTNSVGRasterizer g_rasterizer = KTNSVGRasterizer::Cairo;

QImage renderOurs(const QByteArray &bytes, QSize box)
{
    const std::unique_ptr<KTNSVGParserMgr> document = KTNSVGParserMgr::initWithSvgString(bytes);
    document->rasterizer = g_rasterizer;
    const double viewWidth = document->viewBox.width();
    if (!(viewWidth > 0))
        return blank(box);
    QImage image = document->exportImageWithScale(box.width() / viewWidth);
    if (image.isNull())
        return blank(box);
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.size() == box)
        return image;
    // Rounding of the other side: place it in the common box.
    QImage boxed = blank(box);
    QPainter painter(&boxed);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
    return boxed;
}

QImage renderQt(const QByteArray &bytes, QSize box)
{
    QImage image = blank(box);
    QSvgRenderer renderer(bytes);
    if (!renderer.isValid())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), box));
    return image;
}

QImage renderRsvg(const QByteArray &bytes, QSize box)
{
    QImage image = blank(box);
    RsvgHandle *handle = openWithRsvg(bytes);
    if (!handle)
        return image;
    GError *error = nullptr;
    // Cairo's ARGB32 is QImage's premultiplied ARGB32 on this byte order.
    cairo_surface_t *surface = cairo_image_surface_create_for_data(image.bits(), CAIRO_FORMAT_ARGB32, box.width(),
                                                                   box.height(), int(image.bytesPerLine()));
    cairo_t *cr = cairo_create(surface);
    const RsvgRectangle viewport{0, 0, double(box.width()), double(box.height())};
    if (!rsvg_handle_render_document(handle, cr, &viewport, &error) && error)
        g_error_free(error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    g_object_unref(handle);
    return image;
}

// The 3 × 3 box blur of one channel plane, borders averaged over the
// pixels that exist.
std::vector<int> blurred(const QImage &image)
{
    const int w = image.width(), h = image.height();
    std::vector<int> out(std::size_t(w) * std::size_t(h) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sum[4] = {0, 0, 0, 0};
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                const int yy = y + dy;
                if (yy < 0 || yy >= h)
                    continue;
                const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(yy));
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx;
                    if (xx < 0 || xx >= w)
                        continue;
                    const QRgb p = row[xx];
                    sum[0] += qRed(p);
                    sum[1] += qGreen(p);
                    sum[2] += qBlue(p);
                    sum[3] += qAlpha(p);
                    ++n;
                }
            }
            int *o = &out[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4];
            for (int c = 0; c < 4; ++c)
                o[c] = (sum[c] + n / 2) / n;
        }
    }
    return out;
}

// The share of differing pixels.
double differingShare(const QImage &a, const QImage &b)
{
    const std::vector<int> pa = blurred(a), pb = blurred(b);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < pa.size(); i += 4) {
        for (int c = 0; c < 4; ++c) {
            if (std::abs(pa[i + std::size_t(c)] - pb[i + std::size_t(c)]) > 24) {
                ++differing;
                break;
            }
        }
    }
    return double(differing) / double(pa.size() / 4);
}

std::vector<int> readSizes(const QString &text)
{
    std::vector<int> sizes;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (ok && size > 0 && size <= 4096)
            sizes.push_back(size);
    }
    return sizes;
}

std::optional<Set> readSet(const QString &argument)
{
    const qsizetype eq = argument.indexOf(QLatin1Char('='));
    Set set;
    set.name = eq > 0 ? argument.left(eq) : QFileInfo(argument).fileName();
    set.dir = eq > 0 ? argument.mid(eq + 1) : argument;
    if (!QFileInfo(set.dir).isDir()) {
        std::fprintf(stderr, "kalvo-svg-compare: %s is not a readable directory\n", qPrintable(set.dir));
        return std::nullopt;
    }
    QStringList paths;
    QDirIterator it(set.dir, {QStringLiteral("*.svg")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    for (const QString &path : std::as_const(paths)) {
        QFile file(path);
        if (file.size() > 8 * 1024 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        set.icons.push_back({path, file.readAll()});
    }
    return set;
}

using Renderer = QImage (*)(const QByteArray &, QSize);

// Microseconds per icon of each renderer: the best of `repeat` passes over
// the set. The renderers take turns pass by pass, so that the machine's
// speed drifting during a run (it does, by tens of per cent) moves all of
// them alike instead of whichever ran last.
std::vector<double> timePerIcon(const Set &set, const std::vector<double> &aspects,
                                const std::vector<Renderer> &renderers, int width, int repeat)
{
    std::vector<double> best(renderers.size(), 1e300);
    for (int pass = 0; pass < repeat; ++pass) {
        for (std::size_t r = 0; r < renderers.size(); ++r) {
            QElapsedTimer timer;
            timer.start();
            for (std::size_t i = 0; i < set.icons.size(); ++i) {
                const QImage image = renderers[r](set.icons[i].bytes, boxFor(width, aspects[i]));
                if (image.isNull())
                    std::fprintf(stderr, "null image\n");
            }
            best[r] = std::min(best[r], double(timer.nsecsElapsed()) / 1e3 / double(set.icons.size()));
        }
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    std::vector<int> compareSizes{24, 96}, timeSizes{24, 256};
    int repeat = 3, show = 10, slowest = 0;
    QString dumpDir, digestPath;
    std::vector<Set> sets;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--compare-sizes") && hasValue)
            compareSizes = readSizes(args[++i]);
        else if (arg == QLatin1String("--time-sizes") && hasValue)
            timeSizes = readSizes(args[++i]);
        else if (arg == QLatin1String("--repeat") && hasValue)
            repeat = std::clamp(args[++i].toInt(), 1, 1000);
        else if (arg == QLatin1String("--show") && hasValue)
            show = std::max(0, args[++i].toInt());
        else if (arg == QLatin1String("--dump") && hasValue)
            dumpDir = args[++i];
        else if (arg == QLatin1String("--slowest") && hasValue)
            slowest = std::max(0, args[++i].toInt());
        else if (arg == QLatin1String("--digest") && hasValue)
            digestPath = args[++i];
        else if (arg == QLatin1String("--rasterizer") && hasValue
                 && (args[i + 1] == QLatin1String("cairo") || args[i + 1] == QLatin1String("qpainter")))
            g_rasterizer = args[++i] == QLatin1String("cairo") ? KTNSVGRasterizer::Cairo : KTNSVGRasterizer::QPainter;
        else if (arg.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "usage: kalvo-svg-compare [--compare-sizes 24,96] [--time-sizes 24,256] "
                                 "[--repeat N] [--show N] [--dump DIR] [--slowest N] [--digest FILE] [--rasterizer cairo|qpainter] NAME=DIR ...\n");
            return 2;
        } else if (std::optional<Set> set = readSet(arg)) {
            sets.push_back(std::move(*set));
        } else {
            return 1;
        }
    }
    if (sets.empty()) {
        std::fprintf(stderr, "kalvo-svg-compare: give at least one NAME=DIR\n");
        return 2;
    }
    if (!dumpDir.isEmpty())
        QDir().mkpath(dumpDir);
    if (!digestPath.isEmpty()) {
        QFile out(digestPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "kalvo-svg-compare: cannot write %s\n", qPrintable(digestPath));
            return 1;
        }
        for (const Set &set : sets) {
            for (const Icon &icon : set.icons) {
                const double aspect = aspectOf(icon.bytes);
                for (const int size : compareSizes) {
                    const QImage image = renderOurs(icon.bytes, boxFor(size, aspect));
                    QCryptographicHash hash(QCryptographicHash::Sha1);
                    for (int y = 0; y < image.height(); ++y)
                        hash.addData(QByteArrayView(reinterpret_cast<const char *>(image.constScanLine(y)),
                                                    qsizetype(image.width()) * 4));
                    out.write(QStringLiteral("%1 %2 %3\n")
                                  .arg(QDir(set.dir).relativeFilePath(icon.path))
                                  .arg(size)
                                  .arg(QString::fromLatin1(hash.result().toHex()))
                                  .toUtf8());
                }
            }
        }
        return 0;
    }

    int status = 0;
    for (const Set &set : sets) {
        if (set.icons.empty()) {
            std::printf("%s: no icons in %s\n", qPrintable(set.name), qPrintable(set.dir));
            continue;
        }
        std::vector<double> aspects;
        aspects.reserve(set.icons.size());
        for (const Icon &icon : set.icons)
            aspects.push_back(aspectOf(icon.bytes));

        std::printf("== %s (%zu icons, %s)\n", qPrintable(set.name), set.icons.size(), qPrintable(set.dir));
        for (const int size : compareSizes) {
            std::size_t differing = 0;
            std::vector<std::pair<double, QString>> worst;
            for (std::size_t i = 0; i < set.icons.size(); ++i) {
                const QSize box = boxFor(size, aspects[i]);
                const QImage ours = renderOurs(set.icons[i].bytes, box);
                const QImage reference = renderRsvg(set.icons[i].bytes, box);
                const double share = differingShare(ours, reference);
                if (share > 0.001) {
                    ++differing;
                    worst.emplace_back(share, set.icons[i].path);
                    if (!dumpDir.isEmpty()) {
                        const QString base = QStringLiteral("%1/%2-%3-%4").arg(dumpDir, set.name).arg(size).arg(
                            QFileInfo(set.icons[i].path).completeBaseName());
                        ours.save(base + QStringLiteral("-kalvo.png"));
                        reference.save(base + QStringLiteral("-librsvg.png"));
                    }
                }
            }
            const double agree = 100.0 * double(set.icons.size() - differing) / double(set.icons.size());
            std::printf("  %4d px: %zu of %zu differ from librsvg; %.2f %% agree%s\n", size, differing,
                        set.icons.size(), agree, agree >= 99.0 ? "" : "  (goal 99 %)");
            std::sort(worst.begin(), worst.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
            for (std::size_t k = 0; k < worst.size() && k < std::size_t(show); ++k)
                std::printf("           %5.1f %%  %s\n", 100.0 * worst[k].first,
                            qPrintable(QDir(set.dir).relativeFilePath(worst[k].second)));
        }
        if (slowest > 0 && !timeSizes.empty()) {
            // Per icon: the best of `repeat` runs of each engine.
            auto best = [&](Renderer render, std::size_t i) {
                double fastest = 1e300;
                for (int pass = 0; pass < repeat; ++pass) {
                    QElapsedTimer timer;
                    timer.start();
                    const QImage image = render(set.icons[i].bytes, boxFor(timeSizes.front(), aspects[i]));
                    fastest = std::min(fastest, double(timer.nsecsElapsed()) / 1e3);
                }
                return fastest;
            };
            std::vector<std::pair<double, std::size_t>> times;
            for (std::size_t i = 0; i < set.icons.size(); ++i)
                times.emplace_back(best(renderOurs, i), i);
            std::sort(times.begin(), times.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
            for (std::size_t k = 0; k < times.size() && k < std::size_t(slowest); ++k)
                std::printf("  slow: %8.1f µs (QtSvg %8.1f µs)  %s\n", times[k].first, best(renderQt, times[k].second),
                            qPrintable(QDir(set.dir).relativeFilePath(set.icons[times[k].second].path)));
        }
        for (const int size : timeSizes) {
            const std::vector<double> times = timePerIcon(set, aspects, {renderOurs, renderQt, renderRsvg}, size, repeat);
            const double ours = times[0], qt = times[1], rsvg = times[2];
            std::printf("  %4d px: per icon Kalvo %.1f µs, QtSvg %.1f µs (%.2f×), librsvg %.1f µs (%.2f×)\n", size,
                        ours, qt, qt / ours, rsvg, rsvg / ours);
        }
        std::fflush(stdout);
    }
    return status;
}
