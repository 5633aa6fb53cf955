// The icon set as the asset store hands it out: every identifier untinted
// and tinted with a few tokens, sizes, light/dark pairs that pick their
// variant when drawn, and the sentiment icons toasts and banners lead with.
#include "gallery_page.h"

#include <kalvo/foundation/typography.h>
#include <kalvo/foundation/view.h>
#include <kalvo/theme/appearance.h>
#include <kalvo/theme/assetstore.h>
#include <kalvo/theme/kalvoimage.h>

#include <QDirIterator>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace gallery {

namespace {

using kalvo::AssetStore;
using kalvo::Color;
using kalvo::ColorPtr;
using kalvo::ImagePtr;

// Every icon identifier the library ships, in a stable order.
QStringList iconIdentifiers()
{
    QStringList identifiers;
    const QString root = QStringLiteral(":/kalvo/");
    QDirIterator it(root + QStringLiteral("Icon"), {QStringLiteral("*.svg")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString path = it.next();
        path.remove(0, root.size());
        path.chop(4); // ".svg"
        identifiers << path;
    }
    std::sort(identifiers.begin(), identifiers.end());
    return identifiers;
}

QLabel *caption(const QString &text, int pixelSize = 12)
{
    auto *label = new QLabel(text);
    QFont font = kalvo::fontWithTypograph(kalvo::Typograph::regular12);
    font.setPixelSize(pixelSize);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *heading(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium16));
    return label;
}

// One image drawn through Image::draw inside the view's drawing scope, so
// tints and light/dark variants resolve as they would in a control.
class ImageTile : public kalvo::View
{
public:
    ImageTile(ImagePtr image, qreal side, const QString &toolTip = {})
        : m_image(std::move(image)), m_side(side)
    {
        const int box = int(std::max<qreal>(side, 16)) + 12;
        setFixedSize(box, box);
        setToolTip(toolTip);
    }

protected:
    void paintContent(QPainter &painter) override
    {
        if (!m_image || m_image->isEmpty())
            return;
        QSizeF size = m_image->size();
        // Draw at the requested side, keeping the icon's proportions.
        const qreal factor = m_side / std::max(size.width(), size.height());
        size *= factor;
        const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        m_image->draw(painter, target);
    }

private:
    ImagePtr m_image;
    qreal m_side;
};

QWidget *iconWithCaption(const ImagePtr &image, const QString &text, qreal side)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(new ImageTile(image, side, text), 0, Qt::AlignHCenter);
    auto *label = caption(text, 10);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setFixedWidth(96);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    return box;
}

// The natural size of an icon, from its size word ("Small" 16, "18X18"…).
qreal naturalSide(const ImagePtr &image)
{
    return image ? std::max(image->size().width(), image->size().height()) : 16;
}

// A rounded card that forces its own appearance, so light and dark sit
// side by side whatever the page's look. It paints its title itself: a
// QLabel would take the window's palette, not the card's appearance.
class Card : public kalvo::View
{
public:
    Card(const QString &title, const std::shared_ptr<kalvo::TNAppearance> &appearance) : m_title(title)
    {
        kalvo::setTnAppearance(this, appearance);
        setBackgroundColor(Color::backgroundNeutral());
        setCornerRadius(10);
    }

protected:
    void paintContent(QPainter &painter) override
    {
        painter.setFont(kalvo::fontWithTypograph(kalvo::Typograph::medium14));
        painter.setPen(Color::textStrongerNeutral()->resolved());
        painter.drawText(QRectF(14, 0, 60, height()), Qt::AlignLeft | Qt::AlignVCenter, m_title);
    }

private:
    QString m_title;
};

} // namespace

