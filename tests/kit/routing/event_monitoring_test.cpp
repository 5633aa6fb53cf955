#include <kalvo/routing/eventmonitoringcenter.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <string>

using namespace kalvo;

namespace {

class RecordingWidget : public QWidget
{
public:
    using QWidget::QWidget;
    std::string log;
    QPoint lastPress;
    bool acceptPresses = true;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        log += "press;";
        lastPress = event->position().toPoint();
        event->setAccepted(acceptPresses);
    }
    void mouseReleaseEvent(QMouseEvent *) override { log += "release;"; }
    void keyPressEvent(QKeyEvent *event) override { log += "key" + std::to_string(event->key()) + ";"; }
};

void sendMouse(QWidget *widget, QEvent::Type type, Qt::MouseButton button, QPoint at = {5, 5})
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void sendKey(QWidget *widget, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(type, key, modifiers);
    QApplication::sendEvent(widget, &event);
}

// Removes whatever monitors a test left behind.
class EventMonitors : public testing::Test
{
protected:
    void TearDown() override
    {
        for (const QString &id : mouseIds)
            NSEventMonitoringCenter::removeMonitor(id);
        for (const QString &id : modifierIds)
            NSEventMonitoringCenter::removeMonitorForModifiers(id);
        EXPECT_FALSE(NSEventMonitoringCenter::isFilterInstalled());
    }
    QString addMouse(NSEventMonitoringCenter::MouseMonitor monitor)
    {
        mouseIds << NSEventMonitoringCenter::addMonitor(std::move(monitor));
        return mouseIds.back();
    }
    QString addModifiers(NSEventMonitoringCenter::ModifiersMonitor monitor)
    {
        modifierIds << NSEventMonitoringCenter::addMonitorForModifiersChanged(std::move(monitor));
        return modifierIds.back();
    }
    QStringList mouseIds, modifierIds;
};

TEST_F(EventMonitors, MouseMonitorsChainInOrderAndSeeTheWatchedKinds)
{
    RecordingWidget widget;
    std::string seen;
    auto kind = [](QMouseEvent *event) {
        std::string text = event->type() == QEvent::MouseButtonRelease ? "up" : "down";
        return text + std::to_string(static_cast<int>(event->button()));
    };
    addMouse([&](QMouseEvent *event) {
        seen += "1" + kind(event) + ";";
        return event;
    });
    addMouse([&](QMouseEvent *event) {
        seen += "2" + kind(event) + ";";
        return event;
    });
    EXPECT_TRUE(NSEventMonitoringCenter::isFilterInstalled());
    EXPECT_EQ(NSEventMonitoringCenter::monitorCount(), 2);
    EXPECT_NE(mouseIds[0], mouseIds[1]);

    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    sendMouse(&widget, QEvent::MouseButtonRelease, Qt::LeftButton);
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::RightButton);
    sendMouse(&widget, QEvent::MouseButtonRelease, Qt::RightButton); // not watched
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::MiddleButton);
    sendMouse(&widget, QEvent::MouseButtonDblClick, Qt::LeftButton);
    sendMouse(&widget, QEvent::MouseMove, Qt::NoButton); // not watched
    EXPECT_EQ(seen, "1down1;2down1;1up1;2up1;1down2;2down2;1down4;2down4;1down1;2down1;");
    EXPECT_EQ(widget.log, "press;release;press;release;press;press;"); // a double click presses again
}

TEST_F(EventMonitors, SwallowedEventReachesNeitherLaterMonitorsNorTheWidget)
{
    RecordingWidget widget;
    int later = 0;
    bool swallow = true;
    addMouse([&](QMouseEvent *event) { return swallow ? nullptr : event; });
    addMouse([&](QMouseEvent *event) {
        ++later;
        return event;
    });
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(widget.log, "");
    swallow = false;
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(later, 1);
    EXPECT_EQ(widget.log, "press;");
}

