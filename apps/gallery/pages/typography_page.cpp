// Every step of the typography scale, upright and italic, with its number,
// size and weight.
#include "gallery_page.h"

#include <kalvo/foundation/typography.h>

#include <QGridLayout>
#include <QLabel>
#include <QWidget>

namespace gallery {

QWidget *createTypographyPage(const Look &)
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(24, 20, 24, 24);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(14);

    const QString sample = QStringLiteral("Weekly sync starts in 5 minutes");
    int row = 0;
    for (kalvo::Typograph typograph : kalvo::allCases<kalvo::Typograph>()) {
        auto *caption = new QLabel(QStringLiteral("%1  %2")
                                       .arg(kalvo::toRaw(typograph))
                                       .arg(kalvo::description(typograph)));
        caption->setForegroundRole(QPalette::PlaceholderText);
        caption->setFont(kalvo::fontWithTypograph(kalvo::Typograph::regular12));

        auto *upright = new QLabel(sample);
        upright->setFont(kalvo::fontWithTypograph(typograph));
        auto *italic = new QLabel(QStringLiteral("Italic"));
        italic->setFont(kalvo::fontWithTypograph(typograph, true));

        grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(upright, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(italic, row, 2, Qt::AlignLeft | Qt::AlignVCenter);
        ++row;
    }
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(row, 1);
    return page;
}

} // namespace gallery
