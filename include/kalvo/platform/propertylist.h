// XML property lists, read into QVariant: dict -> QVariantMap, array ->
// QVariantList, string, integer (qint64), real (double), true/false (bool),
// date (QDateTime, UTC) and data (QByteArray from base64).
#pragma once

#include <kalvo/global.h>

#include <QByteArray>
#include <QVariant>

#include <optional>

namespace kalvo {

// The root value, or nothing for text that is not a well-formed property
// list (unknown elements, bad numbers, a dict key without a value, nesting
// deeper than 64 levels).
KALVO_EXPORT std::optional<QVariant> parsePropertyList(const QByteArray &xml);

} // namespace kalvo
