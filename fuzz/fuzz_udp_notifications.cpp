// Notification datagrams through the manager's queue with a page on show.
// Input: one byte chooses the page (its type and whether a form or a setter is
// on show), the rest are datagram texts separated by 0xFF (queue only) or 0xFE
// (queue, then handle at once). After the texts, the queue is handled pass by
// pass, a little over a second apart, until it must be empty. Every link leads
// to port 1 of 127.0.0.1, refused at once.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/manager_world.h"
#include "manager/nivo_status.h"
#include "net/udp_channel.h"
#include "util/timer.h"

namespace {

// The timer queue's clock: each run starts two seconds after the last one, so an
// earlier run's texts never count as just handled.
int64_t g_nowMs = 1000000;
int64_t FakeNow() {
    return g_nowMs;
}

constexpr int64_t kPassGapMs = 1100;  // past the wait for an identical text

std::string Page(unsigned choice) {
    static const char* const kTypes[] = {"MENU", "ALARM", "SERVICE", "BASEPAGE"};
    static const char* const kShown[] = {"plain", "form", "clock", "plain"};
    const std::string base = fuzz_world::kRefusedBase;
    std::string page = std::string("<nivoml pagetype=\"") + kTypes[choice & 3] + "\" alarmpage=\"" +
                       base + "alarm.cgi\" servicepage=\"" + base +
                       "service.cgi\"><head><date symbols=\"\" format=\"%d%m%y\"/>"
                       "<time symbols=\"\" format=\"%H%M\"/><goto div=\"" +
                       kShown[(choice >> 2) & 3] +
                       "\"/></head><body><div name=\"plain\">Status<br/>ok</div>";
    if (((choice >> 2) & 3) != 3) {
        page += "<div name=\"form\">PIN:<form method=\"get\" action=\"" + base +
                "pin.cgi\"><input type=\"text\" name=\"pin\" value=\"00\" mask=\"1,1\"/>"
                "<input type=\"submit\" key=\"4\"/></form></div>"
                "<div name=\"clock\">Zeit<settime format=\"%H%M\" inccursorkey=\"1\" "
                "incdatakey=\"2\" goto=\"#plain\"/></div>";
    }
    return page + "</body></nivoml>";
}

void Check(NIVO_Manager& manager) {
    const auto& queue = manager.GetUdpQueue();
    if (queue.size() > NIVO_Manager::kMaxQueuedTexts) __builtin_trap();
    for (auto text = queue.begin(); text != queue.end(); ++text) {
        if (text->empty() || std::find(text + 1, queue.end(), *text) != queue.end()) {
            __builtin_trap();
        }
    }
    if (!std::isfinite(manager.GetStatus().batLevel)) __builtin_trap();
}

// What the UDP channel hands over: up to the first NUL, at most one datagram's length.
void Deliver(NIVO_Manager& manager, const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    size = std::min(strnlen(text, size), static_cast<size_t>(UDP_CHANNEL::kMaxDatagram));
    manager.PushErrorMsg(std::string(text, size));
    Check(manager);
}

void Pass(NIVO_Manager& manager, int64_t gapMs) {
    g_nowMs += gapMs;
    TimerTarget::s_timerQueue.Execute();
    manager.HandleUdpMessages();
    Check(manager);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool clockSet = (TimerTarget::s_timerQueue.SetClock(FakeNow), true);
    (void)clockSet;
    NIVO_Manager& manager = fuzz_world::Manager();
    if (size == 0) return 0;

    g_nowMs += 2000;
    TimerTarget::s_timerQueue.Execute();
    if (!manager.ShowGeneratedPage(Page(data[0]))) __builtin_trap();

    size_t start = 1;
    for (size_t i = 1; i <= size; ++i) {
        if (i < size && data[i] != 0xFF && data[i] != 0xFE) continue;
        Deliver(manager, data + start, i - start);
        if (i < size && data[i] == 0xFE) Pass(manager, 0);
        start = i + 1;
    }
    // One page event per pass, and nothing in flight: the queue has to drain.
    for (size_t pass = 0; pass <= NIVO_Manager::kMaxQueuedTexts; ++pass) {
        Pass(manager, kPassGapMs);
    }
    if (!manager.GetUdpQueue().empty()) __builtin_trap();
    return 0;
}
