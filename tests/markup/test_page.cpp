#include "markup/nivoml_counter.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_head.h"
#include "page_fixture.h"

namespace {

using MarkupDocument = PageTest;

// The page author is told the parser's message and the line and column of the fault.
TEST_F(MarkupDocument, MalformedPagesAreRejectedWithTheParserMessageAndPosition) {
    NivomlDocument unclosed("<nivoml>\n<head>\n<br/>\n  </nivoml>");
    EXPECT_FALSE(unclosed.IsOk());
    EXPECT_TRUE(log.Contains("XMLNode::parseString: "));
    unclosed.LogErrorPosition();
    const int column = unclosed.GetResults().nColumn;
    EXPECT_NE(column, 4);
    EXPECT_TRUE(log.Has(Logger::Error, "NIVOML-Fehler in Zeile:  4"));
    EXPECT_TRUE(log.Has(Logger::Error, "NIVOML-Fehler in Spalte: " + std::to_string(column)));
}

TEST_F(MarkupDocument, NestingBeyondTheLimitRejectsThePageWithoutExhaustingTheStack) {
    auto nested = [](int levels) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) {
            open += "<on>";
            close += "</on>";
        }
        return Screen(open + "x" + close);
    };
    EXPECT_TRUE(Load(nested(NivomlDocument::kMaxDepth - 3)));  // nivoml, body, div: 3 levels
    EXPECT_FALSE(Load(nested(NivomlDocument::kMaxDepth - 2)));
    EXPECT_FALSE(Load(nested(10000)));
}

using MarkupPage = PageTest;

// Only the start div is drawn, over a cleared panel that keeps the display LED.
TEST_F(MarkupPage, StartDivComesFromTheFirstGotoElseTheFirstDiv) {
    const std::string divs =
        "<div name='A'><leds s='LED_POWER'/>a</div><div name='B'>b</div><div name='C'>c</div>";
    display->SetLed(LED_DISPLAY | LED_STATUS_A, MODE_ON);
    display->WriteText("old text", MODE_ON, 0);
    for (const auto& [head, shown] : std::vector<std::pair<std::string, std::string>>{
             {"<goto div='B'/><goto div='C'/>", "b0003"},
             {"<a href='/x' key='1'/>", "a3003"},
             {"<goto div='missing'/>", "a3003"}}) {
        ASSERT_TRUE(Load(Page(head, divs))) << head;
        PanelPicture panel = Show();
        EXPECT_EQ(panel.Text().substr(1), std::string(21, ' ')) << head;
        EXPECT_EQ(panel.Text().substr(0, 1) + Leds(panel), shown) << head;
    }
    Root().ShowDiv("C");
    EXPECT_EQ(Show().Line(0), "c          ");
    Root().ShowDiv("nowhere");
    EXPECT_EQ(Root().GetCurrentDivName(), "A");
    EXPECT_FALSE(Load(Page("<goto/>", divs)));  // goto without div is dropped
}

TEST_F(MarkupPage, KeyTableTakesHeadLinksThenTheCurrentDivsBindableLinksLaterOnesWinning) {
    ASSERT_TRUE(Load(
        Page("<goto div='A'/><a href='/head1' key='1'/><a href='/head2' key='2' duration='2'/>",
             "<div name='A'><a href='/divA' key='1'>go</a><a href='/first' key='3'/>"
             "<a href='/second' key='3'/><a href='/nokey'>x</a><a key='4'>y</a>"
             "<a href='' key='5'>z</a><a href='/far' key='9'/><a href='/neg' key='-1'/>"
             "<blink><a href='/nested' key='6'>n</a></blink></div>"
             "<div name='B'>b<a href='/divB' key='2'/></div>")));
    // A nested link is drawn but inert; x, y and z belonged to dropped links (z kept its cell).
    EXPECT_EQ(Show().Line(0), "go n       ");
    EXPECT_EQ(Bindings(1.9), "|/divA||/second|||||");
    EXPECT_EQ(Bindings(2.0), "|/divA|/head2|/second|||||");
    EXPECT_EQ(Root().GetKeyTarget(-1, 9) + Root().GetKeyTarget(8, 9), "");
    Root().ShowDiv("B");  // head bindings apply again, without the head's duration
    EXPECT_EQ(Bindings(0), "|/head1|/divB||||||");
}

