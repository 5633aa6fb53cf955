// Key grabs on a real X server: a private Xvfb, keys typed through XTest,
// a second client competing for the same keys.
#include "platform/linux/hotkeys/global_key_grabber.h"
#include "x11_test_support.h"

#include <kalvo/platform/keycodes.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace kalvo;

namespace {

constexpr unsigned kShiftMask = 1, kLockMask = 2, kControlMask = 4, kMod1Mask = 8, kMod2Mask = 16;

class X11KeyGrabberTest : public XvfbSuite
{
protected:

    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << skipReason.toStdString();
        grabber = createX11KeyGrabber(server->displayName());
        ASSERT_TRUE(grabber->isAvailable());
        grabber->setListener([this](quint64 id, bool pressed) { events.emplace_back(id, pressed); });
        keyboard = std::make_unique<XTestClient>(server->displayName());
        other = std::make_unique<XTestClient>(server->displayName());
        ASSERT_TRUE(keyboard->isOpen());
    }

    void TearDown() override
    {
        grabber.reset();
        keyboard.reset();
        other.reset();
    }

    // X11 key code of a Kalvo key code, as the grabber computes it.
    static unsigned x11(int keyCode) { return *x11FromKeyCode(keyCode); }

    bool waitForEvents(std::size_t count) { return waitUntil([&] { return events.size() >= count; }); }

    std::unique_ptr<GlobalKeyGrabber> grabber;
    std::unique_ptr<XTestClient> keyboard;
    std::unique_ptr<XTestClient> other;
    std::vector<std::pair<quint64, bool>> events;
};

using Events = std::vector<std::pair<quint64, bool>>;

TEST_F(X11KeyGrabberTest, GrabbedKeyReportsOnePressAndOneRelease)
{
    ASSERT_EQ(grabber->grab(1, KeyCode::K, ModifierFlag::control), KeyGrabResult::grabbed);
    keyboard->tap(x11(KeyCode::K), {QStringLiteral("Control_L")});
    ASSERT_TRUE(waitForEvents(2));
    processEventsFor(50);
    EXPECT_EQ(events, (Events{{1, true}, {1, false}}));

    // Another modifier set is another shortcut.
    events.clear();
    keyboard->tap(x11(KeyCode::K), {QStringLiteral("Control_L"), QStringLiteral("Shift_L")});
    keyboard->tap(x11(KeyCode::K));
    processEventsFor(100);
    EXPECT_TRUE(events.empty());
}

TEST_F(X11KeyGrabberTest, OptionAndCommandAreAltAndSuper)
{
    ASSERT_EQ(grabber->grab(4, KeyCode::P, ModifierFlag::option | ModifierFlag::command), KeyGrabResult::grabbed);
    keyboard->tap(x11(KeyCode::P), {QStringLiteral("Alt_L"), QStringLiteral("Super_L")});
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events.front(), std::make_pair(quint64(4), true));
}

TEST_F(X11KeyGrabberTest, CapsLockAndNumLockDoNotMatter)
{
    ASSERT_EQ(grabber->grab(2, KeyCode::G, ModifierFlag::control | ModifierFlag::shift), KeyGrabResult::grabbed);
    keyboard->tap("Caps_Lock");
    keyboard->tap(x11(KeyCode::G), {QStringLiteral("Control_L"), QStringLiteral("Shift_L")});
    ASSERT_TRUE(waitForEvents(2));
    keyboard->tap("Num_Lock");
    keyboard->tap(x11(KeyCode::G), {QStringLiteral("Control_L"), QStringLiteral("Shift_L")});
    ASSERT_TRUE(waitForEvents(4));
    keyboard->tap("Caps_Lock");
    keyboard->tap(x11(KeyCode::G), {QStringLiteral("Control_L"), QStringLiteral("Shift_L")});
    ASSERT_TRUE(waitForEvents(6));
    keyboard->tap("Num_Lock");
    EXPECT_EQ(events.size(), 6u);
}

TEST_F(X11KeyGrabberTest, ReleaseAfterLettingGoOfTheModifierStillArrives)
{
    ASSERT_EQ(grabber->grab(3, KeyCode::R, ModifierFlag::control), KeyGrabResult::grabbed);
    const unsigned control = keyboard->keycodeOf("Control_L");
    keyboard->press(control);
    keyboard->press(x11(KeyCode::R));
    keyboard->release(control);
    keyboard->release(x11(KeyCode::R));
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events, (Events{{3, true}, {3, false}}));
}

TEST_F(X11KeyGrabberTest, HeldKeyDoesNotRepeat)
{
    ASSERT_EQ(grabber->grab(5, KeyCode::H, ModifierFlag::control), KeyGrabResult::grabbed);
    const unsigned control = keyboard->keycodeOf("Control_L");
    keyboard->press(control);
    keyboard->press(x11(KeyCode::H));
    processEventsFor(900); // longer than the server's repeat delay
    keyboard->release(x11(KeyCode::H));
    keyboard->release(control);
    ASSERT_TRUE(waitForEvents(2));
    processEventsFor(50);
    EXPECT_EQ(events, (Events{{5, true}, {5, false}}));
}

