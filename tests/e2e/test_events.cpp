// Notifications, signals, command line and a failing web server.
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "panel/nivo_display.h"
#include "tests/e2e/e2e_fixture.h"
#include "util/utilities.h"

namespace {

constexpr auto npos = std::string::npos;

}  // namespace

TEST_F(E2E, StatusReportsShowOnLedsAndSymbols) {
    WriteConfig("BACKLIGHT=-1\n");
    HomeSite();
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    auto Shows = [&](const std::string& what, std::function<bool(const PanelPicture&)> test) {
        return WaitFor([&] { return test(Panel()); }, what);
    };
    EXPECT_TRUE(Shows("full battery, mains", [](const PanelPicture& p) {
        return p.SymbolMode(BATT_S1) == MODE_ON && p.LedMode(LED_POWER) == MODE_ON;
    }));

    SendUdp("POWER\nBAT_LEVEL=0.5");
    EXPECT_TRUE(Shows("half battery", [](const PanelPicture& p) {
        return p.SymbolMode(BATT_S1) == MODE_OFF && p.SymbolMode(BATT_S2) == MODE_ON;
    }));
    SendUdp("POWER\nBAT_LEVEL=0.2");
    EXPECT_TRUE(Shows("empty battery blinking", [](const PanelPicture& p) {
        return p.SymbolMode(BATT_S2) == MODE_OFF && p.SymbolMode(BATT_S3) == MODE_BLINK;
    }));

    SendUdp("WAVD\nALARM=true\nHOUSE=true\nMAIL=true\nSERVICE=2\nRX=1");
    EXPECT_TRUE(Shows("alarm, service, house, mail, radio", [](const PanelPicture& p) {
        return p.LedMode(LED_STATUS_A) == MODE_ON && p.LedMode(LED_STATUS_B) == MODE_ON &&
               p.SymbolMode(HOUSE) == MODE_ON && p.SymbolMode(MAIL) == MODE_ON &&
               p.SymbolMode(RADIO) == MODE_ON;
    }));
    EXPECT_TRUE(Shows("radio pulse ended",
                      [](const PanelPicture& p) { return p.SymbolMode(RADIO) == MODE_OFF; }));
    SendUdp("WAVD\nALARM=false\nSERVICE=0");
    EXPECT_TRUE(Shows("alarm and service off", [](const PanelPicture& p) {
        return p.LedMode(LED_STATUS_A) == MODE_OFF && p.LedMode(LED_STATUS_B) == MODE_OFF;
    }));

    // On battery the power LED blinks and the backlight goes out after 2 s even when
    // set to stay on; back on mains both come back.
    SendUdp("POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false");
    EXPECT_TRUE(Shows("power LED blinking", [](const PanelPicture& p) {
        return p.LedMode(LED_POWER) == MODE_BLINK_INV;
    }));
    EXPECT_TRUE(Shows("backlight off",
                      [](const PanelPicture& p) { return p.LedMode(LED_DISPLAY) == MODE_OFF; }));
    SendUdp("POWER\nU_SOURCE_FAIL=false");
    EXPECT_TRUE(Shows("mains again", [](const PanelPicture& p) {
        return p.LedMode(LED_POWER) == MODE_ON && p.LedMode(LED_DISPLAY) == MODE_ON;
    }));
}

TEST_F(E2E, PageEventsReloadOrLoadTheServiceAndAlarmPages) {
    HomeSite();
    Page("service",
         "<nivoml pagetype=\"SERVICE\" alarmpage=\"@/alarm.cgi\"><head>"
         "<a href=\"@/home.cgi\" key=\"4\"/></head>"
         "<body><div name=\"S\">Service</div></body></nivoml>");
    Page("alarm", SimplePage("Alarm page", "ALARM"));
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    Tap(2);
    ASSERT_TRUE(WaitForText("Div B"));
    SendUdp("RELOAD");
    ASSERT_TRUE(WaitFor([&] { return Queries("home").size() == 2; }, "reload of the home page"));
    EXPECT_EQ(Queries("home")[1], kDefaultTail + "&sDivname=B");
    SendUdp("SERVICE");
    ASSERT_TRUE(WaitForText("Service"));
    SendUdp("ALARM");
    ASSERT_TRUE(WaitForText("Alarm page"));
    SendUdp("SERVICE");  // on an alarm page: reloads it
    ASSERT_TRUE(WaitFor([&] { return Queries("alarm").size() == 2; }, "reload of the alarm page"));
    EXPECT_NE(Text().find("Alarm page"), npos);
}

