// The desktop's light/dark preference.
//
// Read from the freedesktop Settings portal ("org.freedesktop.appearance"
// "color-scheme": 0 no preference, 1 prefer dark, 2 prefer light) over the
// session bus, following its change signal. Until the portal answers, and
// where none runs (or it has no preference), the application palette's
// window colour decides: dark when its lightness is below the middle.
#pragma once

#include <kalvo/platform/observerowner.h>

#include <QString>

#include <functional>
#include <memory>

namespace kalvo {

enum class ColorScheme { noPreference = 0, preferDark = 1, preferLight = 2 };

class KALVO_EXPORT SystemColorScheme
{
public:
    static SystemColorScheme &instance();

    bool prefersDark() const;
    // The portal's last answer; noPreference until it answered.
    ColorScheme portalScheme() const;
    bool isPortalConnected() const;

    // Called on the main thread whenever prefersDark() changes.
    ObserverId observe(const ObserverOwner &owner, std::function<void(bool dark)> observer);
    void removeObserver(ObserverId id);

    // Follows the portal on the bus at `address` (empty: the session bus),
    // instead of the one followed so far. Returns false when the bus cannot
    // be reached; the palette then decides.
    bool connectToPortal(const QString &address = {});
    // Follows the session bus's portal unless a portal was chosen already
    // or the application runs on a headless platform (offscreen, minimal).
    void followSessionPortalOnce();
    void disconnectFromPortal();

    // Re-reads the palette; called on application palette changes.
    void paletteChanged();

    ~SystemColorScheme();

private:
    SystemColorScheme();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
