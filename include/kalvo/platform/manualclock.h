// A Scheduler whose time moves only when told to, for tests of timing rules.
//
//   kalvo::ManualClock clock;          // installs itself for its lifetime
//   kalvo::asyncAfter(0.5, showTip);
//   clock.advance(0.49);               // nothing yet
//   clock.advance(0.01);               // showTip runs, now() == 0.5
//
// Time is kept in whole nanoseconds, so ten advances of 0.1 s reach a 1 s
// item exactly. async() work is due at the moment it was posted. advance()
// runs every item due by the target time in due order (first-scheduled first
// among equal times), moving now() to each item's due time while it runs, so
// items scheduled while advancing run too when they fall due in the window.
//
// Work posted from other threads waits until the test thread advances;
// runUntil() waits for such hand-offs without sleeping.
#pragma once

#include <kalvo/platform/scheduler.h>

#include <memory>

namespace kalvo {

class KALVO_EXPORT ManualClock final : public Scheduler
{
public:
    // Installs this clock as the current scheduler until destruction, when
    // the previous one comes back. Starts at now() == 0 and at the wall-clock
    // time given (default: 2026-01-05 09:00 local time).
    explicit ManualClock(QDateTime start = {});
    ~ManualClock() override;

    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    void async(std::function<void()> fn) override;
    WorkItem asyncAfter(double seconds, std::function<void()> fn) override;
    double now() const override;
    QDateTime currentDateTime() const override;

    // Moves time forward by `seconds` (negative counts as 0), running due
    // items. Returns how many ran.
    int advance(double seconds);
    // Runs what is due now without moving time.
    int runPending() { return advance(0); }
    // Moves to the due time of each pending item in turn until none is left
    // or `limitSeconds` from now is reached. Returns how many ran.
    int runAll(double limitSeconds = 3600.0);

    // Runs due work, waiting for work posted from other threads, until
    // `done` returns true (true) or `timeoutMs` of real time passed (false).
    // Time does not move.
    bool runUntil(const std::function<bool()> &done, int timeoutMs = 10000);

    // Items waiting (cancelled ones excluded).
    int pendingCount() const;
    // Seconds from now to the next pending item, or a negative value.
    double nextDueIn() const;

    void setCurrentDateTime(const QDateTime &dateTime);

private:
    struct Private;
    std::shared_ptr<Private> d;
    std::shared_ptr<Scheduler> m_previous;
    bool m_installed = false;
};

} // namespace kalvo
