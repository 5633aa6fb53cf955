#include <kalvo/foundation/kalvocore.h>

#include <kalvo/platform/scheduler.h>

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QStyleHints>
#include <QWidget>

namespace kalvo {

KalvoCoreDelegate::~KalvoCoreDelegate() = default;

std::optional<QString> KalvoCoreDelegate::localizedStringWithKey(const QString &)
{
    return std::nullopt;
}

bool KalvoCoreDelegate::speak(const QString &)
{
    return false;
}

KalvoCore::KalvoCore() = default;

KalvoCore &KalvoCore::shared()
{
    static auto *core = new KalvoCore; // lives for the process
    return *core;
}

void KalvoCore::start(std::weak_ptr<KalvoCoreDelegate> delegate)
{
    KalvoCore &core = shared();
    core.m_delegate = std::move(delegate);
    Q_EMIT core.keyboardNavigationPolicyChanged();
}

std::shared_ptr<KalvoCoreDelegate> KalvoCore::delegate() const
{
    return m_delegate.lock();
}

void KalvoCore::setForbidKeyboardNavigation(bool forbid)
{
    if (m_forbidKeyboardNavigation == forbid)
        return;
    m_forbidKeyboardNavigation = forbid;
    Q_EMIT keyboardNavigationPolicyChanged();
}

void KalvoCore::setRequireKeyboardNavigation(bool require)
{
    if (m_requireKeyboardNavigation == require)
        return;
    m_requireKeyboardNavigation = require;
    Q_EMIT keyboardNavigationPolicyChanged();
}

bool KalvoCore::isKeyboardNavigationEnabled() const
{
    if (m_forbidKeyboardNavigation)
        return false;
    if (m_requireKeyboardNavigation)
        return true;
    if (std::shared_ptr<KalvoCoreDelegate> d = m_delegate.lock())
        return d->enableKeyboardNavigation();
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::styleHints()->tabFocusBehavior() == Qt::TabFocusAllControls;
}

bool KalvoCore::isScreenReaderRunning() const
{
    if (std::shared_ptr<KalvoCoreDelegate> d = m_delegate.lock())
        return d->isVoiceOverRunning();
    return QAccessible::isActive();
}

QString KalvoCore::localize(const QString &key) const
{
    if (std::shared_ptr<KalvoCoreDelegate> d = m_delegate.lock()) {
        if (std::optional<QString> translated = d->localizedStringWithKey(key))
            return *translated;
    }
    return key;
}

void KalvoCore::announce(const QString &message, std::optional<double> delay)
{
    QPointer<KalvoCore> self(this);
    auto deliver = [self, message] {
        if (self)
            self->deliverAnnouncement(message);
    };
    if (delay && *delay > 0)
        (void)asyncAfter(*delay, deliver);
    else
        async(deliver);
}

void KalvoCore::deliverAnnouncement(const QString &message)
{
    if (std::shared_ptr<KalvoCoreDelegate> d = m_delegate.lock()) {
        if (d->speak(message))
            return;
    }
    const QString text = localize(message);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QObject *target = QApplication::activeWindow();
    if (!target)
        target = QCoreApplication::instance();
    if (target && QAccessible::isActive()) {
        QAccessibleAnnouncementEvent event(target, text);
        event.setPoliteness(QAccessible::AnnouncementPoliteness::Assertive);
        QAccessible::updateAccessibility(&event);
    }
#endif
    Q_EMIT announcementRequested(text, kAnnouncementPriority);
}

} // namespace kalvo
