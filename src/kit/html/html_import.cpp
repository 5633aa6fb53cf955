// The HTML import path: Qt's rich-text import, walked into styled text, then
// normalised.
//
// Qt draws list markers itself instead of putting them in the text, so the
// walk writes them as text the way other text systems import lists: one tab
// per nesting level, the marker ("•", or the item's number with its dot),
// and a tab. The marker runs carry no kerning (their font has kerning off),
// which is what tells them from the item's own text in the list rules.
#include <kalvo/html/htmlimport.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/tncolors.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>

#include <cmath>

namespace kalvo {

TNHTMLStringAdjustment::TNHTMLStringAdjustment() : textColor(tnPriTextColor()) {}

TNHTMLStringAdjustment TNHTMLStringAdjustment::defaultAdjustment()
{
    return TNHTMLStringAdjustment();
}

namespace {

const QChar kBullet(0x2022);
// Where a list item's later lines start, per nesting level: the marker's
// tab stop plus room for the marker.
constexpr qreal kListLevelIndent = 28;
constexpr qreal kListMarkerWidth = 8;
// An ordered marker that needed its dot gets this much more indent.
constexpr qreal kAddedDotIndent = 4;

struct Paragraph
{
    TextRange range;   // including its line feed
    qreal headIndent = 0; // above 0: a list paragraph
};

// Font sizes are bounded: a huge size would stall every layout that meets it.
constexpr qreal kMaxFontSize = 1000;

// The application's font at `size` device-independent pixels (the unit of
// Kalvo's typography and of the snippet parser's fonts).
QFont systemFont(qreal size)
{
    QFont font = QGuiApplication::font();
    font.setStyleName(QString()); // a named face would pin weight and slant
    font.setPixelSize(std::max(1, qRound(size > 0 && std::isfinite(size) ? std::min(size, kMaxFontSize) : 12.0)));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

TextAttributes attributesOf(const QTextCharFormat &format)
{
    TextAttributes a;
    a.font = format.font();
    if (format.fontUnderline())
        a.underline = UnderlineStyle::Single;
    if (format.isAnchor() && !format.anchorHref().isEmpty())
        a.link = format.anchorHref();
    return a;
}

QString markerText(const QTextBlock &block, const QTextList *list)
{
    const QTextListFormat format = list->format();
    const int level = std::clamp(format.indent(), 1, 32);
    QString marker;
    switch (format.style()) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare:
        marker = kBullet;
        break;
    default:
        marker = list->itemText(block).trimmed();
        if (marker.isEmpty())
            marker = QString::number(list->itemNumber(block) + 1) + QLatin1Char('.');
        break;
    }
    return QString(level, QLatin1Char('\t')) + marker + QLatin1Char('\t');
}

// The document as styled text: every block ends in a line feed (as block
// elements do in HTML), list blocks start with their marker.
StyledText walk(const QTextDocument &document, std::vector<Paragraph> &paragraphs)
{
    StyledText out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        Paragraph paragraph;
        paragraph.range.location = out.length();
        if (const QTextList *list = block.textList()) {
            TextAttributes marker;
            QFont font = block.charFormat().font();
            font.setKerning(false);
            marker.font = font;
            out.append(markerText(block, list), marker);
            paragraph.headIndent = std::clamp(list->format().indent(), 1, 32) * kListLevelIndent + kListMarkerWidth;
        }
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                continue; // images are not imported
            QString text = fragment.text();
            // Line breaks inside a paragraph (<br>) as line feeds; stray
            // object characters are dropped.
            text.replace(QChar::LineSeparator, QLatin1Char('\n'));
            text.remove(QChar::ObjectReplacementCharacter);
            if (!text.isEmpty())
                out.append(text, attributesOf(format));
        }
        out.append(QStringLiteral("\n"), attributesOf(block.charFormat()));
        paragraph.range.length = out.length() - paragraph.range.location;
        paragraphs.push_back(paragraph);
    }
    return out;
}

const Paragraph *paragraphAt(const std::vector<Paragraph> &paragraphs, qsizetype position)
{
    auto it = std::upper_bound(paragraphs.begin(), paragraphs.end(), position,
                               [](qsizetype p, const Paragraph &paragraph) { return p < paragraph.range.location; });
    if (it == paragraphs.begin())
        return nullptr;
    --it;
    return it->range.contains(position) ? &*it : nullptr;
}

bool carriesKerning(const TextAttributes &a)
{
    return a.font && a.font->kerning();
}

