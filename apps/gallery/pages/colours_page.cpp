// Every colour token as a labelled swatch, grouped as the token vocabulary
// is: the token-file tokens by group, the theme-aware tokens, the fixed
// tokens and the older "tn" names. Swatches resolve their colour when they
// paint, under their own appearance and theme, like every control.
#include "gallery_page.h"

#include <kalvo/foundation/typography.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/tncolors.h>

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

namespace gallery {

namespace {

class Swatch : public QWidget
{
public:
    Swatch(const QString &name, const QString &detail, kalvo::PlatformColor color)
        : m_name(name), m_detail(detail), m_color(std::move(color))
    {
        setMinimumSize(240, 44);
    }

    QSize sizeHint() const override { return {256, 44}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const kalvo::DrawingAppearanceScope scope(this);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF chip(2, 4, 36, 36);
        // A checkerboard under the chip shows transparency.
        p.save();
        p.setClipRect(chip);
        for (int y = 0; y < 36; y += 6) {
            for (int x = 0; x < 36; x += 6)
                p.fillRect(QRectF(chip.left() + x, chip.top() + y, 6, 6), ((x + y) / 6) % 2 ? QColor(0xCC, 0xCC, 0xCC) : Qt::white);
        }
        p.restore();
        const QColor value = m_color.resolved();
        p.setPen(QPen(kalvo::Color::borderNeutral()->resolved(), 1));
        p.setBrush(value);
        p.drawRoundedRect(chip.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

        p.setPen(kalvo::Color::Theme::textStrongerNeutral()->resolved());
        p.setFont(kalvo::fontWithTypograph(kalvo::Typograph::semibold12));
        const QRectF text(46, 4, width() - 48, 18);
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(m_name, Qt::ElideMiddle, int(text.width())));
        p.setPen(kalvo::Color::Theme::textNeutral()->resolved());
        p.setFont(kalvo::fontWithTypograph(kalvo::Typograph::regular12));
        const QString hex = value.alpha() == 255 ? value.name(QColor::HexRgb).toUpper()
                                                 : value.name(QColor::HexArgb).toUpper();
        p.drawText(QRectF(46, 22, width() - 48, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(m_detail.isEmpty() ? hex : hex + QStringLiteral("  ") + m_detail,
                                              Qt::ElideRight, width() - 48));
    }

private:
    QString m_name;
    QString m_detail;
    kalvo::PlatformColor m_color;
};

class Section
{
public:
    Section(QVBoxLayout *page, const QString &title)
    {
        auto *heading = new QLabel(title);
        heading->setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium16));
        page->addSpacing(10);
        page->addWidget(heading);
        auto *holder = new QWidget;
        m_grid = new QGridLayout(holder);
        m_grid->setContentsMargins(0, 4, 0, 4);
        m_grid->setHorizontalSpacing(12);
        m_grid->setVerticalSpacing(6);
        page->addWidget(holder);
    }

    void add(const QString &name, const QString &detail, kalvo::PlatformColor color)
    {
        constexpr int kColumns = 4;
        m_grid->addWidget(new Swatch(name, detail, std::move(color)), m_count / kColumns, m_count % kColumns);
        ++m_count;
    }

private:
    QGridLayout *m_grid;
    int m_count = 0;
};

QString titleFor(const char *group)
{
    QString title = QString::fromLatin1(group);
    title[0] = title[0].toUpper();
    return title;
}

} // namespace

QWidget *createColoursPage(const Look &)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 10, 24, 24);
    layout->setSpacing(2);

    const char *current = nullptr;
    std::unique_ptr<Section> section;
    for (const kalvo::Color::TokenInfo &token : kalvo::Color::tokenTable()) {
        if (!current || qstrcmp(current, token.group) != 0) {
            current = token.group;
            section = std::make_unique<Section>(layout, titleFor(token.group));
        }
        section->add(QString::fromLatin1(token.property), QString::fromLatin1(token.key), token.accessor());
    }

    Section theme(layout, QStringLiteral("Theme-aware (Color::Theme)"));
    for (const kalvo::Color::Theme::TokenInfo &token : kalvo::Color::Theme::tokenTable())
        theme.add(QString::fromLatin1(token.property), QString(), token.accessor());

    Section fixed(layout, QStringLiteral("Fixed"));
    const std::pair<const char *, kalvo::ColorPtr (*)()> fixedTokens[] = {
        {"kalvoClear", &kalvo::Color::kalvoClear},
        {"fillDefaultTransparent", &kalvo::Color::fillDefaultTransparent},
        {"underlay", &kalvo::Color::underlay},
        {"componentNavBackgroundClassic", &kalvo::Color::componentNavBackgroundClassic},
        {"componentBorder", &kalvo::Color::componentBorder},
        {"invalidTokenColor", &kalvo::Color::invalidTokenColor},
        {"badgeTextNeutral", &kalvo::Color::badgeTextNeutral},
        {"AvatarGroupWrapperBackground", &kalvo::Color::AvatarGroupWrapperBackground},
        {"AvatarGroupWrapperNumberButtonBackground", &kalvo::Color::AvatarGroupWrapperNumberButtonBackground},
    };
    for (const auto &[name, accessor] : fixedTokens)
        fixed.add(QString::fromLatin1(name), QString(), accessor());

    Section older(layout, QStringLiteral("Older tn names"));
    for (const kalvo::TNColorInfo &info : kalvo::tnColorTable())
        older.add(QString::fromLatin1(info.name), QString(), info.accessor());

    layout->addStretch(1);
    return page;
}

} // namespace gallery
