#include "util/time_of_day.h"

namespace {

bool g_fakeActive = false;
time_t g_fakeNow = 0;

}  // namespace

time_t WallClockNow() {
    return g_fakeActive ? g_fakeNow : time(nullptr);
}

struct tm LocalTimeNow() {
    time_t now = WallClockNow();
    struct tm local {};
    localtime_r(&now, &local);
    return local;
}

FakeWallClock::FakeWallClock(time_t now) : m_hadPrevious(g_fakeActive), m_previous(g_fakeNow) {
    Set(now);
}

FakeWallClock::~FakeWallClock() {
    g_fakeActive = m_hadPrevious;
    g_fakeNow = m_previous;
}

void FakeWallClock::Set(time_t now) {
    g_fakeActive = true;
    g_fakeNow = now;
}

void FakeWallClock::Advance(time_t seconds) {
    g_fakeNow += seconds;
}
