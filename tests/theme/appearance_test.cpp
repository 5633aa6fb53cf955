#include <kalvo/theme/appearance.h>
#include <kalvo/theme/color.h>

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <thread>

using namespace kalvo;

namespace {

class Probe : public QWidget
{
public:
    using QWidget::QWidget;
    int appearanceChanges = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == AppearanceChangeEvent::eventType())
            ++appearanceChanges;
        return QWidget::event(e);
    }
};

// Every test leaves the application following the system again.
class ResponderAppearance : public testing::Test
{
protected:
    void TearDown() override { setAppearance(qApp, nullptr); }
};

TEST(PlatformAppearance, DarkTestAndBestMatch)
{
    EXPECT_FALSE(Appearance::tn_lightAppearance()->isDarkMode());
    EXPECT_TRUE(Appearance::tn_darkAppearance()->isDarkMode());
    TNDarkAppearance tnDark;
    EXPECT_EQ(tnDark.bestMatchFromAppearancesWithNames({QString::fromLatin1(kTNAppearanceNameDark)}),
              QString::fromLatin1(kTNAppearanceNameDark));
    EXPECT_EQ(tnDark.bestMatchFromAppearancesWithNames(
                  {QString::fromLatin1(kAppearanceNameLight), QString::fromLatin1(kAppearanceNameDark)}),
              std::nullopt);
    EXPECT_FALSE(tnDark.isDarkMode());
}

TEST_F(ResponderAppearance, ViewsInheritFromTheirParentAndWindowsFromTheApplication)
{
    setAppearance(qApp, Appearance::tn_lightAppearance());
    QWidget window;
    auto *view = new QWidget(&window);
    auto *tool = new QWidget(&window, Qt::Tool);
    setTnAppearance(&window, TNAppearance::dark());
    EXPECT_TRUE(isDarkMode(view));
    EXPECT_FALSE(isDarkMode(tool)) << "a window takes the application's appearance, not its parent's";
    EXPECT_EQ(appearance(view), nullptr);
    EXPECT_EQ(effectiveAppearance(view), Appearance::tn_darkAppearance());
    setAppearance(qApp, Appearance::tn_darkAppearance());
    EXPECT_TRUE(isDarkMode(tool));
}

TEST_F(ResponderAppearance, ChangesReachEveryInheritingWidgetOnce)
{
    setAppearance(qApp, Appearance::tn_lightAppearance());
    Probe window;
    auto *view = new Probe(&window);
    auto *own = new Probe(&window);
    auto *shielded = new Probe(own);
    setAppearance(own, Appearance::tn_lightAppearance());
    window.appearanceChanges = view->appearanceChanges = own->appearanceChanges = shielded->appearanceChanges = 0;
    setTnAppearance(&window, TNAppearance::dark());
    EXPECT_EQ(window.appearanceChanges, 1);
    EXPECT_EQ(view->appearanceChanges, 1);
    EXPECT_EQ(own->appearanceChanges, 0);
    EXPECT_EQ(shielded->appearanceChanges, 0);
    setTnAppearance(&window, TNAppearance::dark());
    EXPECT_EQ(view->appearanceChanges, 1) << "same handle: nothing happens";
    setTnAppearance(&window, TNAppearance::app());
    EXPECT_EQ(appearance(&window), nullptr) << "the plain handle follows the surroundings";
    EXPECT_EQ(view->appearanceChanges, 2);
}

TEST_F(ResponderAppearance, ApplicationChoiceOverridesTheSystem)
{
    QWidget window;
    setAppearance(qApp, Appearance::tn_darkAppearance());
    EXPECT_TRUE(isDarkMode(&window));
    EXPECT_TRUE(drawingAppearanceIsDark()) << "outside a scope the application's appearance draws";
    setAppearance(qApp, Appearance::tn_lightAppearance());
    EXPECT_FALSE(isDarkMode(&window));
    EXPECT_FALSE(drawingAppearanceIsDark());
}

TEST_F(ResponderAppearance, DynamicAppearanceFollowsItsProvider)
{
    setAppearance(qApp, Appearance::tn_lightAppearance());
    QWidget anchorWindow;
    auto *anchor = new QWidget(&anchorWindow);
    Probe popup;
    setTnAppearance(&popup, TNAppearance::appearance(anchor));
    EXPECT_EQ(drawingAppearance(anchor)->subscriberCount(), 1);
    EXPECT_FALSE(isDarkMode(&popup));
    setTnAppearance(&anchorWindow, TNAppearance::dark());
    EXPECT_TRUE(isDarkMode(&popup)) << "the popup took the anchor's new appearance";
    EXPECT_GE(popup.appearanceChanges, 1);
}

TEST_F(ResponderAppearance, DynamicAppearanceWithoutProviderIsNull)
{
    auto *provider = new QWidget;
    auto dynamic = std::make_shared<TNDynamicAppearance>(provider);
    EXPECT_NE(dynamic->effectiveAppearance(), nullptr);
    delete provider;
    EXPECT_EQ(dynamic->effectiveAppearance(), nullptr);
    EXPECT_EQ(TNAppearance::app()->effectiveAppearance(), nullptr);
    EXPECT_EQ(TNAppearance::dark()->effectiveAppearance(), Appearance::tn_darkAppearance());
}

TEST_F(ResponderAppearance, DrawingScopeOfAWidgetUsesItsAppearanceAndTheme)
{
    setAppearance(qApp, Appearance::tn_lightAppearance());
    QWidget window;
    auto *view = new QWidget(&window);
    setTnAppearance(&window, TNAppearance::dark());
    setTnTheme(&window, TNTheme::rose());
    const ColorPtr c = Color::color(0x111111, 1.0, 0x222222, 1.0, {{ThemeName::rose, Color::color(0xAA0000, 0x550000)}});
    {
        DrawingAppearanceScope scope(view);
        EXPECT_TRUE(drawingAppearanceIsDark());
        EXPECT_EQ(drawingThemeName(), ThemeName::rose);
        EXPECT_EQ(Appearance::tnDrawingAppearance(), Appearance::tn_darkAppearance());
        EXPECT_EQ(c->resolved(), NSColorFromHex(0x550000));
    }
    EXPECT_EQ(DrawingAppearanceScope::current(), nullptr);
    EXPECT_EQ(c->resolved(), NSColorFromHex(0x111111));
}

TEST_F(ResponderAppearance, PerformAsCurrentDrawingAppearanceCarriesTheAttachedTheme)
{
    auto dark = std::make_shared<Appearance>(QString::fromLatin1(kAppearanceNameDark));
    dark->setTheme(TNTheme::bloom());
    bool ran = false;
    dark->performAsCurrentDrawingAppearance([&] {
        ran = true;
        EXPECT_TRUE(drawingAppearanceIsDark());
        EXPECT_EQ(drawingThemeName(), ThemeName::bloom);
    });
    EXPECT_TRUE(ran);
}

TEST_F(ResponderAppearance, OtherThreadsAlwaysDrawLight)
{
    setAppearance(qApp, Appearance::tn_darkAppearance());
    DrawingAppearanceScope scope(Appearance::tn_darkAppearance(), TNTheme::rose());
    bool dark = true;
    ThemeName theme = ThemeName::rose;
    std::thread worker([&] {
        dark = drawingAppearanceIsDark();
        theme = drawingThemeName();
    });
    worker.join();
    EXPECT_FALSE(dark);
    EXPECT_EQ(theme, ThemeName::none);
}

} // namespace
