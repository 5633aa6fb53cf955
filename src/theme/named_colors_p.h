// The named-colour table ("TNSVGColors") behind hexTripletWithStr().
#pragma once

#include <QString>

#include <optional>

namespace kalvo::detail {

// The colour text stored under a lower-case name; nothing for unknown names.
std::optional<QString> namedColorText(const QString &lowerCaseName);

} // namespace kalvo::detail
