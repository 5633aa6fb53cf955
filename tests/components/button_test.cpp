#include "../foundation/view_helpers.h"

#include <kalvo/components/button.h>
#include <kalvo/components/buttonvariants.h>
#include <kalvo/components/iconbutton.h>
#include <kalvo/foundation/kalvocore.h>
#include <kalvo/platform/manualclock.h>
#include <kalvo/theme/appearance.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>

#include <thread>
#include <QTest>

#include <gtest/gtest.h>

using namespace kalvo;
using namespace kalvo::test;

namespace {

QImage squareIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return image;
}

using Parent = kalvo::test::KeyRecordingParent;

class Buttons : public testing::Test
{
protected:
    void SetUp() override
    {
        KalvoCore::shared().setRequireKeyboardNavigation(true);
        window.resize(400, 300);
        button = new Button(QStringLiteral("Join"), Button::Style::primary, Button::Size::medium,
                            [this](BaseButton &) { ++clicks; }, &window);
        button->move(20, 20);
        other = new Button(QStringLiteral("Leave"), Button::Style::secondary, Button::Size::medium, {}, &window);
        other->move(200, 20);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        if (QWidget *focused = QApplication::focusWidget())
            focused->clearFocus();
    }
    void TearDown() override { KalvoCore::shared().setRequireKeyboardNavigation(false); }

    ManualClock clock;
    PresenterScope overlays;
    Parent window;
    Button *button = nullptr;
    Button *other = nullptr;
    int clicks = 0;
};

// ---- Vocabulary and metrics ----

struct MetricsRow
{
    Button::Size size;
    int height, minWidth, radius;
};

void PrintTo(const MetricsRow &row, std::ostream *os)
{
    *os << debugDescription(row.size).toStdString();
}

class ButtonMetrics : public testing::TestWithParam<MetricsRow>
{
};

TEST_P(ButtonMetrics, EmptyButtonTakesTheSizeTableMinimum)
{
    const MetricsRow row = GetParam();
    Button empty(QString(), Button::Style::primary, row.size, {});
    EXPECT_EQ(empty.sizeHint(), QSize(row.minWidth, row.height));
    EXPECT_EQ(empty.cornerRadius(), row.radius);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ButtonMetrics,
                         testing::Values(MetricsRow{Button::Size::small, 24, 52, 6}, MetricsRow{Button::Size::medium, 32, 60, 8},
                                         MetricsRow{Button::Size::large, 40, 68, 10},
                                         MetricsRow{Button::Size::extraLarge, 48, 76, 12}),
                         [](const testing::TestParamInfo<MetricsRow> &info) {
                             return debugDescription(info.param.size).mid(1).toStdString();
                         });

TEST(ButtonSize, LongTitlesGrowWideButNotTall)
{
    Button shortTitle(QStringLiteral("OK"), Button::Style::primary, Button::Size::large, {});
    Button longTitle(QStringLiteral("Start the recording of this meeting in the cloud"), Button::Style::primary,
                     Button::Size::large, {});
    EXPECT_EQ(shortTitle.sizeHint(), QSize(68, 40));
    EXPECT_GT(longTitle.sizeHint().width(), 200);
    EXPECT_EQ(longTitle.sizeHint().height(), 40);
    Button withIcon(QStringLiteral("Start the recording of this meeting in the cloud"), Button::Style::primary,
                    Button::Size::large, {});
    withIcon.setImage(squareIcon());
    EXPECT_EQ(withIcon.sizeHint().width(), longTitle.sizeHint().width() + 20 + 4 + Button::kTitleAlignmentInset);
    withIcon.setButtonHeightToZero(true);
    EXPECT_EQ(withIcon.sizeHint().height(), 0);
}

TEST(ButtonSize, UnsizedButtonsTakeTheirIntrinsicSizeWhenShown)
{
    QWidget host;
    host.resize(400, 100);
    auto *free = new Button(QStringLiteral("Invite people"), Button::Style::primary, Button::Size::medium, {}, &host);
    auto *sized = new Button(QStringLiteral("Invite people"), Button::Style::primary, Button::Size::medium, {}, &host);
    sized->resize(200, 32);
    host.show();
    EXPECT_EQ(free->rect().size(), free->sizeHint());
    EXPECT_EQ(sized->rect().size(), QSize(200, 32));
}

