#include "x11_test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

int g_lastError = 0;

int recordError(Display *, XErrorEvent *event)
{
    g_lastError = event->error_code;
    return 0;
}

} // namespace

XvfbServer::XvfbServer() = default;

XvfbServer::~XvfbServer()
{
    stop();
}

bool XvfbServer::start()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        m_skipReason = QStringLiteral("Xvfb is not installed");
        return false;
    }
    // -displayfd: the server chooses a free display and writes its number
    // once it accepts connections.
    m_process.setProgram(xvfb);
    m_process.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("640x480x24"), QStringLiteral("-noreset"),
                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_skipReason = QStringLiteral("Xvfb did not start");
        return false;
    }
    QByteArray out;
    QDeadlineTimer deadline(10000);
    while (!out.contains('\n') && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        m_skipReason = QStringLiteral("Xvfb did not report a display: ") + QString::fromLocal8Bit(m_process.readAllStandardError());
        stop();
        return false;
    }
    m_display = QStringLiteral(":%1").arg(number);
    return true;
}

void XvfbServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

bool XvfbServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool XvfbServer::setLayout(const QString &layout)
{
    QProcess setxkbmap;
    setxkbmap.start(QStringLiteral("setxkbmap"), {QStringLiteral("-display"), m_display, layout});
    return setxkbmap.waitForFinished(10000) && setxkbmap.exitStatus() == QProcess::NormalExit
        && setxkbmap.exitCode() == 0;
}

XTestClient::XTestClient(const QString &displayName)
{
    m_display = XOpenDisplay(displayName.toLocal8Bit().constData());
}

XTestClient::~XTestClient()
{
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned XTestClient::keycodeOf(const char *keysymName) const
{
    if (!m_display)
        return 0;
    const KeySym sym = XStringToKeysym(keysymName);
    return sym == NoSymbol ? 0 : XKeysymToKeycode(m_display, sym);
}

void XTestClient::press(unsigned keycode)
{
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    XSync(m_display, False);
}

void XTestClient::release(unsigned keycode)
{
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    XSync(m_display, False);
}

void XTestClient::tap(unsigned keycode, const QStringList &modifiers)
{
    if (!m_display)
        return;
    QList<unsigned> held;
    for (const QString &name : modifiers)
        held.append(keycodeOf(name.toLatin1().constData()));
    for (unsigned code : held)
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, True, CurrentTime);
    XTestFakeKeyEvent(m_display, keycode, False, CurrentTime);
    for (auto it = held.crbegin(); it != held.crend(); ++it)
        XTestFakeKeyEvent(m_display, *it, False, CurrentTime);
    XSync(m_display, False);
}

void XTestClient::tap(const char *keysymName, const QStringList &modifiers)
{
    tap(keycodeOf(keysymName), modifiers);
}

bool XTestClient::grab(unsigned keycode, unsigned x11Modifiers)
{
    if (!m_display)
        return false;
    XSync(m_display, False);
    g_lastError = 0;
    auto *previous = XSetErrorHandler(recordError);
    XGrabKey(m_display, int(keycode), x11Modifiers, DefaultRootWindow(m_display), False, GrabModeAsync,
             GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return g_lastError == 0;
}

void XTestClient::ungrab(unsigned keycode, unsigned x11Modifiers)
{
    if (!m_display)
        return;
    XUngrabKey(m_display, int(keycode), x11Modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}

void XTestClient::sync()
{
    if (m_display)
        XSync(m_display, False);
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void processEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}
