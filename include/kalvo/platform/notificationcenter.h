// Kalvo's notification centre: named broadcasts with an optional sender and a
// user-info map, delivered synchronously on the posting thread.
//
//   auto &center = NotificationCenter::defaultCenter();
//   center.addObserver(this, TNRouterReady, nullptr, [this](const Notification &n) { ... });
//   center.post(TNRouterReady);
//
// An observer registered with an owner is removed when the owner is
// destroyed (see ObserverOwner). Observers may add and remove observers and
// post from inside a callback; a removed observer is not called again, an
// added one first hears the next post. Observers run in registration order.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace kalvo {

struct Notification
{
    QString name;
    const void *object = nullptr; // the sender, compared by address only
    QVariantMap userInfo;
};

class KALVO_EXPORT NotificationCenter
{
public:
    using Handler = std::function<void(const Notification &)>;

    NotificationCenter();
    ~NotificationCenter();

    NotificationCenter(const NotificationCenter &) = delete;
    NotificationCenter &operator=(const NotificationCenter &) = delete;

    // The process-wide centre; lives for the process.
    static NotificationCenter &defaultCenter();

    // `name` empty: every notification. `object` not null: only those posted
    // with that sender.
    ObserverId addObserver(const ObserverOwner &owner, const QString &name, const void *object, Handler handler);

    void removeObserver(ObserverId id);
    // Every observer registered with this owner.
    void removeObservers(const ObserverOwner &owner);

    void post(const Notification &notification);
    void post(const QString &name, const void *object = nullptr, const QVariantMap &userInfo = {});

    int observerCount() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
