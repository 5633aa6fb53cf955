// HTML snippets to styled text: the small markup labels and chat messages
// carry (bold, italic, underline, font size and light/dark colour, links that
// open a URL or run a target/action, line breaks, inline images and views).
//
//   StyledText text = parseHTMLSnippet(u"Read <a href='https://x.org'>the notes</a>"_s);
//
//   TNHTMLAttachments attachments{{u"avatar"_s, QVariant::fromValue(image)},
//                                 {u"owner"_s, QVariant::fromValue<QObject *>(this)}};
//   StyledText message = TNParseHTMLSnippetImpl::parseHTMLSnippet(
//       u"<img imageKey=avatar offset=(0,-3)> <a target=owner action='openProfile:'>Dana</a>"_s, attachments);
//
// The tags are "a", "b", "i", "u", "font", "br", "br/", "img" and "tnview",
// lower case only; anything else stays text. The parser never fails: it
// reads bytes from a server as they come (unterminated tags, stray "<",
// invalid UTF-8 decoded with replacement characters) and stays linear in
// the input size.
#pragma once

#include <kalvo/global.h>
#include <kalvo/html/styledtext.h>
#include <kalvo/theme/image.h>

#include <QByteArray>
#include <QMetaType>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <map>
#include <utility>
#include <vector>

class QObject;

namespace kalvo {

// A colour written in a snippet: light and dark as 0xRRGGBB with their
// alphas. A light alpha of 0 or below means no colour, a dark alpha of 0 or
// below no dark variant.
struct TNHTMLColorValue
{
    qint64 lightColor = 0;
    qint64 darkColor = 0;
    float lightAlpha = 0;
    float darkAlpha = 0;

    friend bool operator==(const TNHTMLColorValue &, const TNHTMLColorValue &) = default;
};

// The raw attributes of a tag (name → value) in the order written; a name
// written twice keeps its last value, a name without value maps to "".
class KALVO_EXPORT TNHTMLAttributeDictionary
{
public:
    using Entry = std::pair<QString, QString>;

    bool isEmpty() const { return m_entries.empty(); }
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool contains(QStringView name) const { return find(name) != nullptr; }
    // The value, or a null string when the name is absent.
    QString value(QStringView name) const;
    const QString *find(QStringView name) const;
    void insert(const QString &name, const QString &value);
    const std::vector<Entry> &entries() const { return m_entries; }

    friend bool operator==(const TNHTMLAttributeDictionary &, const TNHTMLAttributeDictionary &) = default;

private:
    std::vector<Entry> m_entries;
};

// What a tag asks for. fontSize below 1 is unset.
class KALVO_EXPORT TNHTMLNodeAttribute
{
public:
    qint64 fontSize = 0;
    bool isBold = false;
    TNHTMLColorValue textColor;
    TNHTMLColorValue backgroundColor;
    QString hrefLink;
    TNHTMLAttributeDictionary attribute;
    QPointer<QObject> target; // held weakly
    QString action;
    QString toolTip;
};

// One token of a snippet: a tag or a stretch of text. `range` counts bytes
// of the UTF-8 input, `destinationStringRange` UTF-16 positions of the
// output text (empty when the node appended nothing).
class KALVO_EXPORT TNHTMLNode
{
public:
    QString name;
    TNHTMLNodeAttribute attribute;
    TextRange range;
    TextRange destinationStringRange;
    bool trail = false; // a closing tag
    bool isText = false;
    bool isCustomView = false; // "tnview"
};

// An "img" tag with a source, and its written size (0 when missing).
struct TNImageNode
{
    QString src;
    QSizeF size;

    friend bool operator==(const TNImageNode &, const TNImageNode &) = default;
};

// Objects a snippet refers to by key: QObject* targets of "a" (a QWidget*
// for "tnview"), and images for "img imageKey=" (ImagePtr, QImage or
// QPixmap).
using TNHTMLAttachments = std::map<QString, QVariant>;

class KALVO_EXPORT TNParseHTMLSnippetImpl
{
public:
    static StyledText parseHTMLSnippet(const QString &snippet);
    static StyledText parseHTMLSnippet(const QString &snippet, const TNHTMLAttachments &attachments);
    // Raw UTF-8 bytes as they arrive from a server.
    static StyledText parseHTMLSnippet(const QByteArray &utf8, const TNHTMLAttachments &attachments);

    // Every "img" tag with a non-empty "src".
    static std::vector<TNImageNode> parseHTMLImage(const QString &snippet);

    // The tokens of a snippet as the parser sees them, with the output ranges
    // the text building gave them (for inspection and tests).
    static std::vector<TNHTMLNode> parseHTMLNodes(const QByteArray &utf8, const TNHTMLAttachments &attachments = {});
};

// ---- String additions ----

KALVO_EXPORT StyledText parseHTMLSnippet(const QString &snippet);
KALVO_EXPORT StyledText parseHTMLSnippetWithAttachments(const QString &snippet, const TNHTMLAttachments &attachments);
// The plain string with `attributes` over all of it.
KALVO_EXPORT StyledText attributedString(const QString &string, const TextAttributes &attributes);

// "&" → "&amp;", "<" → "&lt;", ">" → "&gt;", '"' → "&quot;" (in that order).
KALVO_EXPORT QString htmlEncode(const QString &string);
// The reverse, as snippets decode text and links: "&lt;", "&gt;", "&quot;",
// then "&amp;"; nothing else is an entity.
KALVO_EXPORT QString htmlDecode(const QString &string);

// "<a href='link'>text</a>", or the text when the link is empty.
KALVO_EXPORT QString trans2HtmlSnippetALabelWithLink(const QString &text, const QString &link);
// "<b>text</b>".
KALVO_EXPORT QString trans2HtmlSnippetBLabel(const QString &text);
// "<font size=N>text</font>", or the text when the size is 0.
KALVO_EXPORT QString trans2HtmlSnippetFontLabel(const QString &text, qint64 size);
// "<font size=N color=#RRGGBB[,a] darkcolor=#RRGGBB[,a]>text</font>" with the
// parts that apply; the text unchanged when the size or the light alpha is 0.
KALVO_EXPORT QString trans2HtmlSnippetFontLabel(const QString &text, qint64 size, const TNHTMLColorValue &color);

} // namespace kalvo

Q_DECLARE_METATYPE(kalvo::ImagePtr)
