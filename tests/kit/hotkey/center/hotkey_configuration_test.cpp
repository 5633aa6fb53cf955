// Stored shortcut settings, conflict rules and actions bound to the store.
#include <kalvo/hotkey/hotkeyconfiguration.h>
#include <kalvo/hotkey/hotkeyconstants.h>
#include <kalvo/hotkey/hotkeymenucenter.h>
#include <kalvo/hotkey/hotkeyvalidator.h>
#include <kalvo/platform/bundle.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/platform/notificationcenter.h>
#include <kalvo/platform/settings.h>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

const TNHotkeyCombo kCommandK(KeyCode::K, ModifierFlag::command);

class ConfigurationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Settings::setUseInMemoryStores(true);
        TNHotkeyConfiguration::Defaults defaults;
        defaults.hotkeyMap = {{QStringLiteral("cfg.mute"), true}, {QStringLiteral("cfg.video"), false},
                              {QStringLiteral("cfg.hand"), true}};
        QVariantMap mute = kCommandK.value();
        mute.insert(kTNHotkeyName, QStringLiteral("cfg.mute"));
        defaults.defaultHotkeyArray = {mute, QVariantMap{{kTNHotkeyCodeKey, 1}}}; // the second has no name
        TNHotkeyConfiguration::setDefaults(defaults);
        TNHotkeyConfiguration::registerDefaultHotkey();
    }
    void TearDown() override
    {
        TNHotkeyConfiguration::restoreDefaults();
        clock.runAll();
        TNHotkeyConfiguration::setDefaults({});
        TNHotkeyMenuCenter::sharedInstance().unbindAll();
    }
    std::shared_ptr<Settings> store() const { return TNHotkeyConfiguration::hotkeyDefaults(); }

    ManualClock clock;
};

TEST_F(ConfigurationTest, DefaultsAndStatesOfTheStore)
{
    EXPECT_EQ(TNHotkeyConfiguration::hotkeySuiteName(), applicationIdentifier() + ".Hotkey");
    EXPECT_TRUE(TNHotkeyConfiguration::getHotkeyState("cfg.mute", false));
    EXPECT_FALSE(TNHotkeyConfiguration::getHotkeyState("cfg.mute", true));
    EXPECT_FALSE(TNHotkeyConfiguration::getHotkeyState("cfg.unknown", false));
    EXPECT_EQ(store()->value(HKComboId("cfg.mute")), QVariant(kCommandK.value()));

    TNHotkeyConfiguration::setHotkeyEnable(true, "cfg.video", true);
    EXPECT_TRUE(TNHotkeyConfiguration::getHotkeyState("cfg.video", true));
    // The user's own value wins over the default.
    store()->setValue(gHKStateId("cfg.video"), false);
    TNHotkeyConfiguration::setHotkeyEnable(true, "cfg.video", true);
    EXPECT_FALSE(TNHotkeyConfiguration::getHotkeyState("cfg.video", true));
}

TEST_F(ConfigurationTest, InformationDictionaries)
{
    const QVariantMap none = TNHotkeyConfiguration::hotkeyInfo("cfg.video", false);
    EXPECT_EQ(none.size(), 5);
    EXPECT_EQ(none.value(kTNHotkeyName), "cfg.video");
    EXPECT_EQ(none.value(kTNHotkeyCodeKey).toInt(), -1);
    EXPECT_EQ(none.value(kTNHotkeyModifierKey).toUInt(), 0u);
    EXPECT_FALSE(none.value(kTNHotkeyInvalidFlag).toBool());
    EXPECT_FALSE(none.value(kTNHotkeyEnableFlag).toBool());

    const QVariantMap mute = TNHotkeyConfiguration::hotkeyInfo("cfg.mute", false);
    EXPECT_EQ(mute.value(kTNHotkeyCodeKey).toInt(), KeyCode::K);
    EXPECT_EQ(mute.value(kTNHotkeyModifierKey).toUInt(), ModifierFlag::command);
    EXPECT_TRUE(mute.value(kTNHotkeyEnableFlag).toBool());

    // Damaged stored values read as nothing, and nothing else is lost.
    store()->setValue(HKComboId("cfg.hand"), QStringLiteral("not a combination"));
    EXPECT_EQ(TNHotkeyConfiguration::hotkeyInfo("cfg.hand", false).value(kTNHotkeyCodeKey).toInt(), -1);
    store()->setValue(HKComboId("cfg.hand"), QVariantMap{{kTNHotkeyCodeKey, QStringLiteral("x")}});
    EXPECT_EQ(TNHotkeyConfiguration::hotkeyInfo("cfg.hand", false).value(kTNHotkeyCodeKey).toInt(), -1);
    EXPECT_EQ(store()->value(HKComboId("cfg.mute")), QVariant(kCommandK.value()));

    const QList<QVariantMap> custom = TNHotkeyConfiguration::customHotkeyArray(false);
    ASSERT_EQ(custom.size(), 2); // hand (damaged, but stored) and mute
    EXPECT_EQ(custom[0].value(kTNHotkeyName), "cfg.hand");
}

