// Pages, keys, forms, display settings and the clock, as a user and the web server see them.
#include <chrono>
#include <ctime>
#include <thread>

#include "panel/nivo_display.h"
#include "tests/e2e/e2e_fixture.h"
#include "util/utilities.h"

namespace {

constexpr auto npos = std::string::npos;

}  // namespace

TEST_F(E2E, BasePageShowsUntilTheHomePageArrivesWithTheSettingsQuery) {
    HomeSite("sleep 1");
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitFor(
        [&] {
            PanelPicture panel = Panel();
            return panel.Line(0) == "New request" && panel.Line(1).rfind("in ", 0) == 0 &&
                   panel.Line(1).find("sec.") != npos;
        },
        "base page"));
    ASSERT_TRUE(WaitForText("Home page"));
    EXPECT_EQ(Queries("home").front(), kDefaultTail);
    EXPECT_NE(Config().find("CONTRAST=7"), npos)
        << "missing configuration not written: " << Config();
}

TEST_F(E2E, KeysFollowInternalAndExternalLinks) {
    HomeSite();
    StartServer();
    StartProgram("home.cgi");
    ASSERT_TRUE(WaitForText("Home page"));
    Tap(2);
    ASSERT_TRUE(WaitForText("Div B"));
    Tap(1);
    ASSERT_TRUE(WaitForText("Second page"));
    EXPECT_EQ(Queries("second"), std::vector<std::string>{kDefaultTail});
    EXPECT_EQ(Queries("home").size(), 1u);  // the internal link asked the server nothing
}

TEST_F(E2E, HeldKeysFireLongPressLinksOncePerPressAndNothingAfterAPageChange) {
    Page("hold",
         "<nivoml><head><a href=\"@/next.cgi\" key=\"1\"/></head><body>"
         "<div name=\"A\">Hold A<a href=\"#B\" key=\"4\" duration=\"2\"/></div>"
         "<div name=\"B\">Hold B<a href=\"#B\" key=\"4\" duration=\"2\"/></div>"
         "</body></nivoml>");
    Page("next",
         "<nivoml><head><a href=\"@/hold.cgi\" key=\"1\"/></head>"
         "<body><div name=\"N\">Next page</div></body></nivoml>");
    StartServer();
    StartProgram("hold.cgi");
    ASSERT_TRUE(WaitForText("Hold A"));
    Tap(4);  // too short
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(Text().find("Hold A"), npos);
    Press(4);
    ASSERT_TRUE(WaitForText("Hold B", 6000));
    Release();
    Press(4);  // B's own link redraws B: once for the whole press
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    Release();
    EXPECT_EQ(LogCount("Interner LINK"), 2);

    Press(1);
    ASSERT_TRUE(WaitForText("Next page"));
    // Still held: on the new page key 1 leads back at once, but only after a release.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    EXPECT_NE(Text().find("Next page"), npos);
    Release();
    Tap(1);
    ASSERT_TRUE(WaitForText("Hold A"));
    EXPECT_EQ(Queries("hold").size(), 2u);
}

TEST_F(E2E, AutoswitchLinkLoadsItsTargetByItself) {
    HomeSite();
    Page("auto",
         "<nivoml><head><a href=\"@/second.cgi\" key=\"7\" autoswitch=\"1000\"/></head>"
         "<body><div name=\"A\">Auto page</div></body></nivoml>");
    StartServer();
    StartProgram("auto.cgi");
    ASSERT_TRUE(WaitForText("Auto page"));
    ASSERT_TRUE(WaitForText("Second page"));
    EXPECT_EQ(Queries("second"), std::vector<std::string>{kDefaultTail});
}

TEST_F(E2E, FormsSendTheirValuesByGetAndPostAndKeepEditsOverAReload) {
    RawServer raw(HttpAnswer(Site(SimplePage("Raw done"))));
    const std::string postForm =
        "<nivoml><head><a href=\"@/home.cgi\" key=\"4\"/></head><body><div name=\"P\">%s"
        "<form method=\"post\" action=\"%s\" enctype=\"text/plain\">"
        "<input type=\"hidden\" name=\"a\" value=\"1 2\"/><input type=\"hidden\" name=\"b\" "
        "value=\"y\"/>"
        "<input type=\"submit\" key=\"1\"/></form></div></body></nivoml>";
    auto PostForm = [&](const std::string& text, const std::string& action) {
        std::string page = postForm;
        page.replace(page.find("%s"), 2, text);
        return page.replace(page.find("%s"), 2, action);
    };
    Page("form",
         "<nivoml><head><a href=\"@/home.cgi\" key=\"4\"/></head><body><div name=\"F\">Code "
         "<form method=\"get\" action=\"@/get.cgi\">"
         "<input type=\"text\" name=\"code\" value=\"12\" mask=\"1,1\"/>"
         "<input type=\"hidden\" name=\"h\" value=\"x y\"/>"
         "<input type=\"incdata\" key=\"2\"/><input type=\"submit\" key=\"1\"/>"
         "</form></div></body></nivoml>");
    Page("get", PostForm("Got it", "@/post.cgi"));
    Page("post", PostForm("Posted", raw.Url("raw.cgi")));
    StartServer();
    StartProgram("form.cgi");
    ASSERT_TRUE(WaitForText("Code 12"));
    Tap(2);
    ASSERT_TRUE(WaitForText("Code 22"));

    // A reload while the user edits is passed over; the datagram after it shows it was handled.
    SendUdp("RELOAD");
    SendUdp("POWER\nBAT_LEVEL=0.5");
    ASSERT_TRUE(WaitFor([&] { return Panel().SymbolMode(BATT_S1) == 0; }, "half battery"));
    EXPECT_EQ(Queries("form").size(), 1u);
    EXPECT_NE(Text().find("Code 22"), npos);

    Tap(1);
    ASSERT_TRUE(WaitForText("Got it"));
    EXPECT_EQ(Queries("get"), std::vector<std::string>{"code=22&h=x+y&" + kDefaultTail});
    Tap(1);
    ASSERT_TRUE(WaitForText("Posted"));
    EXPECT_EQ(Body("post"), "a=1 2\r\nb=y\r\n");
    Tap(1);
    ASSERT_TRUE(WaitForText("Raw done"));
    ASSERT_EQ(raw.Requests().size(), 1u);
    EXPECT_EQ(raw.Requests()[0],
              "POST /raw.cgi HTTP/1.0\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n\r\n"
              "a=1 2\r\nb=y\r\n&" +
                  kDefaultTail);
}

