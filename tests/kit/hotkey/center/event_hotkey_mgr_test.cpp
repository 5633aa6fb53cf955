// The shortcut managers: matching of the application's key events and the
// sharing of platform grabs.
#include "center_test_support.h"

#include <kalvo/hotkey/eventhotkeymgr.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>

#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

// A handler that logs its calls and answers with a fixed status.
class RecordingHandler final : public TNEventHotkeyHandler
{
public:
    explicit RecordingHandler(int status = kTNHotkeyNoErr) : status(status) {}
    int appEventActionWithHotkeyMgr(TNAppEventHotkeyMgr &, QKeyEvent *event, TNEventHotKeyRef ref) override
    {
        calls.append({ref, event->type()});
        if (onCall)
            onCall();
        return status;
    }
    int globalEventActionWithHotkeyMgr(TNGlobalEventHotkeyMgr &, const TNGlobalHotkeyEvent &event,
                                       TNEventHotKeyRef ref) override
    {
        globalCalls.append({ref, event.kind});
        return status;
    }
    int status;
    std::function<void()> onCall;
    QList<std::pair<TNEventHotKeyRef, QEvent::Type>> calls;
    QList<std::pair<TNEventHotKeyRef, int>> globalCalls;
};

class LocalMgrTest : public testing::Test
{
protected:
    void SetUp() override
    {
        window.resize(200, 100);
        auto *layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        layout->addWidget(edit);
        window.show();
        QApplication::setActiveWindow(&window);
        edit->setFocus();
    }
    void TearDown() override
    {
        for (TNEventHotKeyRef ref : refs)
            mgr.unregisterEventHotKey(ref);
        for (auto *handler : {&first, &second})
            mgr.removeEventHandler(handler);
        EXPECT_EQ(mgr.hotkeyCount(), 0);
    }
    TNEventHotKeyRef add(const TNHotkeyCombo &combo, RecordingHandler &handler)
    {
        TNEventHotKeyRef ref = 0;
        EXPECT_EQ(mgr.registerEventHotkey(combo, &handler, &ref), kTNHotkeyNoErr);
        mgr.addEventHandler(&handler);
        refs.append(ref);
        return ref;
    }

    TNAppEventHotkeyMgr &mgr = TNAppEventHotkeyMgr::shared();
    QWidget window;
    QLineEdit *edit = nullptr;
    RecordingHandler first, second;
    QList<TNEventHotKeyRef> refs;
};

TEST_F(LocalMgrTest, MonitorsOnlyWhileRecordsExist)
{
    EXPECT_FALSE(mgr.isMonitoring());
    const TNEventHotKeyRef ref = add(TNHotkeyCombo(KeyCode::K, ModifierFlag::command), first);
    EXPECT_TRUE(mgr.isMonitoring());
    EXPECT_NE(mgr.getHotkeyBy(ref), nullptr);
    mgr.unregisterEventHotKey(ref);
    refs.clear();
    EXPECT_FALSE(mgr.isMonitoring());
    EXPECT_EQ(mgr.getHotkeyBy(ref), nullptr);
}

TEST_F(LocalMgrTest, SameCombinationAndHandlerTwiceIsADuplicate)
{
    const TNHotkeyCombo combo(KeyCode::K, ModifierFlag::command);
    add(combo, first);
    TNEventHotKeyRef ref = 0;
    EXPECT_EQ(mgr.registerEventHotkey(combo, &first, &ref), kTNHotkeyExistsErr);
    EXPECT_EQ(ref, 0u);
    add(combo, second); // another handler may
    EXPECT_EQ(mgr.hotkeyCount(), 2);
}

TEST_F(LocalMgrTest, NewestRecordFirstUntilOneHandles)
{
    const TNHotkeyCombo combo(KeyCode::K, ModifierFlag::command);
    first.status = kTNHotkeyNoErr;
    second.status = kTNHotkeyNotHandledErr;
    const TNEventHotKeyRef older = add(combo, first);
    const TNEventHotKeyRef newer = add(combo, second);
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    ASSERT_EQ(second.calls.size(), 1);
    ASSERT_EQ(first.calls.size(), 1);
    EXPECT_EQ(second.calls[0].first, newer);
    EXPECT_EQ(first.calls[0].first, older);

    // Once the newest handles, older records are not asked.
    second.status = kTNHotkeyNoErr;
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(second.calls.size(), 2);
    EXPECT_EQ(first.calls.size(), 1);
}

