// The X server's keyboard configuration through XKB on an xcb connection of
// our own, so it works whatever Qt platform plugin is in use.
#include "platform/linux/keyboard/xkb_keyboard_p.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <xcb/xcb.h>
// xkb.h names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>

namespace kalvo::keyboard {

namespace {

template <typename T>
struct FreeDeleter
{
    void operator()(T *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter<T>>;

// setxkbmap and the server store the rules names as NUL-separated fields:
// rules, model, layout, variant, options.
X11Keyboard::Layouts layoutsFromRulesNames(const QByteArray &value, int group)
{
    const QList<QByteArray> fields = value.split('\0');
    X11Keyboard::Layouts result;
    if (fields.size() < 3)
        return result;
    const QStringList layouts = QString::fromLatin1(fields.at(2)).split(QLatin1Char(','));
    const QStringList variants =
        fields.size() > 3 ? QString::fromLatin1(fields.at(3)).split(QLatin1Char(',')) : QStringList();
    for (qsizetype i = 0; i < layouts.size(); ++i) {
        const QString name = layoutName(layouts.at(i), i < variants.size() ? variants.at(i) : QString());
        if (name.isEmpty()) // keep group indices aligned with the server's
            return {};
        result.layouts.append(name);
    }
    result.activeGroup = group < result.layouts.size() ? group : 0;
    return result;
}

// The keymap's symbols name, as the rules compose it:
// "pc+us+de(nodeadkeys):2+inet(evdev)+options…". The first file after the
// model is group 1; files marked ":N" before "inet" are group N.
X11Keyboard::Layouts layoutsFromSymbolsName(const QString &symbols, int group)
{
    const QStringList parts = symbols.split(QLatin1Char('+'));
    QStringList byGroup(4);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString part = parts.at(i);
        if (part.startsWith(QLatin1String("inet")))
            break;
        int index = 1;
        if (const qsizetype colon = part.indexOf(QLatin1Char(':')); colon >= 0) {
            index = part.mid(colon + 1).toInt();
            part.truncate(colon);
        } else if (i != 1) {
            continue;
        }
        if (index >= 1 && index <= 4 && byGroup[index - 1].isEmpty())
            byGroup[index - 1] = layoutName(part, QString());
    }
    X11Keyboard::Layouts result;
    for (const QString &name : byGroup) {
        if (name.isEmpty())
            break;
        result.layouts.append(name);
    }
    result.activeGroup = group < result.layouts.size() ? group : 0;
    return result;
}

} // namespace

struct X11Keyboard::Private
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_NONE;
    int32_t deviceId = -1;
    uint8_t xkbFirstEvent = 0;
    xcb_atom_t rulesNamesAtom = XCB_NONE;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> changed;

    ~Private()
    {
        notifier.reset();
        if (connection)
            xcb_disconnect(connection);
    }

    bool broken() const { return !connection || xcb_connection_has_error(connection); }

    QString atomName(xcb_atom_t atom) const
    {
        if (atom == XCB_NONE)
            return {};
        Reply<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr));
        if (!reply)
            return {};
        return QString::fromLatin1(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
    }

    // Whether an event says the layouts or the active group may have changed.
    bool isLayoutEvent(const xcb_generic_event_t *event) const
    {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_PROPERTY_NOTIFY)
            return reinterpret_cast<const xcb_property_notify_event_t *>(event)->atom == rulesNamesAtom;
        if (type != xkbFirstEvent)
            return false;
        switch (reinterpret_cast<const xcb_xkb_state_notify_event_t *>(event)->xkbType) {
        case XCB_XKB_NEW_KEYBOARD_NOTIFY:
        case XCB_XKB_MAP_NOTIFY:
        case XCB_XKB_NAMES_NOTIFY:
            return true;
        case XCB_XKB_STATE_NOTIFY:
            return reinterpret_cast<const xcb_xkb_state_notify_event_t *>(event)->changed &
                   (XCB_XKB_STATE_PART_GROUP_STATE | XCB_XKB_STATE_PART_GROUP_LOCK);
        default:
            return false;
        }
    }

    // Reads everything the server sent (and whatever a reply wait already
    // queued), then reports once.
    void drain()
    {
        bool relevant = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            relevant = relevant || isLayoutEvent(event);
            std::free(event);
        }
        if (broken()) {
            // The server went away: stop listening rather than spin on a
            // socket that stays readable.
            if (notifier)
                notifier->setEnabled(false);
            return;
        }
        if (relevant && changed)
            changed();
    }

    // Replies read on the caller's behalf may have queued events without the
    // socket becoming readable again; look at them from the event loop.
    void scheduleDrain()
    {
        if (notifier)
            QMetaObject::invokeMethod(
                notifier.get(), [this] { drain(); }, Qt::QueuedConnection);
    }
};

