#pragma once
// One-shot timers on the monotonic clock: a TimerTarget owns ids, the single
// TimerQueue fires them from the main loop. Setting the wall clock never moves them.
#include <cstdint>
#include <map>
#include <utility>

class TimerQueue;

class TimerTarget {
public:
    TimerTarget() = default;
    virtual ~TimerTarget();  // disarms every timer of this object

    // Called by the queue when timer id is due.
    virtual void OnTimer(unsigned long id) = 0;

    void RequestTimer(long ms, unsigned long id);  // arms (re-arms) id, due after ms
    void KillTimer(unsigned long id);
    void KillTimersIntervall(unsigned long first, unsigned long last);
    void ElapseAllTimersNOW();
    bool IsTimerArmed(unsigned long id) const;

    static TimerQueue s_timerQueue;

    TimerTarget(const TimerTarget&) = delete;
    TimerTarget& operator=(const TimerTarget&) = delete;
};

class TimerQueue {
public:
    using ClockFunction = int64_t (*)();  // milliseconds on a monotonic scale

    // Fires every due timer, earliest first; a callback may arm or kill timers.
    void Execute();
    // Milliseconds until the next timer is due (1 when overdue); -1 when none is armed.
    int TimeBeforeNextDue() const;

    // Test seam: replaces the monotonic clock (nullptr restores it).
    void SetClock(ClockFunction clock) { m_clock = clock; }
    int64_t NowMs() const;

private:
    friend class TimerTarget;
    struct Key {
        TimerTarget* target;
        unsigned long id;
        bool operator<(const Key& o) const {
            return target != o.target ? std::less<TimerTarget*>()(target, o.target) : id < o.id;
        }
    };
    struct Entry {
        int64_t due;
        uint64_t order;  // arming order breaks ties between equal due times
    };
    std::map<Key, Entry> m_timers;
    uint64_t m_armCount = 0;
    ClockFunction m_clock = nullptr;
};
