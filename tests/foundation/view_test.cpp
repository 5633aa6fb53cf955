#include "view_helpers.h"

#include <kalvo/foundation/view.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/theme/appearance.h>

#include <QImage>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

// A view that records the hooks of every state change.
class Recorder : public View
{
public:
    using View::View;
    std::vector<std::string> log;
    std::optional<QRectF> part;

    std::optional<QRectF> interactionRect() const override { return part; }

protected:
    void cursorStateWillChange(CursorState to, std::optional<QPointF>) override
    {
        log.push_back("will:" + debugDescription(to).toStdString());
    }
    void cursorStateChanged(CursorState to, std::optional<QPointF>) override
    {
        log.push_back("did:" + debugDescription(to).toStdString());
    }
};

class ViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        window.resize(200, 200);
        view = new Recorder(&window);
        view->setGeometry(10, 10, 40, 24);
        view->setRequiresTracking(true);
        window.show();
    }

    ManualClock clock;
    PresenterScope overlays;
    QWidget window;
    Recorder *view = nullptr;
};

// ---- The state machine ----

TEST_F(ViewTest, PointerEventsDriveTheStates)
{
    EXPECT_EQ(view->cursorState(), CursorState::normal);
    enter(view);
    EXPECT_EQ(view->cursorState(), CursorState::hovered);
    mouse(view, QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(view->cursorState(), CursorState::pressed);
    mouse(view, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_EQ(view->cursorState(), CursorState::hovered);
    mouse(view, QEvent::MouseButtonPress, {5, 5});
    mouse(view, QEvent::MouseButtonRelease, {100, 100});
    EXPECT_EQ(view->cursorState(), CursorState::normal) << "released outside";
    leave(view);
    EXPECT_EQ(view->cursorState(), CursorState::normal);
}

TEST_F(ViewTest, HooksRunOnlyOnRealChangesWithTheOldAndNewState)
{
    std::vector<std::pair<CursorState, CursorState>> changes;
    view->setCursorStateDidChange([&](View &, CursorState o, CursorState n) { changes.emplace_back(o, n); });
    enter(view);
    enter(view);
    view->setCursorState(CursorState::pressed);
    EXPECT_EQ(view->log, (std::vector<std::string>{"will:.hovered", "did:.hovered", "will:.pressed", "did:.pressed"}));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1], std::make_pair(CursorState::hovered, CursorState::pressed));
}

