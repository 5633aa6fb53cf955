// The hotkey center: registration bookkeeping, pausing, the layout pause,
// local and global dispatch, typing, long presses and the store bindings.
#include "center_test_support.h"

#include <kalvo/hotkey/hotkeycenter.h>
#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/settings.h>

#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

class Delegate final : public TNHotkeyCenterDelegate
{
public:
    std::optional<bool> skipAnswer;
    std::optional<bool> shortPressAnswer;
    QStringList willUpdate;
    QList<bool> suggestions;
    int longPressFails = 0;

    void hotkeyCenterHotkeyWillUpdate(TNHotkeyCenter &, const TNHotkey &hotkey) override
    {
        willUpdate.append(hotkey.identifier());
    }
    std::optional<bool> hotkeyCenterShouldSkipHotkey(TNHotkeyCenter &, const TNHotkey &, const QKeyEvent *,
                                                     bool suggest) override
    {
        suggestions.append(suggest);
        return skipAnswer;
    }
    std::optional<bool> hotkeyCenterLongPressFailShouldShortPress(TNHotkeyCenter &, const TNHotkey &,
                                                                  const QKeyEvent *, const QKeyEvent *) override
    {
        ++longPressFails;
        return shortPressAnswer;
    }
};

// Remembers the keys it receives.
class KeyLog final : public QWidget
{
public:
    using QWidget::QWidget;
    QList<std::pair<QEvent::Type, int>> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.append({event->type(), event->key()}); }
    void keyReleaseEvent(QKeyEvent *event) override { keys.append({event->type(), event->key()}); }
};

class CenterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Settings::setUseInMemoryStores(true);
        window.resize(200, 100);
        auto *layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        other = new KeyLog(&window);
        other->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(edit);
        layout->addWidget(other);
        window.show();
        QApplication::setActiveWindow(&window);
        other->setFocus();
    }
    void TearDown() override
    {
        delete center;
        EXPECT_EQ(TNAppEventHotkeyMgr::shared().hotkeyCount(), 0);
        EXPECT_EQ(TNGlobalEventHotkeyMgr::shared().hotkeyCount(), 0);
        TNKeyboardLayoutMgr::installKeyTranslator();
    }

    // A shortcut counting its key downs and ups.
    std::shared_ptr<TNHotkey> counting(const QString &identifier, const TNHotkeyCombo &combo)
    {
        auto hotkey = TNHotkey::hotkeyWithIdentifier(identifier, combo);
        hotkey->setKeyDownActionBlock([this, identifier](const QVariant &, const QKeyEvent *) {
            downs.append(identifier);
            return true;
        });
        hotkey->setKeyUpActionBlock([this, identifier](const QVariant &, const QKeyEvent *) {
            ups.append(identifier);
            return true;
        });
        return hotkey;
    }

    std::shared_ptr<Settings> store() const { return TNHotkeyConfiguration::hotkeyDefaults(); }

    ScopedFakeGrabber grabber;
    TNHotkeyCenter *center = new TNHotkeyCenter;
    QWidget window;
    QLineEdit *edit = nullptr;
    KeyLog *other = nullptr;
    QStringList downs, ups;
};

const TNHotkeyCombo kCommandK(KeyCode::K, ModifierFlag::command);
const TNHotkeyCombo kControlOptionM(KeyCode::M, ModifierFlag::control | ModifierFlag::option);

TEST_F(CenterTest, RegisteringWhilePausedActsOnlyAfterResume)
{
    EXPECT_TRUE(center->isLocalPaused());
    EXPECT_TRUE(center->isGlobalPaused());
    ASSERT_TRUE(center->registerHotKey(counting("find", kCommandK), false));
    EXPECT_FALSE(center->isActive("find", false));
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_TRUE(downs.isEmpty());

    center->resume(false);
    EXPECT_TRUE(center->isActive("find", false));
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(downs, QStringList{"find"});
    EXPECT_EQ(ups, QStringList{"find"});

    center->pause(false);
    EXPECT_FALSE(center->isActive("find", false));
    EXPECT_EQ(center->localHotkeys().size(), 1); // kept while paused
    EXPECT_EQ(TNAppEventHotkeyMgr::shared().hotkeyCount(), 0);
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(downs.size(), 1);
}

