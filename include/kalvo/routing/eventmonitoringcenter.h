// Application-wide, chained mouse and modifier-key monitors.
//
//   QString id = kalvo::NSEventMonitoringCenter::addMonitor([](QMouseEvent *event) -> QMouseEvent * {
//       if (clickIsOutsidePopup(event)) { closePopup(); return nullptr; }   // swallowed
//       return event;                                                       // goes on
//   });
//   ...
//   kalvo::NSEventMonitoringCenter::removeMonitor(id);
//
// While monitors exist one application event filter is installed on the
// QCoreApplication. Mouse monitors see presses of the left, right and other
// buttons (double-click presses included) and releases of the left button;
// modifier monitors see presses and releases of modifier keys (Shift,
// Control, Alt, Meta/Super, AltGr, Caps Lock; auto-repeats excluded). Each
// event passes through the monitors in the order they were added; a monitor
// answers the event to let it go on, or nullptr to swallow it: the event
// then reaches neither later monitors nor its receiver. A monitor may answer
// a different event of its own; later monitors see that one and it is
// delivered to the receiver instead of the original.
//
// Each input event is seen once: the copies Qt makes when it hands a window's
// event to the widget, and when it propagates an ignored event to the
// parents, are recognised and not shown to the monitors again.
//
// Monitors may add and remove monitors (themselves included) while an event
// passes: a monitor removed before its turn is not called; one added is first
// called for the next event. Identifiers are new UUID strings.
//
// Events outside the application are not observed (the "global" modifier
// monitor has no counterpart). Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QString>

#include <functional>

QT_BEGIN_NAMESPACE
class QKeyEvent;
class QMouseEvent;
QT_END_NAMESPACE

namespace kalvo {

class KALVO_EXPORT NSEventMonitoringCenter
{
public:
    using MouseMonitor = std::function<QMouseEvent *(QMouseEvent *event)>;
    using ModifiersMonitor = std::function<QKeyEvent *(QKeyEvent *event)>;

    // Empty identifier for a null monitor.
    static QString addMonitor(MouseMonitor monitor);
    static void removeMonitor(const QString &identifier);
    static QString addMonitorForModifiersChanged(ModifiersMonitor monitor);
    static void removeMonitorForModifiers(const QString &identifier);

    // Whether Alt (the option key) is held now.
    static bool isOptionModifierDown();

    static int monitorCount();
    static int modifiersMonitorCount();
    // Whether the application event filter is installed.
    static bool isFilterInstalled();
};

} // namespace kalvo
