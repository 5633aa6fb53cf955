// kalvo-svg: renders SVG files with Kalvo's SVG engine and times it.
//
//   kalvo-svg render IN.svg OUT.png [--scale S | --width W] [--tree]
//   kalvo-svg time DIR [--scale S | --width W] [--tree] [--repeat N]
//
// "render" writes one PNG; --width W picks the scale that makes the image W
// pixels wide. "time" renders every .svg file under DIR (recursively) and
// prints, per file, the milliseconds spent parsing, building (attributes
// and outlines) and painting, then a total line; with --repeat N each file
// is built and painted N times and the mean is shown.
//
// By default files go in as SVG text. --tree reads them into an element
// tree first and builds from that, the way the icon registry draws the
// library's icons (there, clip paths and masks clip and mask; as text their
// children are drawn like any shape).
//
// Exit codes: 0 success, 1 a file could not be read, rendered or written,
// 2 bad arguments.
#include <kalvo/svg/svgparser.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <optional>

using namespace kalvo;

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

int usage(const char *problem = nullptr)
{
    if (problem)
        std::fprintf(stderr, "kalvo-svg: %s\n", problem);
    std::fprintf(stderr, "usage: kalvo-svg render IN.svg OUT.png [--scale S | --width W] [--tree]\n"
                         "       kalvo-svg time DIR [--scale S | --width W] [--tree] [--repeat N]\n");
    return kUsageError;
}

struct SizeChoice
{
    std::optional<double> scale;
    std::optional<int> width;
    int repeat = 1;
    bool tree = false;
};

// Reads the options after the positional arguments; nothing on a bad one
// (after saying why).
std::optional<SizeChoice> readOptions(const QStringList &args, bool allowRepeat)
{
    SizeChoice choice;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &option = args[i];
        if (option == QLatin1String("--tree")) {
            choice.tree = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "kalvo-svg: %s needs a value\n", qPrintable(option));
            return std::nullopt;
        }
        const QString value = args[++i];
        bool ok = false;
        if (option == QLatin1String("--scale")) {
            const double scale = value.toDouble(&ok);
            if (!ok || !std::isfinite(scale) || scale <= 0) {
                std::fprintf(stderr, "kalvo-svg: --scale wants a positive number, not \"%s\"\n", qPrintable(value));
                return std::nullopt;
            }
            choice.scale = scale;
        } else if (option == QLatin1String("--width")) {
            const int width = value.toInt(&ok);
            if (!ok || width <= 0) {
                std::fprintf(stderr, "kalvo-svg: --width wants a positive whole number, not \"%s\"\n",
                             qPrintable(value));
                return std::nullopt;
            }
            choice.width = width;
        } else if (option == QLatin1String("--repeat") && allowRepeat) {
            const int repeat = value.toInt(&ok);
            if (!ok || repeat <= 0 || repeat > 100000) {
                std::fprintf(stderr, "kalvo-svg: --repeat wants a whole number from 1 to 100000, not \"%s\"\n",
                             qPrintable(value));
                return std::nullopt;
            }
            choice.repeat = repeat;
        } else {
            std::fprintf(stderr, "kalvo-svg: unknown option %s\n", qPrintable(option));
            return std::nullopt;
        }
    }
    if (choice.scale && choice.width) {
        std::fprintf(stderr, "kalvo-svg: give --scale or --width, not both\n");
        return std::nullopt;
    }
    return choice;
}

std::optional<QByteArray> readFile(const QString &path, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read: %1").arg(file.errorString());
        return std::nullopt;
    }
    const qint64 limit = KTNSVGLimits().maxFileBytes;
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit) {
        error = QStringLiteral("larger than %1 bytes").arg(limit);
        return std::nullopt;
    }
    if (bytes.isEmpty()) {
        error = QStringLiteral("empty file");
        return std::nullopt;
    }
    return bytes;
}