TEST(ButtonSize, TitleChangesAndApplicationFontChangesAreMeasuredAgain)
{
    Button button(QStringLiteral("OK"), Button::Style::primary, Button::Size::medium, {});
    const int small = button.sizeHint().width();
    button.setLabel(QStringLiteral("Start the recording of this meeting"));
    const int wide = button.sizeHint().width();
    EXPECT_GT(wide, small);

    const QFont saved = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Serif")));
    const int serif = button.sizeHint().width();
    QApplication::setFont(saved);
    EXPECT_NE(serif, wide);
    EXPECT_EQ(button.sizeHint().width(), wide);
}

TEST(ButtonPixels, NarrowButtonsElideTheTitleInTheMiddle)
{
    QWidget host;
    setTnAppearance(&host, TNAppearance::light());
    auto *b = new Button(QStringLiteral("Start the recording of this meeting in the cloud"), Button::Style::primary,
                         Button::Size::medium, {}, &host);
    b->resize(120, 32);
    QImage image(b->rect().size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    // White title ink stays inside the side insets and reaches near both
    // ends: the start and the end of the title are kept.
    int first = image.width(), last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() > 200) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
        }
    }
    const int inset = Button::metrics(Button::Size::medium).insetLeftRight;
    EXPECT_GE(first, inset);
    EXPECT_LT(last, image.width() - inset);
    EXPECT_LT(first, inset + 10);
    EXPECT_GT(last, image.width() - inset - 10);
}

// ---- Colours ----

struct StyleRow
{
    Button::Style style;
    ColorPtr (*normal)();
    ColorPtr (*hovered)();
    ColorPtr (*pressed)();
    ColorPtr (*disabled)();
    ColorPtr (*title)();
    ColorPtr (*activeTitle)();
    ColorPtr (*disabledTitle)();
};

void PrintTo(const StyleRow &row, std::ostream *os)
{
    *os << debugDescription(row.style).toStdString();
}

class ButtonColors : public testing::TestWithParam<StyleRow>
{
};

TEST_P(ButtonColors, FollowTheStyleTable)
{
    const StyleRow row = GetParam();
    Button b(QStringLiteral("x"), row.style, Button::Size::medium, {});
    EXPECT_EQ(b.backgroundColor(), row.normal());
    EXPECT_EQ(b.hoveredBackgroundColor(), row.hovered());
    EXPECT_EQ(b.clickedBackgroundColor(), row.pressed());
    EXPECT_EQ(b.titleColor(), row.title());
    b.setCursorState(CursorState::hovered);
    EXPECT_EQ(b.titleColor(), row.activeTitle());
    EXPECT_EQ(b.currentBackgroundColor(), row.hovered());
    b.setEnabled(false);
    EXPECT_EQ(b.titleColor(), row.disabledTitle());
    EXPECT_EQ(b.backgroundColor(), row.disabled());
    EXPECT_EQ(b.hoveredBackgroundColor(), row.disabled()) << "disabled states answer the disabled background";
    EXPECT_EQ(b.clickedBackgroundColor(), row.disabled());
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ButtonColors,
    testing::Values(
        StyleRow{Button::Style::primary, &Color::Theme::fillGlobalPrimary, &Color::Theme::primaryHovered,
                 &Color::Theme::primaryPressed, &Color::subtleDisabled, &Color::inverseGlobalDefault,
                 &Color::inverseGlobalDefault, &Color::disable},
        StyleRow{Button::Style::secondary, &Color::fillDefault, &Color::subtleNeutralHovered,
                 &Color::subtleNeutralPressed, &Color::fillDefault, &Color::textStrongerNeutral,
                 &Color::textStrongerNeutral, &Color::disable},
        StyleRow{Button::Style::tertiary, &Color::kalvoClear, &Color::subtlePrimaryHovered,
                 &Color::subtlePrimaryPressed, &Color::kalvoClear, &Color::Theme::textPrimary, &Color::textStrongPrimary,
                 &Color::subtlePrimaryDisabled},
        StyleRow{Button::Style::primaryDestructive, &Color::fillGlobalError, &Color::errorHovered, &Color::errorPressed,
                 &Color::subtleDisabled, &Color::inverseGlobalDefault, &Color::inverseGlobalDefault, &Color::disable},
        StyleRow{Button::Style::secondaryDestructive, &Color::fillDefault, &Color::subtleErrorHovered,
                 &Color::subtleErrorPressed, &Color::fillDefault, &Color::Theme::textError, &Color::Theme::textError,
                 &Color::disable},
        StyleRow{Button::Style::tertiaryDestructive, &Color::kalvoClear, &Color::subtleErrorHovered,
                 &Color::subtleErrorPressed, &Color::kalvoClear, &Color::Theme::textError, &Color::Theme::textError,
                 &Color::subtleErrorDisabled}),
    [](const testing::TestParamInfo<StyleRow> &info) { return debugDescription(info.param.style).mid(1).toStdString(); });

