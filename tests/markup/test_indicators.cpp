#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "page_fixture.h"
#include "util/utilities.h"

namespace {

using IndicatorTest = PageTest;

TEST_F(IndicatorTest, CounterCountsDownOncePerSecondRightAlignedAndStopsAtItsEnd) {
    ASSERT_TRUE(Load(Screen("T<counter from=\"10\" to=\"0\"/>s")));
    const auto& counter = *static_cast<NIVOML_DIV&>(*Root().GetBody()->Children()[0]).Children()[1];
    const unsigned long id = CookieTimerId(counter.GetId());
    EXPECT_EQ(Show().Line(0), "T10s       ");
    EXPECT_EQ(host.armed[id], 1000);
    for (int second = 9; second >= 0; --second) {
        Advance(1);
        host.armed.clear();
        std::string expected =
            second == 0 ? "T 0s       " : "T " + std::to_string(second) + "s       ";
        EXPECT_EQ(Show().Line(0), expected);
        EXPECT_EQ(host.armed.count(id), second == 0 ? 0u : 1u) << second;
    }
    Advance(5);
    EXPECT_EQ(Show().Line(0), "T10s       ");  // a new draw starts a new run
}

TEST_F(IndicatorTest, CounterStepsAreClampedAtTheEndAndALateTimerDoesNotSlowIt) {
    ASSERT_TRUE(Load(Screen("<counter from=\"0\" to=\"100\" step=\"30\"/>")));
    EXPECT_EQ(Show().Line(0), "  0        ");
    std::vector<std::string> shown;
    for (int i = 0; i < 4; ++i) {
        Advance(1);
        shown.push_back(Show().Line(0).substr(0, 3));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{" 30", " 60", " 90", "100"}));

    ASSERT_TRUE(Load(Screen("<counter from=\"5\" to=\"20\" step=\"-2\"/>")));
    EXPECT_EQ(Show().Line(0).substr(0, 2), " 5");
    Advance(3);
    EXPECT_EQ(Show().Line(0).substr(0, 2), "20");  // step against the direction ends at once

    ASSERT_TRUE(Load(Screen("<counter from=\"0\" to=\"2147483647\" step=\"2147483647\"/>")));
    Show();
    Advance(100000);
    EXPECT_EQ(Show().Line(0).substr(0, 10), "2147483647");
}

TEST_F(IndicatorTest, CounterFromEqualToIsDropped) {
    EXPECT_TRUE(Load(Screen("x<counter from=\"3\" to=\"3\"/>y")));
    EXPECT_TRUE(log.Has(Logger::Error, "from == to"));
    EXPECT_EQ(Show().Line(0), "xy         ");
}

TEST_F(IndicatorTest, LedsSwitchNamedLedsInTheirModeButNeverTheBacklight) {
    display->SetLed(LED_DISPLAY, MODE_OFF);
    ASSERT_TRUE(
        Load(Screen("x<leds s=\"LED_POWER|LED_STATUS_A|LED_DISPLAY\"/>"
                    "<blink><leds s=\"LED_STATUS_B\"/></blink>")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.LedMode(LED_POWER), MODE_ON);
    EXPECT_EQ(panel.LedMode(LED_STATUS_A), MODE_ON);
    EXPECT_EQ(panel.LedMode(LED_STATUS_B), MODE_BLINK);
    EXPECT_EQ(panel.LedMode(LED_DISPLAY), MODE_OFF);

    ASSERT_TRUE(Load(Screen("x<leds s=\"LED_DISPLAY\"/><leds/>")));
    EXPECT_TRUE(log.Has(Logger::Error, "InitFromNivoml fehlgeschlagen!"));
    display->SetLed(LED_DISPLAY, MODE_ON);
    EXPECT_EQ(Show().LedMode(LED_DISPLAY), MODE_ON);
}

TEST_F(IndicatorTest, FixedTextAcceptsOnlyTheDevicesTwentyTexts) {
    // A shown fixed text blanks the text row; a dropped one leaves the page's text.
    for (const char* bad : {"20", "-1"}) {
        ASSERT_TRUE(Load(Screen(std::string("x<fixedtext textnr=\"") + bad + "\"/>")));
        EXPECT_EQ(Show().Line(0), "x          ") << bad;
    }
    ASSERT_FALSE(Load(Screen("<fixedtext/>")));
    ASSERT_TRUE(Load(Screen("x<fixedtext textnr=\"19\"/>")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.fixedText, 19);
    EXPECT_EQ(panel.Text(), std::string(22, ' '));
    ASSERT_TRUE(Load(Screen("x<fixedtext textnr=\"0\"/>")));
    panel = Show();
    EXPECT_EQ(panel.fixedText, 0);
    EXPECT_EQ(panel.Text(), std::string(22, ' '));
}

}  // namespace
