#include <kalvo/routing/urlrouter.h>

#include <QDesktopServices>

#include <mutex>
#include <vector>

namespace kalvo {

namespace {

struct RouterGlobals
{
    std::mutex mutex;
    QString scheme = QStringLiteral("tn://");
    TNURLRouter::SystemOpener opener;
    std::shared_ptr<TNURLRouter> instance;
};

RouterGlobals &globals()
{
    static RouterGlobals *g = new RouterGlobals;
    return *g;
}

// The first path component of an in-app URL's remainder ("Meeting/join?id=1"
// -> "Meeting"): empty components are skipped, and a query or fragment ends
// the component.
QString firstComponent(QStringView rest)
{
    const qsizetype end = [&] {
        qsizetype cut = rest.size();
        for (QChar stop : {QLatin1Char('?'), QLatin1Char('#')}) {
            const qsizetype at = rest.indexOf(stop);
            if (at >= 0 && at < cut)
                cut = at;
        }
        return cut;
    }();
    const QStringView path = rest.left(end);
    for (QStringView part : path.split(QLatin1Char('/'))) {
        if (!part.isEmpty())
            return part.toString();
    }
    return QString();
}

} // namespace

TNURLRouterObject::~TNURLRouterObject() = default;

bool TNURLRouterObject::checkHandleURL(const QString &)
{
    return false;
}

QStringList TNURLRouterObject::urlFirstComponents()
{
    return {};
}

bool TNURLRouterObject::openURL(const QString &)
{
    return false;
}

struct TNURLRouter::Private
{
    // routerDict, in registration order.
    std::vector<std::pair<QString, std::shared_ptr<TNURLRouterObject>>> routers;

    std::vector<std::shared_ptr<TNURLRouterObject>> snapshot() const
    {
        std::vector<std::shared_ptr<TNURLRouterObject>> copy;
        copy.reserve(routers.size());
        for (const auto &entry : routers)
            copy.push_back(entry.second);
        return copy;
    }
};

TNURLRouter::TNURLRouter() : d(std::make_unique<Private>()) { }

TNURLRouter::~TNURLRouter() = default;

std::shared_ptr<TNURLRouter> TNURLRouter::sharedInstance()
{
    RouterGlobals &g = globals();
    std::lock_guard lock(g.mutex);
    if (!g.instance)
        g.instance = std::make_shared<TNURLRouter>();
    return g.instance;
}

void TNURLRouter::releaseInstance()
{
    std::shared_ptr<TNURLRouter> released;
    RouterGlobals &g = globals();
    std::lock_guard lock(g.mutex);
    released = std::move(g.instance);
}

void TNURLRouter::registerURLRouter(const std::shared_ptr<TNURLRouterObject> &router, const QString &key)
{
    if (!router || key.isEmpty())
        return;
    for (auto &entry : d->routers) {
        if (entry.first == key) {
            entry.second = router;
            return;
        }
    }
    d->routers.emplace_back(key, router);
}

void TNURLRouter::unregisterURLRouterByKey(const QString &key)
{
    std::erase_if(d->routers, [&](const auto &entry) { return entry.first == key; });
}

std::shared_ptr<TNURLRouterObject> TNURLRouter::routerForKey(const QString &key) const
{
    for (const auto &entry : d->routers) {
        if (entry.first == key)
            return entry.second;
    }
    return nullptr;
}

QStringList TNURLRouter::keys() const
{
    QStringList result;
    for (const auto &entry : d->routers)
        result.append(entry.first);
    return result;
}

bool TNURLRouter::openURL(const QString &url)
{
    if (url.isEmpty())
        return false;
    // Routers may register or unregister routers while they answer.
    const auto routers = d->snapshot();
    const QString scheme = inAppScheme();
    if (url.startsWith(scheme, Qt::CaseInsensitive)) {
        const QString first = firstComponent(QStringView(url).mid(scheme.size()));
        if (first.isEmpty())
            return false;
        for (const auto &router : routers) {
            if (router->urlFirstComponents().contains(first))
                return router->openURL(url);
        }
        return false;
    }
    for (const auto &router : routers) {
        if (router->checkHandleURL(url))
            return router->openURL(url);
    }
    const QUrl parsed(url, QUrl::StrictMode);
    if (parsed.isValid() && !parsed.scheme().isEmpty()) {
        SystemOpener opener;
        {
            RouterGlobals &g = globals();
            std::lock_guard lock(g.mutex);
            opener = g.opener;
        }
        if (opener)
            opener(parsed);
        else
            QDesktopServices::openUrl(parsed);
    }
    return false;
}

QString TNURLRouter::inAppScheme()
{
    RouterGlobals &g = globals();
    std::lock_guard lock(g.mutex);
    return g.scheme;
}

void TNURLRouter::setInAppScheme(const QString &scheme)
{
    RouterGlobals &g = globals();
    std::lock_guard lock(g.mutex);
    g.scheme = scheme.isEmpty() ? QStringLiteral("tn://") : scheme;
}

void TNURLRouter::setSystemOpener(SystemOpener opener)
{
    RouterGlobals &g = globals();
    std::lock_guard lock(g.mutex);
    g.opener = std::move(opener);
}

} // namespace kalvo
