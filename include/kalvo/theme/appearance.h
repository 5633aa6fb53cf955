// Light and dark: appearance objects, how responders find theirs, and the
// current drawing appearance that colours resolve against.
//
// Appearance is the platform appearance (light, dark): a named object that
// can carry a theme. TNAppearance is the handle hosts set on responders: a
// preset (TNAppearance::light(), ::dark()), the plain app() (follow the
// application), or a dynamic one that mirrors another responder.
//
//   kalvo::setTnAppearance(window, kalvo::TNAppearance::dark());
//   kalvo::setAppearance(qApp, nullptr);    // follow the desktop's preference
//
// Effective appearance of a widget: its own, else its parent widget's; a
// top-level widget (window) falls back to the application's. The
// application's is the host's choice, else the desktop's colour-scheme
// preference (SystemColorScheme). A change is propagated to every widget
// that inherits it: its drawing appearance is notified, it receives an
// AppearanceChangeEvent and is repainted.
//
// Drawing: DrawingAppearanceScope makes an appearance and theme current on
// this thread while a widget paints; Color::resolved() reads them. Outside a
// scope the main thread draws with the application's effective appearance.
// Main thread only, except that reading the drawing state is allowed
// anywhere (other threads always see light).
#pragma once

#include <kalvo/theme/color.h>
#include <kalvo/theme/theme.h>

#include <QEvent>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QObject;
class QWidget;
QT_END_NAMESPACE

namespace kalvo {

namespace detail {
class SubscriberList;
}

inline constexpr char kAppearanceNameLight[] = "KalvoAppearanceNameLight";
inline constexpr char kAppearanceNameDark[] = "KalvoAppearanceNameDark";
inline constexpr char kTNAppearanceNameDark[] = "TNAppearanceNameDark";

// ---- Platform appearances ----

class KALVO_EXPORT Appearance : public std::enable_shared_from_this<Appearance>
{
public:
    explicit Appearance(const QString &name);
    virtual ~Appearance();

    QString name() const { return m_name; }
    // This appearance's own name when the list holds it, else nothing.
    virtual std::optional<QString> bestMatchFromAppearancesWithNames(const QStringList &names) const;
    // Best match among the light and the dark appearance's names is dark.
    bool isDarkMode() const;
    std::vector<std::shared_ptr<const Appearance>> appearances() const;

    // A theme attached to this appearance object (kept alive by it).
    std::shared_ptr<TNTheme> theme() const { return m_theme; }
    void setTheme(std::shared_ptr<TNTheme> theme) { m_theme = std::move(theme); }

    // Runs fn with this appearance (and its theme) current for drawing.
    void performAsCurrentDrawingAppearance(const std::function<void()> &fn) const;

    static std::shared_ptr<Appearance> tn_lightAppearance();
    static std::shared_ptr<Appearance> tn_darkAppearance();
    // The appearance colours resolve against now: the innermost drawing
    // scope's, else the application's effective appearance.
    static std::shared_ptr<const Appearance> tnDrawingAppearance();

private:
    QString m_name;
    std::shared_ptr<TNTheme> m_theme;
    mutable std::atomic<int> m_dark{-1}; // isDarkMode(), once known
};

// An appearance named "TNAppearanceNameDark": it matches a list that holds
// that name and nothing else.
class KALVO_EXPORT TNDarkAppearance final : public Appearance
{
public:
    TNDarkAppearance();
};

// ---- Appearance handles ----

class TNDynamicAppearance;

class KALVO_EXPORT TNAppearance : public std::enable_shared_from_this<TNAppearance>
{
public:
    virtual ~TNAppearance();
    // The platform appearance this handle stands for; null for the plain
    // handle (follow the surroundings).
    virtual std::shared_ptr<Appearance> effectiveAppearance() const { return nullptr; }
    virtual bool isDynamic() const { return false; }

