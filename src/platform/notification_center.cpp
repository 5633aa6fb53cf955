#include <kalvo/platform/notificationcenter.h>

#include "observer_registry_p.h"

namespace kalvo {

struct NotificationCenter::Private
{
    detail::ObserverRegistry<const Notification &> registry;
};

NotificationCenter::NotificationCenter() : d(std::make_unique<Private>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter &NotificationCenter::defaultCenter()
{
    // Never destroyed: owners may be destroyed (and unregister) during exit.
    static NotificationCenter *center = new NotificationCenter;
    return *center;
}

ObserverId NotificationCenter::addObserver(const ObserverOwner &owner, const QString &name, const void *object,
                                           Handler handler)
{
    if (!handler)
        return 0;
    return d->registry.add(name, object, owner, std::move(handler));
}

void NotificationCenter::removeObserver(ObserverId id)
{
    d->registry.remove(id);
}

void NotificationCenter::removeObservers(const ObserverOwner &owner)
{
    d->registry.removeOwner(owner.identity());
}

void NotificationCenter::post(const Notification &notification)
{
    d->registry.notify(notification.name, notification.object, notification);
}

void NotificationCenter::post(const QString &name, const void *object, const QVariantMap &userInfo)
{
    post(Notification{name, object, userInfo});
}

int NotificationCenter::observerCount() const
{
    return d->registry.count();
}

} // namespace kalvo
