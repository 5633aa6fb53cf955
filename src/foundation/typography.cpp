#include <kalvo/foundation/typography.h>

#include <QGuiApplication>

namespace kalvo {

namespace {

// Keep in raw order with Typograph.
constexpr std::array<TypographMetrics, 11> kMetrics{{
    {36, QFont::Bold},
    {24, QFont::DemiBold},
    {20, QFont::Medium},
    {16, QFont::Medium},
    {16, QFont::Normal},
    {14, QFont::Medium},
    {14, QFont::Normal},
    {12, QFont::DemiBold},
    {12, QFont::Normal},
    {10, QFont::Light},
    // The lightest weight of the scale; Qt calls the 100 weight Thin.
    {9, QFont::Thin},
}};

static_assert(kMetrics.size() == EnumTraits<Typograph>::rows.size());

} // namespace

TypographMetrics typographMetrics(Typograph typograph)
{
    const long long raw = toRaw(typograph);
    if (raw < 0 || raw >= static_cast<long long>(kMetrics.size()))
        fatalUnknownRawValue(EnumTraits<Typograph>::name, raw);
    return kMetrics[static_cast<std::size_t>(raw)];
}

QFont fontWithTypograph(Typograph typograph, bool italic)
{
    const TypographMetrics metrics = typographMetrics(typograph);
    QFont font = QGuiApplication::font();
    // A style name ("Book", "Regular") would pin the face and override the
    // weight and italic requests below.
    font.setStyleName(QString());
    font.setPixelSize(metrics.size);
    font.setWeight(metrics.weight);
    font.setItalic(italic);
    return font;
}

QFont fontWithTypograph(int raw, bool italic)
{
    return fontWithTypograph(checkedFromRaw<Typograph>(raw), italic);
}

} // namespace kalvo