// Each screen's text cells as they end up, whatever position an earlier page left.
TEST_F(MarkupPage, TextRunsBreaksAndSkipsPlaceTheTextCellByCell) {
    const std::string eleven(11, ' ');
    const std::vector<std::pair<std::string, std::string>> layouts = {
        {Page("<goto div='B'/>", "<div name='A'>Hello</div><div name='B'>ab<skip/>cd</div>"),
         "ab cd"},
        {Screen("ab<br/>cd"), "ab" + std::string(9, ' ') + "cd"},
        {Screen("<br/>xy"), eleven + "xy"},
        {Screen("01234567890<br/>z"), "01234567890z"},  // already at the line start
        {Screen("a<br/>b<br/>refused"), "a" + std::string(10, ' ') + "b"},
        {Screen("<br/>twelve chars<skip/>more"), eleven + "twelve char"},
        {Screen("one<skip count='2'/>two<skip count='-1'/>three"), "one  twothree"},
        // A nested div brings the position back to 0: the run after it shows its
        // own text, never the refused "late".
        {Screen("0123456789012345678901<skip/>late<div name='I'><skip/></div>after"),
         "after56789012345678901"},
        {Screen("01234567890123456789<skip/>Z"), "01234567890123456789 Z"},
        {Page("<goto div='B'/>",
              "<div name='A'><a href='' key='1'>Hello world</a></div><div name='B'>Next</div>"),
         "Next"},
        {Screen("a<skip count='2147483647'/><skip count='2147483647'/>b"), "a"},
        {Screen("Gr\xFC\xDF"
                "e &#228;"),
         "Gr\xFC\xDF"
         "e \xE4"},
    };
    for (const auto& [page, text] : layouts) {
        g_textPosition = 17;
        ASSERT_TRUE(Load(page)) << page;
        EXPECT_EQ(Show().Text(), text + std::string(22 - text.size(), ' ')) << page;
    }
}

TEST_F(MarkupPage, FormatTagsGiveTheirModeToTheTextInsideTheInnermostDeciding) {
    ASSERT_TRUE(
        Load(Screen("<blink_inv>ab<br/>cd</blink_inv><off>hid</off>x<blink>b<on>n</on></blink>")));
    PanelPicture panel = Show();
    // off hides its text but keeps its cells: x follows at 16.
    EXPECT_EQ(panel.Text().substr(11, 8), "cd   xbn");
    EXPECT_EQ(Modes(panel, 0, 2) + Modes(panel, 11, 8), "1111000323");
}

unsigned long IdOf(const NIVOML_BASEOBJ& element) {
    return CookieTimerId(element.GetId());
}

