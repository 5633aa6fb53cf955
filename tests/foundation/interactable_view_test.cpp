#include "view_helpers.h"

#include <kalvo/foundation/interactableview.h>
#include <kalvo/foundation/kalvocore.h>
#include <kalvo/platform/manualclock.h>

#include <QAccessible>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

using Parent = kalvo::test::KeyRecordingParent;

class Interactable : public testing::Test
{
protected:
    void SetUp() override
    {
        KalvoCore::shared().setRequireKeyboardNavigation(true);
        window.resize(300, 200);
        view = new InteractableView(&window);
        view->setGeometry(20, 20, 60, 30);
        view->setRequiresTracking(true);
        other = new InteractableView(&window);
        other->setGeometry(120, 20, 60, 30);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        // Activation focused the first control; start without focus.
        if (QWidget *focused = QApplication::focusWidget())
            focused->clearFocus();
    }
    void TearDown() override { KalvoCore::shared().setRequireKeyboardNavigation(false); }

    ManualClock clock;
    PresenterScope overlays;
    Parent window;
    InteractableView *view = nullptr;
    InteractableView *other = nullptr;
};

// ---- Enabled ----

TEST_F(Interactable, DisablingAHoveredViewReturnsItToNormal)
{
    enter(view);
    ASSERT_EQ(view->cursorState(), CursorState::hovered);
    view->setEnabled(false);
    EXPECT_EQ(view->cursorState(), CursorState::normal);
    EXPECT_FALSE(view->isEnabled());
    enter(view);
    mouse(view, QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(view->cursorState(), CursorState::normal) << "a disabled view ignores the pointer";
}

TEST_F(Interactable, DisableLabelKeepsPointerAndFocusForTheReason)
{
    view->setEnabled(false);
    EXPECT_FALSE(view->acceptsFirstResponder());
    EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);
    view->setDisableToolTip(QStringLiteral("Only the host can record"));
    EXPECT_TRUE(view->acceptsFirstResponder());
    EXPECT_EQ(view->focusPolicy(), Qt::StrongFocus);
    enter(view);
    EXPECT_EQ(view->cursorState(), CursorState::hovered);
    clock.advance(0.5);
    ASSERT_EQ(overlays.presenter->toolTips.size(), 1u);
    EXPECT_EQ(overlays.presenter->toolTips.front(), QStringLiteral("Only the host can record"));
    EXPECT_FALSE(view->toolTipModel()->superviewEnable);
}

TEST_F(Interactable, QtDisabledParentDisablesTheControl)
{
    window.setEnabled(false);
    EXPECT_FALSE(view->isEnabled());
    window.setEnabled(true);
    EXPECT_TRUE(view->isEnabled());
}

TEST_F(Interactable, AccessibilitySeesTheControlsEnabledState)
{
    view->setEnabled(false);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(accessible, nullptr);
    EXPECT_TRUE(accessible->state().disabled);
    view->setEnabled(true);
    EXPECT_FALSE(accessible->state().disabled);
    EXPECT_TRUE(accessible->state().focusable);
}

// ---- Focus ----

TEST_F(Interactable, FocusPolicyFollowsTheRules)
{
    EXPECT_TRUE(view->canBecomeKeyView());
    EXPECT_EQ(view->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(view->focusRingType(), InteractableView::FocusRingType::exterior);
    KalvoCore::shared().setRequireKeyboardNavigation(false);
    KalvoCore::shared().setForbidKeyboardNavigation(true);
    EXPECT_FALSE(view->canBecomeKeyView());
    EXPECT_TRUE(view->acceptsFirstResponder());
    EXPECT_EQ(view->focusPolicy(), Qt::ClickFocus) << "clicks still focus it";
    EXPECT_EQ(view->focusRingType(), InteractableView::FocusRingType::none);
    KalvoCore::shared().setForbidKeyboardNavigation(false);
    view->setForbidInteraction(true);
    EXPECT_EQ(view->focusPolicy(), Qt::NoFocus);
    view->setForbidInteraction(false);
    view->hide();
    EXPECT_FALSE(view->acceptsFirstResponder());
}

TEST_F(Interactable, FocusShowsTheToolTipAndReports)
{
    std::vector<bool> reports;
    view->setOnFirstResponderStateChange([&](InteractableView &, bool focused) { reports.push_back(focused); });
    view->setToolTipLabel(QStringLiteral("Share screen"));
    ASSERT_TRUE(view->becomeFirstResponder());
    ASSERT_EQ(overlays.presenter->toolTips.size(), 1u) << "at once, without the hover delay";
    other->setFocus();
    EXPECT_EQ(overlays.presenter->lastToolTip->dismissed, 1);
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));
}

