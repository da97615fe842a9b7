// A web server and a configuration write that misbehave or are cut short. Each
// row ends with the panel still in use: a key that switches the div, a good page.
#include <random>

#include "tests/e2e/e2e_fixture.h"

namespace {

// Two divs that key 2 toggles; key 1 leads to link1, key 4 to good.cgi.
std::string TwoDivPage(const std::string& link1) {
    return "<nivoml><head><a href=\"" + link1 +
           "\" key=\"1\"/><a href=\"@/good.cgi\" key=\"4\"/>"
           "</head><body><div name=\"A\">Home page<a href=\"#B\" key=\"2\"/></div>"
           "<div name=\"B\">Div B<a href=\"#A\" key=\"2\"/></div></body></nivoml>";
}

struct ServerFault {
    const char* name;
    std::string page, shell;  // fault.cgi; no page at all: nothing listens on the port
    std::string logged;       // the reason given for the rejection
    int boundMs;              // until the program gives up
};

}  // namespace

class E2EFaults : public E2E {
protected:
    // One program run: from the good page, key 4 loads home, whose key 1 asks the fault;
    // given up, the panel still takes keys.
    void RunAll(const std::vector<ServerFault>& faults) {
        Page("good", SimplePage("Good page"));
        StartServer();
        StartProgram("good.cgi");
        ASSERT_TRUE(WaitForText("Good page"));
        for (const ServerFault& fault : faults) {
            SCOPED_TRACE(fault.name);
            const bool refused = fault.page.empty() && fault.shell.empty();
            Page("fault", fault.page, fault.shell);
            Page("home", TwoDivPage(refused ? "http://127.0.0.1:1/x" : "@/fault.cgi"));  // refuses
            const int before = LogCount(fault.logged);
            const size_t asked = Queries("fault").size();
            Tap(4);
            ASSERT_TRUE(WaitForText("Home page"));
            Tap(1);
            ASSERT_TRUE(WaitForText("Retry...", fault.boundMs));
            ASSERT_TRUE(WaitForText("Home page", 8000));
            EXPECT_EQ(Queries("fault").size() - asked, refused ? 0u : 2u) << "not asked twice";
            EXPECT_GT(LogCount(fault.logged), before) << "not rejected for its fault";
            Tap(2);
            EXPECT_TRUE(WaitForText("Div B"));
            Tap(4);
            ASSERT_TRUE(WaitForText("Good page"));
        }
    }
};

TEST_F(E2EFaults, BadStatusNoPageOversizeAndRefusalAreRejected) {
    RunAll({
        {"404 with a page", SimplePage("F"), "printf 'Status: 404 Not Found\\r\\n'",
         "status_code: 404", 8000},
        {"no NIVOML in the body", "<html><body>Fault page</body></html>", "", "errcount_thisMsg: 2",
         8000},
        {"5 MB answer", "",
         "printf 'Content-Type: text/plain\\r\\n\\r\\n<nivoml>'; head -c 5242880 /dev/zero | tr "
         "'\\0' ' '; exit 0",
         "answer longer than 1048576 bytes", 8000},
        {"connection refused", "", "", "Connection refused", 12000},
    });
}

// Slow: the program's own bounds (10 s per answer, 2 s pauses) set the pace.
TEST_F(E2EFaults, SlowSilentServerIsGivenUp) {
    RunAll({{"accepted then silent", SimplePage("F"), "sleep 12", "Keine Antwort nach 10000 ms",
             30000}});
}

// SIGKILL at random moments of a settings form's writes: the file is always one of
// the complete versions the program meant to leave, never a broken one.
TEST_F(E2E, SettingsWritesSurviveSigkill) {
    Page("settings",
         "<nivoml><head><a href=\"@/x.cgi\" key=\"4\"/></head><body><div name=\"S\">Settings"
         "<form method=\"get\" action=\"DISPLAY_SETTING\"><input type=\"hidden\" "
         "name=\"CONTRAST\" value=\"3\"/><input type=\"hidden\" name=\"BRIGHTNESS\" value=\"9\"/>"
         "<input type=\"hidden\" name=\"BACKLIGHT\" value=\"30\"/><input type=\"submit\" "
         "key=\"1\"/></form></div></body></nivoml>");
    StartServer();
    const std::string formats = "\nTIMEFORMAT=%H%M\nDATEFORMAT=%d%m%y\n";
    const std::vector<std::string> versions = {"BACKLIGHT=60\nCONTRAST=7\nBRIGHTNESS=15" + formats,
                                               "BACKLIGHT=60\nCONTRAST=3\nBRIGHTNESS=15" + formats,
                                               "BACKLIGHT=60\nCONTRAST=3\nBRIGHTNESS=9" + formats,
                                               "BACKLIGHT=30\nCONTRAST=3\nBRIGHTNESS=9" + formats};
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 20; ++round) {
        WriteConfig(versions.front());
        m_dir.Write("lcd", "");  // no panel left over from the last round
        StartProgram("settings.cgi");
        ASSERT_TRUE(WaitForText("Settings"));
        Press(1);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
        m_program.Stop(SIGKILL, 2000);
        const std::string file = ReadFile(m_dir.Path("nivo_lcd.conf"));
        EXPECT_NE(std::find(versions.begin(), versions.end(), file), versions.end()) << file;
    }
}