// Head links and the current div's links and counters run timers from every draw;
// timers of any div still find their owner; the page's end stops them all.
TEST_F(MarkupPage, TimersRunFromEachDrawForTheCurrentDivAndStopWithThePage) {
    ASSERT_TRUE(
        Load(Page("<goto div='A'/><a href='/next' key='7' autoswitch='1500'/>"
                  "<a href='/plain' key='1'/>",
                  "<div name='A'><a href='/a' key='1' autoswitch='200'/>"
                  "<counter from='1' to='3'/></div><div name='B'>"
                  "<a href='/b' key='1' autoswitch='300'/><counter from='3' to='1'/></div>")));
    EXPECT_TRUE(host.armed.empty());  // building starts nothing
    const unsigned long link = IdOf(*Root().GetHead()->Children()[1]);
    auto& divs = Root().GetBody()->Children();
    auto& a = static_cast<NIVOML_DIV&>(*divs[0]).Children();
    for (int draw = 0; draw < 2; ++draw) {
        host.armed.clear();
        Show();
        EXPECT_EQ(host.armed, (std::map<unsigned long, long>{
                                  {link, 1500}, {IdOf(*a[0]), 200}, {IdOf(*a[1]), 1000}}));
    }
    std::string target = "unchanged";
    int key = -1;
    EXPECT_FALSE(Root().OnTimer(link + 1, target, key));
    EXPECT_TRUE(Root().OnTimer(link, target, key));
    EXPECT_EQ(target + " " + std::to_string(key), "/next 7");
    host.currentDiv = "A";
    EXPECT_TRUE(
        Root().OnTimer(IdOf(*static_cast<NIVOML_DIV&>(*divs[1]).Children()[1]), target, key));
    EXPECT_EQ(target + " " + std::to_string(key), "#A 0");
    Root().ShowDiv("B");
    Show();
    EXPECT_EQ(host.armed.size(), 5u);
    document.reset();
    EXPECT_TRUE(host.armed.empty());
    // Under the page checker no manager is there: timers are skipped, nothing crashes.
    ElementHost::s_instance = nullptr;
    ASSERT_TRUE(Load(Screen("<a href='/a' key='1' autoswitch='5'/><counter from='0' to='2'/>")));
    Show();
    EXPECT_TRUE(Root().OnTimer(IdOf(*Find<NIVOML_COUNTER>()), target, key));
    EXPECT_EQ(target, "#");
}

using MarkupIndicator = PageTest;

// Each state: the counter, '|' and a '+' while its one-second timer is armed. At its end
// the timer stops and the next draw starts a new run; a late timer does not slow it.
TEST_F(MarkupIndicator, CounterFollowsTheClockRightAlignedAndStopsAtItsEnd) {
    const std::vector<std::tuple<std::string, std::vector<int>, std::string>> runs = {
        {"from='10' to='0'", {1, 8, 1, 5}, "10|+  9|+  1|+  0| 10|+"},
        {"from='0' to='100' step='30'", {1, 2, 1}, "  0|+  30|+  90|+ 100|"},
        {"from='10' to='1' step='-3'", {1, 2}, "10|+  7|+  1|"},
        {"from='10' to='1' step='3'", {2}, "10|+  4|+"},
        {"from='0' to='3' step='0'", {2}, "0|+ 2|+"},
        {"from='5' to='20' step='-2'", {3}, " 5|+ 20|"},  // against the direction: ends at once
        {"from='0' to='2147483647' step='2147483647'", {99999}, "         0|+ 2147483647|"},
    };
    for (const auto& [counter, advances, expected] : runs) {
        ASSERT_TRUE(Load(Screen("<counter " + counter + "/>|")));
        const unsigned long id = CookieTimerId(Find<NIVOML_COUNTER>()->GetId());
        auto state = [&] {
            host.armed.clear();
            const std::string line = Show().Line(0);
            return line.substr(0, line.find('|') + 1) + (host.armed[id] == 1000 ? "+" : "");
        };
        std::string shown = state();
        for (int seconds : advances) {
            Advance(seconds);
            shown += " " + state();
        }
        EXPECT_EQ(shown, expected) << counter;
    }
    EXPECT_TRUE(Load(Screen("x<counter from='3' to='3'/>y")));
    EXPECT_EQ(Show().Line(0), "xy         ");

    // The clock set to 2040 and back to today moves no running counter.
    ASSERT_TRUE(Load(Screen("<counter from='0' to='9'/>|")));
    Show();
    Advance(2);
    SetWallClock(2208988800);
    EXPECT_EQ(Show().Line(0).substr(0, 2), "2|");
    SetWallClock(kNoon);
    Advance(1);
    EXPECT_EQ(Show().Line(0).substr(0, 2), "3|");
}

