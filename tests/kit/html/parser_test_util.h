// Shared helpers of the snippet parser tests.
#pragma once

#include <kalvo/html/htmlsnippet.h>

#include <QFont>
#include <QString>

namespace kalvo::test {

inline StyledText parse(const char *utf8, const TNHTMLAttachments &attachments = {})
{
    return TNParseHTMLSnippetImpl::parseHTMLSnippet(QByteArray(utf8), attachments);
}

// The attributes of the first character of `needle` in the text.
inline TextAttributes attributesOf(const StyledText &text, const QString &needle, TextRange *effective = nullptr)
{
    const qsizetype at = text.text().indexOf(needle);
    return at < 0 ? TextAttributes {} : text.attributesAt(at, effective);
}

inline bool isBold(const TextAttributes &a)
{
    return a.font && a.font->weight() == QFont::Bold;
}

inline int fontSize(const TextAttributes &a)
{
    return a.font ? a.font->pixelSize() : 0;
}

} // namespace kalvo::test
