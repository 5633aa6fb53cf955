// String tables in the classic ".strings" format:
//
//   /* A comment */
//   "Search" = "Suchen";            // a line comment
//   "Path" = "C:\\Programme";       /* escapes: \" \\ \n \t \r \U00E9 \101 */
//   Unquoted_Key = "value";
//
// UTF-8 (with or without a byte-order mark) and UTF-16 with a byte-order
// mark (or recognisable without one) are read. A malformed entry is skipped
// up to its ';' and the rest of the file is kept; the last of duplicate keys
// wins.
#pragma once

#include <kalvo/global.h>

#include <QByteArray>
#include <QHash>
#include <QString>

namespace kalvo {

struct StringsFileResult
{
    QHash<QString, QString> entries;
    int skippedEntries = 0; // malformed entries that were left out
};

KALVO_EXPORT StringsFileResult parseStringsFile(const QByteArray &bytes);

} // namespace kalvo
