#include <kalvo/theme/theme.h>

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kalvo;

namespace {

// Counts ThemeChangeEvents and repaints requests of one widget.
class Probe : public QWidget
{
public:
    using QWidget::QWidget;
    int themeChanges = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == ThemeChangeEvent::eventType())
            ++themeChanges;
        return QWidget::event(e);
    }
};

TEST(ResponderTheme, ViewInheritsItsWindowsTheme)
{
    QWidget window;
    auto *panel = new QWidget(&window);
    auto *button = new QWidget(panel);
    EXPECT_EQ(effectiveTheme(button), TNTheme::base()) << "the application's theme by default";
    setTnTheme(&window, TNTheme::rose());
    EXPECT_EQ(effectiveTheme(button)->name(), ThemeName::rose);
    EXPECT_EQ(cachedEffectiveTheme(button), TNTheme::rose());
    EXPECT_EQ(tnTheme(button), nullptr);
}

TEST(ResponderTheme, CachedThemeSurvivesAMoveUntilTheNextChange)
{
    QWidget rose, bloom;
    setTnTheme(&rose, TNTheme::rose());
    setTnTheme(&bloom, TNTheme::bloom());
    auto *view = new QWidget(&rose);
    EXPECT_EQ(effectiveTheme(view)->name(), ThemeName::rose);
    view->setParent(&bloom);
    EXPECT_EQ(effectiveTheme(view)->name(), ThemeName::rose) << "the cache is kept on purpose";
    setTnTheme(&bloom, TNTheme::agave());
    EXPECT_EQ(effectiveTheme(view)->name(), ThemeName::agave);
}

TEST(ResponderTheme, OwnThemeWinsAndShieldsItsSubtree)
{
    QWidget window;
    auto *own = new Probe(&window);
    auto *inner = new Probe(own);
    setTnTheme(own, TNTheme::agave());
    own->themeChanges = inner->themeChanges = 0;
    setTnTheme(&window, TNTheme::rose());
    EXPECT_EQ(effectiveTheme(inner)->name(), ThemeName::agave);
    EXPECT_EQ(own->themeChanges, 0) << "a responder with its own theme is not told";
    EXPECT_EQ(inner->themeChanges, 0);
}

TEST(ResponderTheme, SettingTheSameThemeTwiceSendsOneChange)
{
    QWidget window;
    auto *view = new Probe(&window);
    setTnTheme(&window, TNTheme::bloom());
    EXPECT_EQ(view->themeChanges, 1);
    setTnTheme(&window, TNTheme::bloom());
    EXPECT_EQ(view->themeChanges, 1);
    setTnTheme(&window, nullptr);
    setTnTheme(&window, nullptr);
    EXPECT_EQ(view->themeChanges, 2);
}

TEST(ResponderTheme, WindowsFollowTheirParentWindowThenTheApplication)
{
    QWidget main;
    auto *tool = new QWidget(&main, Qt::Tool);
    auto *toolView = new Probe(tool);
    setTnTheme(&main, TNTheme::rose());
    EXPECT_EQ(effectiveTheme(tool)->name(), ThemeName::rose);
    EXPECT_EQ(effectiveTheme(toolView)->name(), ThemeName::rose);
    EXPECT_EQ(toolView->themeChanges, 1) << "child windows are told too";
    EXPECT_EQ(cachedEffectiveTheme(tool), nullptr) << "windows do not cache";
    QWidget lone;
    EXPECT_EQ(effectiveTheme(&lone), TNTheme::base());
    setTnTheme(qApp, TNTheme::classic());
    EXPECT_EQ(effectiveTheme(&lone)->name(), ThemeName::classic);
    setTnTheme(qApp, nullptr);
    EXPECT_EQ(effectiveTheme(&lone), TNTheme::base());
}

TEST(ResponderTheme, ObjectsThatAreNoRespondersHaveTheDefaultTheme)
{
    QObject plain;
    EXPECT_EQ(effectiveTheme(&plain), TNTheme::defaultTheme());
    EXPECT_EQ(effectiveTheme(nullptr), TNTheme::defaultTheme());
}

TEST(DynamicTheme, MirrorsItsProviderAndNotifiesSubscribers)
{
    QWidget anchorWindow;
    auto *anchor = new QWidget(&anchorWindow);
    QWidget popup;
    auto *popupView = new Probe(&popup);
    const std::shared_ptr<TNDynamicTheme> mirror = TNTheme::themeWithProvider(anchor);
    EXPECT_EQ(mirror, drawingTheme(anchor)) << "made once per responder";
    setTnTheme(&popup, mirror);
    EXPECT_EQ(mirror->subscriberCount(), 1);
    EXPECT_EQ(effectiveTheme(popupView)->name(), ThemeName::base);
    setTnTheme(&anchorWindow, TNTheme::rose());
    EXPECT_TRUE(mirror->needRefresh());
    EXPECT_EQ(effectiveTheme(popupView)->name(), ThemeName::rose);
    EXPECT_GE(popupView->themeChanges, 1);
    setTnTheme(&popup, nullptr);
    EXPECT_EQ(mirror->subscriberCount(), 0);
}

TEST(DynamicTheme, ProviderWithoutThemeIsAskedAgainOnEveryRead)
{
    QObject plain; // effective theme: the default one, named none
    auto mirror = std::make_shared<TNDynamicTheme>(&plain);
    EXPECT_EQ(mirror->name(), ThemeName::none);
    EXPECT_TRUE(mirror->needRefresh());
    QWidget window;
    auto themed = std::make_shared<TNDynamicTheme>(&window);
    setTnTheme(&window, TNTheme::bloom());
    EXPECT_EQ(themed->name(), ThemeName::bloom);
    EXPECT_FALSE(themed->needRefresh());
}

TEST(DynamicTheme, WithoutProviderKeepsTheLastName)
{
    auto *window = new QWidget;
    setTnTheme(window, TNTheme::agave());
    auto mirror = std::make_shared<TNDynamicTheme>(window);
    EXPECT_EQ(mirror->name(), ThemeName::agave);
    delete window;
    mirror->effectiveThemeDidChanged();
    EXPECT_EQ(mirror->name(), ThemeName::agave);
    EXPECT_EQ(mirror->provider(), nullptr);
}

TEST(DynamicTheme, RespondersFollowingEachOtherDoNotLoop)
{
    QWidget a, b;
    setTnTheme(&a, drawingTheme(&b));
    setTnTheme(&b, drawingTheme(&a));
    EXPECT_EQ(effectiveTheme(&a)->name(), ThemeName::none);
    setTnTheme(&a, TNTheme::rose()); // propagates into b, which would propagate back into a
    EXPECT_EQ(drawingTheme(&b)->name(), ThemeName::rose);
}

TEST(DynamicTheme, HandlerThatDeletesTheViewStopsPropagationSafely)
{
    QWidget window;
    class SelfDeleting : public QWidget
    {
    public:
        using QWidget::QWidget;
        bool event(QEvent *e) override
        {
            if (e->type() == ThemeChangeEvent::eventType()) {
                delete this;
                return true;
            }
            return QWidget::event(e);
        }
    };
    QPointer<QWidget> doomed = new SelfDeleting(&window);
    new QWidget(doomed);
    setTnTheme(&window, TNTheme::rose());
    EXPECT_TRUE(doomed.isNull());
}

} // namespace
