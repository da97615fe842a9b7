#pragma once
// What page elements need from the manager: their timers, automatic submission
// and the name of the div on show. The manager implements it; tests use a fake.
#include <string>

extern const unsigned long g_cookieBase;  // first element-owned timer id (1000)

class ElementHost {
public:
    virtual ~ElementHost() = default;
    virtual void RestartTimer(long ms, unsigned long id) = 0;
    virtual void StopTimer(unsigned long id) = 0;
    virtual std::string GetCurrentDivName() = 0;
    virtual void AutoSubmit_Form(int ms) = 0;
    virtual void AutoSubmit_SetDateTime(int ms) = 0;

    // The one host of the running program; null when elements run without one
    // (page checker), in which case their calls do nothing.
    static ElementHost* s_instance;
};

// Timer id of the element with the given id.
inline unsigned long CookieTimerId(int elementId) {
    return g_cookieBase + static_cast<unsigned long>(elementId);
}