TEST_F(CenterTest, OneEntryPerIdentifierAndCopiesOwnedByTheCenter)
{
    center->resume(false);
    auto hotkey = counting("find", kCommandK);
    ASSERT_TRUE(center->registerHotKey(hotkey, false));
    ASSERT_TRUE(center->registerHotKey(counting("find", TNHotkeyCombo(KeyCode::F, ModifierFlag::command)), false));
    ASSERT_EQ(center->localHotkeys().size(), 1);
    const auto entry = center->hotkeyByIdentifier("find", false);
    EXPECT_NE(entry, hotkey);
    EXPECT_EQ(entry->hotkeyCenter(), center);
    EXPECT_EQ(entry->hotkeyCombo().hotkeyCode(), KeyCode::F);
    EXPECT_EQ(center->getHotkeyByCombo(kCommandK, false), nullptr);
    // Registration numbers grow across centers.
    TNHotkeyCenter second;
    second.registerHotKey(counting("x", kCommandK), false);
    EXPECT_GT(second.localHotkeys().firstKey(), center->localHotkeys().firstKey());

    center->unregisterHotKey(*TNHotkey::hotkeyWithIdentifier("other", entry->hotkeyCombo()), false);
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    EXPECT_EQ(TNAppEventHotkeyMgr::shared().hotkeyCount(), 0);
}

TEST_F(CenterTest, InvalidCombinationsAreRefused)
{
    int status = 0;
    EXPECT_FALSE(center->registerHotKey(nullptr, false, &status));
    EXPECT_EQ(status, kTNHotkeyInvalidErr);
    EXPECT_FALSE(center->registerHotKey(counting("none", TNHotkeyCombo()), false));
    TNHotkeyCombo marked(KeyCode::K, ModifierFlag::command);
    marked.setInvalid(true);
    EXPECT_FALSE(center->registerHotKey(counting("marked", marked), false));
    EXPECT_TRUE(center->isValidHotKeyCombo(TNHotkeyCombo(KeyCode::K, 0)));
    center->setSupportNoneModifiers(false);
    EXPECT_FALSE(center->registerHotKey(counting("bare", TNHotkeyCombo(KeyCode::K, 0)), false));
    EXPECT_TRUE(center->localHotkeys().isEmpty());
}

TEST_F(CenterTest, RequiredModifiersAreAddedToTheScope)
{
    center->setLocalRequiredModifiers(CarbonModifier::control);
    center->resume(false);
    ASSERT_TRUE(center->registerHotKey(counting("find", kCommandK), false));
    EXPECT_EQ(center->hotkeyByIdentifier("find", false)->hotkeyCombo().eventRefModifiers(),
              CarbonModifier::control | CarbonModifier::command);
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_TRUE(downs.isEmpty());
    tapKey(other, Qt::Key_K, Qt::MetaModifier | Qt::ControlModifier);
    EXPECT_EQ(downs.size(), 1);
}

TEST_F(CenterTest, ARefusedGlobalShortcutIsNotStored)
{
    center->resume(true);
    grabber->heldElsewhere.insert({KeyCode::M, ModifierFlag::control | ModifierFlag::option});
    int status = 0;
    EXPECT_FALSE(center->registerHotKey(counting("mute", kControlOptionM), true, &status));
    EXPECT_EQ(status, kTNHotkeyExistsErr);
    EXPECT_TRUE(center->globalHotKeys().isEmpty());

    grabber->available = false;
    EXPECT_FALSE(center->registerHotKey(counting("mute", kControlOptionM), true, &status));
    EXPECT_EQ(status, kTNHotkeyUnavailableErr);

    // Local shortcuts do not need the window system's grabs.
    center->resume(false);
    EXPECT_TRUE(center->registerHotKey(counting("mute", kControlOptionM), false));
}

