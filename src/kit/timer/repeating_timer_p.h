// A repeating timer on the scheduler, standing in for a run-loop timer: fires
// every `interval` seconds on the main thread, at fixed times from its start
// (start + n * interval), so delays do not drift. Firings missed while the
// thread was busy are skipped, not caught up. The tolerance is recorded; the
// scheduler fires at the due time.
//
// Each firing is one delayed item on the scheduler current when it was
// scheduled; start() again re-arms it on the scheduler current now.
#pragma once

#include <kalvo/platform/scheduler.h>

#include <cmath>
#include <functional>
#include <memory>

namespace kalvo::detail {

class RepeatingTimer
{
public:
    RepeatingTimer() = default;
    ~RepeatingTimer() { stop(); }

    RepeatingTimer(const RepeatingTimer &) = delete;
    RepeatingTimer &operator=(const RepeatingTimer &) = delete;

    // `fire` runs on each firing; the timer must outlive its scheduled items
    // or be stopped first (the destructor stops it).
    void start(double interval, double tolerance, std::function<void()> fire)
    {
        stop();
        m_interval = interval;
        m_tolerance = tolerance;
        m_fire = std::move(fire);
        m_anchor = kalvo::now();
        m_index = 0;
        m_running = true;
        scheduleNext();
    }

    void stop()
    {
        m_running = false;
        m_next.cancel();
        m_next = {};
    }

    bool isRunning() const { return m_running; }
    double interval() const { return m_interval; }
    double tolerance() const { return m_tolerance; }

private:
    void scheduleNext()
    {
        const double current = kalvo::now();
        ++m_index;
        double due = m_anchor + static_cast<double>(m_index) * m_interval;
        if (due < current) {
            m_index = static_cast<unsigned long long>(std::floor((current - m_anchor) / m_interval)) + 1;
            due = m_anchor + static_cast<double>(m_index) * m_interval;
        }
        std::weak_ptr<int> alive = m_alive;
        m_next = kalvo::asyncAfter(due - current, [this, alive] {
            if (alive.expired())
                return;
            fireNow();
        });
    }

    void fireNow()
    {
        m_next = {};
        // The callback may stop, restart or destroy the timer.
        std::weak_ptr<int> alive = m_alive;
        std::function<void()> fire = m_fire;
        if (fire)
            fire();
        if (alive.expired())
            return;
        if (m_running && !m_next)
            scheduleNext();
    }

    double m_interval = 1.0;
    double m_tolerance = 0.0;
    std::function<void()> m_fire;
    double m_anchor = 0.0;
    unsigned long long m_index = 0;
    bool m_running = false;
    WorkItem m_next;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace kalvo::detail
