#include "gallery_page.h"

#include <QStringList>

namespace gallery {

const std::vector<Page> &pages()
{
    static const std::vector<Page> all{
        {QStringLiteral("typography"), QStringLiteral("Typography"), createTypographyPage},
        {QStringLiteral("colours"), QStringLiteral("Colours"), createColoursPage},
        {QStringLiteral("views"), QStringLiteral("Views"), createViewsPage},
        {QStringLiteral("buttons"), QStringLiteral("Buttons"), createButtonsPage},
        {QStringLiteral("icons"), QStringLiteral("Icons"), createIconsPage},
        {QStringLiteral("styled-text"), QStringLiteral("Styled text"), createStyledTextPage},
    };
    return all;
}

QStringList themeNames()
{
    return {QStringLiteral("default"), QStringLiteral("bloom"), QStringLiteral("agave"), QStringLiteral("rose")};
}

} // namespace gallery
