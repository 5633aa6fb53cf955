// The snippet parser: tokens → text with pieces → elements → inherited
// styles → attribute ranges swept into runs → inline views aligned.
//
// Every step is linear or n log n in the number of tokens: elements pair
// through one stack per tag name, inheritance is a sweep over elements
// sorted by start, element output ranges are binary searches over the
// appended pieces, and styles go through RunBuilder rather than
// StyledText::addAttributes one range at a time.
#include <kalvo/html/htmlsnippet.h>

#include "html_snippet_p.h"
#include "html_snippet_runs.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <type_traits>

namespace kalvo {

using namespace html_detail;

// ---- TNHTMLAttributeDictionary ----

const QString *TNHTMLAttributeDictionary::find(QStringView name) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->first == name)
            return &it->second;
    }
    return nullptr;
}

QString TNHTMLAttributeDictionary::value(QStringView name) const
{
    const QString *found = find(name);
    return found ? *found : QString();
}

void TNHTMLAttributeDictionary::insert(const QString &name, const QString &value)
{
    for (Entry &entry : m_entries) {
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    }
    m_entries.emplace_back(name, value);
}

namespace {

constexpr qreal kDefaultFontSize = 13.0;
// Sizes come from servers; a font of millions of pixels would stall every
// text layout that meets it.
constexpr qint64 kMaxFontSize = 1000;

// ---- Fonts and colours, cached per thread ----

// The application's fonts at a size in device-independent pixels (the unit
// of Kalvo's typography), bold and italic as asked; kept per thread and
// dropped when the application font changes (checked once per snippet).
struct FontCache
{
    QFont base;
    bool valid = false;
    std::map<int, QFont> fonts; // by key()
    // The font last asked for per slot, in front of the map: a message
    // uses a handful of fonts, many times each. (The fonts stay put until
    // the next refresh(), which a parse calls once, before its first font:
    // the run builder refers to them until the runs are built.)
    std::array<std::pair<int, const QFont *>, 32> recent {};

    static int key(int pixels, bool bold, bool italic) { return pixels * 4 + (bold ? 2 : 0) + (italic ? 1 : 0); }

    void refresh()
    {
        const QFont application = QGuiApplication::font();
        if (!valid || !(base == application)) {
            base = application;
            valid = true;
            fonts.clear();
            recent.fill({-1, nullptr});
        }
    }

    const QFont &font(int pixels, bool bold, bool italic)
    {
        const int k = key(pixels, bold, italic);
        auto &slot = recent[(unsigned(k) * 2654435761u) >> 27];
        if (slot.first == k)
            return *slot.second;
        auto it = fonts.find(k);
        if (it == fonts.end()) {
            QFont font = base;
            font.setStyleName(QString()); // a named face would pin weight and slant
            font.setPixelSize(pixels);
            font.setWeight(bold ? QFont::Bold : QFont::Normal);
            font.setItalic(italic);
            it = fonts.emplace(k, font).first;
        }
        slot = {k, &it->second};
        return it->second;
    }
};

FontCache &fontCache()
{
    thread_local FontCache cache;
    return cache;
}

int pixelSizeOf(qint64 size)
{
    return size >= 1 ? int(std::min(size, kMaxFontSize)) : int(kDefaultFontSize);
}

// ---- Attribute values ----

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "#RRGGBB" or "#RRGGBB,alpha" (alpha 1.0 when missing); anything else
// leaves the colour unset.
void parseColor(std::string_view text, qint64 &color, float &alpha)
{
    if (text.empty() || text.front() != '#')
        return;
    const std::size_t comma = text.find(',');
    const std::string_view hex = text.substr(0, comma);
    if (hex.size() != 7 || !std::all_of(hex.begin() + 1, hex.end(), isHexDigit))
        return;
    qint64 value = 0;
    for (char c : hex.substr(1))
        value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    color = value;
    if (comma == std::string_view::npos) {
        alpha = 1.0f;
    } else {
        std::string_view rest = text.substr(comma + 1);
        rest = rest.substr(0, rest.find(','));
        alpha = float(doubleValue(rest));
    }
}

// A whole number (after trimming), or nothing.
std::optional<double> strictNumber(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    const bool hasDigit = std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!hasDigit)
        return std::nullopt;
    return doubleValue(text);
}

