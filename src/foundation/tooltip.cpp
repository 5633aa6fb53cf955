#include <kalvo/foundation/tooltip.h>

namespace kalvo {

ToolTip::ToolTip(const QString &label, std::optional<QString> key) : label(label), key(std::move(key)) {}

std::shared_ptr<ToolTip> ToolTip::withDisableLabel(const QString &disableLabel, std::optional<QString> key)
{
    auto tip = std::make_shared<ToolTip>();
    tip->disableLabel = disableLabel;
    tip->key = std::move(key);
    return tip;
}

std::shared_ptr<ToolTip> ToolTip::toolTip(const QString &label)
{
    return std::make_shared<ToolTip>(label);
}

std::shared_ptr<ToolTip> ToolTip::toolTip(const QString &label, std::optional<QString> key,
                                          const std::vector<ModifierKey> &modifiers)
{
    auto tip = std::make_shared<ToolTip>(label, std::move(key));
    tip->modifiers = modifiers;
    return tip;
}

std::optional<QString> ToolTip::shortcutText() const
{
    if (!key)
        return std::nullopt;
    QString text;
    for (ModifierKey modifier : modifiers)
        text += description(modifier);
    return text + *key;
}

} // namespace kalvo
