#include "manager/nivo_status.h"
#include "manager_fixture.h"

namespace {

TEST_F(ManagerTest, QueueIsBoundedKeepsArrivalOrderAndARepeatWaitsOneSecond) {
    Start();
    manager->PushErrorMsg("RELOAD");
    for (int i = 0; i < 32; ++i) manager->PushErrorMsg("WAVD\nSERVICE=" + std::to_string(i));
    const auto& queue = manager->GetUdpQueue();
    ASSERT_EQ(queue.size(), NIVO_Manager::kMaxQueuedTexts);
    EXPECT_EQ(queue.front(), "RELOAD");  // a status report goes first
    EXPECT_EQ(queue[1], "WAVD\nSERVICE=1");
    EXPECT_TRUE(log.Has(4, "PushErrorMsg: Warteschlange voll, \"WAVD\" verworfen"));

    manager->PushErrorMsg("WAVD\nSERVICE=1");  // a duplicate takes the newest place
    EXPECT_EQ(queue.size(), NIVO_Manager::kMaxQueuedTexts);
    EXPECT_EQ(queue[1], "WAVD\nSERVICE=2");
    EXPECT_EQ(queue.back(), "WAVD\nSERVICE=1");

    // The reload of the base page fails at once; the reports behind it drain in the
    // same call, a second page event waits for the next.
    manager->PushErrorMsg("ALARM");
    manager->HandleUdpMessages();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front(), "ALARM");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_ON);

    // A repeat within a second waits, and the return of the mains waits behind it.
    const char* const onBattery = "POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false";
    Notify(onBattery);
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_BLINK_INV);
    manager->PushErrorMsg(onBattery);
    manager->PushErrorMsg("POWER\nU_SOURCE_FAIL=false");
    Advance(999);
    manager->HandleUdpMessages();
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_BLINK_INV);
    Advance(1);
    manager->WaitAndHandle(0);  // no timer armed: the waiting step wakes for the repeat
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_ON);
}

TEST_F(ManagerTest, BatteryGaugeFollowsLevelAndLowBattery) {
    Start();
    auto gauge = [this] {  // modes of the four battery segments, S1 to S4
        std::string modes;
        for (unsigned segment : {BATT_S1, BATT_S2, BATT_S3, BATT_S4})
            modes += std::to_string(Panel().SymbolMode(segment));
        return modes;
    };
    EXPECT_EQ(gauge(), "3333");
    const std::pair<const char*, const char*> steps[] = {
        {"BAT_LEVEL=0.4", "0333"},  {"BAT_LEVEL=0.39", "0022"}, {"BAT_LEVEL=0.7", "0333"},
        {"BAT_LEVEL=0.71", "3333"}, {"BAT_LEVEL=0.5", "0333"},  {"BAT_LEVEL=nan", "0333"},
        {"BAT_LEVEL=inf", "0333"},  {"LOWBAT=true", "0022"}};
    for (const auto& step : steps) {
        Notify(std::string("POWER\n") + step.first);
        EXPECT_EQ(gauge(), step.second) << step.first;
    }
}

TEST_F(ManagerTest, StatusReportsLightLedsAndSymbolsAndShortIndicationsEnd) {
    Start();
    constexpr bool kLed = true, kSymbol = false;
    const struct {
        const char* text;
        bool led;
        unsigned which;
        int mode;
    } steps[] = {
        {"WAVD\nSERVICE=2", kLed, LED_STATUS_B, MODE_ON},
        {"LIGHTTPD\nSERVICE=1", kLed, LED_STATUS_B, MODE_ON},
        {"WAVD\nSERVICE=0", kLed, LED_STATUS_B, MODE_ON},
        {"LIGHTTPD\nSERVICE=0", kLed, LED_STATUS_B, MODE_OFF},
        {"LIGHTTPDX\nSERVICE=1", kLed, LED_STATUS_B, MODE_OFF},
        {"KORRANIVO\nALARM=true", kLed, LED_STATUS_A, MODE_ON},
        {"KORRANIVO\nMAIL=1\nHOUSE", kSymbol, MAIL, MODE_ON},
        {"KORRANIVO\nHOUSE", kSymbol, HOUSE, MODE_OFF},
        {"POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=true", kLed, LED_POWER, MODE_ON},
        {"WAVD\nINSTALL_MODE=true\nRX=1", kSymbol, RADIO, MODE_ON},
        {"WAVD\nREQUEST=1", kSymbol, ETHERNET, MODE_ON},
        {"WAVD\nHOUSE=0", kLed, LED_STATUS_B, MODE_BLINK_INV},
    };
    for (const auto& step : steps) {
        Notify(step.text);
        const PanelPicture panel = Panel();
        EXPECT_EQ(step.led ? panel.LedMode(step.which) : panel.SymbolMode(step.which), step.mode)
            << step.text;
    }
    EXPECT_TRUE(log.Has(5, "Status-Update failed: LIGHTTPDX\nSERVICE=1"));

    Elapse(2500);  // the radio pulse ends, install mode lasts 90 s
    EXPECT_EQ(Panel().SymbolMode(RADIO), MODE_OFF);
    Elapse(87499);
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_BLINK_INV);
    Elapse(1);
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_OFF);
    // A new device lights it for 3 s, unless a service is due: then it goes dark meanwhile.
    Notify("WAVD\nNEW_DEVICE=1");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_ON);
    Notify("WAVD\nSERVICE=1");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_OFF);
    Elapse(3000);
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_ON);
}

