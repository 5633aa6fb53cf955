// The seam between views and the floating panels that show their tool tips
// and popovers. Views decide when; an OverlayPresenter decides how.
//
// The library installs a presenter that uses Qt's tool tips and a plain
// frameless window; the floating-panel family replaces it with
// OverlayPresenter::setCurrent(). Tests install their own to observe timing.
#pragma once

#include <kalvo/global.h>

#include <QString>

#include <memory>

namespace kalvo {

class View;
class InteractableView;
class ToolTip;

// What a view needs of a popover model.
class KALVO_EXPORT PopoverModel
{
public:
    virtual ~PopoverModel();
    // Opens on hover or keyboard focus, without a click.
    virtual bool displayAutomatically() const = 0;
    // Seconds before an automatic opening.
    virtual double delay() const = 0;
    // Holds something focusable, so Tab may move into it.
    virtual bool containsInteractables() const = 0;
    // Its text, for presenters that can only show text.
    virtual QString plainText() const { return {}; }
};

// A shown tool tip or popover.
class KALVO_EXPORT OverlayPanel
{
public:
    virtual ~OverlayPanel();
    virtual bool isVisible() const = 0;
    virtual bool isKeyWindow() const = 0;
    virtual bool canBecomeKey() const = 0;
    virtual void makeKey() = 0;
    virtual bool containsPointer() const = 0;
    virtual void dismiss() = 0;
};

class KALVO_EXPORT OverlayPresenter
{
public:
    virtual ~OverlayPresenter();
    // Shows the tool tip of `view` with `text` (already chosen for its
    // enabled state); null when nothing was shown.
    virtual std::shared_ptr<OverlayPanel> showToolTip(View &view, const ToolTip &model, const QString &text) = 0;
    virtual std::shared_ptr<OverlayPanel> showPopover(InteractableView &view, const PopoverModel &model) = 0;

    static std::shared_ptr<OverlayPresenter> current();
    // Null restores the built-in presenter.
    static void setCurrent(std::shared_ptr<OverlayPresenter> presenter);
};

} // namespace kalvo
