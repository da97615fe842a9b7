// The program as a user, the web server and the unit's scripts see it: pages and
// keys, signals and the command line.
#include "panel/nivo_display.h"
#include "tests/e2e/e2e_fixture.h"

TEST_F(E2E, Sigusr1RereadsTheConfigurationAlsoWhileBusySigintShowsOffBadOptionsExit255) {
    WriteConfig("CONTRAST=4\n");
    Page("home",
         "<nivoml><head><a href=\"@/slow.cgi\" key=\"1\"/>"
         "</head><body><div name=\"A\">Home page</div></body></nivoml>");
    Page("slow",  // key 4 leads home
         "<nivoml><head><a href=\"@/home.cgi\" key=\"4\"/></head><body><div name=\"P\">"
         "Slow page</div></body></nivoml>",
         "sleep 3");
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    auto contrastAsked = [&](const std::string& page, size_t call) {  // "sContrast=N"
        return Queries(page).at(call).substr(0, 11);
    };
    EXPECT_EQ(contrastAsked("home", 0), "sContrast=4");

    WriteConfig("CONTRAST=9\n");  // idle
    m_program.Signal(SIGUSR1);
    ASSERT_TRUE(
        WaitFor([&] { return LogCount("Aktualisiere Displayeinstellungen") == 1; }, "reread"));
    Tap(1);
    ASSERT_TRUE(WaitFor([&] { return Queries("slow").size() == 1; }, "slow request"));
    EXPECT_EQ(contrastAsked("slow", 0), "sContrast=9");

    WriteConfig("CONTRAST=3\n");  // waiting for the slow answer, which asks for patience
    m_program.Signal(SIGUSR1);
    EXPECT_TRUE(WaitForText("Please     wait..."));
    ASSERT_TRUE(WaitForText("Slow page"));
    Tap(4);
    ASSERT_TRUE(WaitForText("Home page"));
    EXPECT_EQ(contrastAsked("home", 1), "sContrast=3");

    EXPECT_TRUE(ExitedWith(StopProgram(), 0));
    const PanelPicture panel = Panel();
    EXPECT_EQ(panel.Segments().substr(4, 3), "0FF");  // "off": O and 0 share one pattern
    EXPECT_EQ(panel.Text(), std::string(22, ' '));
    EXPECT_EQ(panel.LedMode(LED_DISPLAY), MODE_ON);

    unlink(m_dir.Path("nivo_lcd.conf").c_str());  // unreadable: an error, but no fatal one
    mkdir(m_dir.Path("nivo_lcd.conf").c_str(), 0755);
    StartProgram("", {"-c", "-l", "9", "-h", Url("home.cgi")});  // fatal errors only
    ASSERT_TRUE(WaitForText("Home page"));
    EXPECT_TRUE(ExitedWith(StopProgram(), 0));
    EXPECT_EQ(ReadFile(m_dir.Path("program.log")), "");
    StartProgram("", {"-c", "-l"});  // a value missing
    int status = 0;
    ASSERT_TRUE(m_program.WaitExit(5000, status));
    EXPECT_TRUE(ExitedWith(status, 255));
    EXPECT_EQ(ReadFile(m_dir.Path("program.log"))
                  .rfind("Unbekannter Parameter: -l\n"
                         "nivo_lcd [-h HOMEPAGEPATH] [-c] [-l 0..6]\n",
                         0),
              0u);
    StartProgram("", {"--version"});
    ASSERT_TRUE(m_program.WaitExit(5000, status));
    EXPECT_TRUE(ExitedWith(status, 0));
    EXPECT_EQ(ReadFile(m_dir.Path("program.log")).rfind("nivo_lcd ", 0), 0u);
}
