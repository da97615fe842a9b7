#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "util/timer.h"

namespace {

int64_t g_fakeNow = 0;
int64_t FakeNow() {
    return g_fakeNow;
}

// Records which timers fired; an optional action runs inside the callback.
class Recorder : public TimerTarget {
public:
    explicit Recorder(std::vector<unsigned long>& fired) : m_fired(fired) {}
    void OnTimer(unsigned long id) override {
        m_fired.push_back(id);
        if (m_action) m_action(id);
    }
    std::function<void(unsigned long)> m_action;

private:
    std::vector<unsigned long>& m_fired;
};

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_fakeNow = 1000000;
        TimerTarget::s_timerQueue.SetClock(&FakeNow);
    }
    void TearDown() override { TimerTarget::s_timerQueue.SetClock(nullptr); }
    void AdvanceAndRun(int64_t ms) {
        g_fakeNow += ms;
        queue.Execute();
    }

    TimerQueue& queue = TimerTarget::s_timerQueue;
    std::vector<unsigned long> fired;
};

using Ids = std::vector<unsigned long>;

}  // namespace

TEST_F(TimerTest, TimeBeforeNextDueCountsDownToOneAndIsMinusOneWhenIdle) {
    EXPECT_EQ(queue.TimeBeforeNextDue(), -1);
    Recorder target(fired);
    target.RequestTimer(300, 1);
    target.RequestTimer(800, 2);
    EXPECT_EQ(queue.TimeBeforeNextDue(), 300);
    g_fakeNow += 120;
    EXPECT_EQ(queue.TimeBeforeNextDue(), 180);
    g_fakeNow += 500;
    EXPECT_EQ(queue.TimeBeforeNextDue(), 1);
    target.KillTimer(1);
    target.KillTimer(2);
    EXPECT_EQ(queue.TimeBeforeNextDue(), -1);
}

TEST_F(TimerTest, ExecuteFiresDueTimersOnceEarliestFirst) {
    Recorder target(fired);
    target.RequestTimer(300, 1);
    target.RequestTimer(100, 2);
    target.RequestTimer(200, 3);
    target.RequestTimer(200, 4);  // same due time as 3, armed later
    target.RequestTimer(-50, 5);  // negative delay: due at once
    target.RequestTimer(1000, 6);
    AdvanceAndRun(99);
    EXPECT_EQ(fired, (Ids{5}));
    AdvanceAndRun(401);
    EXPECT_EQ(fired, (Ids{5, 2, 3, 4, 1}));
    EXPECT_TRUE(target.IsTimerArmed(6));
    EXPECT_FALSE(target.IsTimerArmed(1));
    AdvanceAndRun(0);
    EXPECT_EQ(fired.size(), 5u);
}

TEST_F(TimerTest, RearmingReplacesTheEarlierDueTime) {
    Recorder target(fired);
    target.RequestTimer(100, 7);
    target.RequestTimer(500, 7);
    AdvanceAndRun(200);
    EXPECT_TRUE(fired.empty());
    AdvanceAndRun(300);
    EXPECT_EQ(fired, (Ids{7}));
}

TEST_F(TimerTest, KillingTouchesOnlyTheNamedIdsOfOneTarget) {
    Recorder mine(fired), other(fired);
    for (unsigned long id : {1, 1000, 1005, 1010, 1011}) mine.RequestTimer(10, id);
    other.RequestTimer(10, 1005);
    mine.KillTimer(1);
    mine.KillTimersIntervall(1000, 1010);
    mine.KillTimersIntervall(5, 4);  // empty range
    AdvanceAndRun(10);
    EXPECT_EQ(fired, (Ids{1011, 1005}));
}

TEST_F(TimerTest, ElapseAllTimersNowMakesEveryTimerOfTheTargetDue) {
    Recorder mine(fired), other(fired);
    mine.RequestTimer(60000, 5);
    mine.RequestTimer(2000, 1000);
    other.RequestTimer(3000, 9);
    mine.ElapseAllTimersNOW();
    EXPECT_EQ(queue.TimeBeforeNextDue(), 1);
    AdvanceAndRun(0);
    EXPECT_EQ(fired, (Ids{5, 1000}));
    EXPECT_TRUE(other.IsTimerArmed(9));
}

TEST_F(TimerTest, CallbacksMayRearmKillAndDestroyTargets) {
    Recorder first(fired), second(fired);
    auto doomed = std::make_unique<Recorder>(fired);
    first.m_action = [&](unsigned long id) {
        if (id != 1) return;
        first.RequestTimer(0, 1);  // re-arms itself: next pass, not this one
        second.KillTimer(2);
        doomed.reset();
    };
    first.RequestTimer(10, 1);
    second.RequestTimer(20, 2);
    second.RequestTimer(30, 3);
    doomed->RequestTimer(20, 4);
    AdvanceAndRun(50);
    EXPECT_EQ(fired, (Ids{1, 3}));
    first.m_action = nullptr;
    AdvanceAndRun(0);
    EXPECT_EQ(fired, (Ids{1, 3, 1}));
}

TEST_F(TimerTest, DestroyedTargetLeavesNoTimerBehind) {
    {
        Recorder target(fired);
        target.RequestTimer(100, 1);
        target.RequestTimer(200, 0x7fffffff);
    }
    EXPECT_EQ(queue.TimeBeforeNextDue(), -1);
    AdvanceAndRun(1000);
    EXPECT_TRUE(fired.empty());
}
