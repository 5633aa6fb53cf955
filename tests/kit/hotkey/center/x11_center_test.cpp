// Global shortcuts of the hotkey center on a real X server: keys typed
// through XTest, a rival client, pausing, and a change of keyboard layout.
#include "center_test_support.h"
#include "x11_test_support.h"

#include <kalvo/hotkey/hotkeycenter.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/notificationcenter.h>

#include <QThread>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

constexpr unsigned kControlMask = 4, kMod1Mask = 8;

class X11CenterTest : public XvfbSuite
{
protected:

    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << skipReason.toStdString();
        ASSERT_TRUE(TNGlobalEventHotkeyMgr::shared().connectToDisplay(server->displayName()));
        keyboard = std::make_unique<XTestClient>(server->displayName());
        rival = std::make_unique<XTestClient>(server->displayName());
        center = std::make_unique<TNHotkeyCenter>();
        center->resume(true);
    }
    void TearDown() override
    {
        center.reset();
        TNGlobalEventHotkeyMgr::shared().setKeyGrabber(createUnavailableKeyGrabber());
        TNKeyboardLayoutMgr::installKeyTranslator();
    }

    std::shared_ptr<TNHotkey> counting(const QString &identifier, const TNHotkeyCombo &combo)
    {
        auto hotkey = TNHotkey::hotkeyWithIdentifier(identifier, combo);
        hotkey->setKeyDownActionBlock([this, identifier](const QVariant &, const QKeyEvent *event) {
            withEvent.append(event != nullptr);
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            downs.append(identifier);
            return true;
        });
        hotkey->setKeyUpActionBlock([this, identifier](const QVariant &, const QKeyEvent *) {
            ups.append(identifier);
            return true;
        });
        return hotkey;
    }

    static unsigned x11(int keyCode) { return *x11FromKeyCode(keyCode); }
    const TNHotkeyCombo controlAltK{KeyCode::K, ModifierFlag::control | ModifierFlag::option};
    const QStringList controlAlt{QStringLiteral("Control_L"), QStringLiteral("Alt_L")};

    std::unique_ptr<XTestClient> keyboard, rival;
    std::unique_ptr<TNHotkeyCenter> center;
    QStringList downs, ups;
    QList<bool> withEvent;
    bool onMainThread = true;
};

TEST_F(X11CenterTest, ATypedGlobalShortcutRunsOnTheMainThread)
{
    ASSERT_TRUE(center->registerHotKey(counting("mute", controlAltK), true));
    keyboard->tap(x11(KeyCode::K), controlAlt);
    ASSERT_TRUE(waitUntil([&] { return !ups.isEmpty(); }));
    EXPECT_EQ(downs, QStringList{"mute"});
    EXPECT_EQ(ups, QStringList{"mute"});
    EXPECT_EQ(withEvent, QList<bool>{false}); // global presses come without a Qt event
    EXPECT_TRUE(onMainThread);
}

TEST_F(X11CenterTest, AKeyAnotherClientHoldsCannotBeRegistered)
{
    ASSERT_TRUE(rival->grab(x11(KeyCode::K), kControlMask | kMod1Mask));
    int status = 0;
    EXPECT_FALSE(center->registerHotKey(counting("mute", controlAltK), true, &status));
    EXPECT_EQ(status, kTNHotkeyExistsErr);
    EXPECT_TRUE(center->globalHotKeys().isEmpty());
    EXPECT_EQ(TNGlobalEventHotkeyMgr::shared().hotkeyCount(), 0);

    rival->ungrab(x11(KeyCode::K), kControlMask | kMod1Mask);
    EXPECT_TRUE(center->registerHotKey(counting("mute", controlAltK), true, &status));
    EXPECT_EQ(status, kTNHotkeyNoErr);
    EXPECT_FALSE(rival->grab(x11(KeyCode::K), kControlMask | kMod1Mask));
}

