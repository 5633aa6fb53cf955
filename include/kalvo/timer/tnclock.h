// A wall-clock watcher that reports minute, hour and day changes.
//
//   struct Banner : QObject, kalvo::TNClockWatcher {
//       void minuteChanged() override { updateTimeLabel(); }
//   };
//   kalvo::TNClock::sharedClock().addWatcher(&banner);   // held weakly
//
// Watchers implement the TNClockWatcher interface. Its four methods are
// optional: each has an empty default, so a watcher overrides only the ones it
// cares about (the C++ form of optional protocol methods). Every firing calls,
// per watcher in the order they were added: ticktack() always, then
// dayChanged(), hourChanged(), minuteChanged() for the values that changed.
//
// The clock reads the scheduler's currentDateTime() every 2 s (tests drive it
// with a ManualClock). Watchers are held weakly: a shared_ptr watcher, or a
// QObject that implements the interface, is dropped once destroyed. Main
// thread only.
#pragma once

#include <kalvo/global.h>

#include <QDate>

#include <concepts>
#include <memory>
#include <type_traits>

QT_BEGIN_NAMESPACE
class QObject;
QT_END_NAMESPACE

namespace kalvo {

class KALVO_EXPORT TNClockWatcher
{
public:
    virtual ~TNClockWatcher();
    virtual void ticktack() {}
    virtual void minuteChanged() {}
    virtual void hourChanged() {}
    virtual void dayChanged() {}
};

class KALVO_EXPORT TNClock
{
public:
    static constexpr double kTickInterval = 2.0;
    static constexpr double kTickTolerance = 0.2;

    // The process-wide clock, started on first use; lives for the process.
    static TNClock &sharedClock();

    // A clock of its own, started like the shared one: it reads the current
    // day, hour and minute, starts its 2 s timer and fires once at once.
    TNClock();
    ~TNClock();

    TNClock(const TNClock &) = delete;
    TNClock &operator=(const TNClock &) = delete;

    // A watcher already added is not added again.
    void addWatcher(const std::shared_ptr<TNClockWatcher> &watcher);
    template <typename W>
        requires std::derived_from<W, QObject> && std::derived_from<W, TNClockWatcher>
    void addWatcher(W *watcher)
    {
        addObjectWatcher(static_cast<QObject *>(watcher), static_cast<TNClockWatcher *>(watcher));
    }
    void removeWatcher(const TNClockWatcher *watcher);
    // Watchers still alive.
    int watcherCount() const;

    // (Re)starts the timer on the current scheduler and fires at once.
    void startTimer();
    void stopTimer();
    bool isRunning() const;

    // The values seen by the last firing: day of the month, hour, minute.
    int day() const;
    int hour() const;
    int minute() const;

private:
    void addObjectWatcher(QObject *object, TNClockWatcher *watcher);

    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace kalvo
