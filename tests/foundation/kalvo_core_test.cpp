#include <kalvo/foundation/kalvocore.h>
#include <kalvo/platform/manualclock.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

class FakeDelegate : public KalvoCoreDelegate
{
public:
    bool keyboard = false;
    bool voiceOver = false;
    bool implementsLocalize = false;
    bool implementsSpeak = false;
    std::optional<QString> translation;
    QStringList spoken;

    bool enableKeyboardNavigation() override { return keyboard; }
    bool isVoiceOverRunning() override { return voiceOver; }
    std::optional<QString> localizedStringWithKey(const QString &key) override
    {
        if (!implementsLocalize)
            return KalvoCoreDelegate::localizedStringWithKey(key);
        return translation;
    }
    bool speak(const QString &message) override
    {
        if (!implementsSpeak)
            return KalvoCoreDelegate::speak(message);
        spoken.append(message);
        return true;
    }
};

// Each test starts without delegate and flags.
class Core : public testing::Test
{
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        KalvoCore::start({});
        KalvoCore::shared().setForbidKeyboardNavigation(false);
        KalvoCore::shared().setRequireKeyboardNavigation(false);
        KalvoCore::shared().setForbidMenuKeyboardNavigation(false);
    }
    KalvoCore &core = KalvoCore::shared();
};

TEST_F(Core, ForbidBeatsRequireBeatsTheDelegate)
{
    auto delegate = std::make_shared<FakeDelegate>();
    KalvoCore::start(delegate);
    EXPECT_FALSE(core.isKeyboardNavigationEnabled());
    delegate->keyboard = true;
    EXPECT_TRUE(core.isKeyboardNavigationEnabled());
    delegate->keyboard = false;
    core.setRequireKeyboardNavigation(true);
    EXPECT_TRUE(core.isKeyboardNavigationEnabled());
    core.setForbidKeyboardNavigation(true);
    EXPECT_FALSE(core.isKeyboardNavigationEnabled()) << "both set: off";
    core.setForbidMenuKeyboardNavigation(true);
    EXPECT_TRUE(core.isMenuKeyboardNavigationForbidden());
}

TEST_F(Core, PolicyChangesAreAnnounced)
{
    QSignalSpy spy(&core, &KalvoCore::keyboardNavigationPolicyChanged);
    core.setRequireKeyboardNavigation(true);
    core.setRequireKeyboardNavigation(true);
    core.setForbidKeyboardNavigation(true);
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(Core, DelegateTranslatesAndReportsTheScreenReader)
{
    auto delegate = std::make_shared<FakeDelegate>();
    KalvoCore::startWithDelegate(delegate);
    EXPECT_EQ(core.localize(QStringLiteral("Search")), QStringLiteral("Search")) << "optional method missing";
    delegate->implementsLocalize = true;
    EXPECT_EQ(core.localize(QStringLiteral("Search")), QStringLiteral("Search")) << "a nil answer keeps the key";
    delegate->translation = QStringLiteral("Suchen");
    EXPECT_EQ(core.localize(QStringLiteral("Search")), QStringLiteral("Suchen"));
    delegate->voiceOver = true;
    EXPECT_TRUE(core.isScreenReaderRunning());
}

TEST_F(Core, ReleasedDelegateFallsBackToThePlatform)
{
    auto delegate = std::make_shared<FakeDelegate>();
    delegate->implementsLocalize = true;
    delegate->translation = QStringLiteral("x");
    KalvoCore::start(delegate);
    delegate.reset();
    EXPECT_EQ(core.delegate(), nullptr);
    EXPECT_EQ(core.localize(QStringLiteral("Search")), QStringLiteral("Search"));
}

TEST_F(Core, AnnouncementsRunOnTheMainQueueAfterTheirDelay)
{
    ManualClock clock;
    QSignalSpy spy(&core, &KalvoCore::announcementRequested);
    core.announce(QStringLiteral("now"));
    core.announce(QStringLiteral("zero"), 0.0);
    core.announce(QStringLiteral("negative"), -3.0);
    core.announce(QStringLiteral("later"), 1.5);
    EXPECT_EQ(spy.count(), 0) << "never synchronously";
    clock.runPending();
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("now"));
    EXPECT_EQ(spy.at(0).at(1).toInt(), 90);
    clock.advance(1.49);
    EXPECT_EQ(spy.count(), 3);
    clock.advance(0.01);
    ASSERT_EQ(spy.count(), 4);
    EXPECT_EQ(spy.at(3).at(0).toString(), QStringLiteral("later"));
}

TEST_F(Core, DelegateThatSpeaksGetsTheMessageUntranslated)
{
    ManualClock clock;
    auto delegate = std::make_shared<FakeDelegate>();
    delegate->implementsLocalize = true;
    delegate->translation = QStringLiteral("übersetzt");
    KalvoCore::start(delegate);
    QSignalSpy spy(&core, &KalvoCore::announcementRequested);
    core.announce(QStringLiteral("Saved"));
    clock.runPending();
    EXPECT_EQ(spy.count(), 1) << "no speak(): the accessibility layer gets the translation";
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("übersetzt"));
    delegate->implementsSpeak = true;
    core.announce(QStringLiteral("Saved"));
    clock.runPending();
    EXPECT_EQ(delegate->spoken, QStringList{QStringLiteral("Saved")});
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
