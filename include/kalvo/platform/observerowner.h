// Who an observation belongs to. Observers registered with an owner are
// removed when the owner goes away, so a callback never reaches a destroyed
// object:
//   - a QObject (widgets included): removed when it is destroyed;
//   - an object held by std::shared_ptr: skipped and dropped once it expired,
//     and kept alive for the duration of each call;
//   - no owner: lives until removed by its id.
#pragma once

#include <kalvo/global.h>

#include <QtGlobal>

#include <memory>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

namespace kalvo {

// Identifies one registration; 0 is never a valid id.
using ObserverId = quint64;

class KALVO_EXPORT ObserverOwner
{
public:
    ObserverOwner() = default;
    ObserverOwner(std::nullptr_t) {}
    ObserverOwner(const QObject *object) : m_object(object), m_identity(object) {}
    template <typename T>
    ObserverOwner(const std::shared_ptr<T> &object)
        : m_weak(std::static_pointer_cast<const void>(std::shared_ptr<const T>(object))), m_identity(object.get()),
          m_shared(object != nullptr)
    {
    }
    template <typename T>
    ObserverOwner(const std::weak_ptr<T> &object) : ObserverOwner(object.lock())
    {
    }

    const QObject *qobject() const { return m_object; }
    // The address that removeObservers(owner) compares; null without owner.
    const void *identity() const { return m_identity; }
    bool isShared() const { return m_shared; }
    // For shared owners: a strong reference while alive, else null.
    std::shared_ptr<const void> lockShared() const { return m_weak.lock(); }

private:
    const QObject *m_object = nullptr;
    std::weak_ptr<const void> m_weak;
    const void *m_identity = nullptr;
    bool m_shared = false;
};

} // namespace kalvo