TEST_F(E2E, Sigusr1RereadsTheConfigurationAlsoWhileBusy) {
    WriteConfig("CONTRAST=4\n");
    HomeSite();
    Page("second", SimplePage("Slow page"), "sleep 2");
    Page("long", "", "printf 'Status: 500 Internal Server Error\\r\\n\\r\\n'; exit 0");
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    EXPECT_EQ(Queries("home")[0].rfind("sContrast=4&", 0), 0u) << Queries("home")[0];

    WriteConfig("CONTRAST=9\n");  // idle
    Signal(SIGUSR1);
    ASSERT_TRUE(WaitFor([&] { return LogCount("Aktualisiere Displayeinstellungen") == 1; },
                        "settings reloaded"));
    Tap(1);
    ASSERT_TRUE(WaitFor([&] { return Queries("second").size() == 1; }, "slow request"));
    EXPECT_EQ(Queries("second")[0].rfind("sContrast=9&", 0), 0u) << Queries("second")[0];

    WriteConfig("CONTRAST=3\n");  // waiting for the slow answer
    Signal(SIGUSR1);
    ASSERT_TRUE(WaitForText("Slow page"));
    Tap(4);
    ASSERT_TRUE(WaitFor([&] { return Queries("home").size() == 2; }, "home request"));
    EXPECT_EQ(Queries("home")[1].rfind("sContrast=3&", 0), 0u) << Queries("home")[1];

    // In the 2 s pause after an answer was rejected twice, outside the wait for input.
    ASSERT_TRUE(WaitForText("Home page"));
    Press(4);
    ASSERT_TRUE(WaitFor([&] { return Queries("long").size() == 2; }, "rejected twice", 8000));
    Release();
    WriteConfig("CONTRAST=2\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // well inside the pause
    Signal(SIGUSR1);
    ASSERT_TRUE(WaitForText("Retry...", 8000));
    ASSERT_TRUE(WaitForText("Home page", 8000));
    Tap(1);
    ASSERT_TRUE(WaitFor([&] { return Queries("second").size() == 2; }, "slow request"));
    EXPECT_EQ(Queries("second")[1].rfind("sContrast=2&", 0), 0u) << Queries("second")[1];
}

TEST_F(E2E, RejectedAnswerIsRetriedOnceThenDropped) {
    HomeSite();
    Page("second", "", "printf 'Status: 500 Internal Server Error\\r\\n\\r\\n'; exit 0");
    Page("long", SimplePage("Long page"),
         "[ $N -eq 1 ] && printf 'Status: 503 Busy\\r\\n\\r\\n' && exit 0");
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    Tap(1);
    ASSERT_TRUE(WaitForText("Retry...", 8000));
    EXPECT_EQ(Queries("second").size(), 2u);
    ASSERT_TRUE(WaitForText("Home page", 8000));  // given up: the page stays and takes keys
    Tap(2);
    ASSERT_TRUE(WaitForText("Div B"));
    EXPECT_EQ(Queries("second").size(), 2u);

    Press(4);
    ASSERT_TRUE(WaitForText("Long page", 8000));
    Release();
    EXPECT_EQ(Queries("long").size(), 2u);
    EXPECT_EQ(LogCount("Received Data is not ok. I will request it again."), 2);
}

TEST_F(E2E, SigintShowsOffAndExitsZero) {
    HomeSite();
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    const int status = StopProgram();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    PanelPicture panel = Panel();
    EXPECT_EQ(panel.Segments().substr(4, 3), "0FF");  // "off": O and 0 share one pattern
    EXPECT_EQ(panel.Text(), std::string(22, ' '));
    EXPECT_EQ(panel.LedMode(LED_DISPLAY), MODE_ON);
}

TEST_F(E2E, UnknownOptionPrintsTheUsageAndExits255) {
    StartProgramWith({"-x"});
    int status = 0;
    ASSERT_TRUE(WaitProgramExit(status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << "wait status " << status;
    EXPECT_EQ(Log(),
              "Unbekannter Parameter: -x\n"
              "nivo_lcd [-h HOMEPAGEPATH] [-c] [-l 0..6]\n"
              "-h: Setzen des Pfads zur Default-Homepage\n"
              "    HOMEPAGEPATH z.B. http://127.0.0.1/NIVO/nivo_index.nivoml\n"
              "-c: Log-Meldungen auf Konsole ausgeben.\n"
              "-l: Setze Log-Level: 0..6\n"
              "    (0=Alles,\n"
              "     1=Debug, \n"
              "     2=Info, \n"
              "     3=Notizen, \n"
              "     4=Warnungen, \n"
              "     5=Fehler, \n"
              "     6=Fatale Fehler)\n");
}

// Slow: the program's own pauses (10 s answer bound, 2 s retries) set the pace.

TEST_F(E2E, SlowSilentServerIsGivenUpAndThePanelStaysUsable) {
    RawServer silent("");
    HomeSite();
    Page("second", "<nivoml><head><a href=\"" + silent.Url("silent.cgi") +
                       "\" key=\"1\"/>"
                       "<a href=\"#B\" key=\"2\"/></head>"
                       "<body><div name=\"S\">Second page</div><div name=\"B\">Div B</div></body>"
                       "</nivoml>");
    StartServer();
    StartProgram("second.cgi");
    ASSERT_TRUE(WaitForText("Second page"));
    Tap(1);
    ASSERT_TRUE(WaitForText("Please     wait...", 5000));
    ASSERT_TRUE(WaitFor([&] { return silent.Requests().size() == 2; }, "second attempt", 15000));
    ASSERT_TRUE(WaitForText("Retry...", 15000));
    ASSERT_TRUE(WaitForText("Second page", 8000));
    Tap(2);
    ASSERT_TRUE(WaitForText("Div B"));
    EXPECT_EQ(silent.Requests().size(), 2u);
    EXPECT_EQ(silent.Requests()[0].rfind("GET /silent.cgi?" + kDefaultTail + " HTTP/1.0\r\n", 0),
              0u);
    EXPECT_GE(LogCount("Dieser Fehler konnte 2x nicht behandelt werden"), 1);
}

TEST_F(E2E, SlowServerDownShowsRetryThenTheErrorPage) {
    StartProgram("home.cgi");  // nothing listens on the port
    ASSERT_TRUE(WaitForText("Retry...", 10000));
    ASSERT_TRUE(WaitFor(
        [&] {
            PanelPicture panel = Panel();
            return panel.Line(0) == "New request" && panel.Line(1).rfind("in ", 0) == 0;
        },
        "base page between the attempts", 10000));
    ASSERT_TRUE(WaitFor([&] { return Text() == "Please     reboot     "; }, "error page", 120000));
    EXPECT_EQ(LogCount("server not ready (5x)"), 1);
}
