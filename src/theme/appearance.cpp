// ---- Index ----
// Appearance            platform appearances and the dark test
// TNAppearance          preset, plain and dynamic handles
// Application           the host's choice or the desktop preference
// Responders            effective appearance and its propagation
// Drawing               the per-thread drawing scope colours read
#include <kalvo/theme/appearance.h>

#include <kalvo/platform/scheduler.h>
#include <kalvo/theme/color.h>
#include <kalvo/platform/systemappearance.h>

#include "responder_state_p.h"
#include "subscribers_p.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <atomic>

namespace kalvo {

// ---- Appearance ----

Appearance::Appearance(const QString &name) : m_name(name) {}

Appearance::~Appearance() = default;

std::optional<QString> Appearance::bestMatchFromAppearancesWithNames(const QStringList &names) const
{
    if (names.contains(m_name))
        return m_name;
    return std::nullopt;
}

bool Appearance::isDarkMode() const
{
    // An appearance's name never changes, so the answer is kept; it is asked
    // at the start of every paint.
    const int known = m_dark.load(std::memory_order_relaxed);
    if (known >= 0)
        return known == 1;
    const QString dark = QString::fromLatin1(kAppearanceNameDark);
    const std::optional<QString> match =
        bestMatchFromAppearancesWithNames({QString::fromLatin1(kAppearanceNameLight), dark});
    const bool isDark = match && *match == dark;
    m_dark.store(isDark ? 1 : 0, std::memory_order_relaxed);
    return isDark;
}

std::vector<std::shared_ptr<const Appearance>> Appearance::appearances() const
{
    return {shared_from_this()};
}

void Appearance::performAsCurrentDrawingAppearance(const std::function<void()> &fn) const
{
    const DrawingAppearanceScope scope(shared_from_this(), m_theme);
    fn();
}

std::shared_ptr<Appearance> Appearance::tn_lightAppearance()
{
    static const auto appearance = std::make_shared<Appearance>(QString::fromLatin1(kAppearanceNameLight));
    return appearance;
}

std::shared_ptr<Appearance> Appearance::tn_darkAppearance()
{
    static const auto appearance = std::make_shared<Appearance>(QString::fromLatin1(kAppearanceNameDark));
    return appearance;
}

TNDarkAppearance::TNDarkAppearance() : Appearance(QString::fromLatin1(kTNAppearanceNameDark)) {}

// ---- TNAppearance ----

TNAppearance::~TNAppearance() = default;

namespace {

struct Handles
{
    std::shared_ptr<TNAppearance> light = std::make_shared<TNPresetAppearance>(Appearance::tn_lightAppearance());
    std::shared_ptr<TNAppearance> dark = std::make_shared<TNPresetAppearance>(Appearance::tn_darkAppearance());
    std::shared_ptr<TNAppearance> app = std::make_shared<TNAppearance>();
};

Handles &handles()
{
    static auto *h = new Handles;
    return *h;
}

} // namespace

std::shared_ptr<TNAppearance> TNAppearance::light()
{
    return handles().light;
}

std::shared_ptr<TNAppearance> TNAppearance::dark()
{
    return handles().dark;
}

std::shared_ptr<TNAppearance> TNAppearance::app()
{
    return handles().app;
}

void TNAppearance::setLight(std::shared_ptr<TNAppearance> appearance)
{
    if (appearance)
        handles().light = std::move(appearance);
}

void TNAppearance::setDark(std::shared_ptr<TNAppearance> appearance)
{
    if (appearance)
        handles().dark = std::move(appearance);
}

void TNAppearance::setApp(std::shared_ptr<TNAppearance> appearance)
{
    if (appearance)
        handles().app = std::move(appearance);
}

std::shared_ptr<TNDynamicAppearance> TNAppearance::appearance(QObject *provider)
{
    return drawingAppearance(provider);
}

TNPresetAppearance::TNPresetAppearance(std::shared_ptr<Appearance> appearance) : m_appearance(std::move(appearance))
{
}

TNDynamicAppearance::TNDynamicAppearance(QObject *provider)
    : m_provider(provider), m_subscribers(std::make_shared<detail::SubscriberList>())
{
}

std::shared_ptr<Appearance> TNDynamicAppearance::effectiveAppearance() const
{
    if (!m_provider)
        return nullptr;
    return kalvo::effectiveAppearance(m_provider);
}

int TNDynamicAppearance::subscriberCount() const
{
    return m_subscribers->count();
}

void TNDynamicAppearance::addSubscriber(QObject *subscriber)
{
    m_subscribers->add(subscriber);
}

void TNDynamicAppearance::removeSubscriber(QObject *subscriber)
{
    m_subscribers->remove(subscriber);
}

void TNDynamicAppearance::effectiveAppearanceDidChanged()
{
    const std::shared_ptr<Appearance> current = effectiveAppearance();
    const std::vector<QPointer<QObject>> subscribers = m_subscribers->compacted();
    for (const QPointer<QObject> &subscriber : subscribers) {
        if (subscriber)
            setAppearance(subscriber, current);
    }
}

AppearanceChangeEvent::AppearanceChangeEvent() : QEvent(eventType()) {}

QEvent::Type AppearanceChangeEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// ---- Application ----

namespace {

// What resolution reads outside a drawing scope, kept current on every
// change so the hot path needs neither a lock nor the side table.
std::atomic<bool> g_appDark{false};
std::atomic<unsigned> g_appTheme{0};

void propagateAppearanceChange(QObject *responder);

std::shared_ptr<Appearance> systemAppearance()
{
    return SystemColorScheme::instance().prefersDark() ? Appearance::tn_darkAppearance()
                                                      : Appearance::tn_lightAppearance();
}

void refreshApplicationCache();

// Follows the desktop preference from the first question on.
void ensureSystemFollowed()
{
    static bool followed = false;
    if (followed || !isMainThread())
        return;
    followed = true;
    SystemColorScheme &scheme = SystemColorScheme::instance();
    scheme.followSessionPortalOnce();
    scheme.observe(nullptr, [](bool) {
        QObject *app = QCoreApplication::instance();
        const detail::ResponderState *state = detail::responderState(app);
        refreshApplicationCache();
        if (app && !(state && state->appearance))
            propagateAppearanceChange(app);
    });
    refreshApplicationCache();
}

std::shared_ptr<Appearance> applicationAppearance()
{
    ensureSystemFollowed();
    const detail::ResponderState *state = detail::responderState(QCoreApplication::instance());
    if (state && state->appearance)
        return state->appearance;
    return systemAppearance();
}

void refreshApplicationCache()
{
    const std::shared_ptr<Appearance> app = applicationAppearance();
    g_appDark.store(app->isDarkMode(), std::memory_order_relaxed);
    const std::shared_ptr<TNTheme> theme = app->theme();
    g_appTheme.store(static_cast<unsigned>(theme ? theme->name() : ThemeName::none), std::memory_order_relaxed);
}

// ---- Responders ----

bool hasOwnAppearance(const QObject *object)
{
    const detail::ResponderState *state = detail::responderState(object);
    return state && state->appearance;
}

void propagateAppearanceChange(QObject *responder)
{
    const detail::PropagationGuard guard(responder);
    if (guard.isReentry())
        return;
    QPointer<QObject> alive(responder);
    if (responder == QCoreApplication::instance())
        refreshApplicationCache();
    if (detail::ResponderState *state = detail::responderState(responder)) {
        if (std::shared_ptr<TNDynamicAppearance> drawing = state->drawingAppearance)
            drawing->effectiveAppearanceDidChanged();
    }
    if (!alive)
        return;
    AppearanceChangeEvent event;
    QCoreApplication::sendEvent(responder, &event);
    if (!alive)
        return;
    if (auto *widget = qobject_cast<QWidget *>(responder)) {
        // Windows inherit from the application, not from their parent.
        const QObjectList children = widget->children();
        for (QObject *child : children) {
            QPointer<QObject> next(child);
            if (next && next->isWidgetType() && !static_cast<QWidget *>(next.data())->isWindow()
                && !hasOwnAppearance(next))
                propagateAppearanceChange(next);
        }
        if (alive)
            widget->update();
        return;
    }
    if (responder == QCoreApplication::instance()) {
        std::vector<QPointer<QWidget>> windows;
        for (QWidget *window : QApplication::topLevelWidgets())
            windows.emplace_back(window);
        for (const QPointer<QWidget> &window : windows) {
            if (window && !hasOwnAppearance(window))
                propagateAppearanceChange(window);
        }
    }
}

} // namespace

std::shared_ptr<Appearance> appearance(const QObject *responder)
{
    const detail::ResponderState *state = detail::responderState(responder);
    return state ? state->appearance : nullptr;
}

void setAppearance(QObject *responder, std::shared_ptr<Appearance> value)
{
    if (!responder)
        return;
    detail::ResponderState &state = detail::ensureResponderState(responder);
    if (state.appearance == value)
        return;
    state.appearance = std::move(value);
    propagateAppearanceChange(responder);
}

std::shared_ptr<Appearance> effectiveAppearance(const QObject *responder)
{
    for (const QObject *current = responder; current;) {
        if (const detail::ResponderState *state = detail::responderState(current)) {
            if (state->appearance)
                return state->appearance;
        }
        const auto *widget = qobject_cast<const QWidget *>(current);
        if (!widget || widget->isWindow())
            break;
        current = widget->parentWidget();
    }
    return applicationAppearance();
}

bool isDarkMode(const QObject *responder)
{
    return effectiveAppearance(responder)->isDarkMode();
}

std::shared_ptr<TNAppearance> tnAppearance(const QObject *responder)
{
    const detail::ResponderState *state = detail::responderState(responder);
    return state ? state->tnAppearance : nullptr;
}

void setTnAppearance(QObject *responder, std::shared_ptr<TNAppearance> value)
{
    if (!responder)
        return;
    detail::ResponderState &state = detail::ensureResponderState(responder);
    if (state.tnAppearance == value)
        return;
    if (state.tnAppearance && state.tnAppearance->isDynamic())
        std::static_pointer_cast<TNDynamicAppearance>(state.tnAppearance)->removeSubscriber(responder);
    state.tnAppearance = value;
    if (value && value->isDynamic())
        std::static_pointer_cast<TNDynamicAppearance>(value)->addSubscriber(responder);
    setAppearance(responder, value ? value->effectiveAppearance() : nullptr);
}

std::shared_ptr<TNDynamicAppearance> drawingAppearance(QObject *responder)
{
    if (!responder)
        return std::make_shared<TNDynamicAppearance>(nullptr);
    detail::ResponderState &state = detail::ensureResponderState(responder);
    if (!state.drawingAppearance)
        state.drawingAppearance = std::make_shared<TNDynamicAppearance>(responder);
    return state.drawingAppearance;
}

// ---- Drawing ----

namespace {
// Read for every colour drawn: the initial-exec model makes it one
// thread-pointer-relative load instead of a call into the TLS resolver.
__attribute__((tls_model("initial-exec"))) thread_local const DrawingAppearanceScope *t_scope = nullptr;
}

DrawingAppearanceScope::DrawingAppearanceScope(std::shared_ptr<const Appearance> appearance,
                                               std::shared_ptr<TNTheme> theme)
{
    enter(std::move(appearance), std::move(theme));
}

DrawingAppearanceScope::DrawingAppearanceScope(const QWidget *widget)
{
    enter(effectiveAppearance(widget), effectiveTheme(widget));
}

void DrawingAppearanceScope::enter(std::shared_ptr<const Appearance> appearance, std::shared_ptr<TNTheme> theme)
{
    m_appearance = appearance ? std::move(appearance) : applicationAppearance();
    m_theme = theme ? std::move(theme) : m_appearance->theme();
    // Read once here, so resolving a colour is one load and a branch.
    m_state.dark = m_appearance->isDarkMode();
    m_state.themeRaw = static_cast<std::uint8_t>(m_theme ? m_theme->name() : ThemeName::none);
    m_state.mainThread = isMainThread();
    m_previous = t_scope;
    t_scope = this;
}

DrawingAppearanceScope::~DrawingAppearanceScope()
{
    t_scope = m_previous;
}

const DrawingAppearanceScope *DrawingAppearanceScope::current()
{
    return t_scope;
}

std::shared_ptr<const Appearance> Appearance::tnDrawingAppearance()
{
    if (t_scope)
        return t_scope->appearance();
    return applicationAppearance();
}

DrawingState currentDrawingState()
{
    // A scope belongs to its thread, so its state already says whether this
    // is the main thread.
    if (const DrawingAppearanceScope *scope = t_scope)
        return scope->state();
    if (!isMainThread())
        return DrawingState{};
    ensureSystemFollowed();
    DrawingState state;
    state.dark = g_appDark.load(std::memory_order_relaxed);
    state.mainThread = true;
    state.themeRaw = static_cast<std::uint8_t>(g_appTheme.load(std::memory_order_relaxed));
    return state;
}

bool drawingAppearanceIsDark()
{
    const DrawingState state = currentDrawingState();
    return state.mainThread && state.dark;
}

ThemeName drawingThemeName()
{
    const DrawingState state = currentDrawingState();
    return state.mainThread ? state.theme() : ThemeName::none;
}

} // namespace kalvo
