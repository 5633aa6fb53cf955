// Shared by the view tests: an overlay presenter that records what views
// ask to show, and helpers that send pointer events the way the platform does.
#pragma once

#include <kalvo/foundation/interactableview.h>
#include <kalvo/foundation/overlays.h>
#include <kalvo/foundation/tooltip.h>

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <vector>

namespace kalvo::test {

// A parent that records the keys that reach it.
class KeyRecordingParent : public QWidget
{
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys.push_back(event->key()); }
};

class FakePanel : public OverlayPanel
{
public:
    bool visible = true;
    bool key = false;
    bool canKey = true;
    bool pointerInside = false;
    int madeKey = 0;
    int dismissed = 0;

    bool isVisible() const override { return visible; }
    bool isKeyWindow() const override { return key; }
    bool canBecomeKey() const override { return canKey; }
    void makeKey() override
    {
        ++madeKey;
        key = true;
    }
    bool containsPointer() const override { return pointerInside; }
    void dismiss() override
    {
        ++dismissed;
        visible = false;
    }
};

class RecordingPresenter : public OverlayPresenter
{
public:
    std::vector<QString> toolTips;
    int popovers = 0;
    std::shared_ptr<FakePanel> lastToolTip;
    std::shared_ptr<FakePanel> lastPopover;

    std::shared_ptr<OverlayPanel> showToolTip(View &, const ToolTip &, const QString &text) override
    {
        toolTips.push_back(text);
        lastToolTip = std::make_shared<FakePanel>();
        return lastToolTip;
    }
    std::shared_ptr<OverlayPanel> showPopover(InteractableView &, const PopoverModel &) override
    {
        ++popovers;
        lastPopover = std::make_shared<FakePanel>();
        return lastPopover;
    }
};

// Installs a RecordingPresenter for the lifetime of the object.
class PresenterScope
{
public:
    PresenterScope() : presenter(std::make_shared<RecordingPresenter>()) { OverlayPresenter::setCurrent(presenter); }
    ~PresenterScope() { OverlayPresenter::setCurrent(nullptr); }
    std::shared_ptr<RecordingPresenter> presenter;
};

class TextPopover : public PopoverModel
{
public:
    bool automatic = true;
    double showDelay = 0;
    bool interactables = false;
    bool displayAutomatically() const override { return automatic; }
    double delay() const override { return showDelay; }
    bool containsInteractables() const override { return interactables; }
    QString plainText() const override { return QStringLiteral("More about this"); }
};

inline void enter(QWidget *widget, QPointF at = {5, 5})
{
    QEnterEvent event(at, widget->mapTo(widget->window(), at), widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &event);
}

inline void leave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

inline void mouse(QWidget *widget, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, at, widget->mapTo(widget->window(), at.toPoint()), widget->mapToGlobal(at), button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void move(QWidget *widget, QPointF at)
{
    QMouseEvent event(QEvent::MouseMove, at, widget->mapTo(widget->window(), at.toPoint()), widget->mapToGlobal(at),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace kalvo::test
