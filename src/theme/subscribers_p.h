// The weak subscriber lists of dynamic themes and appearances.
#pragma once

#include <QObject>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace kalvo::detail {

class SubscriberList
{
public:
    void add(QObject *subscriber)
    {
        if (!subscriber)
            return;
        if (std::none_of(m_items.begin(), m_items.end(), [subscriber](const QPointer<QObject> &s) { return s == subscriber; }))
            m_items.emplace_back(subscriber);
    }

    void remove(QObject *subscriber)
    {
        std::erase_if(m_items, [subscriber](const QPointer<QObject> &s) { return s.isNull() || s == subscriber; });
    }

    int count() const
    {
        return static_cast<int>(
            std::count_if(m_items.begin(), m_items.end(), [](const QPointer<QObject> &s) { return !s.isNull(); }));
    }

    // Drops the ones that are gone and returns a copy to notify: notifying
    // may add or remove subscribers.
    std::vector<QPointer<QObject>> compacted()
    {
        std::erase_if(m_items, [](const QPointer<QObject> &s) { return s.isNull(); });
        return m_items;
    }

private:
    std::vector<QPointer<QObject>> m_items;
};

} // namespace kalvo::detail