// "(x,y)".
std::optional<QPointF> parseOffset(std::string_view text)
{
    if (text.size() < 3 || text.front() != '(' || text.back() != ')')
        return std::nullopt;
    const std::string_view inner = text.substr(1, text.size() - 2);
    const std::size_t comma = inner.find(',');
    if (comma == std::string_view::npos || inner.find(',', comma + 1) != std::string_view::npos)
        return std::nullopt;
    const auto x = strictNumber(inner.substr(0, comma));
    const auto y = strictNumber(inner.substr(comma + 1));
    if (!x || !y)
        return std::nullopt;
    return QPointF(*x, *y);
}

QObject *objectFromVariant(const QVariant &value)
{
    if (!value.isValid() || !(value.metaType().flags() & QMetaType::PointerToQObject))
        return nullptr;
    return value.value<QObject *>();
}

bool startsWithTNScheme(const QString &link)
{
    return link.size() >= 5 && QStringView(link).left(5).compare(u"tn://", Qt::CaseInsensitive) == 0;
}

// ---- The parser ----

// The workspace keeps its memory between snippets (allocating it afresh
// costs more than the parse), except after inputs beyond this size.
constexpr qsizetype kKeptBytes = 4 * 1024 * 1024;

// An appended piece: the input range it came from and where it landed.
struct Piece
{
    std::uint32_t token = 0;
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype destStart = 0;
    qsizetype destEnd = 0;
};

// What an opening "a" resolved to.
struct LinkInfo
{
    QString href;
    QPointer<QObject> target;
    QString action;
    QString toolTip;
};

struct Element
{
    qsizetype start = 0;
    qsizetype end = 0;
    std::uint32_t token = 0;
    Tag tag = Tag::Text;
    bool bold = false; // own, then inherited
    bool italic = false; // inherited from an enclosing "i"
    qint64 size = 0; // own, then inherited
};

// Everything a parse keeps between snippets, whichever form the input has.
struct Workspace
{
    Tokens tokens;
    QString text;
    std::vector<Piece> pieces;
    std::vector<std::pair<std::uint32_t, LinkInfo>> links; // by opening token, in order
    std::vector<std::pair<qsizetype, TextAttachmentPtr>> views; // inline views to align
    std::vector<Element> elements; // by start
    std::array<std::vector<std::uint32_t>, 5> open; // pairing stacks of element indexes
    std::vector<std::pair<qsizetype, qint64>> sized; // (end, size), see inherit()
    std::string ascii; // a narrowed attribute value
    RunBuilder runs;
};

// One parse of UTF-8 bytes (Ch = char) or UTF-16 units (Ch = char16_t).
// Offsets into the input count bytes or units, as the input is; the
// output is the same for the same text.
template<typename Ch> class SnippetParser
{
public:
    SnippetParser(Workspace &work, const Ch *data, qsizetype size, const TNHTMLAttachments &attachments)
        : m_data(data), m_size(size), m_attachments(attachments), m_work(work)
    { }

    StyledText parse(std::vector<TNHTMLNode> *nodes = nullptr);

private:
    const RawAttribute *find(const Token &token, std::string_view name) const
    {
        return m_work.tokens.find(m_data, token, name);
    }
    // A value read as a number, colour or offset. Those readers stop at
    // anything but ASCII, so UTF-16 is narrowed with every other unit as
    // 0x80 (never ASCII, as in UTF-8). The view lasts until the next call.
    std::string_view ascii(const RawAttribute *attribute)
    {
        if (!attribute)
            return {};
        const Ch *value = m_data + attribute->valueBegin;
        const std::size_t length = std::size_t(attribute->valueLength);
        if constexpr (std::is_same_v<Ch, char>) {
            return {value, length};
        } else {
            std::string &narrow = m_work.ascii;
            narrow.resize(length);
            for (std::size_t k = 0; k < length; ++k)
                narrow[k] = value[k] < 0x80 ? char(value[k]) : char(0x80);
            return narrow;
        }
    }
    QString value(const RawAttribute *attribute, bool entities = false) const
    {
        return attribute ? decodedString(m_data + attribute->valueBegin, attribute->valueLength, entities) : QString();
    }
    QVariant attachment(const RawAttribute *key) const
    {
        if (!key || key->valueLength == 0)
            return {};
        auto it = m_attachments.find(value(key));
        return it == m_attachments.end() ? QVariant() : it->second;
    }

    // The font cache, checked against the application font once per
    // snippet, and only when the snippet styles fonts at all.
    const QFont &font(qint64 size, bool bold, bool italic)
    {
        if (!m_fonts) {
            m_fonts = &fontCache();
            m_fonts->refresh();
        }
        return m_fonts->font(pixelSizeOf(size), bold, italic);
    }

    void release();
    void readTokens();
    void appendAttachment(std::size_t tokenIndex, TextAttachmentPtr attachment, qsizetype &out);
    void pairElement(std::size_t tokenIndex, int slot, Appender<Element> &elements);
    void inherit();
    void style();
    void alignInlineViews(const StyledText &text) const;
    void fillNodes(std::vector<TNHTMLNode> &nodes);

    const Ch *m_data;
    qsizetype m_size;
    const TNHTMLAttachments &m_attachments;
    Workspace &m_work;
    FontCache *m_fonts = nullptr;
};