TEST_F(CenterTest, GlobalShortcutsRunWithoutEventAndPauseUngrabs)
{
    center->resume(true);
    ASSERT_TRUE(center->registerHotKey(counting("mute", kControlOptionM), true));
    EXPECT_EQ(grabber->grabCount(), 1);
    ASSERT_TRUE(grabber->tap(KeyCode::M, ModifierFlag::control | ModifierFlag::option));
    EXPECT_EQ(downs, QStringList{"mute"});
    EXPECT_EQ(ups, QStringList{"mute"});

    center->pause(true);
    EXPECT_EQ(grabber->grabCount(), 0);
    EXPECT_EQ(center->hotkeyByIdentifier("mute", true)->eventHotKeyRef(), 0u);
    center->resume(true);
    EXPECT_EQ(grabber->grabCount(), 1);
    EXPECT_TRUE(center->isActive("mute", true));

    // Refused on resume: kept, inactive, tried again at the next resume.
    center->pause(true);
    grabber->heldElsewhere.insert({KeyCode::M, ModifierFlag::control | ModifierFlag::option});
    center->resume(true);
    EXPECT_FALSE(center->isActive("mute", true));
    EXPECT_EQ(center->globalHotKeys().size(), 1);
    grabber->heldElsewhere.clear();
    center->pause(true);
    center->resume(true);
    EXPECT_TRUE(center->isActive("mute", true));
}

TEST_F(CenterTest, TwoCentersShareAGrabNewestFirst)
{
    TNHotkeyCenter older;
    older.resume(true);
    center->resume(true);
    ASSERT_TRUE(older.registerHotKey(counting("older", kControlOptionM), true));
    ASSERT_TRUE(center->registerHotKey(counting("newer", kControlOptionM), true));
    EXPECT_EQ(grabber->grabCount(), 1);
    grabber->tap(KeyCode::M, ModifierFlag::control | ModifierFlag::option);
    EXPECT_EQ(downs, QStringList{"newer"});
    center->unregisterHotKeyByIdentifier("newer", true);
    EXPECT_EQ(grabber->grabCount(), 1);
    grabber->tap(KeyCode::M, ModifierFlag::control | ModifierFlag::option);
    EXPECT_EQ(downs, (QStringList{"newer", "older"}));
    older.cleanUp();
    EXPECT_EQ(grabber->grabCount(), 0);
}

TEST_F(CenterTest, LayoutChangePausesAndRegrabsWithTheNewKeyCode)
{
    center->resume(true);
    center->resume(false);
    ASSERT_TRUE(center->registerHotKey(counting("undo", TNHotkeyCombo(KeyCode::Z, ModifierFlag::control)), true));
    EXPECT_NE(grabber->idFor(KeyCode::Z, ModifierFlag::control), 0u);

    TNKeyTranslator german;
    german.currentKeyboardLayoutID = [] { return QStringLiteral("de"); };
    german.keyCodeForLetter = [](const QString &letter, int alternate, const QString &) {
        return letter == QLatin1String("Z") ? int(KeyCode::Y) : alternate;
    };
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutWillChanged);
    EXPECT_TRUE(center->isGlobalPaused());
    EXPECT_TRUE(center->isLocalPaused());
    EXPECT_TRUE(center->isGlobalPausedByKeyBoard());
    EXPECT_EQ(grabber->grabCount(), 0);
    setKeyTranslator(german);
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutDidChanged);
    EXPECT_FALSE(center->isGlobalPaused());
    EXPECT_FALSE(center->isLocalPaused());
    EXPECT_FALSE(center->isGlobalPausedByKeyBoard());
    EXPECT_NE(grabber->idFor(KeyCode::Y, ModifierFlag::control), 0u);
    EXPECT_EQ(grabber->idFor(KeyCode::Z, ModifierFlag::control), 0u);

    // A scope paused by the host stays paused.
    center->pause(true);
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutWillChanged);
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutDidChanged);
    EXPECT_TRUE(center->isGlobalPaused());
    EXPECT_FALSE(center->isLocalPaused());
}

