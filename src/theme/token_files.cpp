#include "token_files_p.h"

#include <kalvo/platform/bundle.h>
#include <kalvo/theme/color.h>
#include <kalvo/theme/contrast.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <mutex>

namespace kalvo {

std::optional<QHash<QString, QString>> parseTokenFile(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    QHash<QString, QString> table;
    table.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it) {
        // One value of another type makes the whole file unusable: a
        // half-read palette would mix two designs.
        if (!it.value().isString())
            return std::nullopt;
        table.insert(it.key(), it.value().toString());
    }
    return table;
}

namespace detail {

namespace {

std::mutex g_tablesMutex;
std::map<QString, std::shared_ptr<const TokenTable>> &tables()
{
    static auto *cache = new std::map<QString, std::shared_ptr<const TokenTable>>;
    return *cache;
}

} // namespace

std::optional<TokenTable> loadTokenFile(const QString &file)
{
    const std::optional<QByteArray> bytes = Bundle::library()->readResource(file + QStringLiteral(".json"));
    if (!bytes)
        return std::nullopt;
    return parseTokenFile(*bytes);
}

std::shared_ptr<const TokenTable> tokenTable(const QString &file)
{
    std::lock_guard lock(g_tablesMutex);
    auto found = tables().find(file);
    if (found != tables().end())
        return found->second;
    std::optional<TokenTable> loaded = loadTokenFile(file);
    if (!loaded)
        return nullptr;
    auto table = std::make_shared<const TokenTable>(std::move(*loaded));
    tables().emplace(file, table);
    return table;
}

std::optional<quint64> lookupToken(const QString &key, const QString &file)
{
    const std::shared_ptr<const TokenTable> table = tokenTable(file);
    if (!table)
        return std::nullopt;
    auto it = table->constFind(key);
    if (it == table->constEnd())
        return std::nullopt;
    return parseTokenValue(*it);
}

} // namespace detail

} // namespace kalvo