TEST(ButtonBorder, RulesByStyleInversionAndOverrides)
{
    Button secondary(QStringLiteral("x"), Button::Style::secondary, Button::Size::medium, {});
    EXPECT_EQ(secondary.borderColor(), Color::borderNeutral());
    secondary.setEnabled(false);
    EXPECT_EQ(secondary.borderColor(), Color::subtleDisabled());
    Button destructive(QStringLiteral("x"), Button::Style::secondaryDestructive, Button::Size::medium, {});
    EXPECT_EQ(destructive.borderColor(), Color::borderError());
    Button primary(QStringLiteral("x"), Button::Style::primary, Button::Size::medium, {});
    EXPECT_EQ(primary.borderColor(), Color::kalvoClear());
    primary.setCustomBorderColor(Color::borderWarning());
    primary.setCustomHoveredBorderColor(Color::borderSuccess());
    EXPECT_EQ(primary.borderColor(), Color::borderWarning());
    primary.setCursorState(CursorState::hovered);
    EXPECT_EQ(primary.currentBorderColor(), Color::borderSuccess());
    primary.setCursorState(CursorState::pressed);
    EXPECT_EQ(primary.currentBorderColor(), Color::borderWarning()) << "no clicked override: the border";
}

TEST(ButtonInverted, SecondaryGoesClearWithInverseBorderAndTitle)
{
    Button b(QStringLiteral("x"), Button::Style::secondary, Button::Size::medium, {});
    b.invert();
    EXPECT_TRUE(b.isInverted());
    EXPECT_EQ(b.backgroundColor(), Color::kalvoClear());
    EXPECT_EQ(b.borderColor(), Color::inverseGlobalDefault());
    EXPECT_EQ(b.titleColor(), Color::inverseGlobalDefault());
    b.setEnabled(false);
    EXPECT_EQ(b.titleColor(), Color::inverseGlobalDefault()) << "in every state";
    EXPECT_EQ(b.backgroundColor(), Color::kalvoClear());
}

TEST(ButtonPixels, DisabledTertiaryHasNoBackground)
{
    QWidget host;
    host.resize(120, 60);
    setTnAppearance(&host, TNAppearance::light());
    auto *b = new Button(QStringLiteral("Tertiary"), Button::Style::tertiary, Button::Size::medium, {}, &host);
    b->setEnabled(false);
    // Render without the window background so a stray fill would show up.
    QImage image(b->rect().size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    b->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixelColor(2, 2).alpha(), 0);
    // The title is there, in the disabled colour.
    const QColor expected = [&] {
        DrawingAppearanceScope scope(Appearance::tn_lightAppearance());
        return Color::subtlePrimaryDisabled()->resolved();
    }();
    bool found = false;
    for (int x = 0; x < image.width() && !found; ++x) {
        for (int y = 0; y < image.height() && !found; ++y)
            found = image.pixelColor(x, y).rgb() == expected.rgb() && image.pixelColor(x, y).alpha() == 255;
    }
    EXPECT_TRUE(found);
}

// ---- Clicks ----

TEST_F(Buttons, PressAndReleaseInsideClicksOnceAndReturnsToNormal)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->cursorState(), CursorState::normal);
    EXPECT_FALSE(button->hasPreviousMouseDown());
}

TEST_F(Buttons, ReleasingOutsideDoesNotClick)
{
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button->cursorState(), CursorState::pressed);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(button->cursorState(), CursorState::normal);
}

TEST_F(Buttons, ReleaseOverAWidgetAboveTheButtonDoesNotClick)
{
    auto *cover = new QLabel(&window);
    cover->setGeometry(button->geometry());
    cover->show();
    cover->raise();
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 0);
}

TEST_F(Buttons, RunActionOnMouseDownClicksOnPressOnly)
{
    button->setRunActionOnMouseDown(true);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->cursorState(), CursorState::normal);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
}