X11Keyboard::X11Keyboard(std::unique_ptr<Private> data) : d(std::move(data)) {}

X11Keyboard::~X11Keyboard() = default;

std::unique_ptr<X11Keyboard> X11Keyboard::open(const QByteArray &displayName)
{
    auto data = std::make_unique<Private>();
    int screenNumber = 0;
    data->connection = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (data->broken())
        return nullptr;
    uint8_t firstEvent = 0;
    if (!xkb_x11_setup_xkb_extension(data->connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr))
        return nullptr;
    data->xkbFirstEvent = firstEvent;
    data->deviceId = xkb_x11_get_core_keyboard_device_id(data->connection);
    if (data->deviceId < 0)
        return nullptr;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(data->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0 || !screens.data)
        return nullptr;
    data->root = screens.data->root;

    static constexpr char kRulesNames[] = "_XKB_RULES_NAMES";
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        data->connection, xcb_intern_atom(data->connection, 0, sizeof kRulesNames - 1, kRulesNames), nullptr));
    if (atom)
        data->rulesNamesAtom = atom->atom;
    return std::unique_ptr<X11Keyboard>(new X11Keyboard(std::move(data)));
}

bool X11Keyboard::isConnected() const
{
    return !d->broken();
}

X11Keyboard::Layouts X11Keyboard::layouts() const
{
    if (d->broken())
        return {};
    xcb_connection_t *c = d->connection;
    const auto deviceSpec = static_cast<xcb_xkb_device_spec_t>(d->deviceId);
    const xcb_xkb_get_state_cookie_t stateCookie = xcb_xkb_get_state(c, deviceSpec);
    const xcb_get_property_cookie_t propertyCookie =
        xcb_get_property(c, 0, d->root, d->rulesNamesAtom, XCB_ATOM_STRING, 0, 1024);

    Reply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(c, stateCookie, nullptr));
    const int group = state ? state->group : 0;
    Layouts result;
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(c, propertyCookie, nullptr));
    if (property && property->format == 8) {
        const int length = xcb_get_property_value_length(property.get());
        result = layoutsFromRulesNames(
            QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())), length), group);
    }
    if (result.layouts.isEmpty()) {
        // No rules names (a keymap loaded by other means): fall back to the
        // symbols name of the keymap itself.
        Reply<xcb_xkb_get_names_reply_t> names(
            xcb_xkb_get_names_reply(c, xcb_xkb_get_names(c, deviceSpec, XCB_XKB_NAME_DETAIL_SYMBOLS), nullptr));
        if (names) {
            xcb_xkb_get_names_value_list_t list{};
            xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(names.get()), names->nTypes,
                                                names->indicators, names->virtualMods, names->groupNames,
                                                names->nKeys, names->nKeyAliases, names->nRadioGroups,
                                                names->which, &list);
            if (names->which & XCB_XKB_NAME_DETAIL_SYMBOLS)
                result = layoutsFromSymbolsName(d->atomName(list.symbolsName), group);
        }
    }
    d->scheduleDrain();
    return result;
}

bool X11Keyboard::watch(std::function<void()> changed)
{
    if (d->broken() || !QCoreApplication::instance())
        return false;
    xcb_connection_t *c = d->connection;

    constexpr uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                XCB_XKB_EVENT_TYPE_STATE_NOTIFY | XCB_XKB_EVENT_TYPE_NAMES_NOTIFY;
    constexpr uint16_t mapParts = XCB_XKB_MAP_PART_KEY_SYMS;
    constexpr uint16_t groupParts = XCB_XKB_STATE_PART_GROUP_STATE | XCB_XKB_STATE_PART_GROUP_LOCK;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = groupParts; // not every modifier press, only group changes
    details.stateDetails = groupParts;
    details.affectNames = XCB_XKB_NAME_DETAIL_SYMBOLS | XCB_XKB_NAME_DETAIL_GROUP_NAMES;
    details.namesDetails = XCB_XKB_NAME_DETAIL_SYMBOLS | XCB_XKB_NAME_DETAIL_GROUP_NAMES;
    const xcb_void_cookie_t select = xcb_xkb_select_events_aux_checked(
        c, static_cast<xcb_xkb_device_spec_t>(d->deviceId), events, 0, 0, mapParts, mapParts, &details);
    if (xcb_generic_error_t *error = xcb_request_check(c, select)) {
        std::free(error);
        return false;
    }
    // setxkbmap writes the rules names after loading the keymap; their change
    // is what tells the new layout's name.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, d->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    d->changed = std::move(changed);
    d->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    QObject::connect(d->notifier.get(), &QSocketNotifier::activated, d->notifier.get(), [data = d.get()] {
        data->drain();
    });
    d->scheduleDrain();
    return true;
}

} // namespace kalvo::keyboard