TEST_F(EventMonitors, EachInputEventIsSeenOnceAlongItsPropagation)
{
    RecordingWidget parent;
    auto *child = new RecordingWidget(&parent);
    child->acceptPresses = false; // Qt hands the press on to the parent
    int seen = 0;
    addMouse([&](QMouseEvent *event) {
        ++seen;
        return event;
    });
    sendMouse(child, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(child->log, "press;");
    EXPECT_EQ(parent.log, "press;");
    EXPECT_EQ(seen, 1);
    // The same press again is a new event.
    sendMouse(child, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(seen, 2);
}

TEST_F(EventMonitors, PlatformEventsThroughTheWindowAreSeenOnce)
{
    RecordingWidget widget;
    widget.resize(100, 100);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    int seen = 0;
    addMouse([&](QMouseEvent *event) {
        ++seen;
        return event;
    });
    QTest::mouseClick(widget.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(seen, 2); // press and release, each once
    EXPECT_EQ(widget.log, "press;release;");

    // Swallowed at the window: the widget never hears of it.
    const QString swallower = addMouse([](QMouseEvent *) -> QMouseEvent * { return nullptr; });
    widget.log.clear();
    QTest::mousePress(widget.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(widget.log, "");
    NSEventMonitoringCenter::removeMonitor(swallower);
    QTest::mouseRelease(widget.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
}

TEST_F(EventMonitors, MonitorsMayRemoveMonitorsWhileAnEventPasses)
{
    RecordingWidget widget;
    std::string seen;
    QString second;
    const QString first = addMouse([&](QMouseEvent *event) {
        seen += "1";
        NSEventMonitoringCenter::removeMonitor(second);
        addMouse([&](QMouseEvent *e) {
            seen += "N";
            return e;
        });
        return event;
    });
    second = addMouse([&](QMouseEvent *event) {
        seen += "2";
        return event;
    });
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(seen, "1"); // the removed one is skipped, the added one waits
    EXPECT_EQ(widget.log, "press;");
    NSEventMonitoringCenter::removeMonitor(first);
    seen.clear();
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(seen, "N");

    // The last monitor removing itself uninstalls the filter.
    for (const QString &id : mouseIds)
        NSEventMonitoringCenter::removeMonitor(id);
    QString self;
    self = addMouse([&](QMouseEvent *event) {
        NSEventMonitoringCenter::removeMonitor(self);
        return event;
    });
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_FALSE(NSEventMonitoringCenter::isFilterInstalled());
}

TEST_F(EventMonitors, ReplacementEventIsDeliveredInsteadOfTheOriginal)
{
    RecordingWidget widget;
    QPoint seenByLater;
    std::unique_ptr<QMouseEvent> replacement;
    addMouse([&](QMouseEvent *event) {
        replacement.reset(new QMouseEvent(event->type(), QPointF(40, 41), event->globalPosition(), event->button(),
            event->buttons(), event->modifiers()));
        return replacement.get();
    });
    addMouse([&](QMouseEvent *event) {
        seenByLater = event->position().toPoint();
        return event;
    });
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton, {3, 3});
    EXPECT_EQ(seenByLater, QPoint(40, 41));
    EXPECT_EQ(widget.lastPress, QPoint(40, 41));
    EXPECT_EQ(widget.log, "press;");
}

TEST_F(EventMonitors, ModifierMonitorsSeeModifierKeysOnly)
{
    RecordingWidget widget;
    std::string seen;
    bool swallow = false;
    addModifiers([&](QKeyEvent *event) -> QKeyEvent * {
        seen += (event->type() == QEvent::KeyPress ? "+" : "-") + std::to_string(event->key()) + ";";
        return swallow ? nullptr : event;
    });
    EXPECT_EQ(NSEventMonitoringCenter::modifiersMonitorCount(), 1);
    sendKey(&widget, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    sendKey(&widget, QEvent::KeyRelease, Qt::Key_Shift);
    sendKey(&widget, QEvent::KeyPress, Qt::Key_A);
    EXPECT_EQ(seen, "+" + std::to_string(Qt::Key_Shift) + ";-" + std::to_string(Qt::Key_Shift) + ";");
    EXPECT_EQ(widget.log, "key" + std::to_string(Qt::Key_Shift) + ";key" + std::to_string(Qt::Key_A) + ";");

    // Auto-repeats do not change the modifiers; swallowing stops the key.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(&widget, &repeat);
    swallow = true;
    widget.log.clear();
    sendKey(&widget, QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(widget.log, "");
    EXPECT_EQ(
        seen.substr(seen.size() - std::to_string(Qt::Key_Alt).size() - 2), "+" + std::to_string(Qt::Key_Alt) + ";");

    // A mouse monitor is not a modifier monitor and the other way round.
    EXPECT_EQ(NSEventMonitoringCenter::monitorCount(), 0);
    sendMouse(&widget, QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_EQ(widget.log, "press;");
}

TEST_F(EventMonitors, OptionModifierReadsAlt)
{
    QWindow window;
    window.resize(50, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyPress(&window, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_TRUE(NSEventMonitoringCenter::isOptionModifierDown());
    QTest::keyRelease(&window, Qt::Key_Alt, Qt::NoModifier);
    EXPECT_FALSE(NSEventMonitoringCenter::isOptionModifierDown());
}

TEST_F(EventMonitors, NullMonitorsAndUnknownIdentifiersAreIgnored)
{
    EXPECT_TRUE(NSEventMonitoringCenter::addMonitor(nullptr).isEmpty());
    EXPECT_TRUE(NSEventMonitoringCenter::addMonitorForModifiersChanged(nullptr).isEmpty());
    NSEventMonitoringCenter::removeMonitor(QStringLiteral("unknown"));
    NSEventMonitoringCenter::removeMonitorForModifiers(QString());
    EXPECT_FALSE(NSEventMonitoringCenter::isFilterInstalled());
}

} // namespace