    // Class-level handles, made once, replaceable.
    static std::shared_ptr<TNAppearance> light();
    static std::shared_ptr<TNAppearance> dark();
    static std::shared_ptr<TNAppearance> app();
    static void setLight(std::shared_ptr<TNAppearance> appearance);
    static void setDark(std::shared_ptr<TNAppearance> appearance);
    static void setApp(std::shared_ptr<TNAppearance> appearance);
    // The provider's drawing appearance.
    static std::shared_ptr<TNDynamicAppearance> appearance(QObject *provider);
};

class KALVO_EXPORT TNPresetAppearance final : public TNAppearance
{
public:
    explicit TNPresetAppearance(std::shared_ptr<Appearance> appearance);
    std::shared_ptr<Appearance> effectiveAppearance() const override { return m_appearance; }

private:
    std::shared_ptr<Appearance> m_appearance;
};

// Mirrors a responder's effective appearance; null once the provider is gone.
class KALVO_EXPORT TNDynamicAppearance final : public TNAppearance
{
public:
    explicit TNDynamicAppearance(QObject *provider);
    std::shared_ptr<Appearance> effectiveAppearance() const override;
    bool isDynamic() const override { return true; }

    QObject *provider() const { return m_provider.data(); }
    int subscriberCount() const;
    // Drops subscribers that are gone and sets the provider's appearance on
    // the others.
    void effectiveAppearanceDidChanged();
    void addSubscriber(QObject *subscriber);
    void removeSubscriber(QObject *subscriber);

private:
    QPointer<QObject> m_provider;
    std::shared_ptr<detail::SubscriberList> m_subscribers;
};

// Sent (not posted) to a responder whose effective appearance changed.
class KALVO_EXPORT AppearanceChangeEvent : public QEvent
{
public:
    AppearanceChangeEvent();
    static QEvent::Type eventType();
};

// ---- Responders ----

// The platform appearance set on the responder itself (null: inherit).
KALVO_EXPORT std::shared_ptr<Appearance> appearance(const QObject *responder);
KALVO_EXPORT void setAppearance(QObject *responder, std::shared_ptr<Appearance> appearance);
KALVO_EXPORT std::shared_ptr<Appearance> effectiveAppearance(const QObject *responder);
KALVO_EXPORT bool isDarkMode(const QObject *responder);
// The handle set on the responder; setting it sets the platform appearance
// (and keeps following a dynamic handle).
KALVO_EXPORT std::shared_ptr<TNAppearance> tnAppearance(const QObject *responder);
KALVO_EXPORT void setTnAppearance(QObject *responder, std::shared_ptr<TNAppearance> appearance);
// A dynamic appearance bound to the responder, made on first use and kept.
KALVO_EXPORT std::shared_ptr<TNDynamicAppearance> drawingAppearance(QObject *responder);

// ---- Drawing ----

// Makes an appearance and a theme current for drawing on this thread until
// it is destroyed; scopes nest. The widget form uses the widget's effective
// appearance and theme.
class KALVO_EXPORT DrawingAppearanceScope
{
public:
    DrawingAppearanceScope(std::shared_ptr<const Appearance> appearance, std::shared_ptr<TNTheme> theme = nullptr);
    explicit DrawingAppearanceScope(const QWidget *widget);
    ~DrawingAppearanceScope();

    DrawingAppearanceScope(const DrawingAppearanceScope &) = delete;
    DrawingAppearanceScope &operator=(const DrawingAppearanceScope &) = delete;

    // The innermost scope of this thread, or null.
    static const DrawingAppearanceScope *current();
    const std::shared_ptr<const Appearance> &appearance() const { return m_appearance; }
    bool isDark() const { return m_state.dark; }
    // The theme's name when the scope began.
    ThemeName themeName() const { return m_state.theme(); }
    // What colours resolve against inside this scope.
    const DrawingState &state() const { return m_state; }

private:
    void enter(std::shared_ptr<const Appearance> appearance, std::shared_ptr<TNTheme> theme);

    std::shared_ptr<const Appearance> m_appearance;
    std::shared_ptr<TNTheme> m_theme;
    DrawingState m_state;
    const DrawingAppearanceScope *m_previous = nullptr;
};

// What resolution reads: cheap, allocation-free. Off the main thread the
// answers are light and no theme.
KALVO_EXPORT bool drawingAppearanceIsDark();
KALVO_EXPORT ThemeName drawingThemeName();

} // namespace kalvo
