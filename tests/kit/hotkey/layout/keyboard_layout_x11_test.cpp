// The current layout and its changes on a real X server: the test starts its
// own Xvfb and changes the layout with setxkbmap, as a user's desktop would.
#include <kalvo/hotkey/hotkeykeytranslator.h>
#include <kalvo/hotkey/keyboardlayoutmgr.h>
#include <kalvo/platform/keycodes.h>
#include <kalvo/platform/notificationcenter.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <xcb/xcb.h>
// xkb.h names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kalvo;

namespace {

class XkbLayoutOnX11 : public testing::Test
{
protected:
    static inline QProcess *server = nullptr;
    static inline QByteArray display;
    static inline QString skipReason;

    static void SetUpTestSuite()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            skipReason = QStringLiteral("Xvfb is not installed");
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty()) {
            skipReason = QStringLiteral("setxkbmap is not installed");
            return;
        }
        server = new QProcess;
        // -displayfd picks a free display and prints its number; -noreset
        // keeps setxkbmap's layout when its connection closes.
        server->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("640x480x24")});
        QByteArray number;
        if (server->waitForStarted(5000)) {
            const QDeadlineTimer deadline(10000);
            while (!number.endsWith('\n') && !deadline.hasExpired() && server->state() == QProcess::Running) {
                server->waitForReadyRead(200);
                number += server->readAllStandardOutput();
            }
        }
        if (!number.trimmed().isEmpty()) {
            display = ':' + number.trimmed();
            // The shared manager reads DISPLAY when it is first used.
            qputenv("DISPLAY", display);
        } else {
            skipReason = QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(server->readAllStandardError());
        }
    }

    static void TearDownTestSuite()
    {
        if (server) {
            server->terminate();
            if (!server->waitForFinished(5000))
                server->kill();
            delete server;
            server = nullptr;
        }
    }

    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << skipReason.toStdString();
        ASSERT_TRUE(setxkbmap({"-layout", "us", "-variant", ""}));
        settle();
    }

    static bool setxkbmap(const QStringList &arguments)
    {
        QProcess tool;
        tool.start(QStringLiteral("setxkbmap"), QStringList{"-display", QString::fromLatin1(display)} + arguments);
        return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    // Lets the events the server already sent arrive.
    static void settle()
    {
        const QDeadlineTimer deadline(300);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    static bool waitFor(const std::function<bool()> &condition)
    {
        const QDeadlineTimer deadline(10000);
        while (!condition() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    }
};

// Records the layout notifications and what the manager said at each.
struct LayoutEvents
{
    QStringList seen;
    ObserverId will = 0, did = 0;

    LayoutEvents()
    {
        auto &center = NotificationCenter::defaultCenter();
        will = center.addObserver(nullptr, TNKeyBoardLayoutWillChanged, nullptr, [this](const Notification &) {
            seen << "will:" + TNKeyboardLayoutMgr::sharedMgr().currentKeyboardLayoutID();
        });
        did = center.addObserver(nullptr, TNKeyBoardLayoutDidChanged, nullptr, [this](const Notification &) {
            seen << "did:" + TNKeyboardLayoutMgr::sharedMgr().currentKeyboardLayoutID();
        });
    }
    ~LayoutEvents()
    {
        NotificationCenter::defaultCenter().removeObserver(will);
        NotificationCenter::defaultCenter().removeObserver(did);
    }
};

// A client of our own that does what a desktop's layout switcher does.
struct RawClient
{
    xcb_connection_t *c = nullptr;
    xcb_window_t root = XCB_NONE;

    explicit RawClient(const QByteArray &display)
    {
        int screen = 0;
        c = xcb_connect(display.constData(), &screen);
        if (xcb_connection_has_error(c))
            return;
        free(xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    }
    ~RawClient() { xcb_disconnect(c); }
    bool ok() const { return root != XCB_NONE; }

    void lockGroup(int group)
    {
        xcb_xkb_latch_lock_state(c, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, static_cast<uint8_t>(group), 0, 0, 0);
        xcb_flush(c);
    }

    // What a keymap loaded without the rules (by xkbcomp, say) looks like.
    void deleteRulesNames()
    {
        static constexpr char name[] = "_XKB_RULES_NAMES";
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
        if (atom)
            xcb_delete_property(c, root, atom->atom);
        free(atom);
        xcb_flush(c);
    }
};

} // namespace

TEST_F(XkbLayoutOnX11, FollowsSetxkbmap)
{
    auto &mgr = TNKeyboardLayoutMgr::sharedMgr();
    ASSERT_TRUE(mgr.isWatchingLayoutChanges());
    EXPECT_EQ(mgr.currentKeyboardLayoutID(), "us");
    EXPECT_EQ(mgr.getKeyboardLayoutID(), "us");

    LayoutEvents events;
    ASSERT_TRUE(setxkbmap({"de"}));
    ASSERT_TRUE(waitFor([&] { return events.seen.size() >= 2; })) << events.seen.join(' ').toStdString();
    settle();
    EXPECT_EQ(events.seen, QStringList({"will:us", "did:de"}));
    EXPECT_EQ(mgr.currentKeyboardLayoutID(), "de");
    EXPECT_EQ(TNKeyboardLayoutMgr::getCurrentKeyboardID(), "de");

    // The model follows: a stored Z shortcut is now on the US Y key.
    EXPECT_EQ(currentKeyboardLayoutID(), "de");
    EXPECT_EQ(translatedKeyCodeForLetter("Z", KeyCode::Z, currentKeyboardLayoutID()), KeyCode::Y);

    // Variants, in both spellings setxkbmap accepts.
    events.seen.clear();
    ASSERT_TRUE(setxkbmap({"-layout", "de", "-variant", "nodeadkeys"}));
    ASSERT_TRUE(waitFor([&] { return events.seen.size() >= 2; }));
    EXPECT_EQ(mgr.currentKeyboardLayoutID(), "de(nodeadkeys)");
    ASSERT_TRUE(setxkbmap({"fr(oss)"}));
    ASSERT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "fr(oss)"; }))
        << mgr.currentKeyboardLayoutID().toStdString();

    // Setting the same layout again announces nothing.
    settle();
    events.seen.clear();
    ASSERT_TRUE(setxkbmap({"fr(oss)"}));
    settle();
    EXPECT_TRUE(events.seen.isEmpty()) << events.seen.join(' ').toStdString();
}

