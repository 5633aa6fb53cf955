// The quick readers under path data: numbers gathered in one pass, command
// letters found a block of characters at a time, command tokens from a
// caller's list.
#include <kalvo/svg/svgdrawables.h>

#include "kit/svg/engine/svg_arc_p.h"
#include "kit/svg/engine/svg_scanner_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace kalvo;

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(NumberScan, ValuesAreCorrectlyRoundedAndReadingStopsAfterTheNumber)
{
    struct Case
    {
        const char *text;
        qsizetype consumed; // 0: no number
    };
    // Around the fifteen-digit limit of the quick conversion, leading zeros
    // that make a short number long, exponents with and without digits,
    // and the characters a number ends at.
    const Case cases[] = {
        {"7", 1},
        {"-.5.5", 3},
        {"5.x", 2},
        {"+3", 2},
        {"-0", 2},
        {".", 0},
        {"-.", 0},
        {"-", 0},
        {"1e", 1},
        {"1e+", 1},
        {"1e5-2", 3},
        {"1.5E-3,", 6},
        {"123456789012345", 15},
        {"1234567890123456", 16},
        {"0.1234567890123456789", 21},
        {"000000000000000000012.5", 23},
        {"0.000000000000000123", 20},
        {"99999999999999999999999", 23},
        {"9007199254740993", 16},
        {"  \t42 ", 5},
        {"1e400", 5},
        {"-1e400", 6},
        {"1e-400", 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const QString text = QString::fromLatin1(c.text);
        svg::Scanner scanner(text);
        double value = -123;
        const bool read = scanner.scanDouble(value);
        ASSERT_EQ(read, c.consumed > 0);
        if (!read) {
            EXPECT_EQ(scanner.position(), 0);
            EXPECT_EQ(value, -123);
            continue;
        }
        EXPECT_EQ(scanner.position(), c.consumed);
        // strtod over the same characters: correctly rounded, infinity on
        // overflow and zero on underflow.
        const QByteArray matched = text.left(c.consumed).toLatin1();
        const double expected = std::strtod(matched.constData(), nullptr);
        EXPECT_TRUE(sameBits(value, expected)) << value << " vs " << expected;
    }
}

// The tokens of `data` as a plain character-by-character split would give
// them.
QStringList splitOneByOne(const QString &data)
{
    static const QString kCommands = QStringLiteral("MmLlCcVvHhAaSsQqTtZz#");
    const QString text = data.trimmed();
    QStringList tokens;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !kCommands.contains(text[i]))
            continue;
        if (start >= 0) {
            const QString token = text.mid(start, i - start).trimmed();
            if (!token.isEmpty() && !token.startsWith(QLatin1Char('#')))
                tokens.append(token);
        }
        start = i;
    }
    if (text.endsWith(QLatin1Char('z')) || text.endsWith(QLatin1Char('Z')))
        tokens.append(QStringLiteral("z"));
    return tokens;
}

TEST(PathTokens, BlockSearchFindsEveryCommandAtEveryOffset)
{
    // Letters that are no commands ("e", "x", a full-width "M" whose low
    // byte is "-", an "m" beyond ASCII whose low byte is "m") and "#" at
    // every position of a block of eight.
    const QString pieces[] = {QStringLiteral("1e5"), QStringLiteral("x"), QString(QChar(0xFF2D)),
                              QString(QChar(0x016D)), QStringLiteral("#c"), QStringLiteral("L"),
                              QStringLiteral("  "), QStringLiteral("q"), QStringLiteral("-.5")};
    for (int shift = 0; shift < 17; ++shift) {
        QString data = QStringLiteral("M") + QString(shift, QLatin1Char('1'));
        for (int round = 0; round < 3; ++round) {
            for (const QString &piece : pieces)
                data += piece + QString(shift % 5, QLatin1Char(' ')) + QStringLiteral("2");
        }
        data += QStringLiteral("Z");
        SCOPED_TRACE(data.toStdString());
        EXPECT_EQ(KTNTKSVGBaseElement::commandListForCommandString(data), splitOneByOne(data));
    }
}

TEST(PathTokens, ListTokensBeyondAsciiAreNoCommands)
{
    // U+016D ends in the byte of "m"; it must not start a path.
    const auto element = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({});
    KTNSVGBezierPath path;
    element->bezierPathFromCommandList({QString(QChar(0x016D)) + QStringLiteral("5 5"), QStringLiteral("L9 9")}, path);
    EXPECT_EQ(path.path.elementCount(), KTNSVGBezierPath().path.elementCount());
    EXPECT_EQ(path.currentPoint(), QPointF(0, 0));
    KTNSVGBezierPath drawn;
    element->bezierPathFromCommandList({QStringLiteral("m5 5"), QStringLiteral("L9 9")}, drawn);
    EXPECT_EQ(drawn.currentPoint(), QPointF(9, 9));
}

TEST(ArcFrame, MatchesQtsThreeStepsEntryForEntry)
{
    // Quarter and half turns, angles whose sine Qt takes for zero, and
    // squeezes either way (one of the scales is always 1).
    const double angles[] = {0, 1e-13, -1e-13, 1e-11, 0.5, -2.0, M_PI / 2, M_PI, -M_PI, 3 * M_PI / 2, 1e6};
    const QPointF scales[] = {{1, 1}, {0.5, 1}, {1, 0.25}, {1, 1 - 1e-13}, {1e-9, 1}};
    const QPointF centers[] = {{0, 0}, {12.5, -3}};
    for (double phi : angles) {
        for (QPointF scale : scales) {
            for (QPointF center : centers) {
                SCOPED_TRACE(testing::Message() << phi << " " << scale.x() << "," << scale.y() << " " << center.x());
                QTransform expected;
                expected.translate(center.x(), center.y());
                expected.rotateRadians(phi);
                expected.scale(scale.x(), scale.y());
                const QTransform frame = svg::ellipseFrame(center, phi, scale.x(), scale.y());
                EXPECT_EQ(frame.type(), expected.type());
                const double got[] = {frame.m11(), frame.m12(), frame.m21(), frame.m22(), frame.dx(), frame.dy()};
                const double want[] = {expected.m11(), expected.m12(), expected.m21(),
                                       expected.m22(), expected.dx(),  expected.dy()};
                for (int i = 0; i < 6; ++i)
                    EXPECT_TRUE(sameBits(got[i], want[i])) << i << ": " << got[i] << " vs " << want[i];
            }
        }
    }
}

} // namespace
