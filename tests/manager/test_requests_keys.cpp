#include "manager_fixture.h"
#include "util/time_of_day.h"

namespace {

constexpr time_t kAfterNoon = 1796562300;  // 2026-12-06 13:05:00 UTC

const std::string kNewPage =
    "HTTP/1.0 200 OK\r\n\r\n<nivoml><head><goto div=\"N\"/></head><body><div name=\"N\">New "
    "page<a href=\"#N\" key=\"4\"/></div></body></nivoml>";
const std::string k500 = "HTTP/1.0 500 Oops\r\n\r\n";

TEST_F(ManagerTest, CombinationsDispatchOnceAndHeldKeysDoNotRepeatPastAChange) {
    Start();
    Show("A",
         "<div name=\"A\">Screen A<a href=\"#B\" key=\"3\"/><a href=\"#C\" key=\"7\"/></div>"
         "<div name=\"C\">Screen C<a href=\"#A\" key=\"7\" duration=\"2\"/></div>"
         "<div name=\"B\">Screen B<a href=\"#A\" key=\"3\"/>"
         "<a href=\"#B\" key=\"1\" duration=\"2\"/><a href=\"#B\" key=\"2\"/>"
         "<a href=\"" +
             Url("/n.cgi") + "\" key=\"4\"/></div>");
    Elapse(2000);  // the unserved home page's "Retry..." ends
    Key(7);        // all three keys, pressed and then held for the binding's two seconds
    EXPECT_EQ(Panel().Line(0), "Screen C   ");
    Key(7, 1000);
    Hold(1000);
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    Key(3, 2500);  // two keys in one byte: once, as key 3; held on, no repeat into A
    EXPECT_EQ(Panel().Line(0), "Screen B   ");
    log.ClearLines();
    Key(1, 1000);
    EXPECT_EQ(log.Count("Interner LINK"), 0);  // too short
    Hold(1000);
    Hold(5000);
    EXPECT_EQ(log.Count("Interner LINK"), 1);  // once per press, however long
    Key(1, 2000);
    EXPECT_EQ(log.Count("Interner LINK"), 2);
    Key(2, 1000);
    EXPECT_EQ(log.Count("Interner LINK"), 3);  // pressed, not yet repeating
    Hold(1000);
    EXPECT_EQ(log.Count("Interner LINK"), 4);

    Key(4);  // held while the new page arrives: its key 4 link waits for a release
    Serve(kNewPage);
    Hold(3000);
    EXPECT_EQ(log.Count("Interner LINK"), 4);
}

TEST_F(ManagerTest, BacklightGoesOutAfterItsTimeAndTheFirstKeyInTheDarkOnlyLightsIt) {
    Start();
    Show("A",
         "<div name=\"A\">Screen A<a href=\"#B\" key=\"1\"/></div>"
         "<div name=\"B\">Screen B<a href=\"#A\" key=\"1\"/></div>");
    Elapse(59999);
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_ON);
    Elapse(1);
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_OFF);
    Key(1);
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_ON);
    Key(1);
    EXPECT_EQ(Panel().Line(0), "Screen B   ");

    manager->ApplyDisplaySetting("BACKLIGHT", "0");  // never lit, and keys still work
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_OFF);
    Key(1);
    EXPECT_EQ(Panel().Line(0), "Screen A   ");

    // Meant to stay on, on battery it stays 2 s at most.
    manager->ApplyDisplaySetting("BACKLIGHT", "-1");
    Notify("POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false");
    Elapse(2000);
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_OFF);
    manager->ApplyDisplaySetting("BACKLIGHT", "1");  // shorter still
    Key(1);
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_ON);
    Elapse(1000);
    EXPECT_EQ(Panel().LedMode(LED_DISPLAY), MODE_OFF);
}

