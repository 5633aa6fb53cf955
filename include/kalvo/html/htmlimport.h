// Importing full HTML (Qt's rich-text import) into styled text, normalised
// for labels: one text colour, the application font at one size (bold and
// italic kept), a fixed paragraph spacing, and list markers written as text.
//
//   StyledText text = loadHTMLWithAdjustment(html, TNHTMLStringAdjustment::defaultAdjustment());
//   loadHTMLWithAdjustment(html, adjustment, [label](StyledText text) { label->setStyledText(text); });
//
// List items come out as paragraphs that start with their marker ("• " or
// "1. " after one tab per nesting level) and whose later lines are indented
// (TextAttributes::headIndent). Main thread only (Qt's import builds fonts).
#pragma once

#include <kalvo/html/styledtext.h>
#include <kalvo/theme/color.h>

#include <functional>

namespace kalvo {

struct KALVO_EXPORT TNHTMLStringAdjustment
{
    // Default: tnPriTextColor.
    ColorPtr textColor;
    double paragraphSpacing = 0;
    double fontSize = 12;
    bool shouldRemoveLastNewlineCharacter = false;

    TNHTMLStringAdjustment();
    static TNHTMLStringAdjustment defaultAdjustment();
};

// An empty text gives an empty result.
KALVO_EXPORT StyledText loadHTMLWithAdjustment(const QString &html, const TNHTMLStringAdjustment &adjustment);
// The same, run soon on the main thread through the scheduler; the result
// goes to `completion` there.
KALVO_EXPORT void loadHTMLWithAdjustment(const QString &html, const TNHTMLStringAdjustment &adjustment,
                                         std::function<void(StyledText)> completion);

} // namespace kalvo