// The element tree of an SVG file, as the icon registry hands trees to the
// engine. Elements nested deeper than the engine would walk are left out,
// and reading stops at the engine's element limit; an XML error keeps what
// was read before it (the engine's rule for text).
KTNSvgElement elementTree(const QByteArray &bytes, QString &problem)
{
    const KTNSVGLimits limits;
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    KTNSvgElement root;
    // Children are collected in their parents' lists once complete, so no
    // pointer into a growing list is kept.
    QList<KTNSvgElement> open;
    qsizetype depth = 0;
    qsizetype count = 0;
    auto close = [&] {
        KTNSvgElement done = open.takeLast();
        if (open.isEmpty())
            root = std::move(done);
        else
            open.last().childElements.append(std::move(done));
    };
    while (!reader.atEnd() && count < limits.maxElements) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth > limits.maxDepth || (open.isEmpty() && !root.elementName.isEmpty()))
                continue;
            KTNSvgElement node;
            node.elementName = reader.qualifiedName().toString();
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                node.attribute.insert(attribute.qualifiedName().toString(), attribute.value().toString());
            open.append(std::move(node));
            ++count;
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth <= limits.maxDepth && !open.isEmpty())
                close();
            --depth;
        }
    }
    while (!open.isEmpty())
        close();
    if (reader.hasError())
        problem = reader.errorString();
    else if (count >= limits.maxElements)
        problem = QStringLiteral("more than %1 elements").arg(limits.maxElements);
    return root;
}

// A document from the file's bytes, and what went wrong reading them (an
// XML error, a limit reached), if anything.
struct Built
{
    std::unique_ptr<KTNSVGParserMgr> document;
    QString problem;
    qint64 treeNanoseconds = 0; // reading the XML into a tree (--tree)
};

Built buildDocument(const QByteArray &bytes, bool tree)
{
    // The timing table shows the style and outline stages apart.
    KTNSVGLimits limits;
    limits.timeStages = true;
    Built built;
    if (tree) {
        QElapsedTimer timer;
        timer.start();
        const KTNSvgElement root = elementTree(bytes, built.problem);
        built.treeNanoseconds = timer.nsecsElapsed();
        built.document = KTNSVGParserMgr::initWithElement(root, limits);
    } else {
        built.document = KTNSVGParserMgr::initWithSvgString(bytes, limits);
        if (built.document->parseError())
            built.problem = built.document->errorString();
    }
    if (built.problem.isEmpty() && built.document->limitReached())
        built.problem = QStringLiteral("the document exceeds the engine's limits; parts were skipped");
    return built;
}

// The scale the options ask for, given the document; nothing (and a reason)
// when the document cannot give one.
std::optional<double> scaleFor(const KTNSVGParserMgr &document, const SizeChoice &choice, QString &error)
{
    if (choice.scale)
        return *choice.scale;
    if (choice.width) {
        if (!(document.viewBox.width() > 0)) {
            error = QStringLiteral("view box width %1 cannot be scaled to a width").arg(document.viewBox.width());
            return std::nullopt;
        }
        return *choice.width / document.viewBox.width();
    }
    return document.scale;
}

// Why the engine gave no image.
QString whyNoImage(const Built &built, double scale)
{
    const KTNSVGParserMgr &document = *built.document;
    if (document.elements.isEmpty())
        return built.problem.isEmpty() ? QStringLiteral("no drawable elements")
                                       : QStringLiteral("no drawable elements (%1)").arg(built.problem);
    if (document.isEmptySizeBox())
        return QStringLiteral("the view box has zero size");
    if (document.imageSizeForScale(scale).isEmpty())
        return QStringLiteral("%1 × %2 at scale %3 is not a usable image size (limit %4 pixels a side, %5 pixels)")
            .arg(document.viewBox.width())
            .arg(document.viewBox.height())
            .arg(scale)
            .arg(KTNSVGLimits().maxImageSide)
            .arg(KTNSVGLimits().maxImagePixels);
    return QStringLiteral("the image could not be allocated");
}

int render(const QStringList &args)
{
    if (args.size() < 2)
        return usage("render needs IN.svg and OUT.png");
    const std::optional<SizeChoice> choice = readOptions(args.mid(2), false);
    if (!choice)
        return usage();
    const QString in = args[0];
    const QString out = args[1];
    QString error;
    const std::optional<QByteArray> bytes = readFile(in, error);
    if (!bytes) {
        std::fprintf(stderr, "kalvo-svg: %s: %s\n", qPrintable(in), qPrintable(error));
        return kFailure;
    }
    const Built built = buildDocument(*bytes, choice->tree);
    const std::unique_ptr<KTNSVGParserMgr> &document = built.document;
    const std::optional<double> scale = scaleFor(*document, *choice, error);
    if (!scale) {
        std::fprintf(stderr, "kalvo-svg: %s: %s\n", qPrintable(in), qPrintable(error));
        return kFailure;
    }
    const QImage image = document->exportImageWithScale(*scale);
    if (image.isNull()) {
        std::fprintf(stderr, "kalvo-svg: %s: cannot render: %s\n", qPrintable(in),
                     qPrintable(whyNoImage(built, *scale)));
        return kFailure;
    }
    if (!built.problem.isEmpty()) {
        QString problem = built.problem;
        if (problem.endsWith(QLatin1Char('.')))
            problem.chop(1);
        std::fprintf(stderr, "kalvo-svg: %s: warning: %s; rendered what was read\n", qPrintable(in),
                     qPrintable(problem));
    }
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "kalvo-svg: cannot write %s\n", qPrintable(out));
        return kFailure;
    }
    return 0;
}

