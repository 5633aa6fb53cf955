#include <kalvo/hotkey/hotkey.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/manualclock.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public:
    int withSender = 0;
    int withoutSender = 0;
    TNHotkey *lastSender = nullptr;

public Q_SLOTS:
    void toggle(kalvo::TNHotkey *sender)
    {
        ++withSender;
        lastSender = sender;
    }
    void plain() { ++withoutSender; }
};

class ResponderWidget : public QWidget
{
    Q_OBJECT
public:
    int calls = 0;
public Q_SLOTS:
    void respond() { ++calls; }
};

class FakeCenter : public TNHotkeyCenterLink
{
public:
    struct Failure
    {
        TNHotkey *hotkey;
        bool hadDown;
        int downKey;
        bool hadUp;
    };
    std::vector<Failure> failures;

    void hotkeyLongPressFail(TNHotkey &hotkey, const QKeyEvent *down, const QKeyEvent *up) override
    {
        failures.push_back({&hotkey, down != nullptr, down ? down->key() : 0, up != nullptr});
    }
};

QKeyEvent press(bool autoRepeat = false)
{
    return QKeyEvent(QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier, QString(), autoRepeat);
}

QKeyEvent release()
{
    return QKeyEvent(QEvent::KeyRelease, Qt::Key_K, Qt::MetaModifier);
}

const TNHotkeyCombo kCommandK(KeyCode::K, ModifierFlag::command);

// ---- Fields, copy and equality ----

TEST(TNHotkey, CopyTakesConfigurationButNotPressState)
{
    Receiver receiver;
    FakeCenter center;
    auto hotkey = TNHotkey::hotkeyWithIdentifier(QStringLiteral("mute"), kCommandK, QStringLiteral("ctx"));
    hotkey->setTarget(&receiver);
    hotkey->setAction("toggle");
    hotkey->setKeyUpAction("plain");
    hotkey->setKeyDownActionBlock([](const QVariant &, const QKeyEvent *) { return true; });
    hotkey->setKeyDownLongPressDelay(0.0);
    hotkey->setEventHotKeyRef(7);
    hotkey->setSkipWhenTyping(0);
    hotkey->setHotkeyCenter(&center);
    const QKeyEvent down = press();
    EXPECT_TRUE(hotkey->keyDown(&down));
    ASSERT_TRUE(hotkey->isKeyDown());

    const auto copy = hotkey->copy();
    EXPECT_EQ(copy->identifier(), QStringLiteral("mute"));
    EXPECT_EQ(copy->hotkeyCombo(), kCommandK);
    EXPECT_EQ(copy->attachment().toString(), QStringLiteral("ctx"));
    EXPECT_EQ(copy->targetObject(), &receiver);
    EXPECT_EQ(copy->action().methodName(), QByteArray("toggle"));
    EXPECT_EQ(copy->keyUpAction().methodName(), QByteArray("plain"));
    EXPECT_TRUE(copy->keyDownActionBlock());
    EXPECT_EQ(copy->eventHotKeyRef(), 7u);
    EXPECT_EQ(copy->skipWhenTypingValue(), 0);
    EXPECT_FALSE(copy->isKeyDown());
    EXPECT_FALSE(copy->hasRespondKeyDown());
    EXPECT_EQ(copy->hotkeyCenter(), nullptr);
    EXPECT_EQ(copy->downEvent(), nullptr);

    // Equal by combination only.
    EXPECT_TRUE(copy->isEqual(hotkey.get()));
    copy->setIdentifier(QStringLiteral("other"));
    EXPECT_EQ(*copy, *hotkey);
    copy->setHotkeyCombo(TNHotkeyCombo(KeyCode::K, ModifierFlag::option));
    EXPECT_FALSE(copy->isEqual(hotkey.get()));
    EXPECT_FALSE(hotkey->isEqual(nullptr));
    EXPECT_TRUE(TNHotkey().isEqual(TNHotkey::hotkeyWithIdentifier(QStringLiteral("x"), QVariant()).get()));
}

