// The colour-scheme preference from the freedesktop Settings portal.
//
// Read() is asked asynchronously: a blocking call would stall start-up on a
// slow bus, and would deadlock when the portal lives in this process (tests).
// Portals wrap the value in one variant, older ones in two; both are read.
#include "../portal_p.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QObject>

#include <atomic>

namespace kalvo::detail {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

std::optional<ColorScheme> schemeFrom(QVariant value)
{
    for (int unwrap = 0; unwrap < 4 && value.canConvert<QDBusVariant>()
                         && value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++unwrap)
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint raw = value.toUInt(&ok);
    if (!ok)
        return std::nullopt;
    switch (raw) {
    case 1:
        return ColorScheme::preferDark;
    case 2:
        return ColorScheme::preferLight;
    default:
        return ColorScheme::noPreference;
    }
}

class Portal final : public QObject, public PortalColorScheme
{
    Q_OBJECT

public:
    Portal(QDBusConnection connection, std::function<void(ColorScheme)> onScheme)
        : m_connection(std::move(connection)), m_onScheme(std::move(onScheme))
    {
        // QtDBus matches signal arguments by meta type; QDBusVariant is not
        // registered until someone asks.
        qRegisterMetaType<QDBusVariant>();
        m_connection.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                             SLOT(settingChanged(QString, QString, QDBusVariant)));
        QDBusMessage read = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
        read << kNamespace << kKey;
        auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(read), this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            QDBusPendingReply<QDBusVariant> reply = *call;
            // A change signal that overtook the answer is newer than it.
            if (reply.isError() || m_changed)
                return; // no portal, or no such setting: the palette decides
            if (const std::optional<ColorScheme> scheme = schemeFrom(QVariant::fromValue(reply.value())))
                m_onScheme(*scheme);
        });
    }

    ~Portal() override
    {
        m_connection.disconnect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                                SLOT(settingChanged(QString, QString, QDBusVariant)));
    }

    bool isConnected() const override { return m_connection.isConnected(); }

private Q_SLOTS:
    void settingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
    {
        if (ns != kNamespace || key != kKey)
            return;
        if (const std::optional<ColorScheme> scheme = schemeFrom(value.variant())) {
            m_changed = true;
            m_onScheme(*scheme);
        }
    }

private:
    QDBusConnection m_connection;
    std::function<void(ColorScheme)> m_onScheme;
    bool m_changed = false;
};

std::atomic<int> g_connections{0};

} // namespace

PortalColorScheme::~PortalColorScheme() = default;

std::unique_ptr<PortalColorScheme> PortalColorScheme::connect(const QString &address,
                                                              std::function<void(ColorScheme)> onScheme)
{
    if (address.isEmpty()) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected())
            return nullptr;
        return std::make_unique<Portal>(session, std::move(onScheme));
    }
    // Each private bus gets its own connection name, so reconnecting to a
    // new address never reuses a stale connection.
    const QString name = QStringLiteral("kalvo-portal-%1").arg(g_connections.fetch_add(1));
    QDBusConnection connection = QDBusConnection::connectToBus(address, name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    return std::make_unique<Portal>(connection, std::move(onScheme));
}

} // namespace kalvo::detail

#include "portal_color_scheme.moc"
