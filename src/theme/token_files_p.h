// The library's token files ("colors-light", "colors-dark", "colors-agave",
// "colors-bloom", "colors-rose"), parsed once each.
#pragma once

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace kalvo::detail {

using TokenTable = QHash<QString, QString>;

inline const QString kLightFile = QStringLiteral("colors-light");
inline const QString kDarkFile = QStringLiteral("colors-dark");
inline const QString kAgaveFile = QStringLiteral("colors-agave");
inline const QString kBloomFile = QStringLiteral("colors-bloom");
inline const QString kRoseFile = QStringLiteral("colors-rose");

// Reads and parses "<file>.json" from the library bundle, uncached.
std::optional<TokenTable> loadTokenFile(const QString &file);
// The cached table; a failed load is not cached and is retried next time.
std::shared_ptr<const TokenTable> tokenTable(const QString &file);
// The packed value of `key` in `file`; nothing on any failure.
std::optional<quint64> lookupToken(const QString &key, const QString &file);

} // namespace kalvo::detail