TEST(TNHotkey, SkipWhenTypingIsATriState)
{
    TNHotkey plainKey(QStringLiteral("a"), TNHotkeyCombo(KeyCode::A, 0));
    TNHotkey modified(QStringLiteral("b"), kCommandK);
    TNHotkey noKey(QStringLiteral("c"), TNHotkeyCombo(-1, ModifierFlag::command));
    EXPECT_EQ(plainKey.skipWhenTypingValue(), -1);
    EXPECT_TRUE(plainKey.skipWhenTyping());
    EXPECT_FALSE(modified.skipWhenTyping());
    EXPECT_TRUE(noKey.skipWhenTyping());
    // A function key carries the function bit, so it counts as modified.
    EXPECT_FALSE(TNHotkey(QStringLiteral("f"), TNHotkeyCombo(KeyCode::F5, 0)).isSingleKeyCombo());

    modified.setSkipWhenTyping(1);
    EXPECT_TRUE(modified.skipWhenTyping());
    plainKey.setSkipWhenTyping(0);
    EXPECT_FALSE(plainKey.skipWhenTyping());
    plainKey.setSkipWhenTyping(7);
    EXPECT_TRUE(plainKey.skipWhenTyping());
    modified.setSkipWhenTyping(-2);
    EXPECT_FALSE(modified.skipWhenTyping());
}

// ---- Actions ----

TEST(TNHotkeyActions, BlocksGetAttachmentAndEventAndDecideHandled)
{
    TNHotkey hotkey(QStringLiteral("mute"), kCommandK, 42);
    QVariant seenAttachment;
    const QKeyEvent *seenEvent = nullptr;
    bool answer = true;
    hotkey.setKeyDownActionBlock([&](const QVariant &attachment, const QKeyEvent *event) {
        seenAttachment = attachment;
        seenEvent = event;
        return answer;
    });
    int ups = 0;
    hotkey.setKeyUpActionBlock([&](const QVariant &, const QKeyEvent *) { return ++ups, false; });

    // A release without a press does nothing.
    const QKeyEvent up = release();
    EXPECT_FALSE(hotkey.keyUp(&up));
    EXPECT_EQ(ups, 0);

    const QKeyEvent down = press();
    EXPECT_TRUE(hotkey.keyDown(&down));
    EXPECT_EQ(seenAttachment.toInt(), 42);
    EXPECT_EQ(seenEvent, &down);
    EXPECT_TRUE(hotkey.hasRespondKeyDown());
    EXPECT_FALSE(hotkey.keyUp(&up)); // the block said not handled
    EXPECT_EQ(ups, 1);
    EXPECT_FALSE(hotkey.isKeyDown());
    EXPECT_FALSE(hotkey.hasRespondKeyDown());

    answer = false;
    EXPECT_FALSE(hotkey.keyDown(nullptr));
    EXPECT_EQ(seenEvent, nullptr);

    // Neither action nor block: not handled.
    TNHotkey bare(QStringLiteral("bare"), kCommandK);
    EXPECT_FALSE(bare.keyDown(&down));
    EXPECT_FALSE(bare.keyUp(&up));
}

TEST(TNHotkeyActions, MethodActionsReachTheTargetWithOrWithoutSender)
{
    Receiver receiver;
    TNHotkey hotkey(QStringLiteral("mute"), kCommandK);
    hotkey.setTarget(&receiver);
    hotkey.setAction("toggle");
    hotkey.setKeyUpAction("plain");
    bool blockRan = false;
    hotkey.setKeyDownActionBlock([&](const QVariant &, const QKeyEvent *) { return blockRan = true; });

    EXPECT_TRUE(hotkey.keyDown(nullptr));
    EXPECT_EQ(receiver.withSender, 1);
    EXPECT_EQ(receiver.lastSender, &hotkey);
    EXPECT_FALSE(blockRan); // the method wins over the block
    EXPECT_TRUE(hotkey.keyUp(nullptr));
    EXPECT_EQ(receiver.withoutSender, 1);

    // A method the target does not have handles nothing.
    hotkey.setAction("missing");
    EXPECT_FALSE(hotkey.keyDown(nullptr));
}