TEST_F(ConfigurationTest, ConflictsWithOtherStoredShortcuts)
{
    auto &validator = TNHotkeyValidator::sharedValidator();
    TNError error;
    EXPECT_FALSE(validator.isAvailableHotkeyCombo(&kCommandK, "cfg.hand", false, &error));
    EXPECT_EQ(error.domain, "TNErrorDomain");
    EXPECT_EQ(error.code, 3);
    EXPECT_EQ(error.userInfo.value(kTNHotkeyName), "cfg.mute");
    // Its own combination, nothing, and shortcuts that are off do not count.
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&kCommandK, "cfg.mute", false, nullptr));
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(nullptr, "cfg.hand", false, nullptr));
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&TNHotkeyCombo::nullCombo(), "cfg.hand", false, nullptr));
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&kCommandK, "cfg.hand", true, nullptr)); // mute is off globally
    store()->setValue(HKStateId("cfg.mute"), false);
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&kCommandK, "cfg.hand", false, nullptr));
}

TEST_F(ConfigurationTest, ConflictsWithTheApplicationsActions)
{
    QMainWindow window;
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    QMenu *recent = file->addMenu(QStringLiteral("Recent"));
    QAction *open = recent->addAction(QStringLiteral("&Open"));
    open->setShortcut(QKeySequence(Qt::META | Qt::Key_O));
    QAction *print = file->addAction(QStringLiteral("Print"));
    print->setShortcut(QKeySequence(Qt::META | Qt::SHIFT | Qt::Key_P));
    QAction *refresh = window.addAction(QStringLiteral("Refresh"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    QAction *bang = file->addAction(QStringLiteral("Bang"));
    bang->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Exclam));

    auto &validator = TNHotkeyValidator::sharedValidator();
    TNError error;
    const TNHotkeyCombo commandO(KeyCode::O, ModifierFlag::command);
    EXPECT_FALSE(validator.isAvailableHotkeyCombo(&commandO, "cfg.video", false, &error));
    EXPECT_EQ(error.userInfo, (QVariantMap{{QStringLiteral("MenuItem"), QStringLiteral("&Open")}}));
    // Global shortcuts are not compared with the application's actions.
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&commandO, "cfg.video", true, nullptr));

    const TNHotkeyCombo commandShiftP(KeyCode::P, ModifierFlag::command | ModifierFlag::shift);
    const TNHotkeyCombo commandP(KeyCode::P, ModifierFlag::command);
    EXPECT_FALSE(validator.isAvailableHotkeyCombo(&commandShiftP, "x", false, nullptr));
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&commandP, "x", false, nullptr));
    const TNHotkeyCombo f5(KeyCode::F5, 0);
    EXPECT_FALSE(validator.isAvailableHotkeyCombo(&f5, "x", false, nullptr));
    const TNHotkeyCombo controlShiftOne(KeyCode::One, ModifierFlag::control | ModifierFlag::shift);
    EXPECT_FALSE(validator.isAvailableHotkeyCombo(&controlShiftOne, "x", false, nullptr));

    // Hidden actions and the action bound to the shortcut itself do not count.
    open->setVisible(false);
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&commandO, "x", false, nullptr));
    open->setVisible(true);
    open->setProperty("hkIdentifier", QStringLiteral("x"));
    EXPECT_TRUE(validator.isAvailableHotkeyCombo(&commandO, "x", false, nullptr));
}