template<typename Ch>
void SnippetParser<Ch>::appendAttachment(std::size_t tokenIndex, TextAttachmentPtr attachment, qsizetype &out)
{
    if (!attachment)
        return;
    if (const auto offset = parseOffset(ascii(find(m_work.tokens.tokens[tokenIndex], "offset"))))
        attachment->setBaselineOffset(*offset);
    reinterpret_cast<char16_t *>(m_work.text.data())[out] = kAttachmentCharacter;
    m_work.runs.add({out, 1}).attachment = std::move(attachment);
    ++out;
}

// One pass over the tokens: the text with its pieces, the links, the inline
// views and the elements.
template<typename Ch> void SnippetParser<Ch>::readTokens()
{
    const auto &tokens = m_work.tokens.tokens;
    // Output never outgrows the input: text decodes to at most one unit per
    // byte or unit, and every tag that appends a character is longer than
    // one. (So each text token's output starts no later than its input,
    // which is what lets the decoders store whole words.)
    QString &text = m_work.text;
    text = QString(m_size, Qt::Uninitialized);
    auto *buffer = reinterpret_cast<char16_t *>(text.data());
    Appender<Piece> pieces(m_work.pieces);
    Appender<Element> elements(m_work.elements);
    for (auto &stack : m_work.open)
        stack.clear();
    qsizetype out = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token &token = tokens[i];
        const qsizetype before = out;
        switch (token.tag) {
        case Tag::Text:
            if constexpr (std::is_same_v<Ch, char16_t>) {
                // The rest of the input follows the text, and the output has
                // room for all of it (see above).
                out += decodeText(
                    m_data + token.begin, token.end - token.begin, m_size - token.begin, buffer + out, true);
            } else {
                out += decodeText(m_data + token.begin, token.end - token.begin, buffer + out, true);
            }
            break;
        case Tag::Br:
        case Tag::BrSlash:
            buffer[out++] = u'\n';
            break;
        case Tag::A:
            pairElement(i, 0, elements);
            if (!token.trail) {
                LinkInfo link;
                link.href = value(find(token, "href"), true);
                if (QObject *target = objectFromVariant(attachment(find(token, "target"))))
                    link.target = target;
                link.action = value(find(token, "action"));
                link.toolTip = value(find(token, "toolTip"));
                m_work.links.emplace_back(std::uint32_t(i), std::move(link));
            }
            break;
        case Tag::TNView:
            if (!token.trail) {
                if (TextAttachmentPtr cell
                    = viewAttachmentFromObject(objectFromVariant(attachment(find(token, "key"))))) {
                    const qsizetype position = out;
                    appendAttachment(i, cell, out);
                    if (!cell->hasBaselineOffset())
                        m_work.views.emplace_back(position, cell);
                }
            }
            break;
        case Tag::Img:
            if (!token.trail) {
                TextAttachmentPtr cell;
                if (const RawAttribute *key = find(token, "imageKey"))
                    cell = imageAttachmentFromValue(attachment(key));
                else if (const RawAttribute *src = find(token, "src"); src && src->valueLength > 0)
                    cell = namedImageAttachment(value(src));
                appendAttachment(i, std::move(cell), out);
            }
            break;
        case Tag::B:
            pairElement(i, 1, elements);
            break;
        case Tag::I:
            pairElement(i, 2, elements);
            break;
        case Tag::U:
            pairElement(i, 3, elements);
            break;
        case Tag::Font:
            pairElement(i, 4, elements);
            break;
        }
        if (out > before) {
            Piece &piece = pieces.next();
            piece.token = std::uint32_t(i);
            piece.begin = token.begin;
            piece.end = token.end;
            piece.destStart = before;
            piece.destEnd = out;
        }
    }
    pieces.finish();
    elements.finish();
    text.truncate(out);
    if (m_size > 4096 && out * 2 < m_size)
        text.squeeze(); // mostly markup: do not keep the whole input's room
}

