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

namespace {

QFont makeFont(const QFont &base, TypographMetrics metrics, bool italic)
{
    QFont font = base;
    // A style name ("Book", "Regular") would pin the face and override the
    // weight and italic requests below.
    font.setStyleName(QString());
    font.setPixelSize(metrics.size);
    font.setWeight(metrics.weight);
    font.setItalic(italic);
    return font;
}

// Controls ask for their font on every paint; building a QFont each time
// costs more than the text drawing. The fonts are kept per thread (QFont
// is reentrant, not thread-safe) and rebuilt when the application font
// changes. Handing out copies of one QFont also makes later comparisons
// cheap: equal fonts share their data.
struct FontCache
{
    QFont base;
    bool valid = false;
    std::array<std::array<QFont, 2>, kMetrics.size()> fonts;
};

} // namespace

QFont fontWithTypograph(Typograph typograph, bool italic)
{
    typographMetrics(typograph); // rejects unknown values
    thread_local FontCache cache;
    const QFont base = QGuiApplication::font();
    if (!cache.valid || !(cache.base == base)) {
        cache.base = base;
        cache.valid = true;
        for (std::size_t i = 0; i < kMetrics.size(); ++i) {
            cache.fonts[i][0] = makeFont(base, kMetrics[i], false);
            cache.fonts[i][1] = makeFont(base, kMetrics[i], true);
        }
    }
    return cache.fonts[static_cast<std::size_t>(toRaw(typograph))][italic ? 1 : 0];
}

QFont fontWithTypograph(int raw, bool italic)
{
    return fontWithTypograph(checkedFromRaw<Typograph>(raw), italic);
}

} // namespace kalvo