QWidget *createIconsPage(const Look &)
{
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(24, 20, 24, 24);
    column->setSpacing(10);

    const QStringList identifiers = iconIdentifiers();

    // ---- The whole set, untinted, with identifiers ----
    column->addWidget(heading(QStringLiteral("Icon set (%1 icons, untinted)").arg(identifiers.size())));
    {
        auto *grid = new QGridLayout;
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(8);
        const int perRow = 10;
        for (int i = 0; i < identifiers.size(); ++i) {
            const ImagePtr image = AssetStore::image(identifiers[i]);
            QString shortName = identifiers[i];
            shortName.remove(0, 5); // "Icon/"
            grid->addWidget(iconWithCaption(image, shortName, naturalSide(image)), i / perRow, i % perRow,
                            Qt::AlignTop | Qt::AlignHCenter);
        }
        column->addLayout(grid);
    }

    // ---- Tinted with tokens: one row per colour ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Tinted")));
    {
        const std::pair<const char *, ColorPtr> tints[] = {
            {"iconNeutral", Color::iconNeutral()},       {"iconStrongerNeutral", Color::iconStrongerNeutral()},
            {"iconPrimary", Color::iconPrimary()},       {"iconSuccess", Color::iconSuccess()},
            {"iconWarning", Color::iconWarning()},       {"iconError", Color::iconError()},
        };
        auto *grid = new QGridLayout;
        grid->setHorizontalSpacing(2);
        grid->setVerticalSpacing(0);
        int row = 0;
        for (const auto &[name, color] : tints) {
            grid->addWidget(caption(QString::fromLatin1(name)), row, 0, Qt::AlignLeft | Qt::AlignVCenter);
            for (int i = 0; i < identifiers.size(); ++i) {
                const ImagePtr image = AssetStore::image(identifiers[i], color);
                grid->addWidget(new ImageTile(image, 16, identifiers[i]), row, i + 1);
            }
            ++row;
        }
        grid->setColumnStretch(identifiers.size() + 1, 1);
        column->addLayout(grid);
    }

    // ---- Sizes: vector icons are rendered at the size they are drawn ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Sizes")));
    {
        auto *row = new QHBoxLayout;
        row->setSpacing(4);
        const QString samples[] = {QStringLiteral("Icon/Outline/Eye/Show"), QStringLiteral("Icon/Fill/Checkmark/Small/Circle"),
                                   QStringLiteral("Icon/Outline/Magnifier/Small")};
        for (const QString &identifier : samples) {
            const ImagePtr image = AssetStore::image(identifier, Color::iconStrongerNeutral());
            for (qreal side : {12.0, 16.0, 24.0, 32.0, 48.0})
                row->addWidget(new ImageTile(image, side, identifier), 0, Qt::AlignBottom);
            row->addSpacing(18);
        }
        row->addStretch(1);
        column->addLayout(row);
    }

    // ---- Light and dark: the same images, each card forcing one look ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Light and dark pairs")));
    {
        auto *row = new QHBoxLayout;
        row->setSpacing(16);
        // Each card shows: an icon tinted by the asset store with a token
        // (the colour is asked when drawn), a light/dark image tinted with a
        // token (one variant per value), a pair of distinct variants, and a
        // drawing handler run once per appearance.
        const QString eyeName = QStringLiteral("Icon/Outline/Eye/Show");
        const ImagePtr storeTinted = AssetStore::image(eyeName, Color::iconStrongerNeutral());
        const ImagePtr pairTinted =
            kalvo::KalvoImage::image(AssetStore::image(eyeName), nullptr)->newImageWithTintColor(Color::iconPrimary());
        const ImagePtr pair = kalvo::KalvoImage::image(
            AssetStore::image(QStringLiteral("Icon/Fill/Checkmark/Small/Circle"),
                              kalvo::PlatformColor(QColor(0x1F, 0x7A, 0x3A))),
            AssetStore::image(QStringLiteral("Icon/Fill/Alert/Small/Circle"),
                              kalvo::PlatformColor(QColor(0xF5, 0xB7, 0x3B))));
        const ImagePtr drawn = kalvo::Image::tnImageWithSize(QSizeF(24, 24), [](QPainter &painter, const QRectF &rect) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Color::fillPrimary()->resolved());
            painter.drawEllipse(rect.adjusted(2, 2, -2, -2));
            painter.setBrush(Color::backgroundDefault()->resolved());
            painter.drawEllipse(rect.adjusted(8, 8, -8, -8));
        });
        for (const auto &[label, appearance] :
             {std::pair{QStringLiteral("Light"), kalvo::TNAppearance::light()},
              std::pair{QStringLiteral("Dark"), kalvo::TNAppearance::dark()}}) {
            auto *surface = new Card(label, appearance);
            auto *layout = new QHBoxLayout(surface);
            layout->setContentsMargins(70, 10, 14, 10);
            layout->setSpacing(6);
            layout->addWidget(new ImageTile(storeTinted, 24, QStringLiteral("asset store, iconStrongerNeutral")));
            layout->addWidget(new ImageTile(pairTinted, 24, QStringLiteral("light/dark image, iconPrimary")));
            layout->addWidget(new ImageTile(pair, 24, QStringLiteral("two variants")));
            layout->addWidget(new ImageTile(drawn, 24, QStringLiteral("drawn once per appearance")));
            row->addWidget(surface);
        }
        row->addStretch(1);
        column->addLayout(row);
    }

    // ---- Sentiment icons ----
    column->addSpacing(6);
    column->addWidget(heading(QStringLiteral("Sentiment icons")));
    {
        auto *row = new QHBoxLayout;
        row->setSpacing(10);
        for (const auto &sentiment : kalvo::EnumTraits<kalvo::Sentiment>::rows) {
            const ImagePtr icon = AssetStore::icon(sentiment.value);
            const QString name = QString::fromLatin1(sentiment.description);
            row->addWidget(iconWithCaption(icon, icon->isEmpty() ? name + QStringLiteral(" (none)") : name, 16));
        }
        row->addStretch(1);
        column->addLayout(row);
    }

    column->addStretch(1);
    return page;
}

} // namespace gallery