void normalizeFonts(StyledText &text, const std::vector<Paragraph> &paragraphs, qreal size)
{
    for (const StyledRun &run : text.runs()) {
        if (!run.attributes.font)
            continue;
        const QFont &old = *run.attributes.font;
        const Paragraph *paragraph = paragraphAt(paragraphs, run.range.location);
        const bool bulletMarker = paragraph && paragraph->headIndent > 0 && !old.kerning()
            && QStringView(text.text()).mid(run.range.location, run.range.length).contains(kBullet);
        QFont font = systemFont(size);
        if (bulletMarker && QFontDatabase::hasFamily(old.family()))
            font.setFamily(old.family());
        if (old.weight() >= QFont::DemiBold)
            font.setWeight(QFont::Bold);
        if (old.italic())
            font.setItalic(true);
        font.setKerning(old.kerning());
        text.addFont(font, run.range);
    }
}

// A list paragraph's runs become items: marker runs get their paragraph's
// head indent (and their trailing blanks rewritten), the item's own text the
// head indent of the item before it.
void rewriteLists(StyledText &text, const std::vector<Paragraph> &paragraphs, qreal spacing)
{
    struct Item
    {
        TextRange range;
        qreal headIndent = 0;
        std::optional<TextRange> blanks; // trailing blanks to replace
        QString replacement;
    };
    std::vector<Item> items;
    const std::vector<StyledRun> runs = text.runs();
    const QString &string = text.text();
    auto run = runs.begin();
    for (const Paragraph &paragraph : paragraphs) {
        if (!(paragraph.headIndent > 0))
            continue;
        while (run != runs.end() && run->range.end() <= paragraph.range.location)
            ++run;
        for (auto r = run; r != runs.end() && r->range.location < paragraph.range.end(); ++r) {
            const qsizetype start = std::max(r->range.location, paragraph.range.location);
            const qsizetype end = std::min(r->range.end(), paragraph.range.end());
            const TextRange range{start, end - start};
            const QStringView piece = QStringView(string).mid(range.location, range.length);
            if (carriesKerning(r->attributes)) {
                if (!piece.isEmpty())
                    items.push_back({range, items.empty() ? 0 : items.back().headIndent, std::nullopt, {}});
                continue;
            }
            const bool unordered = piece.contains(kBullet);
            const bool needsDot = !unordered && !piece.contains(QLatin1Char('.'));
            qsizetype blanks = 0;
            while (blanks < piece.size()
                   && (piece[piece.size() - 1 - blanks] == QLatin1Char(' ')
                       || piece[piece.size() - 1 - blanks] == QLatin1Char('\t')))
                ++blanks;
            // Kept only with blanks after other characters.
            if (blanks == 0 || blanks == piece.size())
                continue;
            items.push_back({range, paragraph.headIndent + (needsDot ? kAddedDotIndent : 0),
                             TextRange{range.end() - blanks, blanks},
                             needsDot ? QStringLiteral(". ") : QStringLiteral(" ")});
        }
    }

    qsizetype shift = 0;
    for (const Item &item : items) {
        TextRange range{item.range.location + shift, item.range.length};
        if (item.blanks) {
            text.replace({item.blanks->location + shift, item.blanks->length}, item.replacement);
            const qsizetype delta = item.replacement.size() - item.blanks->length;
            range.length += delta;
            shift += delta;
        }
        TextAttributes style;
        style.headIndent = item.headIndent;
        style.paragraphSpacing = spacing;
        text.addAttributes(style, range);
    }
}

} // namespace

StyledText loadHTMLWithAdjustment(const QString &html, const TNHTMLStringAdjustment &adjustment)
{
    if (html.isEmpty())
        return {};
    QTextDocument document;
    document.setDefaultFont(QGuiApplication::font());
    document.setHtml(html);
    if (document.isEmpty())
        return {};

    std::vector<Paragraph> paragraphs;
    StyledText text = walk(document, paragraphs);
    const TextRange all{0, text.length()};

    text.addForegroundColor(adjustment.textColor ? adjustment.textColor : tnPriTextColor(), all);
    const qreal spacing = std::isfinite(adjustment.paragraphSpacing) ? adjustment.paragraphSpacing : 0;
    TextAttributes style;
    style.paragraphSpacing = spacing;
    text.addAttributes(style, all);
    normalizeFonts(text, paragraphs, adjustment.fontSize);
    rewriteLists(text, paragraphs, spacing);

    if (adjustment.shouldRemoveLastNewlineCharacter && text.text().endsWith(QLatin1Char('\n')))
        text.remove({text.length() - 1, 1});
    return text;
}

void loadHTMLWithAdjustment(const QString &html, const TNHTMLStringAdjustment &adjustment,
                            std::function<void(StyledText)> completion)
{
    if (!completion)
        return;
    async([html, adjustment, completion = std::move(completion)] {
        completion(loadHTMLWithAdjustment(html, adjustment));
    });
}

} // namespace kalvo
