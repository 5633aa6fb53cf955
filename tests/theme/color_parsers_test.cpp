#include <kalvo/theme/color.h>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

struct TokenCase
{
    const char *text;
    std::optional<quint64> packed;
};

class TokenValueParser : public testing::TestWithParam<TokenCase>
{
};

TEST_P(TokenValueParser, Parses)
{
    const TokenCase c = GetParam();
    EXPECT_EQ(parseTokenValue(QString::fromUtf8(c.text)), c.packed) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenValueParser,
    testing::Values(TokenCase{"#0e72ed", 0xFF0E72EDu}, TokenCase{"#0E72ED", 0xFF0E72EDu},
                    TokenCase{"#800E72ED", 0x800E72EDu}, TokenCase{"  #0E72ED\n", 0xFF0E72EDu},
                    TokenCase{"##0E72ED", 0xFF0E72EDu}, TokenCase{"#12", 0x12u},
                    TokenCase{"rgba(14, 114, 237, 0.5)", 0x800E72EDu}, TokenCase{"RGBA(0,0,0,1)", 0xFF000000u},
                    TokenCase{"rgba( 1 , 2 , 3 , 0 )", 0x00010203u}, TokenCase{"rgba(1,2,3,7)", 0xFF010203u},
                    TokenCase{"rgba(1,2,3,-1)", 0x00010203u},
                    // Rejected.
                    TokenCase{"#", std::nullopt}, TokenCase{"", std::nullopt}, TokenCase{"   ", std::nullopt},
                    TokenCase{"#GG0000", std::nullopt}, TokenCase{"#0x123456", std::nullopt},
                    TokenCase{"#12345678901234567", std::nullopt}, TokenCase{"rgba(1,2,3)", std::nullopt},
                    TokenCase{"rgba(1,2,3,4,5)", std::nullopt}, TokenCase{"rgba(256,0,0,1)", std::nullopt},
                    TokenCase{"rgba(-1,0,0,1)", std::nullopt}, TokenCase{"rgba(1,2,3,nan)", std::nullopt},
                    TokenCase{"rgba(1,2,3,inf)", std::nullopt}, TokenCase{"rgba(1,2,3,0.5", std::nullopt},
                    TokenCase{"rgb(1,2,3)", std::nullopt}, TokenCase{"0E72ED", std::nullopt},
                    TokenCase{"rgba(a,b,c,d)", std::nullopt}));

TEST(OlderParsers, NSColorFromHexStringReadsSixOrEightDigits)
{
    EXPECT_EQ(NSColorFromHexString(QStringLiteral("#FF0000")), QColor(255, 0, 0));
    EXPECT_EQ(NSColorFromHexString(QStringLiteral("0x00ff00")), QColor(0, 255, 0));
    const QColor translucent = NSColorFromHexString(QStringLiteral("80FF0000"));
    EXPECT_EQ(translucent.red(), 255);
    EXPECT_NEAR(translucent.alphaF(), 128.0 / 255.0, 1e-4);
    EXPECT_EQ(NSColorFromHexString(QStringLiteral("#FFF")), NSColorFromHex(0x232333)) << "wrong length: tnDark";
    EXPECT_EQ(NSColorFromHexString(QString()), NSColorFromHex(0x232333));
    EXPECT_EQ(NSColorFromHexString(QStringLiteral("#zz1z00")), QColor(0, 1, 0)) << "pairs scan leading digits";
}

TEST(OlderParsers, HexColorWithStringConventions)
{
    EXPECT_EQ(hexColorWithString(QStringLiteral("#abc")), QColor(0xAA, 0xBB, 0xCC));
    EXPECT_EQ(hexColorWithString(QStringLiteral("0x#102030")), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(hexColorWithString(QStringLiteral("#10203080")), QColor(0x10, 0x20, 0x30, 0x80)) << "alpha last";
    EXPECT_EQ(hexColorWithString(QStringLiteral("#12345")).alpha(), 0) << "5 digits: clear";
    EXPECT_EQ(hexColorWithString(QStringLiteral("#")).alpha(), 0);
    EXPECT_EQ(hexColorWithString(QStringLiteral("red")), QColor(255, 0, 0)) << "names go to the table";
}

TEST(OlderParsers, NamedColoursComeFromTheTable)
{
    EXPECT_EQ(hexTripletWithStr(QStringLiteral("CornflowerBlue")), QColor(0x64, 0x95, 0xED));
    EXPECT_EQ(hexTripletWithStr(QStringLiteral("grey")), hexTripletWithStr(QStringLiteral("gray")));
    EXPECT_EQ(hexTripletWithStr(QStringLiteral("transparent")).alpha(), 0);
    EXPECT_EQ(hexTripletWithStr(QStringLiteral("notacolour")).alpha(), 0);
    EXPECT_EQ(hexTripletWithStr(QString()).alpha(), 0);
}

TEST(OlderParsers, OpacityFromTheLastTwoDigits)
{
    EXPECT_DOUBLE_EQ(opacityOfHexColor(QStringLiteral("#11223380")), 128.0 / 255.0);
    EXPECT_DOUBLE_EQ(opacityOfHexColor(QStringLiteral("#112233")), 1.0);
    EXPECT_DOUBLE_EQ(opacityOfHexColor(QStringLiteral("#112233zz")), 1.0);
    EXPECT_DOUBLE_EQ(opacityOfHexColor(QStringLiteral("#1122333z")), 3.0 / 255.0);
    EXPECT_DOUBLE_EQ(opacityOfHexColor(QString()), 1.0);
}

TEST(OlderParsers, RGBStringIsLenient)
{
    EXPECT_EQ(colorWithRGBString(QStringLiteral("102030")), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(colorWithRGBString(QStringLiteral("10203080")), QColor(0x10, 0x20, 0x30, 0x80));
    EXPECT_EQ(colorWithRGBString(QStringLiteral("1020304")), QColor(0x10, 0x20, 0x30)) << "7 characters: no alpha";
    EXPECT_EQ(colorWithRGBString(QStringLiteral("zz2g30")), QColor(0x00, 0x20, 0x30)) << "bad digits count 0";
    EXPECT_EQ(colorWithRGBString(QStringLiteral("12345")), std::nullopt);
}

TEST(PackedValues, ConstructorsKeepTheLow24BitsAndClamp)
{
    EXPECT_EQ(NSColorFromHex(0xFF123456), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(NSColorFromHexWithAlpha(0x123456, 0.5).alpha(), 128);
    EXPECT_EQ(NSColorFromRGBAHex(0x11223380), QColor(0x11, 0x22, 0x33, 0x80));
    EXPECT_EQ(NSColorRGBA(300, -5, 128, 2.0), QColor(255, 0, 128, 255));
    EXPECT_EQ(NSColorFromHexWithAlpha(0x123456, std::nan("")).alpha(), 255);
    EXPECT_EQ(colorFromHex(0xABCDEF).rgb(), QColor(0xAB, 0xCD, 0xEF).rgb());
    EXPECT_EQ(TNCGColorCreateSRGB(1.5, -1, 0.5, 1), QColor::fromRgbF(1, 0, 0.5f, 1));
    EXPECT_EQ(tn_colorWithCGColor(std::nullopt), std::nullopt);
}

} // namespace
