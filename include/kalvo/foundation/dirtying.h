// Dirtying<T>: a view property whose change repaints its view.
//
//   Dirtying<qreal> m_cornerRadius{this, 0.0};
//   m_cornerRadius.set(8);     // stores and calls update() when it differs
//
// A Dirtying needs its owning view; using one without is a programming error.
#pragma once

#include <kalvo/global.h>

#include <QWidget>

#include <utility>

namespace kalvo {

template <typename T>
class Dirtying
{
public:
    explicit Dirtying(QWidget *owner, T initial = T{}) : m_owner(owner), m_stored(std::move(initial)) {}

    const T &get() const
    {
        requireOwner();
        return m_stored;
    }

    // Stores the value; repaints the owner and answers true when it changed.
    bool set(T value)
    {
        requireOwner();
        if (value == m_stored)
            return false;
        m_stored = std::move(value);
        m_owner->update();
        return true;
    }

private:
    void requireOwner() const
    {
        if (!m_owner)
            qFatal("Kalvo/Dirtying: a Dirtying value is read or written without its owning view");
    }

    QWidget *m_owner;
    T m_stored;
};

} // namespace kalvo