TEST_F(ConfigurationTest, SavingATakenCombinationMarksItInvalidUntilItIsFree)
{
    int changes = 0;
    QVariantMap lastInfo;
    QObject owner;
    NotificationCenter::defaultCenter().addObserver(&owner, kTNHotkeyValueDidChanged, nullptr,
                                                    [&](const Notification &n) {
                                                        ++changes;
                                                        lastInfo = n.userInfo;
                                                    });
    auto window = std::make_unique<QMainWindow>();
    QAction *find = window->menuBar()->addMenu(QStringLiteral("Edit"))->addAction(QStringLiteral("Find"));
    find->setShortcut(QKeySequence(Qt::META | Qt::Key_F));

    const TNHotkeyCombo commandF(KeyCode::F, ModifierFlag::command);
    TNHotkeyConfiguration::saveHotkey("cfg.hand", false, commandF.value());
    EXPECT_TRUE(TNHotkeyConfiguration::hotkeyInfo("cfg.hand", false).value(kTNHotkeyInvalidFlag).toBool());
    EXPECT_EQ(changes, 0); // posted later
    clock.runAll();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lastInfo, (QVariantMap{{kTNHotkeyName, QStringLiteral("cfg.hand")}}));

    window.reset();
    TNHotkeyConfiguration::updateCustomHotkeyInvalidFlag(false);
    EXPECT_FALSE(TNHotkeyConfiguration::hotkeyInfo("cfg.hand", false).value(kTNHotkeyInvalidFlag).toBool());
    clock.runAll();
    EXPECT_EQ(changes, 2);

    // Nothing removes; values that are no combination are not stored.
    TNHotkeyConfiguration::saveHotkey("cfg.hand", false, QStringLiteral("junk"));
    EXPECT_TRUE(store()->value(HKComboId("cfg.hand")).isValid());
    TNHotkeyConfiguration::saveHotkey("cfg.hand", false, QVariant());
    EXPECT_FALSE(store()->value(HKComboId("cfg.hand")).isValid());
    TNHotkeyConfiguration::saveHotkey("", false, commandF.value());

    TNHotkeyConfiguration::restoreDefaults();
    EXPECT_FALSE(store()->hasUserValue(HKComboId("cfg.mute")));
    clock.runAll();
    EXPECT_TRUE(lastInfo.isEmpty());
}

TEST_F(ConfigurationTest, ActionsFollowTheirStoredShortcut)
{
    auto &menus = TNHotkeyMenuCenter::sharedInstance();
    auto action = std::make_unique<QAction>(QStringLiteral("Mute"));
    EXPECT_FALSE(menus.bindMenuItem(action.get(), QString()));
    ASSERT_TRUE(menus.bindMenuItem(action.get(), "cfg.mute"));
    EXPECT_EQ(hotkeyID(action.get()), "cfg.mute");
    EXPECT_EQ(hkIdentifier(action.get()), "cfg.mute");
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::META | Qt::Key_K));
    EXPECT_EQ(hkComboValue(action.get()), kCommandK.value());
    EXPECT_EQ(menus.valueForBindingName(action.get(), HKStateId("cfg.mute")), QVariant(true));

    store()->setValue(HKComboId("cfg.mute"), TNHotkeyCombo(KeyCode::F2, ModifierFlag::shift).value());
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F2));
    TNHotkeyCombo invalid(KeyCode::K, ModifierFlag::control);
    invalid.setInvalid(true);
    store()->setValue(HKComboId("cfg.mute"), invalid.value());
    EXPECT_TRUE(action->shortcut().isEmpty());

    store()->setValue(HKComboId("cfg.mute"), kCommandK.value());
    store()->setValue(HKStateId("cfg.mute"), false);
    EXPECT_TRUE(action->shortcut().isEmpty());
    EXPECT_TRUE(hkComboValue(action.get()).isEmpty());
    EXPECT_EQ(menus.valueForBindingName(action.get(), HKStateId("cfg.mute")), QVariant(false));

    // Through the action's property.
    store()->setValue(HKStateId("cfg.mute"), true);
    setHkIdentifier(action.get(), QString());
    EXPECT_FALSE(menus.isBound(action.get()));
    EXPECT_TRUE(action->shortcut().isEmpty());
    setHkIdentifier(action.get(), "cfg.mute");
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::META | Qt::Key_K));

    // A destroyed action leaves nothing that the store could reach.
    action.reset();
    store()->setValue(HKComboId("cfg.mute"), TNHotkeyCombo(KeyCode::J, ModifierFlag::command).value());
}

} // namespace
