// Prepared numbers are rounded to twelve significant digits without going
// through text; the result must be bit for bit what the text gave.
#include "kit/svg/engine/svg_prepare_p.h"
#include "kit/svg/engine/svg_scanner_p.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

using namespace kalvo::svg;

namespace {

// The old route: "%.12g" written out, then read back by the engine's reader.
double throughText(double value)
{
    if (!std::isfinite(value))
        value = 0;
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 12);
    const QString text = QString::fromLatin1(buffer, written.ptr - buffer);
    Scanner scanner(text);
    double read = 0;
    return scanner.scanDouble(read) ? read : 0.0;
}

void expectSame(double value)
{
    const double expected = throughText(value);
    const double got = roundedToTwelveDigits(value);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
        << "value " << std::to_string(value) << " bits " << std::bit_cast<std::uint64_t>(value);
}

TEST(TwelveDigits, SameAsTextOnRandomBitPatterns)
{
    std::mt19937_64 random(20261207);
    // Exponents over the whole range numbers take in icons and beyond.
    std::uniform_int_distribution<int> exponent(1023 - 60, 1023 + 60);
    for (int i = 0; i < 400'000; ++i) {
        const std::uint64_t mantissa = random() & ((std::uint64_t(1) << 52) - 1);
        const std::uint64_t sign = (random() & 1) << 63;
        expectSame(std::bit_cast<double>(sign | (std::uint64_t(exponent(random)) << 52) | mantissa));
    }
}

TEST(TwelveDigits, SameAsTextNearDecimals)
{
    // Short decimals as icons write them, and their neighbours one unit
    // in the last place away, where the twelfth digit is decided.
    std::mt19937_64 random(7);
    for (int i = 0; i < 200'000; ++i) {
        const int digits = int(random() % 16) + 1;
        std::int64_t whole = std::int64_t(random() % 10'000'000'000'000'000ull);
        for (int d = digits; d < 19; ++d)
            whole /= 10;
        const double value = double(whole) / std::pow(10.0, double(random() % 15));
        expectSame(value);
        expectSame(std::nextafter(value, 0.0));
        expectSame(std::nextafter(value, 1e300));
    }
}

TEST(TwelveDigits, TiesAndBoundaries)
{
    // Binary fractions that end exactly in a 5 at the thirteenth digit
    // (ties, rounded half to even), digit-count boundaries, extremes.
    for (double base : {1234567890.125, 1234567890.375, 123456789012.5, 123456789013.5, 98765432101.25,
                        0.1234567890125, 9.765625e-4, 3.0517578125e-5, 1.52587890625e-5})
        for (double value : {base, -base, std::nextafter(base, 0.0), std::nextafter(base, 1e300)})
            expectSame(value);
    for (int p = -20; p <= 20; ++p) {
        const double power = std::pow(10.0, p);
        for (double value : {power, power * 0.9999999999995, power * 0.99999999999949, power * 0.99999999999951,
                             power * 1.0000000000005, std::nextafter(power, 0.0), std::nextafter(power, 1e300)})
            expectSame(value);
    }
    for (double value : {0.0, -0.0, 0.5, 1.0 / 3.0, 2.0 / 3.0, 1e-10, 9.99999999999e-11, 1e12, 999999999999.5,
                         999999999999.49, 1e16 + 2, 5e-324, std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::min(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        expectSame(value);
}

} // namespace
