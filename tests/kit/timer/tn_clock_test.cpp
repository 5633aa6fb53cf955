#include <kalvo/platform/manualclock.h>
#include <kalvo/timer/tnclock.h>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QObject>

#include <memory>
#include <vector>

using namespace kalvo;

namespace {

struct Recorder : TNClockWatcher
{
    std::vector<std::string> events;
    int ticks = 0;
    int minutes = 0;
    int hours = 0;
    int days = 0;
    void ticktack() override { ++ticks; }
    void minuteChanged() override
    {
        ++minutes;
        events.push_back("minute " + currentDateTime().toString(QStringLiteral("HH:mm:ss")).toStdString());
    }
    void hourChanged() override
    {
        ++hours;
        events.push_back("hour");
    }
    void dayChanged() override
    {
        ++days;
        events.push_back("day");
    }
};

// Implements only one of the optional methods.
struct ObjectWatcher : QObject, TNClockWatcher
{
    int ticks = 0;
    void ticktack() override { ++ticks; }
};

QDateTime at(int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 1, day), QTime(hour, minute, second));
}

TEST(TNClock, RollsOverAtMidnightWithDayHourAndMinuteInOneFiring)
{
    ManualClock clock(at(5, 23, 58, 57));
    TNClock wallClock;
    EXPECT_EQ(wallClock.day(), 5);
    EXPECT_EQ(wallClock.hour(), 23);
    EXPECT_EQ(wallClock.minute(), 58);
    auto watcher = std::make_shared<Recorder>();
    wallClock.addWatcher(watcher);

    clock.advance(2.0); // 23:58:59
    EXPECT_TRUE(watcher->events.empty());
    EXPECT_EQ(watcher->ticks, 1);
    clock.advance(2.0); // 23:59:01
    clock.advance(60.0); // 00:00:01 on the 6th
    EXPECT_EQ(watcher->events,
              (std::vector<std::string>{"minute 23:59:01", "day", "hour", "minute 00:00:01"}));
    EXPECT_EQ(wallClock.day(), 6);
    EXPECT_EQ(wallClock.hour(), 0);
    EXPECT_EQ(wallClock.minute(), 0);
    EXPECT_EQ(watcher->ticks, 2 + 30);
}

TEST(TNClock, ReportsEachHourChangeOnce)
{
    ManualClock clock(at(5, 9, 59, 0));
    TNClock wallClock;
    auto watcher = std::make_shared<Recorder>();
    wallClock.addWatcher(watcher);
    clock.advance(3 * 3600.0);
    EXPECT_EQ(watcher->hours, 3);
    EXPECT_EQ(watcher->minutes, 180);
    EXPECT_EQ(watcher->days, 0);
    EXPECT_EQ(watcher->ticks, 3 * 1800);
}

TEST(TNClock, ADateJumpToTheSameDayOfAnotherMonthIsADayChange)
{
    ManualClock clock(at(5, 10, 0, 0));
    TNClock wallClock;
    auto watcher = std::make_shared<Recorder>();
    wallClock.addWatcher(watcher);
    clock.setCurrentDateTime(QDateTime(QDate(2026, 2, 5), QTime(10, 0, 1)));
    clock.advance(2.0);
    EXPECT_EQ(watcher->days, 1);
    EXPECT_EQ(watcher->hours, 0);
}

TEST(TNClock, HoldsWatchersWeaklyAndOnlyOnce)
{
    ManualClock clock(at(5, 10, 0, 0));
    TNClock wallClock;
    auto shared = std::make_shared<Recorder>();
    auto *object = new ObjectWatcher;
    wallClock.addWatcher(shared);
    wallClock.addWatcher(shared);
    wallClock.addWatcher(object);
    wallClock.addWatcher(object);
    EXPECT_EQ(wallClock.watcherCount(), 2);
    clock.advance(2.0);
    EXPECT_EQ(shared->ticks, 1);
    EXPECT_EQ(object->ticks, 1);

    std::weak_ptr<Recorder> weak = shared;
    shared.reset();
    EXPECT_TRUE(weak.expired()); // the clock did not keep it
    delete object;
    EXPECT_EQ(wallClock.watcherCount(), 0);
    clock.advance(2.0); // nothing to call, nothing crashes
}

TEST(TNClock, WatchersRemovedDuringAFiringAreNotCalledAgain)
{
    ManualClock clock(at(5, 10, 0, 59));
    TNClock wallClock;
    auto second = std::make_shared<Recorder>();
    struct Remover : TNClockWatcher
    {
        TNClock *clock = nullptr;
        TNClockWatcher *victim = nullptr;
        void ticktack() override { clock->removeWatcher(victim); }
    };
    auto remover = std::make_shared<Remover>();
    remover->clock = &wallClock;
    remover->victim = second.get();
    wallClock.addWatcher(remover);
    wallClock.addWatcher(second);
    clock.advance(2.0);
    EXPECT_EQ(second->ticks, 0);
    EXPECT_EQ(wallClock.watcherCount(), 1);
}

TEST(TNClock, StopsAndRestartsWithAnImmediateFiring)
{
    ManualClock clock(at(5, 10, 0, 0));
    TNClock wallClock;
    auto watcher = std::make_shared<Recorder>();
    wallClock.addWatcher(watcher);
    wallClock.stopTimer();
    EXPECT_FALSE(wallClock.isRunning());
    EXPECT_EQ(clock.pendingCount(), 0);
    clock.advance(120.0);
    EXPECT_EQ(watcher->ticks, 0);
    wallClock.startTimer();
    EXPECT_EQ(watcher->ticks, 1);
    EXPECT_EQ(watcher->minutes, 1); // 10:00 -> 10:02 seen by the immediate firing
    EXPECT_TRUE(wallClock.isRunning());
    EXPECT_EQ(&TNClock::sharedClock(), &TNClock::sharedClock());
}

} // namespace
