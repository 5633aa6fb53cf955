// Objects attached to an owner and destroyed with it, the way associated
// objects live and die with their object.
//
// A QObject owner's attachments are destroyed from its destroyed() signal. A
// shared_ptr owner gives no signal: its attachments are destroyed when the
// table next notices that it expired (on a lookup for the same address, and
// in periodic sweeps of the table). Attachments are always destroyed outside
// the table's lock, so their destructors may use the table again.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <functional>
#include <memory>

namespace kalvo::detail {

class Attachments
{
public:
    // A slot is identified by the address of a static object of the caller.
    using Key = const void *;

    // The attachment in `key` for `owner`, made with `make` when missing
    // (while the table is locked). Null without a live owner, or when missing
    // and `make` is empty.
    static std::shared_ptr<void> get(const ObserverOwner &owner, Key key,
                                     const std::function<std::shared_ptr<void>()> &make);

    template <typename T>
    static std::shared_ptr<T> get(const ObserverOwner &owner, Key key, const std::function<std::shared_ptr<T>()> &make)
    {
        std::function<std::shared_ptr<void>()> erased;
        if (make)
            erased = [&make]() -> std::shared_ptr<void> { return make(); };
        return std::static_pointer_cast<T>(get(owner, key, erased));
    }

    // Destroys the attachments of expired shared owners now.
    static void sweep();
    // Owners with attachments (expired shared owners not yet swept included).
    static int ownerCount();
};

} // namespace kalvo::detail
