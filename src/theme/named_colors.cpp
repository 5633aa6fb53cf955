#include "named_colors_p.h"
#include "named_color_table_p.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/platform/propertylist.h>

#include <QHash>
#include <QVariantMap>

#include <cstring>

namespace kalvo::detail {

namespace {

QHash<QString, QString> loadTable()
{
    QHash<QString, QString> table;
    const std::optional<QByteArray> bytes = Bundle::library()->readResource(QStringLiteral("TNSVGColors"),
                                                                            QStringLiteral("plist"));
    if (!bytes)
        return table;
    // The stored form read directly: the general reader costs about a
    // hundred times more, paid by the first colour name of a process.
    if (std::optional<QHash<QString, QString>> flat = readFlatColorTable(*bytes))
        return std::move(*flat);
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

std::optional<QHash<QString, QString>> readFlatColorTable(const QByteArray &bytes)
{
    const char *at = bytes.constData();
    const char *const end = at + bytes.size();
    auto space = [&] {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r'))
            ++at;
    };
    auto take = [&](const char *text) {
        const size_t size = std::strlen(text);
        if (size_t(end - at) < size || std::memcmp(at, text, size) != 0)
            return false;
        at += size;
        return true;
    };
    // Text between tags: letters and digits only (names), or those and a
    // leading '#' (values), so that no entity, white space or encoding
    // question arises.
    auto word = [&](bool lowerOnly, bool hash, QString &out) {
        const char *const start = at;
        if (hash && at < end && *at == '#')
            ++at;
        while (at < end && ((*at >= 'a' && *at <= 'z') || (*at >= '0' && *at <= '9')
                            || (!lowerOnly && *at >= 'A' && *at <= 'Z')))
            ++at;
        if (at == start)
            return false;
        out = QString::fromLatin1(start, at - start);
        return true;
    };
    space();
    if (take("<?xml") && !take(" version=\"1.0\" encoding=\"UTF-8\"?>"))
        return std::nullopt;
    space();
    if (!take("<plist version=\"1.0\">"))
        return std::nullopt;
    space();
    if (!take("<dict>"))
        return std::nullopt;
    QHash<QString, QString> table;
    for (;;) {
        space();
        if (take("</dict>"))
            break;
        QString name;
        QString value;
        if (!take("<key>") || !word(true, false, name) || !take("</key>"))
            return std::nullopt;
        space();
        if (!take("<string>") || !word(false, true, value) || !take("</string>"))
            return std::nullopt;
        // A repeated name would make the result depend on the order.
        if (table.contains(name))
            return std::nullopt;
        table.insert(name, value);
    }
    space();
    if (!take("</plist>"))
        return std::nullopt;
    space();
    if (at != end)
        return std::nullopt;
    return table;
}

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
