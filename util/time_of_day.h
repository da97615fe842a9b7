#pragma once
// The wall clock, behind one seam so tests can show 12:30 or 13:05 without waiting.
#include <ctime>

time_t WallClockNow();     // time(nullptr), or the fake time when set
struct tm LocalTimeNow();  // localtime of WallClockNow()

// Test seam: a fixed wall clock, restored on destruction. Advance moves it.
class FakeWallClock {
public:
    explicit FakeWallClock(time_t now);
    ~FakeWallClock();
    void Set(time_t now);
    void Advance(time_t seconds);
    FakeWallClock(const FakeWallClock&) = delete;
    FakeWallClock& operator=(const FakeWallClock&) = delete;

private:
    bool m_hadPrevious;  // a fake clock was already set (nested fakes)
    time_t m_previous;
};
