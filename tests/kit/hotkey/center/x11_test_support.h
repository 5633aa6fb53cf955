// A private X server for tests and a second X client that types and grabs.
//
//   XvfbServer server;
//   if (!server.start()) GTEST_SKIP() << server.skipReason();
//   XTestClient keyboard(server.displayName());
//   keyboard.tap("k", {"Control_L"});
//
// The server picks a free display itself (-displayfd) and keeps its state
// when clients leave (-noreset), so layout changes survive between steps.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

struct _XDisplay; // Xlib's Display

class XvfbServer
{
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // False when Xvfb is missing or did not come up; skipReason() says why.
    bool start();
    void stop();
    bool isRunning() const;
    QString displayName() const { return m_display; }
    QString skipReason() const { return m_skipReason; }

    // Runs setxkbmap on this display; false when it failed.
    bool setLayout(const QString &layout);

private:
    QProcess m_process;
    QString m_display;
    QString m_skipReason;
};

// A test suite sharing one private X server; SetUp() of a derived fixture
// skips with skipReason when it could not start.
class XvfbSuite : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        server = new XvfbServer;
        if (!server->start())
            skipReason = server->skipReason();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    static inline XvfbServer *server = nullptr;
    static inline QString skipReason;
};

// One more client on the display, through Xlib and XTest.
class XTestClient
{
public:
    explicit XTestClient(const QString &displayName);
    ~XTestClient();
    XTestClient(const XTestClient &) = delete;
    XTestClient &operator=(const XTestClient &) = delete;

    bool isOpen() const { return m_display != nullptr; }

    // Key codes of the current keymap by keysym name ("k", "Control_L");
    // 0 when the keymap has none.
    unsigned keycodeOf(const char *keysymName) const;

    // Presses the modifiers, presses and releases the key, releases the
    // modifiers, all through XTest.
    void tap(unsigned keycode, const QStringList &modifiers = {});
    void tap(const char *keysymName, const QStringList &modifiers = {});
    void press(unsigned keycode);
    void release(unsigned keycode);

    // A passive grab on the root window as another program would take it;
    // false when the server refused it (BadAccess).
    bool grab(unsigned keycode, unsigned x11Modifiers);
    void ungrab(unsigned keycode, unsigned x11Modifiers);
    void sync();

private:
    struct _XDisplay *m_display = nullptr;
};

// Processes Qt events until `done` or `timeoutMs` passed; returns done().
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 3000);
// Processes Qt events for `ms` milliseconds.
void processEventsFor(int ms);
