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
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

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
    std::map<std::tuple<qreal, bool, bool>, QFont> fonts;

    void refresh()
    {
        const QFont application = QGuiApplication::font();
        if (!valid || !(base == application)) {
            base = application;
            valid = true;
            fonts.clear();
        }
    }

    const QFont &font(qreal size, bool bold, bool italic)
    {
        const auto key = std::make_tuple(size, bold, italic);
        auto it = fonts.find(key);
        if (it == fonts.end()) {
            QFont font = base;
            font.setStyleName(QString()); // a named face would pin weight and slant
            font.setPixelSize(std::max(1, qRound(size)));
            font.setWeight(bold ? QFont::Bold : QFont::Normal);
            font.setItalic(italic);
            it = fonts.emplace(key, font).first;
        }
        return it->second;
    }
};

FontCache &fontCache()
{
    thread_local FontCache cache;
    return cache;
}

qreal fontSizeOf(qint64 size)
{
    return size >= 1 ? qreal(std::min(size, kMaxFontSize)) : kDefaultFontSize;
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

// An appended piece: the input bytes it came from and where it landed.
struct Piece
{
    std::uint32_t token;
    qsizetype begin;
    qsizetype end;
    qsizetype destStart;
    qsizetype destEnd;
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
    qsizetype start;
    qsizetype end;
    std::uint32_t token;
    Tag tag;
    bool bold = false; // own, then inherited
    bool italic = false; // inherited from an enclosing "i"
    qint64 size = 0; // own, then inherited
};

class SnippetParser
{
public:
    StyledText parse(const char *data, qsizetype size, const TNHTMLAttachments &attachments,
        std::vector<TNHTMLNode> *nodes = nullptr);
    // The same for text: encoded into memory kept between snippets.
    StyledText parse(QStringView text, const TNHTMLAttachments &attachments)
    {
        m_utf8.resize(text.size() * 3);
        QStringEncoder encoder(QStringEncoder::Utf8);
        char *end = encoder.appendToBuffer(m_utf8.data(), text);
        return parse(m_utf8.constData(), end - m_utf8.constData(), attachments);
    }

private:
    std::string_view bytes(qsizetype begin, qsizetype length) const { return {m_data + begin, std::size_t(length)}; }
    const RawAttribute *find(const Token &token, std::string_view name) const
    {
        return m_tokens.find(m_data, token, name);
    }
    std::string_view valueBytes(const RawAttribute *attribute) const
    {
        return attribute ? bytes(attribute->valueBegin, attribute->valueLength) : std::string_view();
    }
    QString value(const RawAttribute *attribute, bool entities = false) const
    {
        return attribute ? decodedString(m_data + attribute->valueBegin, attribute->valueLength, entities) : QString();
    }
    QVariant attachment(const RawAttribute *key) const
    {
        if (!key || key->valueLength == 0)
            return {};
        auto it = m_attachments->find(value(key));
        return it == m_attachments->end() ? QVariant() : it->second;
    }

    // The font cache, checked against the application font once per
    // snippet, and only when the snippet styles fonts at all.
    const QFont &font(qreal size, bool bold, bool italic)
    {
        if (!m_fonts) {
            m_fonts = &fontCache();
            m_fonts->refresh();
        }
        return m_fonts->font(size, bold, italic);
    }

    void release();
    void buildText();
    void appendAttachment(std::size_t tokenIndex, TextAttachmentPtr attachment, qsizetype &out);
    void pairElements();
    void inherit();
    void style();
    void alignInlineViews(const StyledText &text) const;
    void fillNodes(std::vector<TNHTMLNode> &nodes) const;

    const char *m_data = nullptr;
    qsizetype m_size = 0;
    const TNHTMLAttachments *m_attachments = nullptr;
    FontCache *m_fonts = nullptr;

    Tokens m_tokens;
    QByteArray m_utf8;
    QString m_text;
    std::vector<Piece> m_pieces;
    std::vector<std::pair<std::uint32_t, LinkInfo>> m_links; // by opening token, in order
    std::vector<std::pair<qsizetype, TextAttachmentPtr>> m_views; // inline views to align
    std::vector<Element> m_elements;
    std::array<std::vector<std::uint32_t>, 5> m_open; // pairing stacks
    RunBuilder m_runs;
};

void SnippetParser::appendAttachment(std::size_t tokenIndex, TextAttachmentPtr attachment, qsizetype &out)
{
    if (!attachment)
        return;
    if (const auto offset = parseOffset(valueBytes(find(m_tokens.tokens[tokenIndex], "offset"))))
        attachment->setBaselineOffset(*offset);
    reinterpret_cast<char16_t *>(m_text.data())[out] = kAttachmentCharacter;
    m_runs.add({out, 1}).attachment = std::move(attachment);
    ++out;
}

void SnippetParser::buildText()
{
    const auto &tokens = m_tokens.tokens;
    // Output never outgrows the input: text decodes to at most one unit per
    // byte, and every tag that appends a character is longer than one byte.
    m_text = QString(m_size, Qt::Uninitialized);
    auto *buffer = reinterpret_cast<char16_t *>(m_text.data());
    m_pieces.reserve(tokens.size());
    qsizetype out = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token &token = tokens[i];
        const qsizetype before = out;
        switch (token.tag) {
        case Tag::Text:
            out += decodeText(m_data + token.begin, token.end - token.begin, buffer + out, true);
            break;
        case Tag::Br:
        case Tag::BrSlash:
            buffer[out++] = u'\n';
            break;
        case Tag::A:
            if (!token.trail) {
                LinkInfo link;
                link.href = value(find(token, "href"), true);
                if (QObject *target = objectFromVariant(attachment(find(token, "target"))))
                    link.target = target;
                link.action = value(find(token, "action"));
                link.toolTip = value(find(token, "toolTip"));
                m_links.emplace_back(std::uint32_t(i), std::move(link));
            }
            break;
        case Tag::TNView:
            if (!token.trail) {
                if (TextAttachmentPtr cell
                    = viewAttachmentFromObject(objectFromVariant(attachment(find(token, "key"))))) {
                    const qsizetype position = out;
                    appendAttachment(i, cell, out);
                    if (!cell->hasBaselineOffset())
                        m_views.emplace_back(position, cell);
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
        case Tag::U:
        case Tag::I:
        case Tag::B:
        case Tag::Font:
            break;
        }
        if (out > before) {
            m_pieces.push_back({std::uint32_t(i), token.begin, token.end, before, out});
        }
    }
    m_text.truncate(out);
    if (m_size > 4096 && out * 2 < m_size)
        m_text.squeeze(); // mostly markup: do not keep the whole input's room
}

void SnippetParser::pairElements()
{
    // One stack per styled tag; a closing tag closes the latest open one of
    // its name, a closing tag with none open is dropped.
    auto &open = m_open;
    for (auto &stack : open)
        stack.clear();
    auto slot = [](Tag tag) -> int {
        switch (tag) {
        case Tag::A:
            return 0;
        case Tag::B:
            return 1;
        case Tag::I:
            return 2;
        case Tag::U:
            return 3;
        case Tag::Font:
            return 4;
        default:
            return -1;
        }
    };
    const auto &tokens = m_tokens.tokens;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const int s = slot(tokens[i].tag);
        if (s < 0)
            continue;
        auto &stack = open[std::size_t(s)];
        if (!tokens[i].trail) {
            stack.push_back(std::uint32_t(i));
        } else if (!stack.empty()) {
            const std::uint32_t opening = stack.back();
            stack.pop_back();
            m_elements.push_back({tokens[opening].begin, tokens[i].end, opening, tokens[i].tag});
        }
    }
    for (const auto &stack : open) {
        for (std::uint32_t opening : stack)
            m_elements.push_back({tokens[opening].begin, m_size, opening, tokens[opening].tag});
    }
    std::sort(
        m_elements.begin(), m_elements.end(), [](const Element &a, const Element &b) { return a.start < b.start; });

    for (Element &element : m_elements) {
        const Token &token = tokens[element.token];
        if (element.tag == Tag::B)
            element.bold = true;
        else if (element.tag == Tag::Font)
            element.size = integerValue(valueBytes(find(token, "size")));
    }
}

// An element that ends within an earlier bold (italic) element becomes bold
// (italic); one without a size takes the size of the earliest enclosing
// element that has one. Elements come sorted by start, so "encloses" is
// "starts earlier and ends no earlier".
void SnippetParser::inherit()
{
    qsizetype boldEnd = -1;
    qsizetype italicEnd = -1;
    // Sized elements that can still answer: later ones that end no later
    // than an earlier one never can, so ends increase along the list.
    std::vector<std::pair<qsizetype, qint64>> sized; // (end, size)
    for (Element &element : m_elements) {
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

void SnippetParser::style()
{
    const auto &tokens = m_tokens.tokens;
    m_runs.reserve(m_elements.size() + m_views.size());
    auto linkOf = [&](std::uint32_t token) -> const LinkInfo * {
        auto it = std::lower_bound(
            m_links.begin(), m_links.end(), token, [](const auto &entry, std::uint32_t t) { return entry.first < t; });
        return it != m_links.end() && it->first == token ? &it->second : nullptr;
    };
    const std::size_t pieceCount = m_pieces.size();
    std::size_t cursor = 0;
    for (const Element &element : m_elements) {
        // The pieces inside the element are a contiguous stretch. Elements
        // come by start, so its first piece only moves forward; its last is
        // found by galloping from there (elements mostly hold few pieces).
        while (cursor < pieceCount && m_pieces[cursor].begin < element.start)
            ++cursor;
        std::size_t low = cursor;
        std::size_t high = cursor;
        for (std::size_t step = 1; high < pieceCount && m_pieces[high].end <= element.end; step <<= 1) {
            low = high + 1;
            high = cursor + step;
        }
        high = std::min(high, pieceCount);
        const auto firstIt = m_pieces.begin() + std::ptrdiff_t(cursor);
        const auto last
            = std::upper_bound(m_pieces.begin() + std::ptrdiff_t(low), m_pieces.begin() + std::ptrdiff_t(high),
                element.end, [](qsizetype end, const Piece &piece) { return end < piece.end; });
        if (firstIt == last)
            continue;
        const auto first = firstIt;
        const TextRange range {first->destStart, (last - 1)->destEnd - first->destStart};

        TextAttributes &attributes = m_runs.add(range);
        switch (element.tag) {
        case Tag::A: {
            const LinkInfo *link = linkOf(element.token);
            if (!link)
                break;
            if (!link->href.isEmpty()) {
                attributes.link = link->href;
                attributes.foregroundColor = snippetLinkColor();
                attributes.cursor = Qt::PointingHandCursor;
                if (startsWithTNScheme(link->href))
                    attributes.axRole = TNAXButtonRole;
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
            attributes.font = font(fontSizeOf(element.size), true, element.italic);
            break;
        case Tag::I:
            attributes.font = font(fontSizeOf(element.size), element.bold, true);
            break;
        case Tag::U:
            attributes.underline = UnderlineStyle::Single;
            break;
        case Tag::Font: {
            if (element.size >= 1)
                attributes.font = font(fontSizeOf(element.size), element.bold, element.italic);
            const Token &token = tokens[element.token];
            TNHTMLColorValue color;
            parseColor(valueBytes(find(token, "color")), color.lightColor, color.lightAlpha);
            parseColor(valueBytes(find(token, "darkcolor")), color.darkColor, color.darkAlpha);
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
void SnippetParser::alignInlineViews(const StyledText &text) const
{
    for (const auto &[position, cell] : m_views) {
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

void SnippetParser::fillNodes(std::vector<TNHTMLNode> &nodes) const
{
    const auto &tokens = m_tokens.tokens;
    nodes.clear();
    nodes.reserve(tokens.size());
    auto piece = m_pieces.begin();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token &token = tokens[i];
        TNHTMLNode node;
        node.name = QString::fromLatin1(tagName(token.tag).data(), qsizetype(tagName(token.tag).size()));
        node.range = {token.begin, token.end - token.begin};
        while (piece != m_pieces.end() && piece->token < i)
            ++piece;
        if (piece != m_pieces.end() && piece->token == i)
            node.destinationStringRange = {piece->destStart, piece->destEnd - piece->destStart};
        node.trail = token.trail;
        node.isText = token.tag == Tag::Text;
        node.isCustomView = token.tag == Tag::TNView;
        TNHTMLNodeAttribute &attribute = node.attribute;
        for (std::uint32_t a = 0; a < token.attributeCount; ++a) {
            const RawAttribute &raw = m_tokens.attributes[token.firstAttribute + a];
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
                auto it = std::lower_bound(m_links.begin(), m_links.end(), std::uint32_t(i),
                    [](const auto &entry, std::uint32_t t) { return entry.first < t; });
                if (it != m_links.end() && it->first == i) {
                    attribute.target = it->second.target;
                    attribute.action = it->second.action;
                    attribute.toolTip = it->second.toolTip;
                }
                break;
            }
            case Tag::Font:
                attribute.fontSize = integerValue(valueBytes(find(token, "size")));
                parseColor(
                    valueBytes(find(token, "color")), attribute.textColor.lightColor, attribute.textColor.lightAlpha);
                parseColor(
                    valueBytes(find(token, "darkcolor")), attribute.textColor.darkColor, attribute.textColor.darkAlpha);
                break;
            default:
                break;
            }
        }
        nodes.push_back(std::move(node));
    }
}

StyledText SnippetParser::parse(
    const char *data, qsizetype size, const TNHTMLAttachments &attachments, std::vector<TNHTMLNode> *nodes)
{
    if (size <= 0)
        return {};
    // Everything from the last snippet goes; the memory stays.
    m_data = data;
    m_size = size;
    m_attachments = &attachments;
    m_pieces.clear();
    m_links.clear();
    m_views.clear();
    m_elements.clear();
    m_runs.clear();
    m_fonts = nullptr;
    tokenize(m_data, m_size, m_tokens);
    buildText();
    pairElements();
    inherit();
    style();
    StyledText text = m_runs.build(std::move(m_text));
    m_text = QString();
    alignInlineViews(text);
    if (nodes)
        fillNodes(*nodes);
    release();
    return text;
}

// The kept workspace must not keep the snippet's objects alive (targets,
// images, views) until the next parse, nor the memory of a huge one.
void SnippetParser::release()
{
    m_runs.clear();
    m_links.clear();
    m_views.clear();
    m_attachments = nullptr;
    m_data = nullptr;
    if (m_size > kKeptBytes) {
        *this = SnippetParser();
    }
}

// Parsing reuses one parser's memory per thread. Attachments can run host
// code (a view's size hint) that parses a snippet itself; that nested call
// gets a parser of its own.
template<typename Fn> auto withParser(Fn &&fn)
{
    thread_local SnippetParser shared;
    thread_local bool busy = false;
    if (busy) {
        SnippetParser own;
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

StyledText TNParseHTMLSnippetImpl::parseHTMLSnippet(const QString &snippet, const TNHTMLAttachments &attachments)
{
    if (snippet.isEmpty())
        return {};
    return withParser([&](SnippetParser &parser) { return parser.parse(QStringView(snippet), attachments); });
}

StyledText TNParseHTMLSnippetImpl::parseHTMLSnippet(const QByteArray &utf8, const TNHTMLAttachments &attachments)
{
    return withParser([&](SnippetParser &parser) { return parser.parse(utf8.constData(), utf8.size(), attachments); });
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
    SnippetParser parser;
    parser.parse(utf8.constData(), utf8.size(), attachments, &nodes);
    return nodes;
}

} // namespace kalvo