TEST_F(ManagerTest, UnsendableRequestsAreRefusedAndTheQueryIsJoinedOnce) {
    Start();
    manager->LoadNivomlPage("http://127.0.0.1:70000/x.cgi", "");
    EXPECT_TRUE(log.Contains("Port ung\xfcltig"));
    manager->LoadNivomlPage(Url("/x.cgi\r\nHost: a"), "");
    EXPECT_TRUE(log.Contains("Steuerzeichen in der URL"));
    Show("F", "<div name=\"F\">Send<form method=\"get\" action=\"" + Url("/f.cgi") +
                  "\"><input type=\"submit\" key=\"1\"/></form></div>");
    int flushMask = 0;
    manager->HandleKey(0, flushMask, "?submit");
    EXPECT_TRUE(
        log.Has(Logger::Warning, "NIVO_Manager::SendString: Leere Anfrage, nichts gesendet."));

    Show("F", "<div name=\"F\">Send<form method=\"get\" action=\"" + Url("/f.cgi&#10;x") +
                  "\"><input type=\"hidden\" name=\"h\" value=\"1\"/></form></div>");
    manager->HandleKey(0, flushMask, "?submit");
    EXPECT_TRUE(log.Contains("Steuerzeichen in der Anfrage"));
    Show("T",
         "<div name=\"T\"><settime format=\"%H%M\" goto=\"!submit\" inccursorkey=\"1\" "
         "incdatakey=\"2\"/></div>");
    manager->HandleKey(0, flushMask, "!submit");  // would submit itself for ever
    EXPECT_TRUE(log.Contains("Sprungziel ignoriert: !submit"));

    manager->LoadNivomlPage(Url("/x.cgi"), "a b&c#d");
    EXPECT_EQ(Pending(), "GET /x.cgi?" + kTail + "&sDivname=a+b%26c%23d");
    manager->LoadNivomlPage(Url("/q.cgi?a=1&sDivname=Q"), "D");
    EXPECT_EQ(Pending(), "GET /q.cgi?a=1&sDivname=Q&" + kTail);
}

TEST_F(ManagerTest, FormKeysResetTheEditsSubmitByThemselvesAndPostTheCountedBody) {
    Start();
    Show("P", "<div name=\"P\">Post<form method=\"post\" action=\"" + Url("/p.cgi") +
                  "\" enctype=\"text/plain\"><input type=\"hidden\" name=\"a\" value=\"1 2\"/>"
                  "<input type=\"submit\" key=\"1\"/></form></div>");
    Key(1);  // the settings follow the counted body on the wire
    EXPECT_EQ(Serve(kNewPage),
              "POST /p.cgi HTTP/1.0\r\nContent-Type: text/plain\r\n"
              "Content-Length: 7\r\n\r\na=1 2\r\n&" +
                  kTail);
    Show("F", "<div name=\"F\">Pin<form method=\"get\" autosubmit=\"500\" action=\"" +
                  Url("/a.cgi") +
                  "\"><input type=\"text\" name=\"p\" value=\"12\" mask=\"1,1\"/>"
                  "<input type=\"incdata\" key=\"2\"/><input type=\"reset\" key=\"4\"/>"
                  "<input type=\"inccursor\" key=\"3\"/><input type=\"decdata\" key=\"1\"/>"
                  "</form></div>");
    Key(2);
    EXPECT_EQ(Panel().Line(0), "Pin22      ");
    Key(4);
    Elapse(500);
    EXPECT_EQ(Panel().Line(0), "Pin12      ");
    EXPECT_EQ(manager->GetPendingRequest(), "");
    Key(3);  // the cursor moves on the panel
    EXPECT_EQ(Panel().cursor, 4);
    Key(1);  // stepping down (a text only steps up) submits too
    Elapse(500);
    EXPECT_EQ(Pending(), "GET /a.cgi?p=12&" + kTail);
}

TEST_F(ManagerTest, DontReloadKeepsThePageOnlyForASuccessfulAnswerToItsOwnForm) {
    Start();
    const std::string form = "<form method=\"get\" %s action=\"" + Url("/f.cgi") +
                             "\"><input type=\"text\" name=\"p\" value=\"12\" mask=\"1,1\"/>"
                             "<input type=\"submit\" key=\"1\"/></form>";
    Show("F", "<div name=\"F\">Pin" + std::string(form).replace(form.find("%s"), 2, "dontreload") +
                  "</div>");
    Key(1);
    EXPECT_EQ(Serve(kNewPage).rfind("GET /f.cgi?p=12&sContrast=", 0), 0u);
    EXPECT_EQ(Panel().Line(0), "Pin12      ");
    EXPECT_EQ(manager->GetPendingRequest(), "");

    Key(1);
    Serve("");  // silent: given up at the answer bound, then asked once more a second later
    Hold(10000);
    Elapse(999);
    EXPECT_TRUE(manager->IsTimerArmed(NIVO_Manager::SET_BITS_WRITE_SOCKET));
    Elapse(1);
    Serve(k500 + "<nivoml><head/><body><div>x</div></body></nivoml>");
    EXPECT_EQ(manager->GetPendingRequest(), "");
    EXPECT_EQ(Panel().Line(0), "Retry...   ");

    manager->LoadNivomlPage(Url("/n.cgi"), "");
    Serve(std::string(kNewPage).insert(40, 1, '\0'));
    Elapse(1000);
    Serve(kNewPage);
    EXPECT_EQ(Panel().Line(0), "New page   ");  // not the form's answer: shown
    Show("F", "<div name=\"F\">Pin" + std::string(form).replace(form.find("%s"), 2, "") + "</div>");
    Key(1);
    Serve(kNewPage);  // the form's answer keeps the page's URL
    manager->LoadNivomlPage("http://127.0.0.1:1/alarm", "");  // never arrives
    manager->ReloadPage("N");
    EXPECT_EQ(Pending(), "GET /n.cgi?" + kTail + "&sDivname=N");
}

