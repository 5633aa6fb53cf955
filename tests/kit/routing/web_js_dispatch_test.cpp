#include <kalvo/routing/webjsdispatchmanager.h>

#include <gtest/gtest.h>

#include <vector>

using namespace kalvo;

namespace {

class FakeWebView : public TNWebView
{
public:
    FakeWebView(QString id, QString module, QString type)
        : m_id(std::move(id)), m_module(std::move(module)), m_type(std::move(type))
    { }
    QString identifier() const override { return m_id; }
    QString moduleIdentifier() const override { return m_module; }
    QString resourceType() const override { return m_type; }
    void evaluateJavaScript(const QString &script, EvaluationHandler completion) override
    {
        scripts.push_back(script);
        if (completion)
            completion(QVariant(static_cast<int>(scripts.size())), QString());
    }
    void setScriptMessageHandler(ScriptMessageHandler handler) override { post = std::move(handler); }

    // What the page does: window.webkit.messageHandlers.<name>.postMessage(body).
    void postFromPage(const QVariant &body)
    {
        if (post)
            post(QStringLiteral("kalvo"), body);
    }

    std::vector<QString> scripts;
    ScriptMessageHandler post;

private:
    QString m_id, m_module, m_type;
};

class RecordingHandler : public TNJsDispatchHandler
{
public:
    void webViewDidReceiveJSMessage(const std::shared_ptr<TNWebView> &webView, const QVariantMap &message) override
    {
        received.emplace_back(webView, message);
    }
    std::vector<std::pair<std::shared_ptr<TNWebView>, QVariantMap>> received;
};

QVariantMap body(const QString &callId, const QString &action)
{
    return {{QStringLiteral("jsCallId"), callId}, {QStringLiteral("action"), action}};
}

TEST(ScriptMessages, DispatchToTheModuleHandlerAndAnswerByCallId)
{
    TNWebJsDispatchManager manager;
    auto chat = std::make_shared<FakeWebView>(QStringLiteral("w1"), QStringLiteral("chat"), QStringLiteral("panel"));
    auto handler = std::make_shared<RecordingHandler>();
    manager.addWebView(chat);
    manager.registerJsDispatch(handler, QStringLiteral("chat"));

    chat->postFromPage(body(QStringLiteral("7"), QStringLiteral("send")));
    ASSERT_EQ(handler->received.size(), 1u);
    EXPECT_EQ(handler->received[0].first, chat);
    EXPECT_EQ(handler->received[0].second.value(QStringLiteral("action")).toString(), QStringLiteral("send"));
    EXPECT_EQ(manager.findWebViewByJsCallId(QStringLiteral("7")), chat);

    // The answer goes to the view that asked, once.
    EXPECT_TRUE(manager.evaluateJavaScriptForJsCallId(QStringLiteral("reply(7)"), QStringLiteral("7")));
    EXPECT_EQ(chat->scripts, std::vector<QString> {QStringLiteral("reply(7)")});
    EXPECT_EQ(manager.findWebViewByJsCallId(QStringLiteral("7")), nullptr);
    EXPECT_FALSE(manager.evaluateJavaScriptForJsCallId(QStringLiteral("reply(7)"), QStringLiteral("7")));
    EXPECT_EQ(chat->scripts.size(), 1u);
}

TEST(ScriptMessages, MessagesFromUnknownViewsOrWithoutMapBodyAreDropped)
{
    TNWebJsDispatchManager manager;
    auto handler = std::make_shared<RecordingHandler>();
    manager.registerJsDispatch(handler, QStringLiteral("chat"));
    auto stranger = std::make_shared<FakeWebView>(QStringLiteral("s"), QStringLiteral("chat"), QString());
    EXPECT_FALSE(manager.userContentControllerDidReceiveScriptMessage(
        {QStringLiteral("kalvo"), body(QStringLiteral("1"), QString()), stranger}));
    EXPECT_EQ(manager.findWebViewByJsCallId(QStringLiteral("1")), nullptr);

    auto view = std::make_shared<FakeWebView>(QStringLiteral("v"), QStringLiteral("chat"), QString());
    manager.addWebView(view);
    view->postFromPage(QStringLiteral("just text"));
    view->postFromPage(QVariantList {1, 2});
    view->postFromPage(QVariant());
    EXPECT_TRUE(handler->received.empty());

    // A hash body counts as a map; no handler for the module: dropped, but the call id is kept.
    view->postFromPage(QVariantHash {{QStringLiteral("jsCallId"), 5}});
    EXPECT_EQ(handler->received.size(), 1u);
    auto orphan = std::make_shared<FakeWebView>(QStringLiteral("o"), QStringLiteral("nobody"), QString());
    manager.addWebView(orphan);
    orphan->postFromPage(body(QStringLiteral("9"), QString()));
    EXPECT_EQ(manager.findWebViewByJsCallId(QStringLiteral("9")), orphan);

    // Removed views stop delivering; views are held weakly.
    manager.removeWebView(view);
    EXPECT_FALSE(view->post);
    std::weak_ptr<FakeWebView> weakOrphan = orphan;
    orphan.reset();
    EXPECT_TRUE(weakOrphan.expired());
    EXPECT_EQ(manager.webViewCount(), 0);
    EXPECT_EQ(manager.findWebViewByJsCallId(QStringLiteral("9")), nullptr);
}

TEST(ScriptMessages, EvaluateByIdentifierAndResourceType)
{
    TNWebJsDispatchManager manager;
    auto a = std::make_shared<FakeWebView>(QStringLiteral("a"), QStringLiteral("m"), QStringLiteral("side"));
    auto b = std::make_shared<FakeWebView>(QStringLiteral("b"), QStringLiteral("m"), QStringLiteral("main"));
    auto c = std::make_shared<FakeWebView>(QStringLiteral("c"), QStringLiteral("m"), QStringLiteral("main"));
    manager.addWebView(a);
    manager.addWebView(b);
    manager.addWebView(c);
    manager.addWebView(a); // once only
    EXPECT_EQ(manager.webViewCount(), 3);

    EXPECT_TRUE(manager.evaluateJavaScriptForIdentifier(QStringLiteral("x()"), QStringLiteral("c")));
    EXPECT_TRUE(manager.evaluateJavaScriptForResourceType(QStringLiteral("y()"), QStringLiteral("main")));
    EXPECT_EQ(c->scripts, std::vector<QString> {QStringLiteral("x()")});
    EXPECT_EQ(b->scripts, std::vector<QString> {QStringLiteral("y()")}); // the first of the type

    // Empty scripts and missing views do nothing.
    EXPECT_FALSE(manager.evaluateJavaScriptForIdentifier(QString(), QStringLiteral("a")));
    EXPECT_FALSE(manager.evaluateJavaScriptForIdentifier(QStringLiteral("z()"), QStringLiteral("zz")));
    EXPECT_FALSE(manager.evaluateJavaScriptForResourceType(QStringLiteral("z()"), QString()));
    EXPECT_TRUE(a->scripts.empty());

    QVariant result;
    EXPECT_TRUE(manager.webViewEvaluateJavaScript(
        a, QStringLiteral("1+1"), [&](const QVariant &r, const QString &) { result = r; }));
    EXPECT_EQ(result, QVariant(1));
    EXPECT_FALSE(manager.webViewEvaluateJavaScript(nullptr, QStringLiteral("1+1")));

    manager.removeJsDispatchByModuleIdentifier(QStringLiteral("m"));
    EXPECT_FALSE(
        manager.userContentControllerDidReceiveScriptMessage({QString(), body(QStringLiteral("2"), QString()), a}));
}

TEST(ScriptMessages, ViewsOutliveTheManagerSafely)
{
    auto view = std::make_shared<FakeWebView>(QStringLiteral("v"), QStringLiteral("m"), QString());
    TNWebView::ScriptMessageHandler stale;
    {
        TNWebJsDispatchManager manager;
        manager.addWebView(view);
        stale = view->post; // a copy the page kept
    }
    EXPECT_FALSE(view->post);
    stale(QStringLiteral("kalvo"), body(QStringLiteral("1"), QString())); // no manager: nothing happens
    SUCCEED();
}

} // namespace