TEST_F(ViewTest, PressOutsideTheInteractionRectStaysNormal)
{
    view->part = QRectF(0, 0, 20, 24);
    mouse(view, QEvent::MouseButtonPress, {30, 5});
    EXPECT_EQ(view->cursorState(), CursorState::normal);
    mouse(view, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_EQ(view->cursorState(), CursorState::hovered);
    mouse(view, QEvent::MouseButtonPress, {5, 5});
    mouse(view, QEvent::MouseButtonRelease, {30, 5});
    EXPECT_EQ(view->cursorState(), CursorState::normal);
}

TEST_F(ViewTest, InteractionRectTracksCrossingItsEdge)
{
    auto *part = new Recorder(&window);
    part->part = QRectF(0, 0, 20, 24);
    part->setGeometry(60, 10, 40, 24);
    part->setRequiresTracking(true);
    part->show();
    enter(part, {30, 5});
    EXPECT_EQ(part->cursorState(), CursorState::normal);
    move(part, {10, 5});
    EXPECT_EQ(part->cursorState(), CursorState::hovered);
    move(part, {30, 5});
    EXPECT_EQ(part->cursorState(), CursorState::normal);
    ASSERT_TRUE(part->trackingArea());
    EXPECT_EQ(part->trackingArea()->options, 0x81u);
}

TEST_F(ViewTest, ForbiddenInteractionLeavesTheStateAlone)
{
    view->setForbidInteraction(true);
    enter(view);
    mouse(view, QEvent::MouseButtonPress, {5, 5});
    mouse(view, QEvent::MouseButtonRelease, {5, 5});
    leave(view);
    EXPECT_EQ(view->cursorState(), CursorState::normal);
    EXPECT_TRUE(view->log.empty());
}

TEST_F(ViewTest, WithoutTrackingEnterAndLeaveAreNotSeen)
{
    auto *plain = new View(&window);
    plain->setGeometry(0, 100, 40, 24);
    plain->show();
    EXPECT_FALSE(plain->trackingArea());
    enter(plain);
    EXPECT_EQ(plain->cursorState(), CursorState::normal);
    mouse(plain, QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(plain->cursorState(), CursorState::pressed) << "presses need no tracking";
    plain->setCursorStateDidChange([](View &, CursorState, CursorState) {});
    ASSERT_TRUE(plain->trackingArea()) << "a state callback asks for tracking";
    EXPECT_EQ(plain->trackingArea()->options, 0x281u);
    plain->setForbidTracking(true);
    EXPECT_FALSE(plain->trackingArea());
}

TEST_F(ViewTest, RightButtonDoesNotPress)
{
    mouse(view, QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
    EXPECT_EQ(view->cursorState(), CursorState::normal);
}

TEST_F(ViewTest, SubtreeInteractionSwitches)
{
    auto *child = new View(view);
    auto *grandchild = new View(child);
    view->forbidInteractionInSubtree();
    EXPECT_TRUE(child->forbidInteraction());
    EXPECT_TRUE(grandchild->forbidInteraction());
    view->enableInteractionInSubtree();
    EXPECT_FALSE(grandchild->forbidInteraction());
}

// ---- Following other views ----

TEST_F(ViewTest, BoundViewMirrorsItsProvider)
{
    auto *mirror = new Recorder(&window);
    mirror->bind(view);
    EXPECT_EQ(mirror->cursorStateProvider(), view);
    enter(view);
    EXPECT_EQ(mirror->cursorState(), CursorState::hovered);
    EXPECT_EQ(mirror->log, (std::vector<std::string>{"will:.hovered", "did:.hovered"})) << "its own hooks ran";
    mirror->removeBinding();
    EXPECT_EQ(mirror->cursorState(), CursorState::normal);
    EXPECT_TRUE(view->cursorStateBindings().empty());
    view->setCursorState(CursorState::pressed);
    EXPECT_EQ(mirror->cursorState(), CursorState::normal);
}

TEST_F(ViewTest, BindingPushesStateToItsFollower)
{
    auto *follower = new Recorder(&window);
    follower->setCursorStateBinding(view->makeCursorStateBinding());
    view->setCursorState(CursorState::pressed);
    EXPECT_EQ(follower->cursorState(), CursorState::pressed);
    EXPECT_EQ(follower->log.back(), "did:.pressed");
    delete follower;
    view->setCursorState(CursorState::normal); // the binding outlives its follower safely
    EXPECT_EQ(view->cursorStateBindings().size(), 1u);
}

// ---- Tool tips ----

TEST_F(ViewTest, ToolTipShowsHalfASecondAfterHover)
{
    view->setToolTipLabel(QStringLiteral("Mute"));
    enter(view);
    clock.advance(0.49);
    EXPECT_TRUE(overlays.presenter->toolTips.empty());
    clock.advance(0.01);
    ASSERT_EQ(overlays.presenter->toolTips.size(), 1u);
    EXPECT_EQ(overlays.presenter->toolTips.front(), QStringLiteral("Mute"));
    leave(view);
    EXPECT_EQ(overlays.presenter->lastToolTip->dismissed, 1);
}

TEST_F(ViewTest, LeavingEarlyCancelsTheToolTip)
{
    view->setToolTipLabel(QStringLiteral("Mute"));
    enter(view);
    clock.advance(0.3);
    leave(view);
    clock.advance(2);
    EXPECT_TRUE(overlays.presenter->toolTips.empty());
    EXPECT_FALSE(view->isToolTipScheduled());
}

TEST_F(ViewTest, EmptyToolTipTextIsNeverScheduled)
{
    view->setToolTipModel(ToolTip::toolTip(QString(), QStringLiteral("S"), {ModifierKey::command}));
    enter(view);
    EXPECT_FALSE(view->isToolTipScheduled());
    clock.advance(1);
    EXPECT_TRUE(overlays.presenter->toolTips.empty());
}

TEST(ToolTipModel, ShortcutText)
{
    EXPECT_EQ(ToolTip::toolTip(QStringLiteral("Save"), QStringLiteral("S"), {ModifierKey::command})->shortcutText(),
              QStringLiteral("⌘S"));
    EXPECT_EQ(ToolTip::toolTip(QStringLiteral("x"), QStringLiteral("K"), {ModifierKey::command, ModifierKey::shift})
                  ->shortcutText(),
              QStringLiteral("⌘⇧K"));
    EXPECT_EQ(ToolTip(QStringLiteral("x")).shortcutText(), std::nullopt);
    EXPECT_EQ(ToolTip::withDisableLabel(QStringLiteral("Off"))->textFor(false), QStringLiteral("Off"));
}

// ---- Painting ----

QColor pixelAt(View *view, QPoint at)
{
    return view->grab().toImage().pixelColor(at);
}

TEST_F(ViewTest, CornerRadiusFollowsTheCapsuleRule)
{
    view->setCornerRadius(100);
    EXPECT_EQ(view->effectiveCornerRadius(), 12);
    view->setCornerRadius(-5);
    EXPECT_EQ(view->effectiveCornerRadius(), 0);
    view->setCornerRadius(6);
    EXPECT_EQ(view->effectiveCornerRadius(), 6);
    view->resize(41, 25);
    view->setCornerRadius(100);
    EXPECT_EQ(view->effectiveCornerRadius(), 13) << "round(12.5)";
}

TEST_F(ViewTest, ColoursAreChosenByStateWithFallbacks)
{
    const ColorPtr normal = Color::color(0x111111, 0x111111);
    const ColorPtr hovered = Color::color(0x222222, 0x222222);
    view->setBackgroundColor(normal);
    view->setHoveredBackgroundColor(hovered);
    view->setCursorState(CursorState::pressed);
    EXPECT_EQ(view->currentBackgroundColor(), normal) << "no clicked colour: the plain one";
    view->setCursorState(CursorState::hovered);
    EXPECT_EQ(view->currentBackgroundColor(), hovered);
    EXPECT_EQ(view->currentBorderColor(), nullptr);
    EXPECT_EQ(pixelAt(view, {20, 12}), QColor(0x22, 0x22, 0x22));
}

TEST_F(ViewTest, PaintsTheVariantOfItsOwnAppearance)
{
    view->setBackgroundColor(Color::color(0xFFFFFF, 0x000000));
    view->setBorderColor(Color::color(0xFF0000, 0x00FF00));
    view->setBorderWidth(2);
    setTnAppearance(&window, TNAppearance::light());
    EXPECT_EQ(pixelAt(view, {20, 12}), QColor(Qt::white));
    EXPECT_EQ(pixelAt(view, {0, 12}), QColor(Qt::red));
    setTnAppearance(&window, TNAppearance::dark());
    EXPECT_EQ(pixelAt(view, {20, 12}), QColor(Qt::black)) << "no colour survives an appearance change";
    EXPECT_EQ(pixelAt(view, {0, 12}), QColor(Qt::green));
}

TEST_F(ViewTest, HighlightOverridesStatesUntilItExpires)
{
    const ColorPtr flash = Color::color(0xFFCC00, 0xFFCC00);
    view->setBackgroundColor(Color::color(0x111111, 0x111111));
    view->setClickedBackgroundColor(Color::color(0x333333, 0x333333));
    view->highlight(flash, nullptr, 0.3);
    view->setCursorState(CursorState::pressed);
    EXPECT_EQ(view->currentBackgroundColor(), flash);
    clock.advance(0.2);
    view->highlight(flash, nullptr, 0.3); // restarts the time
    clock.advance(0.2);
    EXPECT_EQ(view->currentBackgroundColor(), flash);
    clock.advance(0.1);
    EXPECT_NE(view->currentBackgroundColor(), flash);
    view->highlight(nullptr, nullptr, 1);
    view->highlight(flash, nullptr, 0);
    EXPECT_NE(view->currentBackgroundColor(), flash) << "nothing to show, or no time";
}

TEST_F(ViewTest, ColourChangesAnimateWhenEnabled)
{
    view->setBackgroundColor(Color::color(0x000000, 0x000000));
    view->setHoveredBackgroundColor(Color::color(0xFFFFFF, 0xFFFFFF));
    view->setEnableAnimation(true);
    (void)pixelAt(view, {20, 12});
    view->setCursorState(CursorState::hovered);
    const int start = pixelAt(view, {20, 12}).red();
    clock.advance(View::kColorAnimationDuration / 2);
    const int middle = pixelAt(view, {20, 12}).red();
    clock.advance(1);
    const int end = pixelAt(view, {20, 12}).red();
    EXPECT_LT(start, 40);
    EXPECT_GT(middle, 60);
    EXPECT_LT(middle, 200);
    EXPECT_EQ(end, 255);
    // Suppressed: the next change shows at once.
    view->setSuppressNextLayerAnimation(true);
    view->setCursorState(CursorState::normal);
    EXPECT_EQ(pixelAt(view, {20, 12}).red(), 0);
}

TEST_F(ViewTest, PigmentReplacesTheStateColours)
{
    TNPigment pigment;
    pigment.color = QColor(Qt::blue);
    view->setBackgroundColor(Color::color(0x111111, 0x111111));
    view->setPigment(pigment);
    EXPECT_EQ(pixelAt(view, {20, 12}), QColor(Qt::blue));
}

TEST(ViewDeathTest, DirtyingWithoutItsViewIsAProgrammingError)
{
    Dirtying<int> orphan(nullptr, 1);
    EXPECT_DEATH((void)orphan.get(), "Kalvo/Dirtying");
}

} // namespace
