#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "util/timer.h"

namespace {

using Ids = std::vector<unsigned long>;
int64_t g_now = 0;

// Records which timers fired; the action runs inside the callback.
struct Recorder : TimerTarget {
    explicit Recorder(Ids& fired) : fired(fired) {}
    void OnTimer(unsigned long id) override {
        fired.push_back(id);
        if (action) action(id);
    }
    Ids& fired;
    std::function<void(unsigned long)> action;
};

// The queue on a clock that only AdvanceAndRun moves.
class TimerTest : public ::testing::Test {
protected:
    static int64_t Now() { return g_now; }
    TimerTest() { queue.SetClock(&Now); }
    ~TimerTest() override { queue.SetClock(nullptr); }
    void AdvanceAndRun(int64_t ms) {
        g_now += ms;
        queue.Execute();
    }
    TimerQueue& queue = TimerTarget::s_timerQueue;
    Ids fired;
};

}  // namespace

TEST(TimerQueue, RealClockCountsMonotonicMilliseconds) {
    timespec before{}, after{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    int64_t now = TimerTarget::s_timerQueue.NowMs();
    clock_gettime(CLOCK_MONOTONIC, &after);
    EXPECT_LE(before.tv_sec * 1000 + before.tv_nsec / 1000000, now);
    EXPECT_LE(now, after.tv_sec * 1000 + after.tv_nsec / 1000000);
}

TEST_F(TimerTest, DueTimersFireOnceEarliestFirstAndOnlyNamedIdsAreKilled) {
    Recorder mine(fired), other(fired);
    const std::pair<long, unsigned long> kArmed[] = {{300, 1}, {100, 2}, {200, 3}, {200, 4},
                                                     {-50, 5}, {100, 6}, {1000, 6}};
    for (auto [ms, id] : kArmed) mine.RequestTimer(ms, id);  // 4 after 3; 6 re-armed
    for (unsigned long id : {1000, 1005, 1010, 1011}) mine.RequestTimer(100, id);
    other.RequestTimer(100, 1005);
    mine.KillTimersIntervall(1000, 1010);
    mine.KillTimersIntervall(5, 4);  // empty range
    AdvanceAndRun(80);
    EXPECT_EQ(fired, (Ids{5}));
    EXPECT_EQ(queue.TimeBeforeNextDue(), 20);
    g_now += 20;
    EXPECT_EQ(queue.TimeBeforeNextDue(), 1);  // due this very millisecond: not "no timer"
    AdvanceAndRun(400);
    EXPECT_EQ(fired, (Ids{5, 2, 1011, 1005, 3, 4, 1}));
    g_now += 600;
    EXPECT_EQ(queue.TimeBeforeNextDue(), 1);  // overdue
    mine.KillTimer(6);
    EXPECT_EQ(queue.TimeBeforeNextDue(), -1);
    mine.RequestTimer(60000, 7);
    other.RequestTimer(3000, 9);
    mine.ElapseAllTimersNOW();
    AdvanceAndRun(0);
    EXPECT_EQ(fired.back(), 7u);
    EXPECT_TRUE(other.IsTimerArmed(9));
}

TEST_F(TimerTest, CallbacksMayRearmKillAndDestroyTargets) {
    Recorder first(fired), second(fired);
    auto doomed = std::make_unique<Recorder>(fired);
    first.action = [&](unsigned long id) {
        if (id != 1) return;
        first.RequestTimer(0, 1);  // re-arms itself: next pass, not this one
        second.KillTimer(2);
        second.RequestTimer(1000, 3);
        doomed.reset();
    };
    first.RequestTimer(10, 1);
    second.RequestTimer(20, 2);
    second.RequestTimer(30, 3);
    doomed->RequestTimer(20, 4);
    Recorder(fired).RequestTimer(10, 0);  // a destroyed target leaves no timer behind
    AdvanceAndRun(50);
    EXPECT_EQ(fired, (Ids{1}));
    AdvanceAndRun(0);
    EXPECT_EQ(fired, (Ids{1, 1}));
}
