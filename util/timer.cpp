#include "util/timer.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <tuple>
#include <vector>

TimerQueue TimerTarget::s_timerQueue;

TimerTarget::~TimerTarget() {
    KillTimersIntervall(0, ULONG_MAX);
}

void TimerTarget::RequestTimer(long ms, unsigned long id) {
    TimerQueue& queue = s_timerQueue;
    int64_t delay = std::clamp<int64_t>(ms, 0, INT64_MAX / 4);  // no overflow on adding now
    int64_t due = queue.NowMs() + delay;
    queue.m_timers[{this, id}] = {due, queue.m_armCount++};
}

void TimerTarget::KillTimer(unsigned long id) {
    s_timerQueue.m_timers.erase({this, id});
}

void TimerTarget::KillTimersIntervall(unsigned long first, unsigned long last) {
    if (first > last) return;
    auto& timers = s_timerQueue.m_timers;
    timers.erase(timers.lower_bound({this, first}), timers.upper_bound({this, last}));
}

void TimerTarget::ElapseAllTimersNOW() {
    auto& timers = s_timerQueue.m_timers;
    int64_t now = s_timerQueue.NowMs();
    for (auto it = timers.lower_bound({this, 0}); it != timers.end() && it->first.target == this;
         ++it) {
        it->second.due = std::min(it->second.due, now);
    }
}

bool TimerTarget::IsTimerArmed(unsigned long id) const {
    return s_timerQueue.m_timers.count({const_cast<TimerTarget*>(this), id}) != 0;
}

int64_t TimerQueue::NowMs() const {
    if (m_clock != nullptr) return m_clock();
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void TimerQueue::Execute() {
    // Take the due timers first: callbacks may arm, kill or destroy anything. A timer
    // is fired only if it is still armed by the same arming; ones armed meanwhile wait
    // for the next call, so a callback re-arming itself with 0 ms cannot loop here.
    int64_t now = NowMs();
    std::vector<std::tuple<int64_t, uint64_t, Key>> due;
    for (const auto& [key, entry] : m_timers) {
        if (entry.due <= now) due.emplace_back(entry.due, entry.order, key);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    for (const auto& [dueMs, order, key] : due) {
        auto it = m_timers.find(key);
        if (it == m_timers.end() || it->second.order != order) continue;
        m_timers.erase(it);
        key.target->OnTimer(key.id);
    }
}

int TimerQueue::TimeBeforeNextDue() const {
    if (m_timers.empty()) return -1;
    int64_t next = INT64_MAX;
    for (const auto& entry : m_timers) next = std::min(next, entry.second.due);
    int64_t left = next - NowMs();
    // An overdue timer asks for the shortest wait: 0 would read as "no timer" to the loop.
    if (left <= 0) return 1;
    return static_cast<int>(std::min<int64_t>(left, INT_MAX));
}
