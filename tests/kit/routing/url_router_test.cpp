#include <kalvo/routing/urlrouter.h>

#include <gtest/gtest.h>

#include <vector>

using namespace kalvo;

namespace {

class FakeRouter : public TNURLRouterObject
{
public:
    QStringList components;
    bool claims = false;
    bool answer = true;
    bool implementsOpen = true;
    std::vector<QString> opened;
    std::function<void()> whileOpening;

    bool checkHandleURL(const QString &) override { return claims; }
    QStringList urlFirstComponents() override { return components; }
    bool openURL(const QString &url) override
    {
        if (!implementsOpen)
            return TNURLRouterObject::openURL(url);
        opened.push_back(url);
        if (whileOpening)
            whileOpening();
        return answer;
    }
};

// Every test gets a fresh router and a recording system opener.
class URLRouterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TNURLRouter::releaseInstance();
        router = TNURLRouter::sharedInstance();
        TNURLRouter::setSystemOpener([this](const QUrl &url) {
            systemOpened.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        TNURLRouter::setSystemOpener(nullptr);
        TNURLRouter::setInAppScheme(QString());
        TNURLRouter::releaseInstance();
    }

    std::shared_ptr<FakeRouter> add(const QString &key, QStringList components = {}, bool claims = false)
    {
        auto fake = std::make_shared<FakeRouter>();
        fake->components = std::move(components);
        fake->claims = claims;
        router->registerURLRouter(fake, key);
        return fake;
    }

    std::shared_ptr<TNURLRouter> router;
    std::vector<QUrl> systemOpened;
};

TEST_F(URLRouterTest, InAppSchemeInCapitalsGoesToFirstRouterListingTheComponent)
{
    auto chat = add(QStringLiteral("chat"), {QStringLiteral("Chat")});
    auto meeting = add(QStringLiteral("meeting"), {QStringLiteral("Phone"), QStringLiteral("Meeting")});
    auto second = add(QStringLiteral("meeting2"), {QStringLiteral("Meeting")});
    const QString url = QStringLiteral("TN://Meeting/join?id=42");
    EXPECT_TRUE(router->openURL(url));
    ASSERT_EQ(meeting->opened.size(), 1u);
    EXPECT_EQ(meeting->opened.front(), url); // the whole URL, unchanged
    EXPECT_TRUE(chat->opened.empty());
    EXPECT_TRUE(second->opened.empty());
    EXPECT_TRUE(systemOpened.empty());

    // The router's answer is the result; a query right after the component
    // does not hide it; the component is case-sensitive.
    meeting->answer = false;
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://Meeting?id=1")));
    EXPECT_EQ(meeting->opened.size(), 2u);
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://meeting/join")));
    EXPECT_EQ(meeting->opened.size(), 2u);
}

TEST_F(URLRouterTest, InAppURLWithoutRouterOrOpenIsFalseAndNeverReachesTheSystem)
{
    auto silent = add(QStringLiteral("silent"), {QStringLiteral("Silent")});
    silent->implementsOpen = false;
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://Silent/x")));
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://Nobody/x")));
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://")));
    EXPECT_FALSE(router->openURL(QStringLiteral("tn:////")));
    EXPECT_TRUE(systemOpened.empty());
}

TEST_F(URLRouterTest, OtherURLsGoToTheFirstClaimingRouterElseToTheSystem)
{
    auto declines = add(QStringLiteral("a"), {}, false);
    auto claims = add(QStringLiteral("b"), {}, true);
    auto alsoClaims = add(QStringLiteral("c"), {}, true);
    EXPECT_TRUE(router->openURL(QStringLiteral("https://example.org/a")));
    EXPECT_EQ(claims->opened.size(), 1u);
    EXPECT_TRUE(alsoClaims->opened.empty());
    EXPECT_TRUE(declines->opened.empty());

    claims->claims = false;
    alsoClaims->claims = false;
    EXPECT_FALSE(router->openURL(QStringLiteral("https://example.org/b")));
    ASSERT_EQ(systemOpened.size(), 1u);
    EXPECT_EQ(systemOpened.front(), QUrl(QStringLiteral("https://example.org/b")));
}

TEST_F(URLRouterTest, EmptyAndMalformedStringsAreFalseAndNotOpened)
{
    EXPECT_FALSE(router->openURL(QString()));
    EXPECT_FALSE(router->openURL(QStringLiteral("not a url")));
    EXPECT_FALSE(router->openURL(QStringLiteral("http://exa mple.org")));
    EXPECT_FALSE(router->openURL(QStringLiteral("://nothing")));
    EXPECT_FALSE(router->openURL(QString(100000, QLatin1Char('%'))));
    EXPECT_TRUE(systemOpened.empty());
}

TEST_F(URLRouterTest, SchemeIsReplaceableAndRegistrationEdges)
{
    auto meeting = add(QStringLiteral("meeting"), {QStringLiteral("Meeting")});
    TNURLRouter::setInAppScheme(QStringLiteral("kalvo-app://"));
    EXPECT_TRUE(router->openURL(QStringLiteral("Kalvo-App://Meeting")));
    // The old scheme is now an ordinary URL: nobody claims it, the system gets it.
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://Meeting")));
    EXPECT_EQ(systemOpened.size(), 1u);
    EXPECT_EQ(meeting->opened.size(), 1u);

    router->registerURLRouter(nullptr, QStringLiteral("x"));
    router->registerURLRouter(std::make_shared<FakeRouter>(), QString());
    EXPECT_EQ(router->keys(), QStringList {QStringLiteral("meeting")});
    auto replacement = std::make_shared<FakeRouter>();
    router->registerURLRouter(replacement, QStringLiteral("meeting"));
    EXPECT_EQ(router->routerForKey(QStringLiteral("meeting")), replacement);
    router->unregisterURLRouterByKey(QStringLiteral("meeting"));
    EXPECT_TRUE(router->keys().isEmpty());
}

TEST_F(URLRouterTest, RouterMayUnregisterRoutersWhileOpening)
{
    auto meeting = add(QStringLiteral("meeting"), {QStringLiteral("Meeting")});
    meeting->whileOpening = [this] { router->unregisterURLRouterByKey(QStringLiteral("meeting")); };
    EXPECT_TRUE(router->openURL(QStringLiteral("tn://Meeting")));
    EXPECT_FALSE(router->openURL(QStringLiteral("tn://Meeting")));
    EXPECT_EQ(meeting->opened.size(), 1u);
}

TEST_F(URLRouterTest, ReleaseInstanceStartsOver)
{
    add(QStringLiteral("meeting"), {QStringLiteral("Meeting")});
    auto held = router;
    TNURLRouter::releaseInstance();
    auto fresh = TNURLRouter::sharedInstance();
    EXPECT_NE(fresh, held);
    EXPECT_TRUE(fresh->keys().isEmpty());
    EXPECT_EQ(held->keys().size(), 1); // a holder keeps its router working
    router = fresh;
}

} // namespace