// One stack per styled tag; a closing tag closes the latest open one of its
// name, a closing tag with none open is dropped, and an element left open
// runs to the end. Elements are made as their opening tags come, so they
// come by start without sorting.
template<typename Ch> void SnippetParser<Ch>::pairElement(std::size_t tokenIndex, int slot, Appender<Element> &elements)
{
    const Token &token = m_work.tokens.tokens[tokenIndex];
    auto &stack = m_work.open[std::size_t(slot)];
    if (!token.trail) {
        stack.push_back(std::uint32_t(elements.size()));
        Element &element = elements.next();
        element.start = token.begin;
        element.end = m_size;
        element.token = std::uint32_t(tokenIndex);
        element.tag = token.tag;
        element.bold = token.tag == Tag::B;
        element.italic = false;
        element.size = token.tag == Tag::Font ? integerValue(ascii(find(token, "size"))) : 0;
    } else if (!stack.empty()) {
        elements[stack.back()].end = token.end;
        stack.pop_back();
    }
}

// An element that ends within an earlier bold (italic) element becomes bold
// (italic); one without a size takes the size of the earliest enclosing
// element that has one. Elements come sorted by start, so "encloses" is
// "starts earlier and ends no earlier".
template<typename Ch> void SnippetParser<Ch>::inherit()
{
    qsizetype boldEnd = -1;
    qsizetype italicEnd = -1;
    // Sized elements that can still answer: later ones that end no later
    // than an earlier one never can, so ends increase along the list.
    auto &sized = m_work.sized; // (end, size)
    sized.clear();
    for (Element &element : m_work.elements) {
        const bool ownBold = element.bold;
        const bool ownSize = element.size >= 1;
        if (boldEnd >= element.end)
            element.bold = true;
        if (italicEnd >= element.end)
            element.italic = true;
        if (!ownSize) {
            auto it = std::lower_bound(sized.begin(), sized.end(), element.end,
                [](const auto &entry, qsizetype end) { return entry.first < end; });
            if (it != sized.end())
                element.size = it->second;
        }
        if (ownBold)
            boldEnd = std::max(boldEnd, element.end);
        if (element.tag == Tag::I)
            italicEnd = std::max(italicEnd, element.end);
        if (ownSize && (sized.empty() || element.end > sized.back().first))
            sized.emplace_back(element.end, element.size);
    }
}

template<typename Ch> void SnippetParser<Ch>::style()
{
    const auto &tokens = m_work.tokens.tokens;
    const auto &pieces = m_work.pieces;
    auto &links = m_work.links;
    RunBuilder &runs = m_work.runs;
    runs.reserve(m_work.elements.size() + m_work.views.size());
    auto linkOf = [&](std::uint32_t token) -> LinkInfo * {
        auto it = std::lower_bound(
            links.begin(), links.end(), token, [](const auto &entry, std::uint32_t t) { return entry.first < t; });
        return it != links.end() && it->first == token ? &it->second : nullptr;
    };
    const std::size_t pieceCount = pieces.size();
    std::size_t cursor = 0;
    for (const Element &element : m_work.elements) {
        // The pieces inside the element are a contiguous stretch. Elements
        // come by start, so its first piece only moves forward; its last is
        // found by galloping from there (elements mostly hold few pieces).
        while (cursor < pieceCount && pieces[cursor].begin < element.start)
            ++cursor;
        std::size_t low = cursor;
        std::size_t high = cursor;
        for (std::size_t step = 1; high < pieceCount && pieces[high].end <= element.end; step <<= 1) {
            low = high + 1;
            high = cursor + step;
        }
        high = std::min(high, pieceCount);
        const auto firstIt = pieces.begin() + std::ptrdiff_t(cursor);
        const auto last = std::upper_bound(pieces.begin() + std::ptrdiff_t(low), pieces.begin() + std::ptrdiff_t(high),
            element.end, [](qsizetype end, const Piece &piece) { return end < piece.end; });
        if (firstIt == last)
            continue;
        const auto first = firstIt;
        const TextRange range {first->destStart, (last - 1)->destEnd - first->destStart};

        TextAttributes &attributes = runs.add(range);
        switch (element.tag) {
        case Tag::A: {
            // Each opening "a" makes one element, so its link can give its
            // strings away.
            LinkInfo *link = linkOf(element.token);
            if (!link)
                break;
            if (!link->href.isEmpty()) {
                if (startsWithTNScheme(link->href))
                    attributes.axRole = TNAXButtonRole;
                attributes.link = std::move(link->href);
                attributes.foregroundColor = snippetLinkColor();
                attributes.cursor = Qt::PointingHandCursor;
            } else if (link->target && !link->action.isEmpty()) {
                attributes.foregroundColor = snippetLinkColor();
                attributes.cursor = Qt::PointingHandCursor;
                attributes.link = link->toolTip.isEmpty() ? QStringLiteral("TN://DEFAULT") : link->toolTip;
                attributes.target = link->target;
                attributes.action = link->action;
                attributes.axRole = TNAXButtonRole;
            }
            break;
        }
        case Tag::B:
            runs.shareFont(font(element.size, true, element.italic));
            break;
        case Tag::I:
            runs.shareFont(font(element.size, element.bold, true));
            break;
        case Tag::U:
            attributes.underline = UnderlineStyle::Single;
            break;
        case Tag::Font: {
            if (element.size >= 1)
                runs.shareFont(font(element.size, element.bold, element.italic));
            const Token &token = tokens[element.token];
            TNHTMLColorValue color;
            parseColor(ascii(find(token, "color")), color.lightColor, color.lightAlpha);
            parseColor(ascii(find(token, "darkcolor")), color.darkColor, color.darkAlpha);
            if (color.lightAlpha > 0)
                attributes.foregroundColor = snippetColor(color);
            break;
        }
        default:
            break;
        }
    }
}