TEST_F(ManagerTest, TimerCommandsWaitWhileARequestIsInFlight) {
    Start();
    Show("A", "<div name=\"A\">Auto</div>",
         "<a href=\"" + Url("/auto.cgi") + "\" key=\"7\" autoswitch=\"1000\"/>");
    manager->LoadNivomlPage(Url("/first.cgi"), "");
    const std::string first = manager->GetPendingRequest();
    ASSERT_NE(first, "");
    Elapse(1000);
    EXPECT_EQ(manager->GetPendingRequest(), first);
    manager->AutoSubmit_Form(100);
    Elapse(100);
    EXPECT_TRUE(manager->IsTimerArmed(NIVO_Manager::AUTO_SUBMIT_FORM_EXEC));  // waits its turn
    Serve("HTTP/1.0 404 Not Found\r\n\r\n");
    Elapse(1000);  // the retry and the deferred link are both due
    EXPECT_EQ(manager->GetPendingRequest(), first);

    Show("A", "<div name=\"A\">Other</div>");  // a new page cancels the old one's submission
    EXPECT_FALSE(manager->IsTimerArmed(NIVO_Manager::AUTO_SUBMIT_FORM_EXEC));
}

TEST_F(ManagerTest, ServerDownGivesTheErrorPageAfterTheSixthAttemptFromTheBasePage) {
    FakeWallClock clock(kAfterNoon);   // the base page's counter runs on it
    Start("http://127.0.0.1:1/a\"b");  // a quote in -h must not break the base page
    EXPECT_EQ(Panel().Line(0), "Retry...   ");
    clock.Advance(1);
    Elapse(1000);  // the counter's tick runs under the message
    EXPECT_EQ(Panel().Line(0), "Retry...   ");
    Elapse(1000);
    EXPECT_EQ(Panel().Line(0), "New request");
    std::string seen;
    for (int i = 0; i < 60 && Panel().Text() != "Please     reboot     "; ++i) {
        clock.Advance(1);
        Elapse(1000);
        seen += Panel().Text() + "|";
    }
    EXPECT_EQ(Panel().Text(), "Please     reboot     ");
    EXPECT_NE(seen.find("Retry...              |New requestin 5 sec.  |New requestin 4"),
              std::string::npos)
        << seen;
    // Six attempts, two retries each.
    EXPECT_EQ(log.Count("NIVO_Manager::SendString: port: 1"), 12);
}

TEST_F(ManagerTest, StatusIndicationsSurviveTheEndOfAnInformationMessage) {
    Start();
    Show("A", "<div name=\"A\">Page text</div>", "<date format=\"%d%m%y\"/>");
    Notify("WAVD\nALARM=true");
    int flushMask = 0;
    manager->ActivateInfoMsgNivo("Failure", 2002, flushMask);
    manager->GetDisplay().Flush(flushMask);
    EXPECT_EQ(Panel().Line(0), "Failure    ");
    Elapse(2002);
    EXPECT_EQ(Panel().Line(0), "Page text  ");
    EXPECT_EQ(Panel().LedMode(LED_STATUS_A), MODE_ON);
    manager.reset();
    EXPECT_EQ(Panel().Segments().substr(4, 3), "0FF");  // not the live date
}

}  // namespace

TEST_F(ManagerTest, AKeyDeviceAtItsEndIsLeftAloneForASecondInsteadOfWakingTheLoop) {
    const std::string keys = dir.Write("keys.file", "");  // reads end of file at once
    setenv("NIVO_KEYS_DEVICE", keys.c_str(), 1);
    Start();
    Show("A", "<div name=\"A\">Screen A<a href=\"#B\" key=\"1\"/></div><div name=\"B\">B</div>");
    manager->WaitAndHandle(10);
    dir.Write("keys.file", std::string("\0\x01", 2));  // a key comes after all
    manager->WaitAndHandle(10);
    EXPECT_EQ(Panel().Line(0), "Screen A   ");
    Hold(1000);
    EXPECT_EQ(Panel().Line(0), "B          ");
    EXPECT_EQ(log.Count("NIVO_Manager: Tastenger\xe4t liefert keine Daten (Dateiende)."), 1);
}
