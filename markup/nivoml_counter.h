#pragma once
// A number running once per second from `from` to `to`; redraws its div through
// its own element timer until it reaches the end.
#include <cstdint>

#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_COUNTER : public NIVOML_BASEOBJ, public PlacedElement, public TimerOwner {
public:
    static bool IsTag(const char* tag);
    NIVOML_COUNTER();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

    void SetPosition(int position) override { m_position = position; }
    int GetWidth() const override { return m_width; }
    void StartTimer() override;
    void StopTimer() override;
    bool OnTimer(unsigned long id, std::string& target, int& key) override;

private:
    int m_position = 0;
    int m_from = 0;
    int m_to = 0;
    int m_step = 1;
    int m_current = 0;
    int m_width = 1;
    int64_t m_startMs = 0;  // on the timer queue's monotonic clock: a clock set moves no counter
    bool m_restartPending = true;
};