// A view taller than the line's font would push the line apart: it is
// lowered so that its top meets the font's height instead.
template<typename Ch> void SnippetParser<Ch>::alignInlineViews(const StyledText &text) const
{
    for (const auto &[position, cell] : m_work.views) {
        if (cell->hasBaselineOffset())
            continue;
        const qsizetype neighbour = position > 0 ? position - 1 : position + 1;
        const TextAttributes attributes = text.attributesAt(neighbour);
        qreal size = kDefaultFontSize;
        if (attributes.font)
            size = attributes.font->pixelSize() > 0 ? attributes.font->pixelSize() : attributes.font->pointSizeF();
        const qreal height = cell->cellSize().height();
        if (height > size)
            cell->setBaselineOffset(QPointF(0, size - height));
    }
}

template<typename Ch> void SnippetParser<Ch>::fillNodes(std::vector<TNHTMLNode> &nodes)
{
    const auto &tokens = m_work.tokens.tokens;
    const auto &pieces = m_work.pieces;
    const auto &links = m_work.links;
    nodes.clear();
    nodes.reserve(tokens.size());
    auto piece = pieces.begin();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token &token = tokens[i];
        TNHTMLNode node;
        node.name = QString::fromLatin1(tagName(token.tag).data(), qsizetype(tagName(token.tag).size()));
        node.range = {token.begin, token.end - token.begin};
        while (piece != pieces.end() && piece->token < i)
            ++piece;
        if (piece != pieces.end() && piece->token == i)
            node.destinationStringRange = {piece->destStart, piece->destEnd - piece->destStart};
        node.trail = token.trail;
        node.isText = token.tag == Tag::Text;
        node.isCustomView = token.tag == Tag::TNView;
        TNHTMLNodeAttribute &attribute = node.attribute;
        for (std::uint32_t a = 0; a < token.attributeCount; ++a) {
            const RawAttribute &raw = m_work.tokens.attributes[token.firstAttribute + a];
            attribute.attribute.insert(decodedString(m_data + raw.nameBegin, raw.nameLength, false),
                decodedString(m_data + raw.valueBegin, raw.valueLength, false));
        }
        if (!token.trail) {
            switch (token.tag) {
            case Tag::B:
                attribute.isBold = true;
                break;
            case Tag::A: {
                attribute.hrefLink = value(find(token, "href"), true);
                auto it = std::lower_bound(links.begin(), links.end(), std::uint32_t(i),
                    [](const auto &entry, std::uint32_t t) { return entry.first < t; });
                if (it != links.end() && it->first == i) {
                    attribute.target = it->second.target;
                    attribute.action = it->second.action;
                    attribute.toolTip = it->second.toolTip;
                }
                break;
            }
            case Tag::Font:
                attribute.fontSize = integerValue(ascii(find(token, "size")));
                parseColor(ascii(find(token, "color")), attribute.textColor.lightColor, attribute.textColor.lightAlpha);
                parseColor(
                    ascii(find(token, "darkcolor")), attribute.textColor.darkColor, attribute.textColor.darkAlpha);
                break;
            default:
                break;
            }
        }
        nodes.push_back(std::move(node));
    }
}