TEST_F(X11KeyGrabberTest, KeyHeldByAnotherClientIsRefusedWithoutLeftovers)
{
    const unsigned j = x11(KeyCode::J);
    // The other program holds only the Caps Lock variant: the grab must fail
    // as a whole.
    ASSERT_TRUE(other->grab(j, kControlMask | kLockMask));
    EXPECT_EQ(grabber->grab(6, KeyCode::J, ModifierFlag::control), KeyGrabResult::heldByAnotherClient);
    EXPECT_FALSE(grabber->isGrabbed(6));
    EXPECT_EQ(grabber->grabCount(), 0);

    // Nothing of ours is left: a third client gets the plain variant.
    XTestClient third(server->displayName());
    EXPECT_TRUE(third.grab(j, kControlMask));
    third.ungrab(j, kControlMask);

    // Once the other program lets go, the key is ours.
    other->ungrab(j, kControlMask | kLockMask);
    EXPECT_EQ(grabber->grab(6, KeyCode::J, ModifierFlag::control), KeyGrabResult::grabbed);
    EXPECT_FALSE(other->grab(j, kControlMask));
    EXPECT_FALSE(other->grab(j, kControlMask | kLockMask | kMod2Mask));
}

TEST_F(X11KeyGrabberTest, UngrabGivesBackEveryVariant)
{
    const unsigned l = x11(KeyCode::L);
    ASSERT_EQ(grabber->grab(7, KeyCode::L, ModifierFlag::shift), KeyGrabResult::grabbed);
    EXPECT_FALSE(other->grab(l, kShiftMask | kLockMask));
    grabber->ungrab(7);
    EXPECT_FALSE(grabber->isGrabbed(7));
    for (unsigned variant : {0u, kLockMask, kMod2Mask, kLockMask | kMod2Mask})
        EXPECT_TRUE(other->grab(l, kShiftMask | variant)) << variant;
    for (unsigned variant : {0u, kLockMask, kMod2Mask, kLockMask | kMod2Mask})
        other->ungrab(l, kShiftMask | variant);
}

TEST_F(X11KeyGrabberTest, SharedKeyStaysGrabbedUntilItsLastHolderLetsGo)
{
    ASSERT_EQ(grabber->grab(8, KeyCode::N, ModifierFlag::control | ModifierFlag::option), KeyGrabResult::grabbed);
    ASSERT_EQ(grabber->grab(9, KeyCode::N, ModifierFlag::control | ModifierFlag::option), KeyGrabResult::grabbed);
    keyboard->tap(x11(KeyCode::N), {QStringLiteral("Control_L"), QStringLiteral("Alt_L")});
    ASSERT_TRUE(waitForEvents(4));
    // Newest holder first.
    EXPECT_EQ(events, (Events{{9, true}, {8, true}, {9, false}, {8, false}}));

    grabber->ungrab(9);
    EXPECT_FALSE(other->grab(x11(KeyCode::N), kControlMask | kMod1Mask));
    events.clear();
    keyboard->tap(x11(KeyCode::N), {QStringLiteral("Control_L"), QStringLiteral("Alt_L")});
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events, (Events{{8, true}, {8, false}}));

    grabber->ungrab(8);
    EXPECT_TRUE(other->grab(x11(KeyCode::N), kControlMask | kMod1Mask));
}

TEST_F(X11KeyGrabberTest, KeysWithoutAPlaceAreRefused)
{
    EXPECT_EQ(grabber->grab(10, -1, 0), KeyGrabResult::keyNotOnKeyboard);
    EXPECT_EQ(grabber->grab(10, 100000, ModifierFlag::control), KeyGrabResult::keyNotOnKeyboard);
    EXPECT_EQ(grabber->grab(10, KeyCode::Function, 0), KeyGrabResult::keyNotOnKeyboard);
    EXPECT_EQ(grabber->grabCount(), 0);
}

TEST(X11KeyGrabberWithoutServer, EveryGrabIsRefusedAsUnavailable)
{
    // No server listens on this display.
    auto grabber = createX11KeyGrabber(QStringLiteral(":4711"));
    EXPECT_FALSE(grabber->isAvailable());
    EXPECT_EQ(grabber->grab(1, KeyCode::K, ModifierFlag::control), KeyGrabResult::unavailable);
    grabber->ungrab(1);
    EXPECT_EQ(grabber->grabCount(), 0);

    auto none = createUnavailableKeyGrabber();
    EXPECT_EQ(none->grab(1, KeyCode::K, ModifierFlag::control), KeyGrabResult::unavailable);
}

TEST_F(X11KeyGrabberTest, ServerGoingAwayLeavesNothingGrabbed)
{
    XvfbServer own;
    ASSERT_TRUE(own.start());
    auto local = createX11KeyGrabber(own.displayName());
    ASSERT_EQ(local->grab(1, KeyCode::K, ModifierFlag::control), KeyGrabResult::grabbed);
    own.stop();
    waitUntil([&] { return !local->isAvailable(); }, 3000);
    EXPECT_FALSE(local->isAvailable());
    EXPECT_EQ(local->grab(2, KeyCode::K, ModifierFlag::control), KeyGrabResult::unavailable);
}

} // namespace