TEST_F(XkbLayoutOnX11, LatinLayoutStandsInForOthers)
{
    auto &mgr = TNKeyboardLayoutMgr::sharedMgr();
    ASSERT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "us"; }));
    ASSERT_TRUE(setxkbmap({"-layout", "ru,fr", "-variant", ","}));
    ASSERT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "fr"; }))
        << mgr.currentKeyboardLayoutID().toStdString();
    // The input source itself is still Russian.
    EXPECT_EQ(TNKeyboardLayoutMgr::getCurrentKeyboardID(), "ru");
}

TEST_F(XkbLayoutOnX11, FollowsTheActiveGroup)
{
    auto &mgr = TNKeyboardLayoutMgr::sharedMgr();
    ASSERT_TRUE(setxkbmap({"-layout", "us,de"}));
    ASSERT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "us"; }));
    settle();

    // Lock the second group, as a layout-switch key would.
    RawClient client(display);
    ASSERT_TRUE(client.ok());
    LayoutEvents events;
    client.lockGroup(1);
    EXPECT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "de"; }))
        << mgr.currentKeyboardLayoutID().toStdString();
    EXPECT_EQ(events.seen, QStringList({"will:us", "did:de"}));
    EXPECT_EQ(TNKeyboardLayoutMgr::getCurrentKeyboardID(), "de");

    client.lockGroup(0);
    EXPECT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "us"; }));
    EXPECT_EQ(TNKeyboardLayoutMgr::getCurrentKeyboardID(), "us");
}

TEST_F(XkbLayoutOnX11, WithoutRulesNamesReadsTheKeymap)
{
    auto &mgr = TNKeyboardLayoutMgr::sharedMgr();
    ASSERT_TRUE(setxkbmap({"-layout", "fr,de", "-variant", "oss,"}));
    ASSERT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "fr(oss)"; }))
        << mgr.currentKeyboardLayoutID().toStdString();

    RawClient client(display);
    ASSERT_TRUE(client.ok());
    client.deleteRulesNames();
    settle();
    EXPECT_EQ(mgr.getKeyboardLayoutID(), "fr(oss)");
    EXPECT_EQ(mgr.currentKeyboardLayoutID(), "fr(oss)");
    client.lockGroup(1);
    EXPECT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "de"; }))
        << mgr.currentKeyboardLayoutID().toStdString();
    client.lockGroup(0);
    EXPECT_TRUE(waitFor([&] { return mgr.currentKeyboardLayoutID() == "fr(oss)"; }));
}
