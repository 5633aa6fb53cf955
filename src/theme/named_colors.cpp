#include "named_colors_p.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/platform/propertylist.h>

#include <QHash>
#include <QVariantMap>

namespace kalvo::detail {

namespace {

QHash<QString, QString> loadTable()
{
    QHash<QString, QString> table;
    const std::optional<QByteArray> bytes = Bundle::library()->readResource(QStringLiteral("TNSVGColors"),
                                                                            QStringLiteral("plist"));
    if (!bytes)
        return table;
    const std::optional<QVariant> root = parsePropertyList(*bytes);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return table;
    const QVariantMap map = root->toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it.value().metaType().id() == QMetaType::QString)
            table.insert(it.key().toLower(), it.value().toString());
    }
    return table;
}

} // namespace

std::optional<QString> namedColorText(const QString &lowerCaseName)
{
    // Loaded once; a function-local static is safe to initialise from any thread.
    static const QHash<QString, QString> table = loadTable();
    auto it = table.constFind(lowerCaseName);
    if (it == table.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace kalvo::detail
