// Reading the named-colour table's resource without the general
// property-list reader, for the flat form it is stored in.
#pragma once

#include <kalvo/global.h>

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace kalvo::detail {

// The table of a property list that is one dictionary of lower-case,
// distinct names with plain colour strings ("#F0F8FF"), as the general
// reader and the lower-casing of names would give it; nothing for any
// other form, which the general reader then handles.
KALVO_EXPORT std::optional<QHash<QString, QString>> readFlatColorTable(const QByteArray &bytes);

} // namespace kalvo::detail