TEST_F(Buttons, DisabledAndBusyButtonsIgnoreClicksAndKeys)
{
    button->setEnabled(false);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 0);
    button->setEnabled(true);
    button->showProgressIndicator();
    EXPECT_TRUE(button->isShowingProgressIndicator());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(window.keys, std::vector<int>{Qt::Key_Return}) << "a busy button passes keys on";
    button->hideProgressIndicator();
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Buttons, ProgressFadesInOverAFifthOfASecond)
{
    button->showProgressIndicator();
    EXPECT_DOUBLE_EQ(button->progressOpacity(), 0.0);
    clock.advance(0.1);
    EXPECT_NEAR(button->progressOpacity(), 0.5, 1e-9);
    clock.advance(0.1);
    EXPECT_DOUBLE_EQ(button->progressOpacity(), 1.0);
    button->hideProgressIndicator();
    EXPECT_DOUBLE_EQ(button->progressOpacity(), 0.0);
    EXPECT_EQ(clock.pendingCount(), 0) << "the spinner stops ticking";
}

TEST_F(Buttons, ProgressFromAWorkerThreadIsAppliedOnTheMainThreadOnlyWhenAllowed)
{
    std::thread([this] { button->showProgressIndicator(); }).join();
    clock.runPending();
    EXPECT_FALSE(button->isShowingProgressIndicator()) << "refused without refreshStatusInUIThread";

    button->setRefreshStatusInUIThread(true);
    std::thread([this] { button->showProgressIndicator(); }).join();
    EXPECT_FALSE(button->isShowingProgressIndicator()) << "not applied on the worker";
    ASSERT_TRUE(clock.runUntil([this] { return button->isShowingProgressIndicator(); }));
    std::thread([this] { button->hideProgressIndicator(); }).join();
    ASSERT_TRUE(clock.runUntil([this] { return !button->isShowingProgressIndicator(); }));
}