TEST_F(MarkupIndicator, LedsSwitchNamedLedsInTheirModeButNeverTheBacklight) {
    ASSERT_TRUE(
        Load(Screen("x<leds s='LED_POWER|LED_STATUS_A|LED_DISPLAY'/>"
                    "<blink><leds s='LED_STATUS_B'/></blink><leds/>")));
    EXPECT_TRUE(log.Has(Logger::Error, "InitFromNivoml fehlgeschlagen!"));
    PanelPicture panel = Show();
    EXPECT_EQ(Leds(panel), "3230");
    display->SetLed(LED_DISPLAY, MODE_ON);
    EXPECT_EQ(Leds(Show()), "3233");
}

// A shown fixed text blanks the text row; a dropped one leaves the page's text.
TEST_F(MarkupIndicator, FixedTextAcceptsOnlyTheDevicesTwentyTexts) {
    display->ShowFixedText(5);
    for (const auto& [number, shown] : std::vector<std::pair<std::string, std::string>>{
             {"20", "5 x"}, {"-1", "5 x"}, {"19", "19  "}, {"0", "0  "}}) {
        ASSERT_TRUE(Load(Screen("x<fixedtext textnr='" + number + "'/>")));
        PanelPicture panel = Show();
        EXPECT_EQ(std::to_string(panel.fixedText) + " " + panel.Text().substr(0, 1), shown);
        EXPECT_EQ(panel.Text().substr(1), std::string(21, ' '));
    }
    EXPECT_FALSE(Load(Screen("<fixedtext/>")));
}

// Date and time elements of the head follow the clock in the element's mode, with their
// symbols (DATE, DATE_P1, DATE_P2, TIME, COLON).
TEST_F(MarkupIndicator, LiveDateAndTimeFollowTheClockInEitherOrder) {
    const std::vector<std::vector<std::string>> lives = {
        {"<blink><date symbols='' format='%d%m%y'/></blink><time symbols format='%H%M'/>",
         "1230061226 2 22233", "1305061226"},
        {"<date format='%y%m%d' symbols/><time format='%I%M'/>", "1230261206 3 33300",
         "0105261206"},
        {"<date text='XY' format='%m%d'/>", "    1206   3 00000", "    1206  "},  // the format wins
    };
    for (const auto& live : lives) {
        ASSERT_TRUE(Load(Page("<goto div='A'/>" + live[0], "<div name='A'>x</div>"))) << live[0];
        PanelPicture panel = Show();
        std::string shown = panel.Segments() + " " + std::to_string(panel.segments[4].mode) + " ";
        for (unsigned symbol : {DATE, DATE_P1, DATE_P2, TIME, COLON}) {
            shown += std::to_string(panel.SymbolMode(symbol));
        }
        Advance(35 * 60);  // the live clock follows at the next segment flush
        EXPECT_EQ(shown + Flushed().Segments(), live[1] + live[2]) << live[0];
        Advance(-35 * 60);
    }
}

// Fixed texts are cut to their part of the field and placed in it; bad fields are dropped.
TEST_F(MarkupIndicator, SegmentTextsArePlacedInTheirFieldOrDropped) {
    const std::pair<std::string, std::string> fields[] = {
        {"<date text='ABCDEFG' pos='2'/><time text='12'/>", "12    ABCD"},
        {"<time text='12345' pos='1'/>", " 123      "},
        {"<time text='12' pos='4'/><date text='1' pos='-1'/>", "          "},
        {"<date/><time format='%H:%M'/>", "          "}};
    for (const auto& [head, shown] : fields) {
        ASSERT_TRUE(Load(Page("<goto div='A'/>" + head, "<div name='A'>x</div>"))) << head;
        PanelPicture panel = Show();
        EXPECT_EQ(panel.Segments(), shown) << head;
        EXPECT_EQ(panel.SymbolMode(DATE), MODE_OFF) << head;
    }
    EXPECT_TRUE(log.Has(Logger::Error, "Ung\xfcltiges Format.\ngueltig=\"%I%M\" | \"%H%M\""));
}

}  // namespace
