// The host's logger, kept for the kit. The kit logs nothing of its own; the
// logger's interface is the host's:
//
//   kalvo::TNLogger::setLogger(std::make_shared<HostLogger>());
//   if (auto logger = kalvo::TNLogger::getLogger<HostLogger>()) logger->info(...);
//
// The object is stored unchanged (same pointer); getLogger<L>() answers it
// when it was set as an L, else null. Thread-safe.
#pragma once

#include <kalvo/global.h>

#include <memory>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <utility>

namespace kalvo {

class KALVO_EXPORT TNLogger
{
public:
    template<typename L> static void setLogger(const std::shared_ptr<L> &logger)
    {
        setLoggerObject(
            std::static_pointer_cast<void>(std::const_pointer_cast<std::remove_const_t<L>>(logger)), typeid(L));
    }
    static void clearLogger() { setLoggerObject(nullptr, typeid(void)); }

    template<typename L> static std::shared_ptr<L> getLogger()
    {
        auto [object, type] = loggerObject();
        if (!object || type != std::type_index(typeid(L)))
            return nullptr;
        return std::static_pointer_cast<L>(object);
    }
    // The stored object whatever its type.
    static std::shared_ptr<void> getLoggerObject() { return loggerObject().first; }

    // The kit has no log client of its own.
    static bool isNoLogClient() { return true; }

private:
    static void setLoggerObject(std::shared_ptr<void> object, const std::type_info &type);
    static std::pair<std::shared_ptr<void>, std::type_index> loggerObject();
};

} // namespace kalvo