TEST_F(Interactable, FocusOpensAnAutomaticPopoverAtOnce)
{
    auto popover = std::make_shared<TextPopover>();
    popover->showDelay = 2;
    view->setPopoverModel(popover);
    ASSERT_TRUE(view->becomeFirstResponder());
    EXPECT_EQ(overlays.presenter->popovers, 1) << "immediately, despite the delay";
    other->setFocus();
    EXPECT_EQ(overlays.presenter->lastPopover->dismissed, 1) << "losing focus closes it (forced)";
}

TEST_F(Interactable, FocusRingIsDrawnOutsideByTheSpacing)
{
    view->setUsesOffsetFocusRing(true);
    view->setFocusRingSpacing(2);
    EXPECT_EQ(view->focusRingMaskBounds(), QRectF(-2, -2, 64, 34));
    view->setBackgroundColor(Color::color(0xFFFFFF, 0xFFFFFF));
    ASSERT_TRUE(view->becomeFirstResponder());
    const QImage image = window.grab().toImage();
    // Right of the view, past the 2-point spacing, lies the ring.
    const QColor ring = image.pixelColor(20 + 60 + 3, 35);
    const QColor gap = image.pixelColor(20 + 60 + 1, 35);
    EXPECT_GT(ring.blue(), 150);
    EXPECT_LT(ring.red(), 150);
    EXPECT_NE(ring, gap);
    other->setFocus();
    const QImage after = window.grab().toImage();
    EXPECT_NE(after.pixelColor(20 + 60 + 3, 35), ring) << "the ring goes with the focus";
}

// ---- Popovers ----

TEST_F(Interactable, HoverOpensThePopoverAfterItsDelay)
{
    auto popover = std::make_shared<TextPopover>();
    popover->showDelay = 0.4;
    view->setPopoverModel(popover);
    enter(view);
    EXPECT_TRUE(view->isPopoverOpening());
    clock.advance(0.39);
    EXPECT_EQ(overlays.presenter->popovers, 0);
    clock.advance(0.01);
    EXPECT_EQ(overlays.presenter->popovers, 1);
    EXPECT_TRUE(view->isPopoverVisible());
    leave(view);
    EXPECT_FALSE(view->isPopoverVisible());
}

TEST_F(Interactable, LeavingBeforeTheDelayCancels)
{
    auto popover = std::make_shared<TextPopover>();
    popover->showDelay = 0.4;
    view->setPopoverModel(popover);
    enter(view);
    leave(view);
    EXPECT_FALSE(view->isPopoverOpening());
    clock.advance(1);
    EXPECT_EQ(overlays.presenter->popovers, 0);
}

TEST_F(Interactable, PopoverUnderThePointerStaysOpen)
{
    view->setPopoverModel(std::make_shared<TextPopover>());
    enter(view);
    ASSERT_TRUE(view->isPopoverVisible());
    overlays.presenter->lastPopover->pointerInside = true;
    leave(view);
    EXPECT_TRUE(view->isPopoverVisible());
    view->dismissPopover(true);
    EXPECT_FALSE(view->isPopoverVisible());
}

TEST_F(Interactable, PopoverThatIsNotAutomaticWaitsForTheHost)
{
    auto popover = std::make_shared<TextPopover>();
    popover->automatic = false;
    view->setPopoverModel(popover);
    enter(view);
    EXPECT_EQ(overlays.presenter->popovers, 0);
    view->showPopover(true);
    EXPECT_EQ(overlays.presenter->popovers, 1);
    leave(view);
    EXPECT_TRUE(view->isPopoverVisible()) << "only automatic popovers close on leaving";
}