TEST_F(LocalMgrTest, ModifiersMustMatchButKeypadStateDoesNot)
{
    add(TNHotkeyCombo(KeyCode::K, ModifierFlag::command), first);
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);
    sendKey(edit, QEvent::KeyPress, Qt::Key_K);
    EXPECT_TRUE(first.calls.isEmpty());
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier | Qt::KeypadModifier);
    EXPECT_EQ(first.calls.size(), 1);
}

TEST_F(LocalMgrTest, FunctionKeysMatchTheirCombinations)
{
    add(TNHotkeyCombo(KeyCode::F5, 0), first);
    add(TNHotkeyCombo(KeyCode::LeftArrow, ModifierFlag::option), second);
    sendKey(edit, QEvent::KeyPress, Qt::Key_F5);
    sendKey(edit, QEvent::KeyPress, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(first.calls.size(), 1);
    EXPECT_EQ(second.calls.size(), 1);
}

TEST_F(LocalMgrTest, HandledPressIsSwallowedAndKeptFromQtShortcuts)
{
    int qtShortcut = 0;
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_J), &window);
    QObject::connect(&shortcut, &QShortcut::activated, [&] { ++qtShortcut; });
    add(TNHotkeyCombo(KeyCode::J, ModifierFlag::control), first);

    sendKey(edit, QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(first.calls.size(), 1); // once, though Qt sent an override and a press
    EXPECT_EQ(qtShortcut, 0);

    // Not handled: Qt's shortcut has it.
    first.status = kTNHotkeyNotHandledErr;
    sendKey(edit, QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(qtShortcut, 1);

    // A swallowed letter never reaches the text field.
    first.status = kTNHotkeyNoErr;
    add(TNHotkeyCombo(KeyCode::Q, 0), second);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
    QApplication::sendEvent(edit, &press);
    EXPECT_TRUE(edit->text().isEmpty());
}

TEST_F(LocalMgrTest, AnEventHandedToParentsIsMatchedOnce)
{
    second.status = kTNHotkeyNotHandledErr;
    add(TNHotkeyCombo(KeyCode::Z, ModifierFlag::control), second);
    // QLineEdit ignores Ctrl+Z when it has nothing to undo; Qt then offers
    // the same event to the window.
    sendKey(edit, QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(second.calls.size(), 1);
}

TEST_F(LocalMgrTest, KeyUpMatchesPressedRecordsByKeyAlone)
{
    const TNEventHotKeyRef ref = add(TNHotkeyCombo(KeyCode::K, ModifierFlag::command), first);
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_TRUE(mgr.getHotkeyBy(ref)->isKeyDown);
    // Command let go first.
    sendKey(edit, QEvent::KeyRelease, Qt::Key_K);
    ASSERT_EQ(first.calls.size(), 2);
    EXPECT_EQ(first.calls[1].second, QEvent::KeyRelease);
    EXPECT_FALSE(mgr.getHotkeyBy(ref)->isKeyDown);
    // A release without press is not matched.
    sendKey(edit, QEvent::KeyRelease, Qt::Key_K);
    EXPECT_EQ(first.calls.size(), 2);
}

TEST_F(LocalMgrTest, RecordsOfRemovedHandlersAreSkipped)
{
    add(TNHotkeyCombo(KeyCode::K, ModifierFlag::command), first);
    mgr.removeEventHandler(&first);
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_TRUE(first.calls.isEmpty());
}

TEST_F(LocalMgrTest, AHandlerMayUnregisterWhileCalled)
{
    const TNHotkeyCombo combo(KeyCode::K, ModifierFlag::command);
    first.status = kTNHotkeyNotHandledErr;
    add(combo, first);
    add(combo, second);
    second.status = kTNHotkeyNotHandledErr;
    second.onCall = [&] {
        for (TNEventHotKeyRef ref : std::as_const(refs))
            mgr.unregisterEventHotKey(ref);
    };
    sendKey(edit, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(second.calls.size(), 1);
    EXPECT_TRUE(first.calls.isEmpty());
    refs.clear();
}

// A widget that keeps every press for itself while it is "recording".
class Recorder : public QWidget, public TNHotkeyResponder
{
public:
    using QWidget::QWidget;
    bool recording = true;
    QList<QEvent::Type> seen;
    QObject *handleHotkeyWithEvent(QKeyEvent *event) override
    {
        seen.append(event->type());
        return recording ? this : nextHotkeyResponder(event);
    }
};

TEST_F(LocalMgrTest, AResponderThatClaimsAPressHoldsItUntilRelease)
{
    auto *recorder = new Recorder(&window);
    auto *child = new QLineEdit(recorder);
    window.layout()->addWidget(recorder);
    add(TNHotkeyCombo(KeyCode::K, ModifierFlag::command), first);
    child->setFocus();
    QApplication::setActiveWindow(&window);
    ASSERT_EQ(QApplication::focusWidget(), child);

    sendKey(child, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(mgr.assignedEventHandler(), recorder);
    sendKey(child, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier, true); // repeat: the holder, then shortcuts
    EXPECT_EQ(first.calls.size(), 1);
    sendKey(child, QEvent::KeyRelease, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(mgr.assignedEventHandler(), nullptr);
    EXPECT_EQ(recorder->seen.size(), 3);
    EXPECT_EQ(recorder->seen.last(), QEvent::KeyRelease);

    // Not recording: the chain goes on to the window and shortcuts act.
    recorder->recording = false;
    sendKey(child, QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(mgr.assignedEventHandler(), nullptr);
    EXPECT_EQ(first.calls.size(), 2);
}

// ---- Global manager ----

class GlobalMgrTest : public testing::Test
{
protected:
    void TearDown() override
    {
        for (TNEventHotKeyRef ref : refs)
            mgr.unregisterEventHotKey(ref);
        mgr.removeEventHandler(&first);
        mgr.removeEventHandler(&second);
        TNKeyboardLayoutMgr::installKeyTranslator(); // back to the real layouts
    }
    int add(const TNHotkeyCombo &combo, RecordingHandler &handler, TNEventHotKeyRef *out = nullptr)
    {
        TNEventHotKeyRef ref = 0;
        const int status = mgr.registerEventHotkey(combo, &handler, &ref);
        mgr.addEventHandler(&handler);
        if (status == kTNHotkeyNoErr)
            refs.append(ref);
        if (out)
            *out = ref;
        return status;
    }

    TNGlobalEventHotkeyMgr &mgr = TNGlobalEventHotkeyMgr::shared();
    ScopedFakeGrabber grabber;
    RecordingHandler first, second;
    QList<TNEventHotKeyRef> refs;
};

TEST_F(GlobalMgrTest, OneGrabPerCombinationSharedNewestFirst)
{
    const TNHotkeyCombo combo(KeyCode::M, ModifierFlag::control | ModifierFlag::option);
    first.status = second.status = kTNHotkeyNotHandledErr;
    TNEventHotKeyRef a = 0, b = 0;
    ASSERT_EQ(add(combo, first, &a), kTNHotkeyNoErr);
    ASSERT_EQ(add(combo, second, &b), kTNHotkeyNoErr);
    EXPECT_EQ(grabber->grabCount(), 1);
    EXPECT_EQ(mgr.globalHotkeyRefKeys(), QStringList{QStringLiteral("ID(46,786432)")});
    EXPECT_EQ(mgr.subHotkeyRefs(QStringLiteral("ID(46,786432)")), (QList<TNEventHotKeyRef>{a, b}));

    ASSERT_TRUE(grabber->tap(KeyCode::M, ModifierFlag::control | ModifierFlag::option));
    ASSERT_EQ(second.globalCalls.size(), 2);
    EXPECT_EQ(second.globalCalls[0], std::make_pair(b, int(TNGlobalHotkeyEvent::pressed)));
    EXPECT_EQ(second.globalCalls[1], std::make_pair(b, int(TNGlobalHotkeyEvent::released)));
    EXPECT_EQ(first.globalCalls.size(), 2);

    // Handled by the newest: the older is not asked.
    second.status = kTNHotkeyNoErr;
    grabber->tap(KeyCode::M, ModifierFlag::control | ModifierFlag::option);
    EXPECT_EQ(first.globalCalls.size(), 2);

    mgr.unregisterEventHotKey(b);
    EXPECT_EQ(grabber->grabCount(), 1);
    mgr.unregisterEventHotKey(a);
    EXPECT_EQ(grabber->grabCount(), 0);
    EXPECT_TRUE(mgr.globalHotkeyRefKeys().isEmpty());
    refs.clear();
}

TEST_F(GlobalMgrTest, ARefusedGrabLeavesNoRecordAndCanBeRetried)
{
    const TNHotkeyCombo combo(KeyCode::J, ModifierFlag::control);
    grabber->heldElsewhere.insert({KeyCode::J, ModifierFlag::control});
    EXPECT_EQ(add(combo, first), kTNHotkeyExistsErr);
    EXPECT_EQ(mgr.hotkeyCount(), 0);
    EXPECT_TRUE(mgr.globalHotkeyRefKeys().isEmpty());

    grabber->heldElsewhere.clear();
    EXPECT_EQ(add(combo, first), kTNHotkeyNoErr); // not a duplicate of the failed attempt
    EXPECT_EQ(grabber->grabCount(), 1);
}

TEST_F(GlobalMgrTest, StatusesOfThePlatform)
{
    grabber->available = false;
    EXPECT_EQ(add(TNHotkeyCombo(KeyCode::K, ModifierFlag::control), first), kTNHotkeyUnavailableErr);
    EXPECT_EQ(mgr.hotkeyCount(), 0);
    EXPECT_EQ(mgr.dispatchGlobalEvent(12345, {}), kTNHotkeyNotHandledErr);
    EXPECT_EQ(mgr.dispatchGlobalEvent(0, {}), kTNHotkeyNotHandledErr);
}

TEST_F(GlobalMgrTest, GrabsTheKeyThatTypesTheLetterInTheCurrentLayout)
{
    // A German layout: Z and Y swap places.
    TNKeyTranslator german;
    german.currentKeyboardLayoutID = [] { return QStringLiteral("de"); };
    german.keyCodeForLetter = [](const QString &letter, int alternate, const QString &layout) {
        if (layout == QLatin1String("de") && letter.compare(QLatin1String("Z"), Qt::CaseInsensitive) == 0)
            return int(KeyCode::Y);
        return alternate;
    };
    setKeyTranslator(german);
    ASSERT_EQ(add(TNHotkeyCombo(KeyCode::Z, ModifierFlag::control), first), kTNHotkeyNoErr);
    EXPECT_NE(grabber->idFor(KeyCode::Y, ModifierFlag::control), 0u);
    EXPECT_EQ(grabber->idFor(KeyCode::Z, ModifierFlag::control), 0u);
}

TEST_F(GlobalMgrTest, ReplacingTheServiceGrabsEverythingAgain)
{
    ASSERT_EQ(add(TNHotkeyCombo(KeyCode::K, ModifierFlag::control), first), kTNHotkeyNoErr);
    auto next = std::make_unique<FakeKeyGrabber>();
    FakeKeyGrabber *raw = next.get();
    mgr.setKeyGrabber(std::move(next));
    grabber.fake = raw; // the scope restores the default at the end
    EXPECT_EQ(raw->grabCount(), 1);
    EXPECT_TRUE(raw->tap(KeyCode::K, ModifierFlag::control));
    EXPECT_EQ(first.globalCalls.size(), 2);
}

} // namespace