TEST(TNHotkeyActions, ActionsToADestroyedTargetRunNothing)
{
    auto receiver = std::make_unique<Receiver>();
    TNHotkey hotkey(QStringLiteral("mute"), kCommandK);
    hotkey.setTarget(receiver.get());
    hotkey.setAction("toggle");
    receiver.reset();
    EXPECT_TRUE(hotkey.hasLostTarget());
    EXPECT_EQ(hotkey.targetObject(), nullptr);
    EXPECT_FALSE(hotkey.keyDown(nullptr));

    // Callables addressed to a shared target stop with it, and keep it alive while they run.
    auto owner = std::make_shared<int>(5);
    std::weak_ptr<int> weakOwner = owner;
    int calls = 0;
    hotkey.setTarget(owner);
    hotkey.setAction([&](TNHotkey &sender) {
        if (owner) {
            owner.reset();
            EXPECT_FALSE(weakOwner.expired()); // held for the call
        }
        EXPECT_EQ(&sender, &hotkey);
        ++calls;
    });
    EXPECT_EQ(hotkey.target(), weakOwner.lock().get());
    EXPECT_TRUE(hotkey.keyDown(nullptr));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(weakOwner.expired());
    hotkey.keyUp(nullptr);
    EXPECT_FALSE(hotkey.keyDown(nullptr));
    EXPECT_EQ(calls, 1);

    // A callable without any target always runs.
    hotkey.clearTarget();
    EXPECT_TRUE(hotkey.keyDown(nullptr));
    EXPECT_EQ(calls, 2);
}

TEST(TNHotkeyActions, MethodWithoutTargetGoesAlongTheFocusChain)
{
    ResponderWidget window;
    QWidget child(&window);
    child.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    child.setFocus();
    QApplication::processEvents();
    if (QApplication::focusWidget() != &child)
        GTEST_SKIP() << "the platform gave no focus to the test window";

    TNHotkey hotkey(QStringLiteral("mute"), kCommandK);
    hotkey.setAction("respond");
    EXPECT_TRUE(hotkey.keyDown(nullptr));
    EXPECT_EQ(window.calls, 1);
    hotkey.keyUp(nullptr);
    hotkey.setAction("nobodyHasThis");
    EXPECT_FALSE(hotkey.keyDown(nullptr));
}

TEST(TNHotkeyActions, AnActionMayDropTheLastReferenceToItsShortcut)
{
    auto hotkey = TNHotkey::hotkeyWithIdentifier(QStringLiteral("once"), kCommandK);
    std::shared_ptr<TNHotkey> *holder = &hotkey;
    hotkey->setKeyDownActionBlock([holder](const QVariant &, const QKeyEvent *) {
        holder->reset();
        return true;
    });
    EXPECT_TRUE(hotkey->keyDown(nullptr));
    EXPECT_EQ(hotkey, nullptr);
}

// ---- Long press ----

class TNHotkeyLongPress : public testing::Test
{
protected:
    void SetUp() override
    {
        hotkey = TNHotkey::hotkeyWithIdentifier(QStringLiteral("talk"), kCommandK);
        hotkey->setKeyDownLongPressDelay(0.5);
        hotkey->setHotkeyCenter(&center);
        hotkey->setKeyDownActionBlock([this](const QVariant &, const QKeyEvent *event) {
            downs.push_back(clock.now());
            downHadEvent = event != nullptr;
            return true;
        });
        hotkey->setKeyUpActionBlock([this](const QVariant &, const QKeyEvent *) {
            ++ups;
            return true;
        });
    }

    ManualClock clock;
    FakeCenter center;
    std::shared_ptr<TNHotkey> hotkey;
    std::vector<double> downs;
    bool downHadEvent = false;
    int ups = 0;
};

TEST_F(TNHotkeyLongPress, ActionRunsWhenTheDelayElapsesWithTheKeyHeld)
{
    EXPECT_TRUE(hotkey->isLongPressHotkey());
    const QKeyEvent down = press();
    EXPECT_TRUE(hotkey->keyDown(&down));
    ASSERT_NE(hotkey->downEvent(), nullptr);
    EXPECT_EQ(hotkey->downEvent()->key(), Qt::Key_K);
    clock.advance(0.49);
    EXPECT_TRUE(downs.empty());
    clock.advance(0.01);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_DOUBLE_EQ(downs[0], 0.5);
    EXPECT_TRUE(downHadEvent); // the remembered press, copied
    EXPECT_TRUE(hotkey->hasRespondKeyDown());

    const QKeyEvent up = release();
    EXPECT_TRUE(hotkey->keyUp(&up));
    EXPECT_EQ(ups, 1);
    EXPECT_TRUE(center.failures.empty());
    EXPECT_EQ(hotkey->downEvent(), nullptr);
}

