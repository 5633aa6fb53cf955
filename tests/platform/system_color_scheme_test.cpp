// The desktop colour-scheme preference through a real D-Bus: the test starts
// a private dbus-daemon and serves a fake Settings portal on it.
#include <kalvo/platform/systemappearance.h>
#include <kalvo/theme/appearance.h>

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint scheme = 0;
    bool doubleWrapped = false;

public Q_SLOTS:
    QDBusVariant Read(const QString &ns, const QString &key)
    {
        if (ns != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme"))
            return QDBusVariant(QVariant());
        QVariant value = QVariant::fromValue(scheme);
        if (doubleWrapped)
            value = QVariant::fromValue(QDBusVariant(value));
        return QDBusVariant(value);
    }

Q_SIGNALS:
    void SettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);
};

class PrivateBus : public testing::Test
{
protected:
    void SetUp() override
    {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon is not installed";
        ASSERT_TRUE(daemon.waitForReadyRead(5000));
        address = QString::fromLatin1(daemon.readLine().trimmed());
        ASSERT_FALSE(address.isEmpty());
        service = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, QStringLiteral("portal-side")));
        ASSERT_TRUE(service->isConnected());
    }

    void TearDown() override
    {
        SystemColorScheme::instance().disconnectFromPortal();
        setAppearance(qApp, nullptr);
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal-side"));
        daemon.kill();
        daemon.waitForFinished(5000);
    }

    void servePortal()
    {
        // Signals are relayed by meta type; the fake's argument type must be
        // known before it is exported.
        qRegisterMetaType<QDBusVariant>();
        ASSERT_TRUE(service->registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(service->registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    }

    // Runs the event loop until the preference equals `dark` (or 5 s pass).
    bool waitForDark(bool dark)
    {
        if (SystemColorScheme::instance().prefersDark() == dark)
            return true;
        QEventLoop loop;
        const ObserverId id = SystemColorScheme::instance().observe(&loop, [&](bool now) {
            if (now == dark)
                loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        SystemColorScheme::instance().removeObserver(id);
        return SystemColorScheme::instance().prefersDark() == dark;
    }

    // Runs the event loop until the portal's answer has arrived.
    bool waitForPortal(ColorScheme scheme)
    {
        for (int i = 0; i < 100 && SystemColorScheme::instance().portalScheme() != scheme; ++i) {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return SystemColorScheme::instance().portalScheme() == scheme;
    }

    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> service;
    FakePortal portal;
};

TEST_F(PrivateBus, InitialPreferenceIsReadFromThePortal)
{
    portal.scheme = 1;
    servePortal();
    ASSERT_TRUE(SystemColorScheme::instance().connectToPortal(address));
    EXPECT_TRUE(SystemColorScheme::instance().isPortalConnected());
    EXPECT_TRUE(waitForDark(true));
    EXPECT_EQ(SystemColorScheme::instance().portalScheme(), ColorScheme::preferDark);
}

TEST_F(PrivateBus, OlderPortalsWrapTheValueTwice)
{
    portal.scheme = 1;
    portal.doubleWrapped = true;
    servePortal();
    ASSERT_TRUE(SystemColorScheme::instance().connectToPortal(address));
    EXPECT_TRUE(waitForDark(true));
}

TEST_F(PrivateBus, ChangeSignalFlipsTheApplicationAndRepaintsWindows)
{
    portal.scheme = 2;
    servePortal();
    QWidget window;
    auto *view = new QWidget(&window);
    ASSERT_TRUE(SystemColorScheme::instance().connectToPortal(address));
    ASSERT_TRUE(waitForPortal(ColorScheme::preferLight));
    EXPECT_FALSE(isDarkMode(view));
    Q_EMIT portal.SettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
                                 QDBusVariant(QVariant::fromValue(uint(1))));
    ASSERT_TRUE(waitForDark(true));
    EXPECT_TRUE(isDarkMode(view));
    EXPECT_TRUE(drawingAppearanceIsDark());
    // The host's own choice still wins.
    setAppearance(qApp, Appearance::tn_lightAppearance());
    EXPECT_FALSE(isDarkMode(view));
}

TEST_F(PrivateBus, OtherSettingsAreIgnored)
{
    portal.scheme = 2;
    servePortal();
    ASSERT_TRUE(SystemColorScheme::instance().connectToPortal(address));
    ASSERT_TRUE(waitForPortal(ColorScheme::preferLight));
    Q_EMIT portal.SettingChanged(QStringLiteral("org.freedesktop.appearance"), QStringLiteral("accent-color"),
                                 QDBusVariant(QVariant::fromValue(uint(1))));
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_FALSE(SystemColorScheme::instance().prefersDark());
}

TEST_F(PrivateBus, WithoutAPortalThePaletteDecides)
{
    ASSERT_TRUE(SystemColorScheme::instance().connectToPortal(address)); // the bus runs, no portal on it
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(SystemColorScheme::instance().portalScheme(), ColorScheme::noPreference);
    const QPalette saved = QApplication::palette();
    QPalette darkPalette = saved;
    darkPalette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    QApplication::setPalette(darkPalette);
    EXPECT_TRUE(waitForDark(true));
    QApplication::setPalette(saved);
    EXPECT_TRUE(waitForDark(false));
}

TEST(SystemColorSchemeNoBus, UnreachableBusFailsCleanly)
{
    EXPECT_FALSE(SystemColorScheme::instance().connectToPortal(QStringLiteral("unix:path=/nonexistent/bus")));
    EXPECT_FALSE(SystemColorScheme::instance().isPortalConnected());
}

} // namespace

#include "system_color_scheme_test.moc"
