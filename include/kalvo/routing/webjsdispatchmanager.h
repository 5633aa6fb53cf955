// Script messages from embedded web views, routed to handlers by module.
//
// No web engine is needed: a web view is anything implementing TNWebView
// (a QWebEngineView wrapper, or a fake in tests):
//
//   class ChatWebView : public kalvo::TNWebView {
//       QString identifier() const override { return m_id; }
//       QString moduleIdentifier() const override { return QStringLiteral("chat"); }
//       QString resourceType() const override { return QStringLiteral("panel"); }
//       void evaluateJavaScript(const QString &script, EvaluationHandler done) override;
//       void setScriptMessageHandler(ScriptMessageHandler handler) override { m_post = handler; }
//   };
//   auto &js = kalvo::TNWebJsDispatchManager::shared();
//   js.addWebView(view);                                  // held weakly
//   js.registerJsDispatch(chatHandler, QStringLiteral("chat"));
//   // the page posts {"jsCallId": "7", ...}: chatHandler->webViewDidReceiveJSMessage(view, body)
//   js.evaluateJavaScriptForJsCallId(QStringLiteral("reply(7)"), QStringLiteral("7"));
//
// The message source: addWebView() hands the view a handler through
// setScriptMessageHandler(); the view calls it for each script message.
// Hosts whose messages arrive elsewhere call
// userContentControllerDidReceiveScriptMessage() themselves.
//
// A message counts only when its web view was added (and is alive) and its
// body is a map; its "jsCallId" entry then remembers the web view, and the
// handler registered under the view's moduleIdentifier() gets (view, body).
// Evaluating with an empty script, or without a matching live web view,
// does nothing. Main thread only.
#pragma once

#include <kalvo/global.h>

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace kalvo {

class KALVO_EXPORT TNWebView
{
public:
    using EvaluationHandler = std::function<void(const QVariant &result, const QString &error)>;
    using ScriptMessageHandler = std::function<void(const QString &name, const QVariant &body)>;

    virtual ~TNWebView();
    virtual QString identifier() const = 0;
    virtual QString moduleIdentifier() const = 0;
    virtual QString resourceType() const = 0;
    // Runs `script` in the page; `completion` may be null.
    virtual void evaluateJavaScript(const QString &script, EvaluationHandler completion) = 0;
    // Where the view delivers its script messages (null: stop delivering).
    // Views whose messages reach the manager another way keep the default.
    virtual void setScriptMessageHandler(ScriptMessageHandler handler);
};

// A script message (WKScriptMessage): its name, body and web view.
struct TNScriptMessage
{
    QString name;
    QVariant body;
    std::weak_ptr<TNWebView> webView;
};

class KALVO_EXPORT TNJsDispatchHandler
{
public:
    virtual ~TNJsDispatchHandler();
    // webView:didReceiveJSMessage:
    virtual void webViewDidReceiveJSMessage(const std::shared_ptr<TNWebView> &webView, const QVariantMap &message) = 0;
};

class KALVO_EXPORT TNWebJsDispatchManager
{
public:
    static TNWebJsDispatchManager &shared();

    TNWebJsDispatchManager();
    ~TNWebJsDispatchManager();
    TNWebJsDispatchManager(const TNWebJsDispatchManager &) = delete;
    TNWebJsDispatchManager &operator=(const TNWebJsDispatchManager &) = delete;

    // Held weakly; adding installs the view's script-message handler.
    void addWebView(const std::shared_ptr<TNWebView> &webView);
    void removeWebView(const std::shared_ptr<TNWebView> &webView);
    // Live web views in the order they were added.
    int webViewCount() const;

    // Held strongly; a module registered again is replaced. Null handler
    // or empty module: ignored.
    void registerJsDispatch(const std::shared_ptr<TNJsDispatchHandler> &handler, const QString &moduleIdentifier);
    void removeJsDispatchByModuleIdentifier(const QString &moduleIdentifier);

    std::shared_ptr<TNWebView> findWebViewByIdentifier(const QString &identifier) const;
    std::shared_ptr<TNWebView> findWebViewByJsCallId(const QString &jsCallId) const;
    // The first added live web view of the type.
    std::shared_ptr<TNWebView> findWebViewByResourceType(const QString &resourceType) const;

    // evaluateJavaScript:identifier:, evaluateJavaScript:jsCallId: (which
    // forgets the call id afterwards), evaluateJavaScript:resourceType:.
    // Answer whether a script was started.
    bool evaluateJavaScriptForIdentifier(const QString &script, const QString &identifier);
    bool evaluateJavaScriptForJsCallId(const QString &script, const QString &jsCallId);
    bool evaluateJavaScriptForResourceType(const QString &script, const QString &resourceType);
    // webView:evaluateJavaScript:completionHandler:
    bool webViewEvaluateJavaScript(
        const std::shared_ptr<TNWebView> &webView, const QString &script, TNWebView::EvaluationHandler completion = {});

    // userContentController:didReceiveScriptMessage:. Answers whether a
    // handler got the message.
    bool userContentControllerDidReceiveScriptMessage(const TNScriptMessage &message);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kalvo
