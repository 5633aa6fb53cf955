// Layouts compiled from the installed XKB data and translated key by key.
#include "platform/linux/keyboard/xkb_keyboard_p.h"

#include <kalvo/platform/keycodes.h>

#include <QRegularExpression>

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

namespace kalvo::keyboard {

namespace {

constexpr unsigned kX11Offset = 8; // X11 key codes are evdev codes + 8
constexpr int kMaxNameLength = 64;

// Carbon modifier bits, including the right-hand and caps-lock bits the
// older kit's masks may carry.
constexpr unsigned kCarbonCommand = 0x100;
constexpr unsigned kCarbonShift = 0x200;
constexpr unsigned kCarbonAlphaLock = 0x400;
constexpr unsigned kCarbonOption = 0x800;
constexpr unsigned kCarbonControl = 0x1000;
constexpr unsigned kCarbonRightShift = 0x2000;
constexpr unsigned kCarbonRightOption = 0x4000;
constexpr unsigned kCarbonRightControl = 0x8000;

xkb_context *sharedContext()
{
    // One context for the process: it holds the include paths and the
    // parsed-file cache. Names never come from the environment, so a layout
    // name always means the same keymap.
    static xkb_context *context = [] {
        xkb_context *c = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        if (c) // an unknown layout is an ordinary answer, not worth a log line
            xkb_context_set_log_level(c, XKB_LOG_LEVEL_CRITICAL);
        return c;
    }();
    return context;
}

bool isDeadKey(xkb_keysym_t sym)
{
    return sym >= XKB_KEY_dead_grave && sym <= 0xfe93; // dead_grave … dead_longsolidusoverlay
}

} // namespace

bool isLayoutName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]+(\\([A-Za-z0-9_-]+\\))?$"));
    return !name.isEmpty() && name.size() <= kMaxNameLength && pattern.match(name).hasMatch();
}

QString layoutName(const QString &layout, const QString &variant)
{
    const QString base = layout.trimmed();
    const QString var = variant.trimmed();
    const QString name = (var.isEmpty() || base.contains(QLatin1Char('('))) ? base
                                                                           : base + QLatin1Char('(') + var + QLatin1Char(')');
    return isLayoutName(name) ? name : QString();
}

struct CompiledLayout::Private
{
    xkb_keymap *keymap = nullptr;
    xkb_keycode_t shiftKey = KEY_LEFTSHIFT + kX11Offset;
    xkb_keycode_t capsKey = KEY_CAPSLOCK + kX11Offset;
    xkb_keycode_t numLockKey = KEY_NUMLOCK + kX11Offset;
    xkb_keycode_t optionKey = KEY_RIGHTALT + kX11Offset; // AltGr where the layout has one
    xkb_keycode_t controlKey = KEY_LEFTCTRL + kX11Offset;
    xkb_keycode_t commandKey = KEY_LEFTMETA + kX11Offset;

    ~Private()
    {
        if (keymap)
            xkb_keymap_unref(keymap);
    }
};

CompiledLayout::CompiledLayout(std::unique_ptr<Private> data) : d(std::move(data)) {}

CompiledLayout::~CompiledLayout() = default;

QString CompiledLayout::translate(int keyCode, unsigned carbonModifiers) const
{
    const std::optional<unsigned> x11 = x11FromKeyCode(keyCode);
    if (!x11 || !xkb_keycode_is_legal_ext(*x11) || *x11 < xkb_keymap_min_keycode(d->keymap) ||
        *x11 > xkb_keymap_max_keycode(d->keymap))
        return {};

    // A private state per translation: nothing typed before leaks in.
    std::unique_ptr<xkb_state, void (*)(xkb_state *)> state(xkb_state_new(d->keymap), xkb_state_unref);
    if (!state)
        return {};
    // Modifiers are set by pressing the keymap's own modifier keys, so each
    // layout decides what they do (AltGr is the third level on "de", plain
    // Alt on "us"). Num Lock is on: a Mac keypad always types its digits.
    xkb_state_update_key(state.get(), d->numLockKey, XKB_KEY_DOWN);
    xkb_state_update_key(state.get(), d->numLockKey, XKB_KEY_UP);
    if (carbonModifiers & kCarbonAlphaLock) {
        xkb_state_update_key(state.get(), d->capsKey, XKB_KEY_DOWN);
        xkb_state_update_key(state.get(), d->capsKey, XKB_KEY_UP);
    }
    if (carbonModifiers & (kCarbonShift | kCarbonRightShift))
        xkb_state_update_key(state.get(), d->shiftKey, XKB_KEY_DOWN);
    if (carbonModifiers & (kCarbonOption | kCarbonRightOption))
        xkb_state_update_key(state.get(), d->optionKey, XKB_KEY_DOWN);
    if (carbonModifiers & (kCarbonControl | kCarbonRightControl))
        xkb_state_update_key(state.get(), d->controlKey, XKB_KEY_DOWN);
    if (carbonModifiers & kCarbonCommand)
        xkb_state_update_key(state.get(), d->commandKey, XKB_KEY_DOWN);

    const xkb_keysym_t *syms = nullptr;
    const int count = xkb_state_key_get_syms(state.get(), *x11, &syms);
    for (int i = 0; i < count; ++i) {
        if (isDeadKey(syms[i]))
            return {};
    }
    char buffer[64];
    const int length = xkb_state_key_get_utf8(state.get(), *x11, buffer, sizeof buffer);
    if (length <= 0 || length >= static_cast<int>(sizeof buffer))
        return {};
    return QString::fromUtf8(buffer, length);
}

std::shared_ptr<const CompiledLayout> compileLayout(const QString &name)
{
    if (!isLayoutName(name))
        return nullptr;
    xkb_context *context = sharedContext();
    if (!context)
        return nullptr;

    QByteArray layout = name.toLatin1();
    QByteArray variant;
    if (const qsizetype open = layout.indexOf('('); open >= 0) {
        variant = layout.mid(open + 1, layout.size() - open - 2);
        layout.truncate(open);
    }
    xkb_rule_names names{};
    names.rules = "evdev";
    names.model = "pc105";
    names.layout = layout.constData();
    names.variant = variant.constData();
    names.options = "";
    xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return nullptr;
    auto data = std::make_unique<CompiledLayout::Private>();
    data->keymap = keymap;
    return std::shared_ptr<const CompiledLayout>(new CompiledLayout(std::move(data)));
}

QStringList environmentLayouts()
{
    const QStringList layouts = qEnvironmentVariable("XKB_DEFAULT_LAYOUT").split(QLatin1Char(','));
    const QStringList variants = qEnvironmentVariable("XKB_DEFAULT_VARIANT").split(QLatin1Char(','));
    QStringList result;
    for (qsizetype i = 0; i < layouts.size(); ++i) {
        const QString name = layoutName(layouts.at(i), i < variants.size() ? variants.at(i) : QString());
        if (!name.isEmpty())
            result.append(name);
    }
    return result;
}

} // namespace kalvo::keyboard