TEST_F(X11CenterTest, PauseGivesTheKeyBackAndResumeTakesItAgain)
{
    ASSERT_TRUE(center->registerHotKey(counting("mute", controlAltK), true));
    center->pause(true);
    EXPECT_TRUE(rival->grab(x11(KeyCode::K), kControlMask | kMod1Mask));
    rival->ungrab(x11(KeyCode::K), kControlMask | kMod1Mask);
    keyboard->tap(x11(KeyCode::K), controlAlt);
    processEventsFor(100);
    EXPECT_TRUE(downs.isEmpty());

    center->resume(true);
    EXPECT_FALSE(rival->grab(x11(KeyCode::K), kControlMask | kMod1Mask));
    keyboard->tap(x11(KeyCode::K), controlAlt);
    ASSERT_TRUE(waitUntil([&] { return !downs.isEmpty(); }));
}

TEST_F(X11CenterTest, LocalShortcutsWorkWithoutADisplay)
{
    EXPECT_FALSE(TNGlobalEventHotkeyMgr::shared().connectToDisplay(QStringLiteral(":4711")));
    int status = 0;
    EXPECT_FALSE(center->registerHotKey(counting("mute", controlAltK), true, &status));
    EXPECT_EQ(status, kTNHotkeyUnavailableErr);

    QWidget window;
    window.show();
    center->resume(false);
    ASSERT_TRUE(center->registerHotKey(counting("mute", controlAltK), false));
    tapKey(&window, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(downs, QStringList{"mute"});
}

TEST_F(X11CenterTest, ALetterShortcutKeepsItsLetterAcrossALayoutChange)
{
    ASSERT_TRUE(server->setLayout(QStringLiteral("us")));
    // The layout service of this display, driving the key translation.
    TNKeyboardLayoutMgr layouts(server->displayName().toLocal8Bit(), true);
    if (!layouts.isWatchingLayoutChanges())
        GTEST_SKIP() << "the layout service cannot watch this display";
    ASSERT_EQ(layouts.currentKeyboardLayoutID(), "us");
    TNKeyTranslator translator;
    translator.currentKeyboardLayoutID = [&layouts] { return layouts.currentKeyboardLayoutID(); };
    translator.letterForKeyCode = &TNKeyboardLayoutMgr::letterForKeyCode;
    translator.keyCodeForLetter = &TNKeyboardLayoutMgr::keyCodeForLetter;
    setKeyTranslator(translator);

    int will = 0, did = 0;
    QObject owner;
    NotificationCenter::defaultCenter().addObserver(&owner, TNKeyBoardLayoutWillChanged, nullptr,
                                                    [&](const Notification &) { ++will; });
    NotificationCenter::defaultCenter().addObserver(&owner, TNKeyBoardLayoutDidChanged, nullptr,
                                                    [&](const Notification &) { ++did; });

    const TNHotkeyCombo controlZ(KeyCode::Z, ModifierFlag::control);
    ASSERT_TRUE(center->registerHotKey(counting("undo", controlZ), true));
    keyboard->tap(x11(KeyCode::Z), {QStringLiteral("Control_L")});
    ASSERT_TRUE(waitUntil([&] { return downs.size() == 1; }));

    ASSERT_TRUE(server->setLayout(QStringLiteral("de")));
    ASSERT_TRUE(waitUntil([&] { return did > 0; }, 5000));
    EXPECT_EQ(will, 1);
    EXPECT_EQ(layouts.currentKeyboardLayoutID(), "de");
    EXPECT_FALSE(center->isGlobalPaused());

    // On the German layout Z is where Y is on the US one.
    XTestClient german(server->displayName());
    const unsigned z = german.keycodeOf("z");
    ASSERT_EQ(z, x11(KeyCode::Y));
    german.tap(x11(KeyCode::Z), {QStringLiteral("Control_L")}); // types y now
    processEventsFor(100);
    EXPECT_EQ(downs.size(), 1);
    german.tap(z, {QStringLiteral("Control_L")});
    ASSERT_TRUE(waitUntil([&] { return downs.size() == 2; }));

    ASSERT_TRUE(server->setLayout(QStringLiteral("us")));
    waitUntil([&] { return did > 1; }, 5000);
}

} // namespace