TEST_F(CenterTest, SingleKeysWaitWhileTheUserTypes)
{
    center->resume(false);
    ASSERT_TRUE(center->registerHotKey(counting("next", TNHotkeyCombo(KeyCode::N, 0)), false));
    ASSERT_TRUE(center->registerHotKey(counting("find", kCommandK), false));
    edit->setFocus();
    ASSERT_TRUE(TNHotkeyCenter::isApplicationTyping());
    tapKey(edit, Qt::Key_N);
    tapKey(edit, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(downs, QStringList{"find"});

    edit->setReadOnly(true);
    EXPECT_FALSE(TNHotkeyCenter::isApplicationTyping());
    tapKey(edit, Qt::Key_N);
    EXPECT_EQ(downs, (QStringList{"find", "next"}));

    // The delegate has the last word, told what the center would do.
    edit->setReadOnly(false);
    auto delegate = std::make_shared<Delegate>();
    delegate->skipAnswer = false;
    center->setDelegate(delegate);
    tapKey(edit, Qt::Key_N);
    EXPECT_EQ(downs.last(), "next");
    EXPECT_EQ(downs.size(), 3);
    ASSERT_FALSE(delegate->suggestions.isEmpty());
    EXPECT_TRUE(delegate->suggestions.first());
}

TEST_F(CenterTest, AnEarlyReleaseOfALongPressCanActAsAKeystroke)
{
    ManualClock clock;
    auto delegate = std::make_shared<Delegate>();
    delegate->shortPressAnswer = true;
    center->setDelegate(delegate);
    center->resume(false);
    auto hotkey = counting("talk", TNHotkeyCombo(KeyCode::T, 0));
    hotkey->setKeyDownLongPressDelay(0.5);
    ASSERT_TRUE(center->registerHotKey(hotkey, false));
    ASSERT_EQ(QApplication::focusWidget(), other);

    sendKey(other, QEvent::KeyPress, Qt::Key_T);
    clock.advance(0.2);
    sendKey(other, QEvent::KeyRelease, Qt::Key_T);
    EXPECT_TRUE(downs.isEmpty());
    EXPECT_EQ(delegate->longPressFails, 1);
    // Replayed as a plain keystroke, past the shortcuts.
    EXPECT_EQ(other->keys, (QList<std::pair<QEvent::Type, int>>{{QEvent::KeyPress, Qt::Key_T},
                                                                 {QEvent::KeyRelease, Qt::Key_T}}));
    clock.advance(1.0);
    EXPECT_TRUE(downs.isEmpty());

    // Held long enough, it acts.
    sendKey(other, QEvent::KeyPress, Qt::Key_T);
    clock.advance(0.5);
    EXPECT_EQ(downs, QStringList{"talk"});
    sendKey(other, QEvent::KeyRelease, Qt::Key_T);
    EXPECT_EQ(ups, QStringList{"talk"});
    EXPECT_EQ(delegate->longPressFails, 1);
}

TEST_F(CenterTest, AnActionMayUnregisterItsOwnShortcut)
{
    center->resume(false);
    auto hotkey = TNHotkey::hotkeyWithIdentifier("once", kCommandK);
    hotkey->setKeyDownActionBlock([this](const QVariant &, const QKeyEvent *) {
        center->unregisterHotKeyByIdentifier("once", false);
        downs.append("once");
        return true;
    });
    ASSERT_TRUE(center->registerHotKey(hotkey, false));
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(downs, QStringList{"once"});
}

// ---- Bindings ----

TEST_F(CenterTest, BoundShortcutsFollowTheStore)
{
    center->resume(false);
    auto delegate = std::make_shared<Delegate>();
    center->setDelegate(delegate);
    store()->setValue(HKComboId("bind.mute"), kCommandK.value());
    ASSERT_TRUE(center->bindHotKey(counting("bind.mute", {}), false));
    EXPECT_FALSE(center->bindHotKey(counting("", {}), false));
    // Nothing stored for the state: off.
    EXPECT_FALSE(center->isBindByIdentifier("bind.mute", false));
    EXPECT_EQ(center->valueForBindingName(HKStateId("bind.mute")), QVariant(false));
    EXPECT_TRUE(center->localHotkeys().isEmpty());

    store()->setValue(HKStateId("bind.mute"), true);
    EXPECT_TRUE(center->isBindByIdentifier("bind.mute", false));
    EXPECT_TRUE(center->isBindByIdentifier(comboBindName("bind.mute", false)));
    EXPECT_EQ(center->valueForBindingName(comboBindName("bind.mute", false)), QVariant(kCommandK.value()));
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    EXPECT_EQ(downs, QStringList{"bind.mute"});

    // A new combination replaces the old one.
    store()->setValue(HKComboId("bind.mute"), TNHotkeyCombo(KeyCode::J, ModifierFlag::command).value());
    tapKey(other, Qt::Key_K, Qt::MetaModifier);
    tapKey(other, Qt::Key_J, Qt::MetaModifier);
    EXPECT_EQ(downs.size(), 2);
    EXPECT_FALSE(delegate->willUpdate.isEmpty());

    // Values of the wrong kind change nothing.
    store()->setValue(HKComboId("bind.mute"), QStringLiteral("garbage"));
    store()->setValue(HKStateId("bind.mute"), QVariantList{1, 2});
    EXPECT_TRUE(center->isActive("bind.mute", false));

    // Removing the combination removes the shortcut.
    store()->remove(HKComboId("bind.mute"));
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    store()->setValue(HKComboId("bind.mute"), kCommandK.value());
    EXPECT_TRUE(center->isActive("bind.mute", false));

    // Turned off: unregistered, still bound for its state.
    store()->setValue(HKStateId("bind.mute"), false);
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    EXPECT_FALSE(center->isBindByIdentifier("bind.mute", false));
    store()->setValue(HKStateId("bind.mute"), QStringLiteral("true")); // as read back from a file
    EXPECT_TRUE(center->isActive("bind.mute", false));

    center->unbindHotkeyByIdentifier("bind.mute", false);
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    store()->setValue(HKStateId("bind.mute"), false);
    store()->setValue(HKStateId("bind.mute"), true);
    EXPECT_TRUE(center->localHotkeys().isEmpty());
}

TEST_F(CenterTest, DamagedStoredCombinationsRegisterNothing)
{
    center->resumeAll();
    store()->setValue(HKStateId("bind.bad"), true);
    store()->setValue(gHKStateId("bind.bad"), true);
    store()->setValue(HKComboId("bind.bad"), kCommandK.value());
    center->bindHotKey(counting("bind.bad", {}), false);
    center->bindHotKey(counting("bind.bad", {}), true);
    ASSERT_TRUE(center->isActive("bind.bad", false));
    const QVariant damaged[] = {
        QVariantMap{{kTNHotkeyCodeKey, -7}},
        QVariantMap{{kTNHotkeyCodeKey, QStringLiteral("abc")}, {kTNHotkeyModifierKey, QStringLiteral("x")}},
        QVariantMap{{kTNHotkeyCodeKey, 1e12}, {kTNHotkeyModifierKey, ModifierFlag::command}},
    };
    for (const QVariant &value : damaged) {
        store()->setValue(HKComboId("bind.bad"), kCommandK.value());
        store()->setValue(HKComboId("bind.bad"), value);
        EXPECT_FALSE(center->isActive("bind.bad", false)) << value.toMap().value(kTNHotkeyCodeKey).toString().toStdString();
        EXPECT_FALSE(center->isActive("bind.bad", true));
    }
    // Not a dictionary at all: ignored, the last combination stays.
    store()->setValue(HKComboId("bind.bad"), kCommandK.value());
    store()->setValue(HKComboId("bind.bad"), QVariantList{1, 2});
    EXPECT_TRUE(center->isActive("bind.bad", false));
    EXPECT_TRUE(store()->boolean(HKStateId("bind.bad")));
}

TEST_F(CenterTest, ScopesShareTheCombinationButNotTheState)
{
    center->resume(false);
    center->resume(true);
    store()->setValue(HKComboId("bind.share"), kControlOptionM.value());
    store()->setValue(HKStateId("bind.share"), true);
    store()->setValue(gHKStateId("bind.share"), false);
    center->bindHotKey(counting("bind.share", {}), false);
    center->bindHotKey(counting("bind.share", {}), true);
    EXPECT_TRUE(center->isActive("bind.share", false));
    EXPECT_FALSE(center->isActive("bind.share", true));
    store()->setValue(gHKStateId("bind.share"), true);
    EXPECT_TRUE(center->isActive("bind.share", true));
    EXPECT_EQ(center->hotkeyByIdentifier("bind.share", true)->hotkeyCombo(), kControlOptionM);
    center->unbindAll();
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    EXPECT_TRUE(center->globalHotKeys().isEmpty());
}

TEST_F(CenterTest, AnotherProcessesWriteIsSeenAfterReload)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = Settings::storageDirectory();
    Settings::setUseInMemoryStores(false);
    Settings::setStorageDirectory(dir.path());
    {
        center->resume(false);
        store()->setValue(HKStateId("bind.ipc"), true);
        store()->setValue(HKComboId("bind.ipc"), kCommandK.value());
        store()->synchronize();
        center->bindHotKey(counting("bind.ipc", {}), false);
        ASSERT_TRUE(center->isActive("bind.ipc", false));

        // The other process: its own store over the same file.
        auto otherProcess = Settings::openFile(Settings::filePathForSuite(TNHotkeyConfiguration::hotkeySuiteName()));
        EXPECT_TRUE(otherProcess->boolean(HKStateId("bind.ipc")));
        otherProcess->setValue(HKComboId("bind.ipc"), TNHotkeyCombo(KeyCode::J, ModifierFlag::command).value());
        ASSERT_TRUE(otherProcess->synchronize());

        store()->synchronize();
        const auto entry = center->hotkeyByIdentifier("bind.ipc", false);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->hotkeyCombo().hotkeyCode(), KeyCode::J);
        center->unbindAll();
    }
    Settings::setStorageDirectory(previous);
    Settings::setUseInMemoryStores(true);
}

TEST_F(CenterTest, CleanUpLeavesNothingBehind)
{
    center->resumeAll();
    store()->setValue(HKStateId("bind.clean"), true);
    store()->setValue(HKComboId("bind.clean"), kCommandK.value());
    center->bindHotKey(counting("bind.clean", {}), false);
    center->registerHotKey(counting("mute", kControlOptionM), true);
    center->setDelegate(std::make_shared<Delegate>());
    center->cleanUp();
    EXPECT_TRUE(center->isLocalPaused());
    EXPECT_TRUE(center->isGlobalPaused());
    EXPECT_EQ(center->delegate(), nullptr);
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    EXPECT_TRUE(center->globalHotKeys().isEmpty());
    EXPECT_EQ(grabber->grabCount(), 0);
    store()->setValue(HKComboId("bind.clean"), TNHotkeyCombo(KeyCode::J, ModifierFlag::command).value());
    EXPECT_TRUE(center->localHotkeys().isEmpty());
    NotificationCenter::defaultCenter().post(TNKeyBoardLayoutDidChanged);
    EXPECT_TRUE(center->isLocalPaused());
}

} // namespace
