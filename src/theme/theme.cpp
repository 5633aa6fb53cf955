#include <kalvo/theme/theme.h>

#include "responder_state_p.h"
#include "subscribers_p.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

namespace kalvo {

// ---- TNTheme ----

TNTheme::TNTheme(ThemeName name) : m_name(name) {}

TNTheme::~TNTheme() = default;

ThemeName TNTheme::name() const
{
    return m_name;
}

void TNTheme::setName(ThemeName name)
{
    m_name = name;
}

namespace {

std::shared_ptr<TNTheme> &baseSlot()
{
    static auto *slot = new std::shared_ptr<TNTheme>(std::make_shared<TNTheme>(ThemeName::base));
    return *slot;
}

} // namespace

std::shared_ptr<TNTheme> TNTheme::base()
{
    return baseSlot();
}

void TNTheme::setBase(std::shared_ptr<TNTheme> theme)
{
    baseSlot() = theme ? std::move(theme) : std::make_shared<TNTheme>(ThemeName::base);
}

std::shared_ptr<TNTheme> TNTheme::classic()
{
    static const auto theme = std::make_shared<TNTheme>(ThemeName::classic);
    return theme;
}

std::shared_ptr<TNTheme> TNTheme::bloom()
{
    static const auto theme = std::make_shared<TNTheme>(ThemeName::bloom);
    return theme;
}

std::shared_ptr<TNTheme> TNTheme::agave()
{
    static const auto theme = std::make_shared<TNTheme>(ThemeName::agave);
    return theme;
}

std::shared_ptr<TNTheme> TNTheme::rose()
{
    static const auto theme = std::make_shared<TNTheme>(ThemeName::rose);
    return theme;
}

std::shared_ptr<TNTheme> TNTheme::tarn()
{
    static const std::shared_ptr<TNTheme> theme = drawingTheme(QCoreApplication::instance());
    return theme;
}

std::shared_ptr<TNTheme> TNTheme::defaultTheme()
{
    static const auto theme = std::make_shared<TNTheme>(ThemeName::none);
    return theme;
}

std::shared_ptr<TNDynamicTheme> TNTheme::themeWithProvider(QObject *provider)
{
    return drawingTheme(provider);
}

// ---- TNDynamicTheme ----

TNDynamicTheme::TNDynamicTheme(QObject *provider)
    : TNTheme(ThemeName::none), m_provider(provider), m_subscribers(std::make_shared<detail::SubscriberList>())
{
}

ThemeName TNDynamicTheme::name() const
{
    // A provider that follows this very theme would ask us back forever.
    if (!m_needRefresh || !m_provider || m_asking)
        return m_name;
    m_asking = true;
    const ThemeName current = effectiveTheme(m_provider)->name();
    m_asking = false;
    const_cast<TNDynamicTheme *>(this)->m_name = current;
    if (current != ThemeName::none)
        m_needRefresh = false;
    return current;
}

int TNDynamicTheme::subscriberCount() const
{
    return m_subscribers->count();
}

void TNDynamicTheme::addSubscriber(QObject *subscriber)
{
    m_subscribers->add(subscriber);
}

void TNDynamicTheme::removeSubscriber(QObject *subscriber)
{
    m_subscribers->remove(subscriber);
}

namespace detail {
void propagateThemeChange(QObject *responder);
}

void TNDynamicTheme::effectiveThemeDidChanged()
{
    m_needRefresh = true;
    const std::vector<QPointer<QObject>> subscribers = m_subscribers->compacted();
    for (const QPointer<QObject> &subscriber : subscribers) {
        if (subscriber)
            detail::propagateThemeChange(subscriber);
    }
}

// ---- ThemeChangeEvent ----

ThemeChangeEvent::ThemeChangeEvent() : QEvent(eventType()) {}

QEvent::Type ThemeChangeEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// ---- Responders ----

std::shared_ptr<TNTheme> tnTheme(const QObject *responder)
{
    const detail::ResponderState *state = detail::responderState(responder);
    return state ? state->tnTheme : nullptr;
}

std::shared_ptr<TNTheme> cachedEffectiveTheme(const QObject *responder)
{
    const detail::ResponderState *state = detail::responderState(responder);
    return state ? state->cachedEffectiveTheme : nullptr;
}

std::shared_ptr<TNTheme> effectiveTheme(const QObject *responder)
{
    if (!responder)
        return TNTheme::defaultTheme();
    if (const detail::ResponderState *state = detail::responderState(responder)) {
        if (state->tnTheme)
            return state->tnTheme;
        if (state->cachedEffectiveTheme)
            return state->cachedEffectiveTheme;
    }
    if (const auto *widget = qobject_cast<const QWidget *>(responder)) {
        if (!widget->isWindow()) {
            // A view: ask the parent, and keep the answer until a theme
            // change above clears it.
            std::shared_ptr<TNTheme> theme = effectiveTheme(widget->parentWidget());
            if (theme != TNTheme::defaultTheme())
                detail::ensureResponderState(widget).cachedEffectiveTheme = theme;
            return theme;
        }
        if (const QWidget *parent = widget->parentWidget())
            return effectiveTheme(parent->window());
        if (QCoreApplication::instance())
            return effectiveTheme(QCoreApplication::instance());
        return TNTheme::defaultTheme();
    }
    if (responder == QCoreApplication::instance())
        return TNTheme::base();
    return TNTheme::defaultTheme();
}

std::shared_ptr<TNDynamicTheme> drawingTheme(QObject *responder)
{
    if (!responder)
        return std::make_shared<TNDynamicTheme>(nullptr);
    detail::ResponderState &state = detail::ensureResponderState(responder);
    if (!state.drawingTheme)
        state.drawingTheme = std::make_shared<TNDynamicTheme>(responder);
    return state.drawingTheme;
}

void setTnTheme(QObject *responder, std::shared_ptr<TNTheme> theme)
{
    if (!responder)
        return;
    detail::ResponderState &state = detail::ensureResponderState(responder);
    if (state.tnTheme == theme)
        return;
    if (state.tnTheme && state.tnTheme->isDynamic())
        std::static_pointer_cast<TNDynamicTheme>(state.tnTheme)->removeSubscriber(responder);
    state.tnTheme = theme;
    if (theme && theme->isDynamic())
        std::static_pointer_cast<TNDynamicTheme>(theme)->addSubscriber(responder);
    detail::propagateThemeChange(responder);
}

namespace detail {

namespace {

bool hasOwnTheme(const QObject *object)
{
    const ResponderState *state = responderState(object);
    return state && state->tnTheme;
}

} // namespace

void propagateThemeChange(QObject *responder)
{
    const PropagationGuard guard(responder);
    if (guard.isReentry())
        return;
    QPointer<QObject> alive(responder);
    if (ResponderState *state = responderState(responder)) {
        state->cachedEffectiveTheme.reset();
        if (std::shared_ptr<TNDynamicTheme> drawing = state->drawingTheme)
            drawing->effectiveThemeDidChanged();
    }
    if (!alive)
        return;
    ThemeChangeEvent event;
    QCoreApplication::sendEvent(responder, &event);
    if (!alive)
        return; // a handler closed it
    if (auto *widget = qobject_cast<QWidget *>(responder)) {
        // Views below, and the windows that follow this one as their parent.
        const QObjectList children = widget->children();
        for (QObject *child : children) {
            QPointer<QObject> next(child);
            if (next && next->isWidgetType() && !hasOwnTheme(next))
                propagateThemeChange(next);
        }
        if (alive)
            widget->update();
        return;
    }
    if (responder == QCoreApplication::instance()) {
        const QWidgetList windows = QApplication::topLevelWidgets();
        std::vector<QPointer<QWidget>> roots;
        for (QWidget *window : windows) {
            if (!window->parentWidget())
                roots.emplace_back(window);
        }
        for (const QPointer<QWidget> &window : roots) {
            if (window && !hasOwnTheme(window))
                propagateThemeChange(window);
        }
    }
}

} // namespace detail

} // namespace kalvo