TEST_F(ManagerTest, PageEventsReloadOrLoadPagesButSpareAFormOrSetterBeingEdited) {
    Start();
    manager->LoadNivomlPage(Url("/cur"), "");  // the page on show comes from /cur
    Serve(
        "HTTP/1.0 200 OK\r\n\r\n<nivoml><head><goto div=\"x\"/></head><body><div name=\"x\">x"
        "</div></body></nivoml>");
    const std::string form =
        "<form method=\"get\" action=\"/p.cgi\"><input type=\"text\" "
        "name=\"p\" value=\"12\"/></form>";
    const std::string setter =
        "<settime format=\"%H%M\" inccursorkey=\"1\" incdatakey=\"2\" goto=\"#D\"/>";
    const struct {
        const char* pageType;
        const char* text;
        const char* loads;  // "" when nothing is asked
        std::string body;
    } events[] = {
        {"PLAIN", "RELOAD", "/cur", ""},    {"PLAIN", "PLAIN", "/cur", ""},
        {"PLAIN", "ALARM", "/alarm", ""},   {"PLAIN", "SERVICE", "/service", ""},
        {"PLAIN", "OTHER", "", ""},         {"ALARM", "SERVICE", "/cur", ""},
        {"ALARM", "ALARM", "/cur", ""},     {"SERVICE", "SERVICE", "/cur", ""},
        {"SERVICE", "ALARM", "/alarm", ""}, {"PLAIN", "RELOAD", "", form},
        {"PLAIN", "RELOAD", "", setter},    {"PLAIN", "ALARM", "/alarm", form},
    };
    for (const auto& event : events) {
        Show("D", "<div name=\"D\">Page" + event.body + "</div>", "",
             std::string(" pagetype=\"") + event.pageType + "\" alarmpage=\"" + Url("/alarm") +
                 "\" servicepage=\"" + Url("/service") + "\"");
        Advance(1000);
        Notify(event.text);
        const std::string loads = event.loads;
        EXPECT_EQ(Pending(), loads.empty() ? ""
                                           : "GET " + loads + "?" + kTail +
                                                 (loads == "/cur" ? "&sDivname=D" : ""))
            << event.pageType << " " << event.text << event.body;
        if (loads.empty()) continue;
        Serve("HTTP/1.0 404 Not Found\r\n\r\n");
        Elapse(1000);
        Serve("HTTP/1.0 404 Not Found\r\n\r\n");  // given up after the second
    }
    // A text repeated while its first copy still waits takes the newer place: the
    // reload goes first, the alarm page after it.
    manager->LoadNivomlPage(Url("/busy"), "");
    for (const char* text : {"ALARM", "RELOAD", "ALARM"}) manager->PushErrorMsg(text);
    Advance(1000);
    Serve("HTTP/1.0 200 OK\r\n\r\n<nivoml alarmpage=\"" + Url("/alarm") +
          "\"><head><goto div=\"N\"/></head><body><div name=\"N\">N</div></body></nivoml>");
    EXPECT_EQ(Pending(), "GET /busy?" + kTail + "&sDivname=N");
}

}  // namespace
