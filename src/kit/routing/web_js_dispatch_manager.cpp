#include <kalvo/routing/webjsdispatchmanager.h>

#include <QHash>

#include <vector>

namespace kalvo {

TNWebView::~TNWebView() = default;

void TNWebView::setScriptMessageHandler(ScriptMessageHandler) { }

TNJsDispatchHandler::~TNJsDispatchHandler() = default;

struct TNWebJsDispatchManager::Private
{
    // webViewHashTable: weakly held, in the order added.
    std::vector<std::weak_ptr<TNWebView>> webViews;
    QHash<QString, std::shared_ptr<TNJsDispatchHandler>> jsHandleDict;
    QHash<QString, std::weak_ptr<TNWebView>> jsCallIdDict;
    // Lets handlers installed in web views notice that the manager is gone.
    std::shared_ptr<TNWebJsDispatchManager *> self;

    Private()
    {
        jsHandleDict.reserve(10);
        jsCallIdDict.reserve(10);
    }

    std::vector<std::shared_ptr<TNWebView>> liveViews()
    {
        std::vector<std::shared_ptr<TNWebView>> live;
        std::erase_if(webViews, [&](const std::weak_ptr<TNWebView> &weak) {
            auto view = weak.lock();
            if (!view)
                return true;
            live.push_back(std::move(view));
            return false;
        });
        return live;
    }

    bool contains(const TNWebView *view)
    {
        for (const auto &live : liveViews()) {
            if (live.get() == view)
                return true;
        }
        return false;
    }

    template<typename Match> std::shared_ptr<TNWebView> findFirst(Match match)
    {
        for (const auto &view : liveViews()) {
            if (match(*view))
                return view;
        }
        return nullptr;
    }
};

TNWebJsDispatchManager &TNWebJsDispatchManager::shared()
{
    static TNWebJsDispatchManager *manager = new TNWebJsDispatchManager;
    return *manager;
}

TNWebJsDispatchManager::TNWebJsDispatchManager() : d(std::make_unique<Private>())
{
    d->self = std::make_shared<TNWebJsDispatchManager *>(this);
}

TNWebJsDispatchManager::~TNWebJsDispatchManager()
{
    for (const auto &view : d->liveViews())
        view->setScriptMessageHandler(nullptr);
}

void TNWebJsDispatchManager::addWebView(const std::shared_ptr<TNWebView> &webView)
{
    if (!webView || d->contains(webView.get()))
        return;
    d->webViews.push_back(webView);
    std::weak_ptr<TNWebJsDispatchManager *> manager = d->self;
    std::weak_ptr<TNWebView> weakView = webView;
    webView->setScriptMessageHandler([manager, weakView](const QString &name, const QVariant &body) {
        if (auto self = manager.lock())
            (*self)->userContentControllerDidReceiveScriptMessage(TNScriptMessage {name, body, weakView});
    });
}

void TNWebJsDispatchManager::removeWebView(const std::shared_ptr<TNWebView> &webView)
{
    if (!webView)
        return;
    const auto before = d->webViews.size();
    std::erase_if(d->webViews, [&](const std::weak_ptr<TNWebView> &weak) {
        auto view = weak.lock();
        return !view || view == webView;
    });
    if (d->webViews.size() != before)
        webView->setScriptMessageHandler(nullptr);
}

int TNWebJsDispatchManager::webViewCount() const
{
    return static_cast<int>(d->liveViews().size());
}

void TNWebJsDispatchManager::registerJsDispatch(
    const std::shared_ptr<TNJsDispatchHandler> &handler, const QString &moduleIdentifier)
{
    if (!handler || moduleIdentifier.isEmpty())
        return;
    d->jsHandleDict.insert(moduleIdentifier, handler);
}

void TNWebJsDispatchManager::removeJsDispatchByModuleIdentifier(const QString &moduleIdentifier)
{
    d->jsHandleDict.remove(moduleIdentifier);
}

std::shared_ptr<TNWebView> TNWebJsDispatchManager::findWebViewByIdentifier(const QString &identifier) const
{
    if (identifier.isEmpty())
        return nullptr;
    return d->findFirst([&](const TNWebView &view) { return view.identifier() == identifier; });
}

std::shared_ptr<TNWebView> TNWebJsDispatchManager::findWebViewByJsCallId(const QString &jsCallId) const
{
    auto it = d->jsCallIdDict.constFind(jsCallId);
    return it == d->jsCallIdDict.constEnd() ? nullptr : it->lock();
}

std::shared_ptr<TNWebView> TNWebJsDispatchManager::findWebViewByResourceType(const QString &resourceType) const
{
    if (resourceType.isEmpty())
        return nullptr;
    return d->findFirst([&](const TNWebView &view) { return view.resourceType() == resourceType; });
}

bool TNWebJsDispatchManager::evaluateJavaScriptForIdentifier(const QString &script, const QString &identifier)
{
    return webViewEvaluateJavaScript(findWebViewByIdentifier(identifier), script);
}

bool TNWebJsDispatchManager::evaluateJavaScriptForJsCallId(const QString &script, const QString &jsCallId)
{
    if (script.isEmpty())
        return false;
    const std::shared_ptr<TNWebView> view = findWebViewByJsCallId(jsCallId);
    // The call is answered (or its view is gone): either way it is over.
    d->jsCallIdDict.remove(jsCallId);
    return webViewEvaluateJavaScript(view, script);
}

bool TNWebJsDispatchManager::evaluateJavaScriptForResourceType(const QString &script, const QString &resourceType)
{
    return webViewEvaluateJavaScript(findWebViewByResourceType(resourceType), script);
}

bool TNWebJsDispatchManager::webViewEvaluateJavaScript(
    const std::shared_ptr<TNWebView> &webView, const QString &script, TNWebView::EvaluationHandler completion)
{
    if (!webView || script.isEmpty())
        return false;
    webView->evaluateJavaScript(script, std::move(completion));
    return true;
}

bool TNWebJsDispatchManager::userContentControllerDidReceiveScriptMessage(const TNScriptMessage &message)
{
    const std::shared_ptr<TNWebView> view = message.webView.lock();
    if (!view || !d->contains(view.get()))
        return false;
    QVariantMap body;
    if (message.body.typeId() == QMetaType::QVariantMap)
        body = message.body.toMap();
    else if (message.body.typeId() == QMetaType::QVariantHash) {
        const QVariantHash hash = message.body.toHash();
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
            body.insert(it.key(), it.value());
    } else {
        return false;
    }
    const QVariant callId = body.value(QStringLiteral("jsCallId"));
    if (callId.isValid() && !callId.isNull()) {
        const QString id = callId.toString();
        if (!id.isEmpty())
            d->jsCallIdDict.insert(id, view);
    }
    const std::shared_ptr<TNJsDispatchHandler> handler = d->jsHandleDict.value(view->moduleIdentifier());
    if (!handler)
        return false;
    handler->webViewDidReceiveJSMessage(view, body);
    return true;
}

} // namespace kalvo
