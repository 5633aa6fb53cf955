// The pointer-interaction state every Kalvo view has, and the objects that
// let one view follow another's state.
#pragma once

#include <kalvo/global.h>

#include <QPointer>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace kalvo {

enum class CursorState : int {
    normal = 0,  // pointer outside, or interaction ended
    hovered = 1, // pointer inside (entered, or released inside)
    pressed = 2, // button down inside the interaction rect
};

template <>
struct EnumTraits<CursorState>
{
    static constexpr const char *name = "CursorState";
    static constexpr std::array rows{
        EnumRow<CursorState>{CursorState::normal, "Normal", ".normal"},
        EnumRow<CursorState>{CursorState::hovered, "Hovered", ".hovered"},
        EnumRow<CursorState>{CursorState::pressed, "Pressed", ".pressed"},
    };
};

class View;

// Anything with a cursor state; a view can mirror one (View::bind).
class KALVO_EXPORT CursorStateProvider
{
public:
    virtual ~CursorStateProvider();
    virtual CursorState cursorState() const = 0;
};

// A state shared by a view that pushes to it and a view bound to it. Setting
// a different state while a view is bound runs that view's state change at
// the pointer's position and repaints it.
class KALVO_EXPORT CursorStateBinding
{
public:
    CursorState state() const { return m_state; }
    void setState(CursorState state);

    View *view() const;
    void setView(View *view);

private:
    CursorState m_state = CursorState::normal;
    QPointer<QWidget> m_view;
};

using KTNCursorStateBinding = CursorStateBinding;

} // namespace kalvo
