#include "manager/nivo_status.h"
#include "manager_fixture.h"
#include "util/utilities.h"

namespace {

const char* const kOnBattery = "POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false";
const char* const kOnMains = "POWER\nU_SOURCE_FAIL=false";

// Modes of the four battery segments, S1 to S4.
std::string Gauge(const PanelPicture& panel) {
    std::string modes;
    for (unsigned segment : {BATT_S1, BATT_S2, BATT_S3, BATT_S4}) {
        modes += std::to_string(panel.SymbolMode(segment));
    }
    return modes;
}

TEST_F(ManagerTest, QueueIsBoundedDropsStatusReportsFirstAndMovesDuplicatesToTheEnd) {
    Start();
    manager->PushErrorMsg("RELOAD");
    for (int i = 0; i < 32; ++i) manager->PushErrorMsg("WAVD\nSERVICE=" + std::to_string(i));
    const auto& queue = manager->GetUdpQueue();
    ASSERT_EQ(queue.size(), NIVO_Manager::kMaxQueuedTexts);
    EXPECT_EQ(queue.front(), "RELOAD");
    EXPECT_EQ(queue[1], "WAVD\nSERVICE=1");
    EXPECT_TRUE(log.Has(4, "PushErrorMsg: Warteschlange voll, \"WAVD\" verworfen"));

    manager->PushErrorMsg("WAVD\nSERVICE=1");
    EXPECT_EQ(queue.size(), NIVO_Manager::kMaxQueuedTexts);
    EXPECT_EQ(queue[1], "WAVD\nSERVICE=2");
    EXPECT_EQ(queue.back(), "WAVD\nSERVICE=1");
    EXPECT_TRUE(log.Has(1, "PushErrorMsg: Schon drin"));

    // The reload of the base page fails at once; the reports behind it drain in the
    // same call, a second page event waits for the next.
    manager->PushErrorMsg("ALARM");
    manager->HandleUdpMessages();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front(), "ALARM");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_B), MODE_ON);
}

TEST_F(ManagerTest, ReportsTakeEffectInArrivalOrderAndARepeatWaitsOneSecond) {
    Start();
    Notify(kOnBattery);
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_BLINK_INV);

    // The repeat waits, and the return of the mains waits behind it.
    manager->PushErrorMsg(kOnBattery);
    manager->PushErrorMsg(kOnMains);
    Advance(999);
    manager->HandleUdpMessages();
    EXPECT_EQ(manager->GetUdpQueue().size(), 2u);
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_BLINK_INV);

    Advance(1);
    manager->HandleUdpMessages();
    EXPECT_TRUE(manager->GetUdpQueue().empty());
    EXPECT_EQ(Panel().LedMode(LED_POWER), MODE_ON);
}

TEST_F(ManagerTest, BatteryGaugeFollowsLevelAndLowBattery) {
    Start();
    EXPECT_EQ(Gauge(Panel()), "3333");
    const std::pair<const char*, const char*> steps[] = {
        {"BAT_LEVEL=0.4", "0333"},  {"BAT_LEVEL=0.39", "0022"}, {"BAT_LEVEL=0.7", "0333"},
        {"BAT_LEVEL=0.71", "3333"}, {"BAT_LEVEL=0.5", "0333"},  {"BAT_LEVEL=nan", "0333"},
        {"BAT_LEVEL=inf", "0333"},  {"LOWBAT=true", "0022"}};
    for (const auto& step : steps) {
        Notify(std::string("POWER\n") + step.first);
        EXPECT_EQ(Gauge(Panel()), step.second) << step.first;
    }
}

TEST_F(ManagerTest, StatusReportsLightLedsAndSymbols) {
    Start();
    const std::pair<const char*, int> steps[] = {{"WAVD\nSERVICE=2", MODE_ON},
                                                 {"LIGHTTPD\nSERVICE=1", MODE_ON},
                                                 {"WAVD\nSERVICE=0", MODE_ON},
                                                 {"LIGHTTPD\nSERVICE=0", MODE_OFF},
                                                 {"LIGHTTPDX\nSERVICE=1", MODE_OFF}};
    for (const auto& step : steps) {
        Notify(step.first);
        EXPECT_EQ(Panel().LedMode(LED_STATUS_B), step.second) << step.first;
    }
    EXPECT_TRUE(log.Has(5, "Status-Update failed: LIGHTTPDX\nSERVICE=1"));

    Notify("KORRANIVO\nALARM=true\nMAIL=1\nHOUSE");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_A), MODE_ON);
    EXPECT_EQ(Panel().SymbolMode(MAIL), MODE_ON);
    EXPECT_EQ(Panel().SymbolMode(HOUSE), MODE_OFF);
}

TEST_F(ManagerTest, ReloadSparesAFormBeingEditedButTheAlarmPageAlwaysLoads) {
    Start();
    uint16_t port = 0;
    FileDescriptor server = BindLoopback(SOCK_STREAM, port);
    const std::string head = "<nivoml alarmpage=\"http://127.0.0.1:" + std::to_string(port) +
                             "/alarm\"><head><goto div=\"D\"/></head><body><div name=\"D\">";
    ASSERT_TRUE(manager->ShowGeneratedPage(head + "Plain</div></body></nivoml>"));
    Notify("RELOAD");
    EXPECT_EQ(Panel().Line(0), "Retry...   ");  // the reload was tried

    const std::string form =
        "Pin<form method=\"get\" action=\"/p.cgi\"><input type=\"text\" name=\"p\" value=\"12\"/>";
    ASSERT_TRUE(manager->ShowGeneratedPage(head + form + "</form></div></body></nivoml>"));
    manager->GetDisplay().Flush(NIVO_Display::FLUSH_ALL);
    Advance(1000);
    Notify("RELOAD");
    EXPECT_EQ(Panel().Line(0), "Pin12      ");
    EXPECT_TRUE(log.Has(1, "HandleUdpMessages: Eingabe auf der Seite, RELOAD nicht neu geladen"));
    EXPECT_EQ(manager->GetPendingRequest(), "");

    Notify("ALARM");
    EXPECT_EQ(manager->GetPendingRequest().rfind("GET /alarm?", 0), 0u);
}

}  // namespace
