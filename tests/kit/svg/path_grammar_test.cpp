// Path data as minified icon files write it: packed numbers, flags without
// separators, implicit repeated commands and which curves smooth segments
// reflect.
#include "svg_test_util.h"

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

using namespace kalvo;
using namespace kalvo::svgtest;

namespace {

KTNSVGBezierPath outline(const char *d)
{
    const auto path = KTNTKSVGBaseElement::create<KTNTKSVGPathElement>({{"d", QString::fromLatin1(d)}});
    return *path->shape;
}

TEST(PathGrammar, PackedNumbersAndImplicitCommands)
{
    // "m" then pairs: relative lines; ".5.5" is two numbers; "-" starts a
    // number; exponents with signs.
    const KTNSVGBezierPath p = outline("m1 1 .5.5-1-1 2e0 0l1e-1-1E+1");
    ASSERT_EQ(p.path.elementCount(), 5);
    EXPECT_EQ(steps(p.path)[1].x, 1.5);
    EXPECT_EQ(steps(p.path)[2].x, 0.5);
    EXPECT_EQ(steps(p.path)[3].x, 2.5);
    EXPECT_NEAR(steps(p.path)[4].x, 2.6, 1e-12);
    EXPECT_NEAR(steps(p.path)[4].y, -9.5, 1e-12);
}

TEST(PathGrammar, NumbersReadExactlyAsTheStandardLibraryReadsThem)
{
    // Short decimals take a quick route; long mantissas, many fraction
    // digits, exponents and leading zeros take the general one. Every
    // route must give the correctly rounded double.
    std::mt19937 random(7);
    auto digits = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += char('0' + random() % 10);
        return s;
    };
    for (int i = 0; i < 4000; ++i) {
        std::string text = random() % 3 == 0 ? "-" : "";
        text += digits(random() % 12);
        if (random() % 4)
            text += "." + digits(1 + random() % 19);
        if (text.empty() || text == "-")
            text += "7";
        if (random() % 10 == 0)
            text += "e" + std::to_string(int(random() % 40) - 20);
        // Outlines keep coordinates within ±1e7.
        if (std::abs(std::strtod(text.c_str(), nullptr)) >= 1e7)
            continue;
        const std::string d = "M" + text + " 0";
        const KTNSVGBezierPath p = outline(d.c_str());
        ASSERT_EQ(p.path.elementCount(), 1) << d;
        EXPECT_EQ(p.path.elementAt(0).x, std::strtod(text.c_str(), nullptr)) << d;
    }
    EXPECT_TRUE(std::signbit(outline("M-0 0").path.elementAt(0).x));
    EXPECT_EQ(outline("M0.000000000000000000001 0").path.elementAt(0).x, 1e-21);
    EXPECT_EQ(outline("M1234567.890123456 0").path.elementAt(0).x, 1234567.890123456);
    EXPECT_EQ(outline("M.1234567890123456789 0").path.elementAt(0).x, 0.1234567890123456789);
}

TEST(PathGrammar, SmoothSegmentsReflectOnlyCurvesOfTheirKind)
{
    // "S" after a quadratic does not reflect its control point: the first
    // control point is the current point.
    const KTNSVGBezierPath p = outline("M0 0 Q5 5 10 0 S20 5 20 0");
    EXPECT_EQ(QPointF(steps(p.path)[4].x, steps(p.path)[4].y), QPointF(10, 0));
    // "T" after a cubic likewise.
    const KTNSVGBezierPath t = outline("M0 0 C0 5 10 5 10 0 T20 0");
    EXPECT_NEAR(steps(t.path)[4].y, 0, 1e-12);
}

TEST(PathGrammar, DataMustStartWithAMove)
{
    EXPECT_TRUE(outline("L10 10 20 20").path.isEmpty());
    EXPECT_TRUE(outline("A5 5 0 0 1 50 50").path.isEmpty());
    EXPECT_FALSE(outline(" M0 0 L1 1").path.isEmpty());
}

TEST(PathGrammar, ArcFlagsReadAloneOrPacked)
{
    const KTNSVGBezierPath reference = outline("M0 0 A5 5 0 0 1 10 0 5 5 0 1 0 20 0");
    for (const char *d : {"M0 0 A5,5,0,0,1,10,0,5,5,0,1,0,20,0", "M0 0 A5 5 0 01 10 0 5 5 0 10 20 0",
                          "M0 0 A5 5 0 0110 0 5 5 0 1020 0", "M0 0 A5 5 0 0 ,1 10 0 5 5 0\t1\n0 20 0",
                          "M0 0 A5 5 0 0  1 10 0 5 5 0 1 , 0 20 0"}) {
        SCOPED_TRACE(d);
        EXPECT_EQ(outline(d).path, reference.path);
    }
    // Anything but 0 or 1 where a flag belongs ends the data there.
    for (const char *d : {"M0 0 A5 5 0 2 1 10 0", "M0 0 A5 5 0 0 -1 10 0", "M0 0 A5 5 0 0", "M0 0 A5 5 0 0 1"}) {
        SCOPED_TRACE(d);
        EXPECT_EQ(outline(d).path.elementCount(), 1);
    }
}

TEST(PathGrammar, NegativeRadiiAreTakenAsTheirSize)
{
    const KTNSVGBezierPath negative = outline("M0 0 A-5 -5 0 0 1 10 0");
    const KTNSVGBezierPath positive = outline("M0 0 A5 5 0 0 1 10 0");
    EXPECT_EQ(negative.path, positive.path);
}

} // namespace
