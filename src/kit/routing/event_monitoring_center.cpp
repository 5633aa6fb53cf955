#include <kalvo/routing/eventmonitoringcenter.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <QWindow>

#include <vector>

namespace kalvo {

namespace {

template<typename Monitor> struct MonitorEntry
{
    QString identifier;
    Monitor monitor;
};

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return true;
    default:
        return false;
    }
}

// Left, right and other button presses (double-click presses too); left
// button releases.
bool isMonitoredMouseEvent(const QMouseEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return event->button() != Qt::NoButton;
    case QEvent::MouseButtonRelease:
        return event->button() == Qt::LeftButton;
    default:
        return false;
    }
}

// What identifies one input event across the copies Qt makes of it.
struct EventSignature
{
    QEvent::Type type = QEvent::None;
    int code = 0; // button or key
    int modifiers = 0;
    QPointF global;
    quint32 scanCode = 0;

    bool operator==(const EventSignature &) const = default;
};

EventSignature signatureOf(const QEvent *event)
{
    EventSignature signature;
    signature.type = event->type();
    if (auto *mouse = dynamic_cast<const QMouseEvent *>(event)) {
        signature.code = static_cast<int>(mouse->button());
        signature.modifiers = static_cast<int>(mouse->modifiers());
        signature.global = mouse->globalPosition();
    } else if (auto *key = dynamic_cast<const QKeyEvent *>(event)) {
        signature.code = key->key();
        signature.modifiers = static_cast<int>(key->modifiers());
        signature.scanCode = key->nativeScanCode();
    }
    return signature;
}

class MonitoringFilter final : public QObject
{
public:
    std::vector<MonitorEntry<NSEventMonitoringCenter::MouseMonitor>> mouseMonitors;
    std::vector<MonitorEntry<NSEventMonitoringCenter::ModifiersMonitor>> modifierMonitors;
    bool installed = false;

    void updateInstallation()
    {
        QCoreApplication *app = QCoreApplication::instance();
        const bool wanted = !mouseMonitors.empty() || !modifierMonitors.empty();
        if (wanted && !installed && app) {
            app->installEventFilter(this);
            installed = true;
        } else if (!wanted && installed) {
            if (app)
                app->removeEventFilter(this);
            installed = false;
            m_last = {};
            m_lastReceiver.clear();
        }
    }

    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (m_resending)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouseMonitors.empty() || !isMonitoredMouseEvent(mouse) || isCopyOfLast(receiver, event))
                return false;
            return runChain(mouseMonitors, receiver, mouse);
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto *key = static_cast<QKeyEvent *>(event);
            if (modifierMonitors.empty() || key->isAutoRepeat() || !isModifierKey(key->key())
                || isCopyOfLast(receiver, event))
                return false;
            return runChain(modifierMonitors, receiver, key);
        }
        default:
            return false;
        }
    }

private:
    // Qt hands one input event to the window, then a translated copy to the
    // widget, then (when ignored) copies up the parent chain. Only the first
    // delivery is shown to the monitors.
    bool isCopyOfLast(QObject *receiver, const QEvent *event)
    {
        const EventSignature signature = signatureOf(event);
        QObject *last = m_lastReceiver.data();
        bool copy = false;
        if (last && signature == m_last) {
            auto *widget = qobject_cast<QWidget *>(receiver);
            if (auto *window = qobject_cast<QWindow *>(last))
                copy = widget && widget->window()->windowHandle() == window;
            else if (auto *lastWidget = qobject_cast<QWidget *>(last))
                copy = widget && widget != lastWidget && widget->isAncestorOf(lastWidget);
        }
        m_last = signature;
        m_lastReceiver = receiver;
        return copy;
    }

    template<typename Monitor, typename Event>
    bool runChain(const std::vector<MonitorEntry<Monitor>> &monitors, QObject *receiver, Event *event)
    {
        // A snapshot: monitors may add and remove monitors.
        const std::vector<MonitorEntry<Monitor>> chain = monitors;
        Event *current = event;
        for (const auto &entry : chain) {
            if (!stillRegistered(monitors, entry.identifier))
                continue;
            current = entry.monitor(current);
            if (!current)
                return true; // swallowed
        }
        if (current == event)
            return false;
        // A replacement event goes to the receiver instead of the original.
        QPointer<QObject> target = receiver;
        if (target) {
            m_resending = true;
            QCoreApplication::sendEvent(target, current);
            m_resending = false;
        }
        return true;
    }

    template<typename Monitor>
    static bool stillRegistered(const std::vector<MonitorEntry<Monitor>> &monitors, const QString &identifier)
    {
        for (const auto &entry : monitors) {
            if (entry.identifier == identifier)
                return true;
        }
        return false;
    }

    EventSignature m_last;
    QPointer<QObject> m_lastReceiver;
    bool m_resending = false;
};

MonitoringFilter &filter()
{
    // Lives for the process; it is an application event filter while
    // monitors exist.
    static MonitoringFilter *instance = new MonitoringFilter;
    return *instance;
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

template<typename Monitor> void removeEntry(std::vector<MonitorEntry<Monitor>> &monitors, const QString &identifier)
{
    std::erase_if(monitors, [&](const auto &entry) { return entry.identifier == identifier; });
}

} // namespace

QString NSEventMonitoringCenter::addMonitor(MouseMonitor monitor)
{
    if (!monitor)
        return QString();
    MonitoringFilter &f = filter();
    const QString identifier = newIdentifier();
    f.mouseMonitors.push_back({identifier, std::move(monitor)});
    f.updateInstallation();
    return identifier;
}

void NSEventMonitoringCenter::removeMonitor(const QString &identifier)
{
    MonitoringFilter &f = filter();
    removeEntry(f.mouseMonitors, identifier);
    f.updateInstallation();
}

QString NSEventMonitoringCenter::addMonitorForModifiersChanged(ModifiersMonitor monitor)
{
    if (!monitor)
        return QString();
    MonitoringFilter &f = filter();
    const QString identifier = newIdentifier();
    f.modifierMonitors.push_back({identifier, std::move(monitor)});
    f.updateInstallation();
    return identifier;
}

void NSEventMonitoringCenter::removeMonitorForModifiers(const QString &identifier)
{
    MonitoringFilter &f = filter();
    removeEntry(f.modifierMonitors, identifier);
    f.updateInstallation();
}

bool NSEventMonitoringCenter::isOptionModifierDown()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
}

int NSEventMonitoringCenter::monitorCount()
{
    return static_cast<int>(filter().mouseMonitors.size());
}

int NSEventMonitoringCenter::modifiersMonitorCount()
{
    return static_cast<int>(filter().modifierMonitors.size());
}

bool NSEventMonitoringCenter::isFilterInstalled()
{
    return filter().installed;
}

} // namespace kalvo