double ms(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

int time(const QStringList &args)
{
    if (args.isEmpty())
        return usage("time needs a directory");
    const std::optional<SizeChoice> choice = readOptions(args.mid(1), true);
    if (!choice)
        return usage();
    const QString dir = args[0];
    if (!QFileInfo(dir).isDir()) {
        std::fprintf(stderr, "kalvo-svg: %s is not a readable directory\n", qPrintable(dir));
        return kFailure;
    }
    QStringList files;
    QDirIterator it(dir, {QStringLiteral("*.svg")}, QDir::Files | QDir::Readable | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "kalvo-svg: no .svg files under %s\n", qPrintable(dir));
        return kFailure;
    }

    std::printf("%10s %10s %10s %10s  %11s  %s\n", "parse ms", "build ms", "paint ms", "total ms", "pixels", "file");
    qint64 parse = 0, build = 0, paint = 0, total = 0;
    int failures = 0;
    for (const QString &path : std::as_const(files)) {
        const QString shown = QDir(dir).relativeFilePath(path);
        QString error;
        const std::optional<QByteArray> bytes = readFile(path, error);
        if (!bytes) {
            std::printf("%10s %10s %10s %10s  %11s  %s: %s\n", "-", "-", "-", "-", "FAILED", qPrintable(shown),
                        qPrintable(error));
            ++failures;
            continue;
        }
        qint64 fileParse = 0, fileBuild = 0, filePaint = 0, fileTotal = 0;
        QImage image;
        Built built;
        std::optional<double> scale;
        for (int run = 0; run < choice->repeat; ++run) {
            QElapsedTimer timer;
            timer.start();
            built = buildDocument(*bytes, choice->tree);
            KTNSVGParserMgr *document = built.document.get();
            scale = scaleFor(*document, *choice, error);
            if (!scale)
                break;
            image = document->exportImageWithScale(*scale);
            fileTotal += timer.nsecsElapsed();
            const KTNSVGParserMgr::StageTimes &times = document->stageTimes();
            fileParse += built.treeNanoseconds + times.parse + times.link;
            fileBuild += times.style + times.outline;
            filePaint += times.paint;
        }
        if (!scale || image.isNull()) {
            std::printf("%10s %10s %10s %10s  %11s  %s: %s\n", "-", "-", "-", "-", "FAILED", qPrintable(shown),
                        qPrintable(scale ? whyNoImage(built, *scale) : error));
            ++failures;
            continue;
        }
        const int runs = choice->repeat;
        const QString pixels = QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
        std::printf("%10.3f %10.3f %10.3f %10.3f  %11s  %s%s\n", ms(fileParse) / runs, ms(fileBuild) / runs,
                    ms(filePaint) / runs, ms(fileTotal) / runs, qPrintable(pixels), qPrintable(shown),
                    built.problem.isEmpty() ? "" : qPrintable(QStringLiteral(" (partial: %1)").arg(built.problem)));
        parse += fileParse / runs;
        build += fileBuild / runs;
        paint += filePaint / runs;
        total += fileTotal / runs;
    }
    std::printf("%10.3f %10.3f %10.3f %10.3f  %11s  total: %lld files, %d failed\n", ms(parse), ms(build), ms(paint),
                ms(total), "", static_cast<long long>(files.size()), failures);
    return failures ? kFailure : 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Rendering needs no display; pick the offscreen platform when there is
    // none, so the tool runs on servers and in CI.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("render"))
        return render(args);
    if (command == QLatin1String("time"))
        return time(args);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        usage();
        return 0;
    }
    return usage(qPrintable(QStringLiteral("unknown command \"%1\"").arg(command)));
}
