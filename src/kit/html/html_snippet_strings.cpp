// The string additions: entity encoding and decoding, and the small snippet
// builders labels use.
#include <kalvo/html/htmlsnippet.h>

#include "html_snippet_p.h"

#include <QStringList>

namespace kalvo {

StyledText parseHTMLSnippet(const QString &snippet)
{
    return TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet);
}

StyledText parseHTMLSnippetWithAttachments(const QString &snippet, const TNHTMLAttachments &attachments)
{
    return TNParseHTMLSnippetImpl::parseHTMLSnippet(snippet, attachments);
}

StyledText attributedString(const QString &string, const TextAttributes &attributes)
{
    return StyledText(string, attributes);
}

// One pass gives the same result as replacing "&" first and then the
// others: no replacement can form a new "&", "<", ">" or '"'.
QString htmlEncode(const QString &string)
{
    if (string.isEmpty())
        return string;
    QString result;
    result.reserve(string.size() + string.size() / 8);
    for (QChar c : string) {
        switch (c.unicode()) {
        case u'&':
            result += u"&amp;";
            break;
        case u'<':
            result += u"&lt;";
            break;
        case u'>':
            result += u"&gt;";
            break;
        case u'"':
            result += u"&quot;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

// "&lt;", "&gt;", "&quot;" and finally "&amp;" replaced in turn equal one
// left-to-right pass: the first three never produce an "&", and "&amp;"
// last means its "&" is never read again. The pass is the parser's own;
// the string is otherwise copied as it is (surrogates included).
QString htmlDecode(const QString &string)
{
    if (!string.contains(u'&'))
        return string;
    QString result(string.size(), Qt::Uninitialized);
    const qsizetype written = html_detail::decodeText(reinterpret_cast<const char16_t *>(string.constData()),
        string.size(), reinterpret_cast<char16_t *>(result.data()), true, false);
    result.truncate(written);
    return result;
}

QString trans2HtmlSnippetALabelWithLink(const QString &text, const QString &link)
{
    if (link.isEmpty())
        return text;
    return QStringLiteral("<a href='%1'>%2</a>").arg(link, text);
}

QString trans2HtmlSnippetBLabel(const QString &text)
{
    return QStringLiteral("<b>%1</b>").arg(text);
}

QString trans2HtmlSnippetFontLabel(const QString &text, qint64 size)
{
    if (size == 0)
        return text;
    return QStringLiteral("<font size=%1>%2</font>").arg(size).arg(text);
}

namespace {

// "#RRGGBB", always six digits: the parser reads nothing else.
QString colorPart(const char *name, qint64 color, float alpha)
{
    QString part = QLatin1String(name) + QStringLiteral("=#")
        + QString::number(quint64(color) & 0xFFFFFF, 16).rightJustified(6, u'0').toUpper();
    if (alpha < 1)
        part += u',' + QString::number(double(alpha), 'f', 2);
    return part;
}

} // namespace

QString trans2HtmlSnippetFontLabel(const QString &text, qint64 size, const TNHTMLColorValue &color)
{
    if (size == 0 || color.lightAlpha == 0)
        return text;
    QStringList parts;
    if (size >= 1)
        parts << QStringLiteral("size=%1").arg(size);
    if (color.lightAlpha > 0) {
        parts << colorPart("color", color.lightColor, color.lightAlpha);
        if (color.darkAlpha > 0)
            parts << colorPart("darkcolor", color.darkColor, color.darkAlpha);
    }
    if (parts.isEmpty())
        return text;
    return QStringLiteral("<font %1>%2</font>").arg(parts.join(u' '), text);
}

} // namespace kalvo