TEST_F(Interactable, PopoverCallbacksRunInOrder)
{
    std::vector<std::string> log;
    view->setOnPopoverWillShow([&](InteractableView &) { log.push_back("willShow"); });
    view->setOnPopoverDidShow([&](InteractableView &) { log.push_back("didShow"); });
    view->setOnPopoverWillDismiss([&](InteractableView &) { log.push_back("willDismiss"); });
    view->setOnPopoverDidDismiss([&](InteractableView &) { log.push_back("didDismiss"); });
    view->setPopoverModel(std::make_shared<TextPopover>());
    view->showPopover(true);
    view->setCursorState(CursorState::normal);
    view->setCursorState(CursorState::hovered);
    view->setCursorState(CursorState::normal); // the public setter dismisses on normal
    EXPECT_EQ(log, (std::vector<std::string>{"willShow", "didShow", "willDismiss", "didDismiss", "willShow", "didShow",
                                             "willDismiss", "didDismiss"}));
}

// ---- Keys ----

TEST_F(Interactable, EscapeClosesOverlaysAndStillReachesTheParent)
{
    view->setToolTipLabel(QStringLiteral("Hint"));
    view->setPopoverModel(std::make_shared<TextPopover>());
    ASSERT_TRUE(view->becomeFirstResponder());
    enter(view);
    std::vector<int> seen;
    view->setOnKeyDown([&](View &, QKeyEvent &event) { seen.push_back(event.key()); });
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(view->isPopoverVisible());
    EXPECT_FALSE(view->isToolTipScheduled());
    EXPECT_EQ(seen, std::vector<int>{Qt::Key_Escape});
    EXPECT_EQ(window.keys, std::vector<int>{Qt::Key_Escape});
}

TEST_F(Interactable, TabMovesIntoAPopoverThatTakesFocus)
{
    auto popover = std::make_shared<TextPopover>();
    popover->interactables = true;
    view->setPopoverModel(popover);
    ASSERT_TRUE(view->becomeFirstResponder());
    ASSERT_TRUE(view->isPopoverVisible());
    int onKeyDown = 0;
    view->setOnKeyDown([&](View &, QKeyEvent &) { ++onKeyDown; });
    QTest::keyClick(view, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(overlays.presenter->lastPopover->madeKey, 0) << "Shift-Tab never goes into the popover";
    ASSERT_TRUE(view->becomeFirstResponder());
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(overlays.presenter->lastPopover->madeKey, 1);
    EXPECT_TRUE(view->hasFocus()) << "the event ended there";
    EXPECT_EQ(onKeyDown, 2) << "once per key";
}

TEST_F(Interactable, TabWithoutAPopoverMovesFocusOn)
{
    ASSERT_TRUE(view->becomeFirstResponder());
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
}

class Consumer : public KeyDownHandler
{
public:
    int seen = 0;
    bool handleKeyDown(QKeyEvent &event) override
    {
        ++seen;
        return event.key() == Qt::Key_Space;
    }
};

TEST_F(Interactable, KeyDownHandlerGoesFirstWhileEnabled)
{
    auto handler = std::make_shared<Consumer>();
    auto *withHandler = new _KeyDownHandler_InteractableView(&window);
    withHandler->setGeometry(20, 100, 60, 30);
    withHandler->show();
    withHandler->setHandler(handler);
    int fallThrough = 0;
    withHandler->setOnKeyDown([&](View &, QKeyEvent &) { ++fallThrough; });
    ASSERT_TRUE(withHandler->becomeFirstResponder());
    QTest::keyClick(withHandler, Qt::Key_Space);
    EXPECT_EQ(handler->seen, 1);
    EXPECT_EQ(fallThrough, 0);
    QTest::keyClick(withHandler, Qt::Key_A);
    EXPECT_EQ(fallThrough, 1);
    withHandler->setForbidInteraction(true);
    QTest::keyClick(withHandler, Qt::Key_Space);
    EXPECT_EQ(handler->seen, 2) << "not offered while interaction is forbidden";
}

} // namespace
