#include <kalvo/foundation/typography.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

struct Row
{
    int raw;
    int size;
    QFont::Weight weight;
};

class TypographyScale : public testing::TestWithParam<Row>
{
};

TEST_P(TypographyScale, FontHasTheListedSizeAndWeight)
{
    const Row row = GetParam();
    const QFont font = fontWithTypograph(checkedFromRaw<Typograph>(row.raw));
    EXPECT_EQ(font.pixelSize(), row.size);
    EXPECT_EQ(font.weight(), row.weight);
    EXPECT_FALSE(font.italic());
    EXPECT_EQ(font.family(), QApplication::font().family()) << "the application's own font";
    const TypographMetrics metrics = typographMetrics(static_cast<Typograph>(row.raw));
    EXPECT_EQ(metrics.size, row.size);
    EXPECT_EQ(metrics.weight, row.weight);
}

INSTANTIATE_TEST_SUITE_P(AllSteps, TypographyScale,
                         testing::Values(Row{0, 36, QFont::Bold}, Row{1, 24, QFont::DemiBold},
                                         Row{2, 20, QFont::Medium}, Row{3, 16, QFont::Medium},
                                         Row{4, 16, QFont::Normal}, Row{5, 14, QFont::Medium},
                                         Row{6, 14, QFont::Normal}, Row{7, 12, QFont::DemiBold},
                                         Row{8, 12, QFont::Normal}, Row{9, 10, QFont::Light},
                                         Row{10, 9, QFont::Thin}),
                         [](const testing::TestParamInfo<Row> &info) {
                             return debugDescription(static_cast<Typograph>(info.param.raw)).mid(1).toStdString();
                         });

TEST(Typography, ItalicAsksForTheItalicFace)
{
    const QFont font = fontWithTypograph(Typograph::regular14, true);
    EXPECT_TRUE(font.italic());
    EXPECT_TRUE(QFontInfo(font).italic());
}

TEST(Typography, LargerStepsMeasureTaller)
{
    double previous = 1e9;
    for (Typograph t : allCases<Typograph>()) {
        const double height = QFontMetricsF(fontWithTypograph(t)).height();
        EXPECT_LE(height, previous) << debugDescription(t).toStdString();
        previous = height;
    }
}

TEST(Typography, FollowsTheApplicationFontAndIgnoresItsStyleName)
{
    const QFont saved = QApplication::font();
    QFont custom(QStringLiteral("DejaVu Serif"));
    custom.setStyleName(QStringLiteral("Book"));
    QApplication::setFont(custom);
    const QFont font = fontWithTypograph(Typograph::bold36);
    QApplication::setFont(saved);
    EXPECT_EQ(font.family(), QStringLiteral("DejaVu Serif"));
    // And back again once the application font is restored.
    EXPECT_EQ(fontWithTypograph(Typograph::bold36).family(), saved.family());
    EXPECT_TRUE(font.styleName().isEmpty());
    EXPECT_EQ(font.weight(), QFont::Bold);
}

TEST(TypographyDeathTest, RawValueOutsideTheScaleStopsTheProcess)
{
    EXPECT_DEATH(fontWithTypograph(11, false), "Unknown raw value 11 for Typograph");
    EXPECT_DEATH(fontWithTypograph(-1, true), "Unknown raw value -1 for Typograph");
}

} // namespace