TEST_F(E2E, DisplaySettingFormAppliesAndSavesContrastThenLoadsTheNamedPage) {
    HomeSite();
    Page(
        "settings",
        "<nivoml><head><a href=\"@/home.cgi\" key=\"4\"/></head><body><div name=\"S\">Contrast<br/>"
        "<form method=\"get\" action=\"DISPLAY_SETTING\">"
        "<input type=\"text\" name=\"CONTRAST\" value=\"10\" mask=\"0,1\"/>"
        "<input type=\"hidden\" name=\"sLoadPage\" value=\"@/home.cgi\"/>"
        "<input type=\"hidden\" name=\"sDivname\" value=\"B\"/>"
        "<input type=\"incdata\" key=\"2\"/><input type=\"submit\" key=\"1\"/>"
        "</form></div></body></nivoml>");
    StartServer();
    StartProgram("settings.cgi");
    ASSERT_TRUE(WaitForText("Contrast   10"));
    Tap(2);
    ASSERT_TRUE(WaitForText("Contrast   11"));
    Tap(1);
    ASSERT_TRUE(WaitFor([&] { return Queries("home").size() == 1; }, "home page request"));
    EXPECT_EQ(Queries("home")[0], "sContrast=11&sBacklight=60&sBrightness=15&sDivname=B");
    EXPECT_NE(Config().find("CONTRAST=11\n"), npos) << Config();
}

TEST_F(E2E, DateTimeSetterWalkSetsTheClockToTheDigitsShown) {
    Page("clock",
         "<nivoml><head><a href=\"@/home.cgi\" key=\"7\"/></head><body><div name=\"T\">"
         "Set clock<setdatetime inccursorkey=\"1\" incdatakey=\"2\" decdatakey=\"4\" "
         "format=\"%H%M%d%m%y\" goto=\"@/done.cgi\"/></div></body></nivoml>");
    Page("done", SimplePage("Clock set"));
    StartServer();
    StartProgram("clock.cgi");
    auto Blinking = [&](int cell) {
        PanelPicture panel = Panel();
        return panel.segments[cell].mode == MODE_BLINK &&
               panel.segments[cell + 1].mode == MODE_BLINK;
    };
    auto Field = [&](int cell) { return Panel().Segments().substr(cell, 2); };
    ASSERT_TRUE(WaitFor([&] { return Blinking(0); }, "blinking hour"));
    const std::string hour = Field(0);
    Tap(2);
    ASSERT_TRUE(WaitFor([&] { return Field(0) != hour; }, "hour stepped up"));
    Tap(1);
    ASSERT_TRUE(WaitFor([&] { return Blinking(2); }, "blinking minute"));
    const std::string minute = Field(2);
    Tap(2);
    ASSERT_TRUE(WaitFor([&] { return Field(2) != minute; }, "minute stepped up"));
    for (int cell : {8, 6, 4}) {  // year, month, day
        Tap(1);
        ASSERT_TRUE(
            WaitFor([&] { return Blinking(cell); }, "blinking cell " + std::to_string(cell)));
    }
    const std::string shown = Panel().Segments();  // HHMMDDMMYY
    Tap(1);
    ASSERT_TRUE(WaitForText("Clock set"));

    const std::string calls = DateCalls();
    ASSERT_EQ(calls.rfind("-s @", 0), 0u) << calls;
    ASSERT_EQ(calls.find('\n'), calls.size() - 1) << "date ran more than once: " << calls;
    const time_t seconds = std::stoll(calls.substr(4));
    struct tm set {};
    gmtime_r(&seconds, &set);
    char digits[16];
    strftime(digits, sizeof digits, "%H%M%d%m%y", &set);
    EXPECT_EQ(digits, shown);
}
