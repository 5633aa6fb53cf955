// Opens URLs inside the application through registered routers, or with the
// system when none claims them.
//
//   class MeetingRouter : public kalvo::TNURLRouterObject {
//       QStringList urlFirstComponents() override { return {QStringLiteral("Meeting")}; }
//       bool openURL(const QString &url) override { ...; return true; }
//   };
//   auto router = kalvo::TNURLRouter::sharedInstance();
//   router->registerURLRouter(std::make_shared<MeetingRouter>(), QStringLiteral("meeting"));
//   router->openURL(QStringLiteral("TN://Meeting/join?id=42"));   // MeetingRouter
//   router->openURL(QStringLiteral("https://example.org"));       // a checkHandleURL router, else the system
//
// In-app URLs start with the in-app scheme ("tn://" unless the host changed
// it; compared without regard to case). Their first path component picks the
// first router, in registration order, that lists it among its
// urlFirstComponents(). Other URLs go to the first router whose
// checkHandleURL() answers true; when none does, a URL that parses (with a
// scheme) is handed to the system opener and the answer is false.
//
// The system opener is QDesktopServices::openUrl unless the host (or a test)
// sets its own with setSystemOpener.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

namespace kalvo {

// A router object; every method is optional (the defaults decline).
class KALVO_EXPORT TNURLRouterObject
{
public:
    virtual ~TNURLRouterObject();
    virtual bool checkHandleURL(const QString &url);
    virtual QStringList urlFirstComponents();
    virtual bool openURL(const QString &url);
};

class KALVO_EXPORT TNURLRouter
{
public:
    using SystemOpener = std::function<bool(const QUrl &url)>;

    // Created on first use; releaseInstance() drops it (the next call makes
    // a new, empty one). Main thread.
    static std::shared_ptr<TNURLRouter> sharedInstance();
    static void releaseInstance();

    TNURLRouter();
    ~TNURLRouter();
    TNURLRouter(const TNURLRouter &) = delete;
    TNURLRouter &operator=(const TNURLRouter &) = delete;

    // A null router or an empty key is ignored; a key registered again is
    // replaced in place (keeping its position).
    void registerURLRouter(const std::shared_ptr<TNURLRouterObject> &router, const QString &key);
    void unregisterURLRouterByKey(const QString &key);
    std::shared_ptr<TNURLRouterObject> routerForKey(const QString &key) const;
    // The keys in registration order.
    QStringList keys() const;

    bool openURL(const QString &url);

    // The in-app scheme, "tn://" by default; an empty value restores it.
    static QString inAppScheme();
    static void setInAppScheme(const QString &scheme);
    // Null restores QDesktopServices::openUrl.
    static void setSystemOpener(SystemOpener opener);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
