// The tool-tip model: a one-line hint with an optional keyboard shortcut.
// Views show it 0.5 s after the pointer settles on them (View).
#pragma once

#include <kalvo/global.h>

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kalvo {

class TNAppearance;

// Modifier keys shown in a shortcut, as bits.
enum class ModifierKey : int { shift = 1, option = 2, command = 4, control = 8 };

template <>
struct EnumTraits<ModifierKey>
{
    static constexpr const char *name = "ModifierKey";
    static constexpr std::array rows{
        EnumRow<ModifierKey>{ModifierKey::shift, "\u21E7", ".shift"},
        EnumRow<ModifierKey>{ModifierKey::option, "\u2325", ".option"},
        EnumRow<ModifierKey>{ModifierKey::command, "\u2318", ".command"},
        EnumRow<ModifierKey>{ModifierKey::control, "^", ".control"},
    };
};

class KALVO_EXPORT ToolTip
{
public:
    ToolTip() = default;
    explicit ToolTip(const QString &label, std::optional<QString> key = std::nullopt);
    // (disableLabel, key): a hint that only a disabled view shows.
    static std::shared_ptr<ToolTip> withDisableLabel(const QString &disableLabel, std::optional<QString> key = std::nullopt);
    static std::shared_ptr<ToolTip> toolTip(const QString &label);
    static std::shared_ptr<ToolTip> toolTip(const QString &label, std::optional<QString> key,
                                            const std::vector<ModifierKey> &modifiers);

    QString label;
    QString disableLabel;
    std::optional<QString> key;
    std::vector<ModifierKey> modifiers;
    bool superviewEnable = true; // whether the view it belongs to is enabled
    std::shared_ptr<TNAppearance> appearance;

    // The modifiers' symbols in list order, then the key ("⌘⇧K"); nothing
    // without a key.
    std::optional<QString> shortcutText() const;
    // What a view shows: the label when enabled, the disable label when not.
    QString textFor(bool enabled) const { return enabled ? label : disableLabel; }
};

using KTNToolTip = ToolTip;

} // namespace kalvo