TEST_F(TNHotkeyLongPress, EarlyReleaseRunsNothingAndReportsOnce)
{
    const QKeyEvent down = press();
    hotkey->keyDown(&down);
    clock.advance(0.3);
    const QKeyEvent up = release();
    EXPECT_FALSE(hotkey->keyUp(&up));
    EXPECT_FALSE(hotkey->keyUp(&up)); // a second release is no second failure
    clock.advance(5);
    EXPECT_TRUE(downs.empty());
    EXPECT_EQ(ups, 0);
    ASSERT_EQ(center.failures.size(), 1u);
    EXPECT_EQ(center.failures[0].hotkey, hotkey.get());
    EXPECT_TRUE(center.failures[0].hadDown);
    EXPECT_EQ(center.failures[0].downKey, Qt::Key_K);
    EXPECT_TRUE(center.failures[0].hadUp);
    EXPECT_EQ(hotkey->downEvent(), nullptr);
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST_F(TNHotkeyLongPress, AutoRepeatDoesNotReschedule)
{
    const QKeyEvent down = press();
    const QKeyEvent repeat = press(true);
    EXPECT_TRUE(hotkey->keyDown(&down));
    clock.advance(0.3);
    EXPECT_TRUE(hotkey->keyDown(&repeat));
    EXPECT_TRUE(hotkey->keyDown(&repeat));
    clock.advance(0.2);
    EXPECT_EQ(downs.size(), 1u);
    clock.advance(1.0);
    EXPECT_EQ(downs.size(), 1u);
    EXPECT_DOUBLE_EQ(downs[0], 0.5);
}

TEST_F(TNHotkeyLongPress, GlobalPressesWithoutEventsTreatHeldPressesAsRepeats)
{
    EXPECT_TRUE(hotkey->keyDown(nullptr));
    clock.advance(0.4);
    EXPECT_TRUE(hotkey->keyDown(nullptr)); // the key is still held
    clock.advance(0.1);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_FALSE(downHadEvent);
    EXPECT_TRUE(hotkey->keyUp(nullptr));

    // An early global release reports with no events at all.
    hotkey->keyDown(nullptr);
    EXPECT_FALSE(hotkey->keyUp(nullptr));
    ASSERT_EQ(center.failures.size(), 1u);
    EXPECT_FALSE(center.failures[0].hadDown);
    EXPECT_FALSE(center.failures[0].hadUp);
}

TEST_F(TNHotkeyLongPress, DestroyingOrCleaningUpDropsThePendingPress)
{
    hotkey->keyDown(nullptr);
    EXPECT_EQ(clock.pendingCount(), 1);
    hotkey.reset();
    EXPECT_EQ(clock.pendingCount(), 0);
    clock.advance(1);
    EXPECT_TRUE(downs.empty());

    TNHotkey other(QStringLiteral("b"), kCommandK);
    other.setKeyDownLongPressDelay(0.2);
    int runs = 0;
    other.setKeyDownActionBlock([&](const QVariant &, const QKeyEvent *) { return ++runs, true; });
    other.keyDown(nullptr);
    other.cleanUp();
    EXPECT_EQ(other.identifier(), QString());
    EXPECT_TRUE(other.hotkeyCombo().isNullCombo());
    EXPECT_FALSE(other.isKeyDown());
    clock.advance(1);
    EXPECT_EQ(runs, 0);
}

TEST_F(TNHotkeyLongPress, AGoneCenterHearsNothing)
{
    auto shortLived = std::make_unique<FakeCenter>();
    hotkey->setHotkeyCenter(shortLived.get());
    EXPECT_EQ(hotkey->hotkeyCenter(), shortLived.get());
    shortLived.reset();
    EXPECT_EQ(hotkey->hotkeyCenter(), nullptr);
    hotkey->keyDown(nullptr);
    EXPECT_FALSE(hotkey->keyUp(nullptr));
    EXPECT_TRUE(center.failures.empty());
}

TEST_F(TNHotkeyLongPress, TinyDelaysAreNormalShortcuts)
{
    hotkey->setKeyDownLongPressDelay(1e-7);
    EXPECT_FALSE(hotkey->isLongPressHotkey());
    EXPECT_TRUE(hotkey->keyDown(nullptr));
    EXPECT_EQ(downs.size(), 1u);
    EXPECT_EQ(clock.pendingCount(), 0);
}

} // namespace

#include "hotkey_test.moc"
