#include <kalvo/platform/systemappearance.h>

#include "observer_registry_p.h"
#include "portal_p.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

namespace kalvo {

namespace {

bool paletteIsDark()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

// Watches the application for palette changes (a desktop switching theme
// without a portal does it this way).
class PaletteWatcher : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance())
            SystemColorScheme::instance().paletteChanged();
        return false;
    }
};

} // namespace

struct SystemColorScheme::Private
{
    ColorScheme portalScheme = ColorScheme::noPreference;
    bool paletteDark = false;
    bool lastAnswer = false;
    std::unique_ptr<detail::PortalColorScheme> portal;
    bool portalChosen = false;
    std::unique_ptr<PaletteWatcher> watcher;
    detail::ObserverRegistry<bool> observers;

    bool compute() const
    {
        switch (portalScheme) {
        case ColorScheme::preferDark:
            return true;
        case ColorScheme::preferLight:
            return false;
        case ColorScheme::noPreference:
            break;
        }
        return paletteDark;
    }

    void update()
    {
        const bool answer = compute();
        if (answer == lastAnswer)
            return;
        lastAnswer = answer;
        observers.notify(QString(), nullptr, answer);
    }
};

SystemColorScheme::SystemColorScheme() : d(std::make_unique<Private>())
{
    d->paletteDark = paletteIsDark();
    d->lastAnswer = d->compute();
    if (QCoreApplication *app = QCoreApplication::instance()) {
        d->watcher = std::make_unique<PaletteWatcher>();
        app->installEventFilter(d->watcher.get());
    }
}

SystemColorScheme::~SystemColorScheme() = default;

SystemColorScheme &SystemColorScheme::instance()
{
    static auto *scheme = new SystemColorScheme; // lives for the process
    return *scheme;
}

bool SystemColorScheme::prefersDark() const
{
    return d->lastAnswer;
}

ColorScheme SystemColorScheme::portalScheme() const
{
    return d->portalScheme;
}

bool SystemColorScheme::isPortalConnected() const
{
    return d->portal && d->portal->isConnected();
}

ObserverId SystemColorScheme::observe(const ObserverOwner &owner, std::function<void(bool)> observer)
{
    if (!observer)
        return 0;
    return d->observers.add(QString(), nullptr, owner, std::move(observer));
}

void SystemColorScheme::removeObserver(ObserverId id)
{
    d->observers.remove(id);
}

bool SystemColorScheme::connectToPortal(const QString &address)
{
    d->portalChosen = true;
    d->portal.reset();
    d->portalScheme = ColorScheme::noPreference;
    d->update();
    d->portal = detail::PortalColorScheme::connect(address, [this](ColorScheme scheme) {
        d->portalScheme = scheme;
        d->update();
    });
    return d->portal != nullptr;
}

void SystemColorScheme::followSessionPortalOnce()
{
    if (d->portalChosen)
        return;
    // Headless platforms (tests, screenshot runs) have no desktop whose
    // preference could apply; their palette decides.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        d->portalChosen = true;
        return;
    }
    (void)connectToPortal();
}

void SystemColorScheme::disconnectFromPortal()
{
    d->portal.reset();
    d->portalScheme = ColorScheme::noPreference;
    d->update();
}

void SystemColorScheme::paletteChanged()
{
    d->paletteDark = paletteIsDark();
    d->update();
}

} // namespace kalvo
