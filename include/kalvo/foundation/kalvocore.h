// The host's entry point and the library's policy hub.
//
//   auto delegate = std::make_shared<MyCoreDelegate>();   // keep it alive
//   kalvo::KalvoCore::start(delegate);
//
// Controls ask KalvoCore whether keyboard navigation is on, whether a screen
// reader runs, to translate accessibility texts and to make announcements.
// Everything works without start(): every question has a platform answer
// and translations fall back to the key. Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace kalvo {

// Implemented by the host. The first two are required; the optional ones
// report "not implemented" by their default bodies.
class KALVO_EXPORT KalvoCoreDelegate
{
public:
    virtual ~KalvoCoreDelegate();
    virtual bool enableKeyboardNavigation() = 0;
    virtual bool isVoiceOverRunning() = 0;
    // The translation of a key, or nothing (not implemented, or no translation).
    virtual std::optional<QString> localizedStringWithKey(const QString &key);
    // Speaks the announcement; false means "not implemented".
    virtual bool speak(const QString &message);
};

class KALVO_EXPORT KalvoCore : public QObject
{
    Q_OBJECT

public:
    // Priority of announcements made without the delegate (the platform's high priority).
    static constexpr int kAnnouncementPriority = 90;

    static KalvoCore &shared();
    // Stores the delegate weakly; a later call replaces it.
    static void start(std::weak_ptr<KalvoCoreDelegate> delegate);
    static void startWithDelegate(std::weak_ptr<KalvoCoreDelegate> delegate) { start(std::move(delegate)); }

    std::shared_ptr<KalvoCoreDelegate> delegate() const;

    bool forbidMenuKeyboardNavigation() const { return m_forbidMenuKeyboardNavigation; }
    void setForbidMenuKeyboardNavigation(bool forbid) { m_forbidMenuKeyboardNavigation = forbid; }
    bool forbidKeyboardNavigation() const { return m_forbidKeyboardNavigation; }
    void setForbidKeyboardNavigation(bool forbid);
    bool requireKeyboardNavigation() const { return m_requireKeyboardNavigation; }
    void setRequireKeyboardNavigation(bool require);

    // Forbidden: off. Required: on. Else the delegate's answer; without one,
    // whether Tab moves focus through all controls (Qt's tab-focus behaviour,
    // the desktop's full keyboard access).
    bool isKeyboardNavigationEnabled() const;
    bool isMenuKeyboardNavigationForbidden() const { return m_forbidMenuKeyboardNavigation; }
    // The delegate's answer; without one, whether an assistive technology is
    // connected (QAccessible).
    bool isScreenReaderRunning() const;
    // The delegate's translation, else the key unchanged.
    QString localize(const QString &key) const;
    // Speaks `message` on the main queue: at once for no delay or a delay
    // that is not positive, else `delay` seconds later. Through the
    // delegate's speak() when it has one; otherwise announced through the
    // accessibility layer (where Qt offers it) and announcementRequested().
    void announce(const QString &message, std::optional<double> delay = std::nullopt);

Q_SIGNALS:
    // An announcement for assistive technologies: the localised text and its
    // priority. Emitted whenever the delegate does not speak it.
    void announcementRequested(const QString &text, int priority);
    // The keyboard-navigation answer may have changed (flags, delegate).
    void keyboardNavigationPolicyChanged();

private:
    KalvoCore();
    void deliverAnnouncement(const QString &message);

    std::weak_ptr<KalvoCoreDelegate> m_delegate;
    bool m_forbidMenuKeyboardNavigation = false;
    bool m_forbidKeyboardNavigation = false;
    bool m_requireKeyboardNavigation = false;
};

} // namespace kalvo
