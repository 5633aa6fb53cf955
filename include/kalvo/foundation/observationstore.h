// Keeps what a view observes (connections, registrations) and undoes all of
// it when the store is cleared or destroyed with its view.
#pragma once

#include <kalvo/global.h>

#include <QMetaObject>

#include <functional>
#include <vector>

namespace kalvo {

class KALVO_EXPORT ObservationStore
{
public:
    ObservationStore() = default;
    ~ObservationStore() { clear(); }
    ObservationStore(const ObservationStore &) = delete;
    ObservationStore &operator=(const ObservationStore &) = delete;

    void add(QMetaObject::Connection connection);
    // Something to run when the observation ends.
    void add(std::function<void()> undo);
    void clear();
    bool isEmpty() const { return m_undo.empty(); }

private:
    std::vector<std::function<void()>> m_undo;
};

} // namespace kalvo