template<typename Ch> StyledText SnippetParser<Ch>::parse(std::vector<TNHTMLNode> *nodes)
{
    if (m_size <= 0)
        return {};
    // Everything from the last snippet goes; the memory stays.
    m_work.links.clear();
    m_work.views.clear();
    m_work.runs.clear();
    tokenize(m_data, m_size, m_work.tokens);
    readTokens();
    inherit();
    style();
    StyledText text = m_work.runs.build(std::move(m_work.text));
    m_work.text = QString();
    alignInlineViews(text);
    if (nodes)
        fillNodes(*nodes);
    release();
    return text;
}

// The kept workspace must not keep the snippet's objects alive (targets,
// images, views) until the next parse, nor the memory of a huge one.
template<typename Ch> void SnippetParser<Ch>::release()
{
    m_work.runs.clear();
    m_work.links.clear();
    m_work.views.clear();
    if (m_size * qsizetype(sizeof(Ch)) > kKeptBytes)
        m_work = Workspace();
}

// Parsing reuses one workspace per thread. Attachments can run host code (a
// view's size hint) that parses a snippet itself; that nested call gets a
// workspace of its own.
template<typename Fn> auto withWorkspace(Fn &&fn)
{
    thread_local Workspace shared;
    thread_local bool busy = false;
    if (busy) {
        Workspace own;
        return fn(own);
    }
    busy = true;
    struct Release
    {
        bool &flag;
        ~Release() { flag = false; }
    } release {busy};
    return fn(shared);
}

const TNHTMLAttachments &noAttachments()
{
    static const TNHTMLAttachments none;
    return none;
}

} // namespace

// ---- TNParseHTMLSnippetImpl ----

StyledText TNParseHTMLSnippetImpl::parseHTMLSnippet(const QString &snippet)
{
    return parseHTMLSnippet(snippet, noAttachments());
}

// Text is read as the UTF-16 it is: no conversion to UTF-8 and back.
StyledText TNParseHTMLSnippetImpl::parseHTMLSnippet(const QString &snippet, const TNHTMLAttachments &attachments)
{
    if (snippet.isEmpty())
        return {};
    const auto *units = reinterpret_cast<const char16_t *>(snippet.constData());
    return withWorkspace(
        [&](Workspace &work) { return SnippetParser<char16_t>(work, units, snippet.size(), attachments).parse(); });
}

StyledText TNParseHTMLSnippetImpl::parseHTMLSnippet(const QByteArray &utf8, const TNHTMLAttachments &attachments)
{
    return withWorkspace(
        [&](Workspace &work) { return SnippetParser<char>(work, utf8.constData(), utf8.size(), attachments).parse(); });
}

std::vector<TNImageNode> TNParseHTMLSnippetImpl::parseHTMLImage(const QString &snippet)
{
    std::vector<TNImageNode> images;
    if (snippet.isEmpty())
        return images;
    const QByteArray utf8 = snippet.toUtf8();
    const char *data = utf8.constData();
    Tokens tokens;
    tokenize(data, utf8.size(), tokens);
    auto valueOf = [&](const Token &token, std::string_view name) {
        const RawAttribute *attribute = tokens.find(data, token, name);
        return attribute ? std::string_view(data + attribute->valueBegin, std::size_t(attribute->valueLength))
                         : std::string_view();
    };
    for (const Token &token : tokens.tokens) {
        if (token.tag != Tag::Img || token.trail)
            continue;
        const std::string_view src = valueOf(token, "src");
        if (src.empty())
            continue;
        images.push_back({decodedString(src.data(), qsizetype(src.size()), false),
            QSizeF(qreal(integerValue(valueOf(token, "width"))), qreal(integerValue(valueOf(token, "height"))))});
    }
    return images;
}

std::vector<TNHTMLNode> TNParseHTMLSnippetImpl::parseHTMLNodes(
    const QByteArray &utf8, const TNHTMLAttachments &attachments)
{
    std::vector<TNHTMLNode> nodes;
    Workspace work;
    SnippetParser<char>(work, utf8.constData(), utf8.size(), attachments).parse(&nodes);
    return nodes;
}

} // namespace kalvo
