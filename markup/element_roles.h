#pragma once
// Small roles that some element classes take on, so containers can treat
// links, forms, setters and counters alike where the page structure does.
#include <array>
#include <string>

// The page key table: one command and one minimum hold time per key code 0..7.
struct KeyTable {
    static constexpr int kKeys = 8;
    static bool IsKey(int key) { return key >= 0 && key < kKeys; }

    std::array<std::string, kKeys> targets;
    std::array<double, kKeys> durations{};
};

// Binds keys of the page key table (links, forms, date/time setters).
class KeyBinder {
public:
    virtual ~KeyBinder() = default;
    virtual void AddToKeyTable(KeyTable& table) = 0;
};

// Owns an element timer with id g_cookieBase + element id.
class TimerOwner {
public:
    virtual ~TimerOwner() = default;
    virtual void StartTimer() {}
    virtual void StopTimer() {}
    // True when id is this element's timer; then target and key say what to do.
    virtual bool OnTimer(unsigned long id, std::string& target, int& key) = 0;
};

// Occupies display cells from a position that creation assigns (counters, form controls).
class PlacedElement {
public:
    virtual ~PlacedElement() = default;
    virtual void SetPosition(int position) = 0;
    virtual int GetWidth() const = 0;
};
