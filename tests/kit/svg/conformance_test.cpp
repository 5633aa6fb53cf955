// Reference cases: every SVG document under the conformance folder is
// rendered through the text path at its reference image's width on a
// transparent background and compared with the reference (premultiplied
// RGBA, 3 x 3 box blur, a pixel differs when a channel differs by more
// than 24, a case passes when at most 0.1 % of its pixels differ).
//
// The cases listed in conformance_pass.txt must pass; the others are
// reported. KALVO_SVG_WRITE_PASS_LIST=<file> writes the passing cases;
// KALVO_SVG_CONFORMANCE_DUMP=<folder> writes each failing case's rendering
// beside its reference (on white) for a look.
#include <kalvo/svg/svgparser.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kalvo {
namespace {

constexpr int kChannelTolerance = 24;
constexpr double kAllowedShare = 0.001;

// Premultiplied RGBA channels summed over a 3 x 3 box (separably), with
// the number of neighbours inside the image per pixel: the blur is the sum
// over the count.
struct BoxSums
{
    std::vector<int> sums;
    std::vector<int> counts;
};

BoxSums boxSums(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    std::vector<int> rows(static_cast<size_t>(w) * h * 4, 0);
    for (int y = 0; y < h; ++y) {
        const uchar *line = image.constScanLine(y);
        int *row = &rows[static_cast<size_t>(y) * w * 4];
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = line[x * 4 + c];
                if (x > 0)
                    sum += line[(x - 1) * 4 + c];
                if (x + 1 < w)
                    sum += line[(x + 1) * 4 + c];
                row[x * 4 + c] = sum;
            }
        }
    }
    BoxSums out;
    out.sums.assign(rows.size(), 0);
    out.counts.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const int rowsUsed = 1 + (y > 0) + (y + 1 < h);
        for (int x = 0; x < w; ++x) {
            const size_t at = (static_cast<size_t>(y) * w + x) * 4;
            for (int c = 0; c < 4; ++c) {
                int sum = rows[at + c];
                if (y > 0)
                    sum += rows[at - static_cast<size_t>(w) * 4 + c];
                if (y + 1 < h)
                    sum += rows[at + static_cast<size_t>(w) * 4 + c];
                out.sums[at + c] = sum;
            }
            out.counts[static_cast<size_t>(y) * w + x] = rowsUsed * (1 + (x > 0) + (x + 1 < w));
        }
    }
    return out;
}

// The share of differing pixels; 1 when the rendering failed.
double differingShare(const QImage &rendered, const QImage &reference)
{
    if (rendered.isNull() || reference.isNull())
        return 1.0;
    // The rendering on a canvas of the reference's size: a size off by a
    // rounding pixel counts as missing pixels, not as a failure.
    QImage canvas(reference.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, rendered);
    }
    const BoxSums a = boxSums(canvas);
    const BoxSums b = boxSums(reference);
    qint64 differing = 0;
    for (size_t i = 0; i < a.counts.size(); ++i) {
        // Means differ by more than the tolerance: sums by more than
        // tolerance times the count.
        const int limit = kChannelTolerance * a.counts[i];
        for (size_t c = 0; c < 4; ++c) {
            if (std::abs(a.sums[i * 4 + c] - b.sums[i * 4 + c]) > limit) {
                ++differing;
                break;
            }
        }
    }
    return static_cast<double>(differing) / (static_cast<double>(reference.width()) * reference.height());
}

QImage render(const QString &svgPath, int width)
{
    QFile file(svgPath);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const auto document = KTNSVGParserMgr::initWithSvgString(file.readAll());
    if (!document)
        return QImage();
    const QSize natural = document->imageSizeForScale(1.0);
    if (natural.isEmpty())
        return QImage();
    const double naturalWidth = document->viewBox.width() > 0 ? document->viewBox.width() : natural.width();
    return document->exportImageWithScale(width / naturalWidth);
}

QStringList readPassList(const QString &path)
{
    QStringList cases;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return cases;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(u'#'))
            cases.append(line);
    }
    return cases;
}

TEST(SvgConformance, ListedCasesPassAndTheRateIsReported)
{
    const QDir root(QStringLiteral(KALVO_SVG_CONFORMANCE_DIR));
    ASSERT_TRUE(root.exists()) << root.path().toStdString();
    QStringList cases;
    QDirIterator it(root.path(), {QStringLiteral("*.svg")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        cases.append(root.relativeFilePath(it.next()));
    cases.sort();
    ASSERT_FALSE(cases.isEmpty());

    const QStringList listed = readPassList(QStringLiteral(KALVO_SVG_CONFORMANCE_PASS_LIST));
    const QSet<QString> expected(listed.begin(), listed.end());
    for (const QString &name : listed)
        EXPECT_TRUE(cases.contains(name)) << "listed case not found: " << name.toStdString();

    QStringList passing;
    QStringList newlyPassing;
    for (const QString &name : std::as_const(cases)) {
        const QString svgPath = root.filePath(name);
        QString pngPath = svgPath;
        pngPath.replace(pngPath.size() - 3, 3, QStringLiteral("png"));
        const QImage reference(pngPath);
        if (reference.isNull()) {
            ADD_FAILURE() << "no reference image for " << name.toStdString();
            continue;
        }
        const QImage rendered = render(svgPath, reference.width());
        const double share = differingShare(rendered, reference);
        const bool pass = share <= kAllowedShare;
        if (const char *dump = std::getenv("KALVO_SVG_CONFORMANCE_DUMP"); dump && *dump && !pass) {
            QImage pair(reference.width() * 2, reference.height(), QImage::Format_ARGB32_Premultiplied);
            pair.fill(Qt::white);
            QPainter painter(&pair);
            painter.drawImage(0, 0, rendered);
            painter.drawImage(reference.width(), 0, reference);
            painter.end();
            QString file = name;
            file.replace(u'/', u'_').replace(QLatin1String(".svg"), QLatin1String(".png"));
            pair.save(QDir(QString::fromLocal8Bit(dump)).filePath(file));
        }
        if (pass) {
            passing.append(name);
            if (!expected.contains(name))
                newlyPassing.append(name);
        } else if (expected.contains(name)) {
            ADD_FAILURE() << "regression: " << name.toStdString() << " differs in " << share * 100.0
                          << " % of its pixels";
        }
    }

    const double rate = 100.0 * passing.size() / cases.size();
    std::printf("SVG conformance: %lld of %lld cases pass (%.1f %%), %lld listed\n",
                static_cast<long long>(passing.size()), static_cast<long long>(cases.size()), rate,
                static_cast<long long>(listed.size()));
    for (const QString &name : std::as_const(newlyPassing))
        std::printf("  newly passing: %s\n", qPrintable(name));

    if (const char *out = std::getenv("KALVO_SVG_WRITE_PASS_LIST"); out && *out) {
        QFile file(QString::fromLocal8Bit(out));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate));
        QTextStream stream(&file);
        for (const QString &name : std::as_const(passing))
            stream << name << '\n';
    }
}

} // namespace
} // namespace kalvo
