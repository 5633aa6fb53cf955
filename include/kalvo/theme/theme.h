// Themes, and how every responder finds its own.
//
// Responders are widgets (a child widget is a "view", a top-level widget a
// "window") and the QApplication; any other object has the default theme.
//
//   kalvo::setTnTheme(window, kalvo::TNTheme::rose());   // the window and its views
//   kalvo::effectiveTheme(button)->name();               // ThemeName::rose
//
// Effective theme: the responder's own theme; else the theme a view cached
// the last time it asked; else a view asks its parent widget (a window its
// parent window, then the application), and the application answers
// TNTheme::base(). A view caches what it computed (unless it is the default
// theme) until a theme change above it clears the cache, even if it is moved
// elsewhere meanwhile. Setting a theme clears the caches below, notifies the
// dynamic themes bound to those responders, sends each a ThemeChangeEvent and
// repaints the views. Main thread only.
#pragma once

#include <kalvo/theme/themename.h>

#include <QEvent>
#include <QPointer>

#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

namespace kalvo {

namespace detail {
class SubscriberList;
}

class TNDynamicTheme;

class KALVO_EXPORT TNTheme : public std::enable_shared_from_this<TNTheme>
{
public:
    explicit TNTheme(ThemeName name = ThemeName::none);
    virtual ~TNTheme();

    virtual ThemeName name() const;
    void setName(ThemeName name);
    virtual bool isDynamic() const { return false; }

    // Class-level themes, each made once. base() can be replaced.
    static std::shared_ptr<TNTheme> base();
    static void setBase(std::shared_ptr<TNTheme> theme);
    static std::shared_ptr<TNTheme> classic();
    static std::shared_ptr<TNTheme> bloom();
    static std::shared_ptr<TNTheme> agave();
    static std::shared_ptr<TNTheme> rose();
    // The application's drawing theme, taken once at first use.
    static std::shared_ptr<TNTheme> tarn();
    // The single theme named none, answered when nothing else applies.
    static std::shared_ptr<TNTheme> defaultTheme();
    // The provider's drawingTheme.
    static std::shared_ptr<TNDynamicTheme> themeWithProvider(QObject *provider);

protected:
    ThemeName m_name;
};

// A theme that mirrors another responder's effective theme.
class KALVO_EXPORT TNDynamicTheme final : public TNTheme
{
public:
    explicit TNDynamicTheme(QObject *provider);

    // The provider's effective theme name, asked again while the last answer
    // was none or a change was announced; without a provider the last name.
    ThemeName name() const override;
    bool isDynamic() const override { return true; }

    QObject *provider() const { return m_provider.data(); }
    bool needRefresh() const { return m_needRefresh; }
    int subscriberCount() const;

    // Marks for refresh, drops subscribers that are gone and passes the
    // change on to the rest.
    void effectiveThemeDidChanged();
    void addSubscriber(QObject *subscriber);
    void removeSubscriber(QObject *subscriber);

private:
    QPointer<QObject> m_provider;
    std::shared_ptr<detail::SubscriberList> m_subscribers;
    mutable bool m_needRefresh = true;
    mutable bool m_asking = false;
};

// Sent (not posted) to a responder whose effective theme changed.
class KALVO_EXPORT ThemeChangeEvent : public QEvent
{
public:
    ThemeChangeEvent();
    static QEvent::Type eventType();
};

KALVO_EXPORT std::shared_ptr<TNTheme> tnTheme(const QObject *responder);
// Same theme (or both null) does nothing.
KALVO_EXPORT void setTnTheme(QObject *responder, std::shared_ptr<TNTheme> theme);
KALVO_EXPORT std::shared_ptr<TNTheme> effectiveTheme(const QObject *responder);
KALVO_EXPORT std::shared_ptr<TNTheme> cachedEffectiveTheme(const QObject *responder);
// A dynamic theme bound to the responder, made on first use and kept.
KALVO_EXPORT std::shared_ptr<TNDynamicTheme> drawingTheme(QObject *responder);

} // namespace kalvo