TEST_F(Buttons, ActionThatDeletesTheButtonIsSafe)
{
    auto *doomed = new Button(QStringLiteral("Close"), Button::Style::primary, Button::Size::small,
                              [](BaseButton &b) { delete &b; }, &window);
    doomed->move(20, 100);
    doomed->show();
    QPointer<Button> watch(doomed);
    QTest::mouseClick(doomed, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(watch.isNull());
}

// ---- Keys ----

TEST_F(Buttons, ReturnAndSpaceClick)
{
    ASSERT_TRUE(button->becomeFirstResponder());
    QTest::keyClick(button, Qt::Key_Return);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(window.keys.empty()) << "activation keys are consumed";
}

TEST_F(Buttons, EscapeClosesAVisiblePopoverAndIsConsumed)
{
    auto popover = std::make_shared<TextPopover>();
    popover->automatic = false;
    button->setPopoverModel(popover);
    button->showPopover(true);
    ASSERT_TRUE(button->isPopoverVisible());
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_FALSE(button->isPopoverVisible());
    EXPECT_TRUE(window.keys.empty());
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_EQ(window.keys, std::vector<int>{Qt::Key_Escape}) << "nothing to close: Escape goes on";
}

class KeyWatcher : public KTNButtonDelegate
{
public:
    std::vector<int> keys;
    int clicksSeen = -1;
    int *clicks = nullptr;
    void buttonKeyDownWith(BaseButton &, const QKeyEvent &event) override
    {
        keys.push_back(event.key());
        clicksSeen = *clicks;
    }
};

TEST_F(Buttons, DelegateSeesKeysFirst)
{
    auto watcher = std::make_shared<KeyWatcher>();
    watcher->clicks = &clicks;
    button->setDelegate(watcher);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(watcher->keys, std::vector<int>{Qt::Key_Space});
    EXPECT_EQ(watcher->clicksSeen, 0) << "before the button acted";
    EXPECT_EQ(clicks, 1);
}

TEST_F(Buttons, KeyEquivalentClicksFromAnywhereInTheWindow)
{
    button->setKeyEquivalent(QStringLiteral("s"));
    button->setKeyEquivalentModifierMask(0x100000); // command
    other->setFocus();
    QTest::keyClick(other, Qt::Key_S, Qt::MetaModifier);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(other, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(clicks, 1) << "other modifiers do not match";
    button->setEnabled(false);
    QTest::keyClick(other, Qt::Key_S, Qt::MetaModifier);
    EXPECT_EQ(clicks, 1);
}

// ---- Accessibility ----

TEST_F(Buttons, ScreenReadersSeeAPressableButtonWithItsTitle)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Join"));
    QAccessibleActionInterface *actions = accessible->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
    button->setAccessibilityTitle(QStringLiteral("Join the meeting"));
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Join the meeting"));
}

// ---- Icon buttons ----

TEST_F(Buttons, IconButtonNeedsItsOwnPress)
{
    int iconClicks = 0;
    auto *icon = new IconButton(squareIcon(), IconButton::Style::secondary, IconButton::Size::medium,
                                [&](BaseButton &) { ++iconClicks; }, &window);
    icon->move(20, 150);
    icon->show();
    QTest::mouseRelease(icon, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(iconClicks, 0) << "a release without a press on it";
    QTest::mouseClick(icon, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(iconClicks, 1);
    EXPECT_EQ(icon->sizeHint(), QSize(32, 32));
}

TEST(IconButtonLook, ColoursAndDot)
{
    IconButton primary(squareIcon(), IconButton::Style::primary, IconButton::Size::large, {});
    EXPECT_EQ(primary.iconTint(), Color::inverseGlobalDefault());
    primary.setEnabled(false);
    EXPECT_EQ(primary.backgroundColor(), Color::subtleDisabled());
    EXPECT_EQ(primary.hoveredBackgroundColor(), Color::subtleDisabled());
    EXPECT_EQ(primary.iconTint(), Color::disable());
    primary.invert();
    EXPECT_EQ(primary.iconTint(), Color::inverseGlobalDefault());

    IconButton overlay(squareIcon(), IconButton::Style::overlay, IconButton::Size::medium, {});
    overlay.setEnabled(false);
    EXPECT_EQ(overlay.backgroundColor(), Color::fillGlobalDarkTransparent());

    IconButton tertiary(squareIcon(), IconButton::Style::tertiary, IconButton::Size::medium, {});
    EXPECT_EQ(tertiary.hoveredBackgroundColor(), Color::subtleNeutralHovered());
    tertiary.invert();
    EXPECT_EQ(tertiary.hoveredBackgroundColor(), Color::globalDarkTransparentHovered());
    EXPECT_EQ(tertiary.clickedBackgroundColor(), Color::globalDarkTransparentPressed());

    IconButton withDot(squareIcon(), IconButton::Style::secondary, IconButton::Size::large, {});
    EXPECT_TRUE(withDot.dotView()->isHidden());
    withDot.setShowDot(true);
    EXPECT_FALSE(withDot.dotView()->isHidden());
    EXPECT_EQ(withDot.dotView()->geometry(), QRect(40 - 4 - 16, 4, 16, 16));
    EXPECT_EQ(withDot.dotView()->backgroundColor(), Color::fillError());
    EXPECT_EQ(withDot.dotView()->effectiveCornerRadius(), 8);
}

// ---- The other members ----

class VetoingButton : public CustomButton
{
public:
    using CustomButton::CustomButton;
    bool allow = false;
    int performed = 0;

protected:
    bool shouldPerformAction() override { return allow; }
    void performAction() override { ++performed; }
};

TEST_F(Buttons, CustomButtonCanVetoItsClick)
{
    auto *content = new QLabel(QStringLiteral("Content"));
    auto *custom = new VetoingButton(content, &window, QMargins(4, 4, 4, 4));
    custom->move(20, 200);
    custom->show();
    EXPECT_EQ(custom->contentView(), content);
    EXPECT_TRUE(content->testAttribute(Qt::WA_TransparentForMouseEvents));
    QTest::mouseClick(custom, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(custom->performed, 0);
    custom->allow = true;
    QTest::mouseClick(custom, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(custom->performed, 1);
}

TEST_F(Buttons, HelpAndTextButtons)
{
    int helped = 0;
    auto *help = new HelpButton(QStringLiteral("What is this?"), true, [&](HelpButton &) { ++helped; }, &window);
    help->move(200, 200);
    help->show();
    QTest::mouseClick(help, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(helped, 1);
    help->setHelpAttributedString(QStringLiteral("<b>Bold</b> help"));
    EXPECT_EQ(help->helpString(), QStringLiteral("Bold help"));
    EXPECT_EQ(help->accessibilityTitle(), QStringLiteral("Bold help"));

    TextButton32H text(QStringLiteral("Go"), {});
    EXPECT_EQ(text.sizeHint().height(), 32);
    EXPECT_LT(text.sizeHint().width(), Button::metrics(Button::Size::medium).minimumWidth);

    IconTextButton toolbar(squareIcon(), QStringLiteral("Mute"), IconTextButton::Style::tertiary,
                           IconTextButton::Size::large, {});
    EXPECT_GE(toolbar.sizeHint().width(), 100);
}

} // namespace
