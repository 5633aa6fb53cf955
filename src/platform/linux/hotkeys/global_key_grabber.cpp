#include "global_key_grabber.h"

#include <QGuiApplication>

namespace kalvo {

GlobalKeyGrabber::~GlobalKeyGrabber() = default;

namespace {

class UnavailableKeyGrabber final : public GlobalKeyGrabber
{
public:
    bool isAvailable() const override { return false; }
    KeyGrabResult grab(quint64, int, unsigned) override { return KeyGrabResult::unavailable; }
    void ungrab(quint64) override {}
    bool isGrabbed(quint64) const override { return false; }
    int grabCount() const override { return 0; }
};

bool runsOnWayland()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    // Offscreen and minimal platforms (tests, headless hosts) follow the
    // session: a Wayland session's $DISPLAY is XWayland.
    if (platform == QLatin1String("xcb"))
        return false;
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
        && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

std::unique_ptr<GlobalKeyGrabber> createUnavailableKeyGrabber()
{
    return std::make_unique<UnavailableKeyGrabber>();
}

std::unique_ptr<GlobalKeyGrabber> createDefaultGlobalKeyGrabber()
{
    if (runsOnWayland() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return createUnavailableKeyGrabber();
    return createX11KeyGrabber();
}

} // namespace kalvo
