#include "markup/nivoml_body.h"
#include "page_fixture.h"
#include "util/utilities.h"

namespace {

using StructureTest = PageTest;

const char* kThreeDivs =
    "<div name=\"A\">aaa</div><div name=\"B\">bbb</div><div name=\"C\">ccc</div>";

TEST_F(StructureTest, StartDivComesFromTheFirstGotoElseTheFirstDiv) {
    ASSERT_TRUE(Load(Page("<goto div=\"B\"/><goto div=\"C\"/>", kThreeDivs)));
    EXPECT_EQ(Root().GetStartDivName(), "B");
    EXPECT_EQ(Show().Line(0), "bbb        ");
    ASSERT_TRUE(Load(Page("<a href=\"/x\" key=\"1\"/>", kThreeDivs)));
    EXPECT_EQ(Root().GetCurrentDivName(), "A");
    ASSERT_TRUE(Load(Page("<goto div=\"missing\"/>", kThreeDivs)));
    EXPECT_EQ(Root().GetCurrentDivName(), "A");
    Root().ShowDiv("C");
    EXPECT_EQ(Show().Line(0), "ccc        ");
    Root().ShowDiv("nowhere");
    EXPECT_EQ(Root().GetCurrentDivName(), "A");
    EXPECT_FALSE(Load(Page("<goto/>", kThreeDivs)));  // goto without div is dropped
}

TEST_F(StructureTest, KeyTableTakesHeadLinksThenTheCurrentDivsLaterOnesWinning) {
    ASSERT_TRUE(
        Load(Page("<goto div=\"A\"/><a href=\"/head1\" key=\"1\"/>"
                  "<a href=\"/head2\" key=\"2\" duration=\"2\"/>",
                  "<div name=\"A\"><a href=\"/divA\" key=\"1\">go</a>"
                  "<a href=\"/first\" key=\"3\"/><a href=\"/second\" key=\"3\"/></div>"
                  "<div name=\"B\">b<a href=\"/divB\" key=\"2\"/></div>")));
    EXPECT_EQ(Root().GetKeyTarget(1, 0), "/divA");
    EXPECT_EQ(Root().GetKeyTarget(3, 0), "/second");
    EXPECT_EQ(Root().GetKeyTarget(2, 1.0), "");
    EXPECT_EQ(Root().GetKeyTarget(2, 2.0), "/head2");
    EXPECT_EQ(Root().GetKeyTarget(0, 99), "");
    EXPECT_EQ(Root().GetKeyTarget(8, 0), "");
    EXPECT_EQ(Root().GetKeyTarget(-1, 0), "");

    Root().ShowDiv("B");
    EXPECT_EQ(Root().GetKeyTarget(1, 0), "/head1");  // head binding applies again
    EXPECT_EQ(Root().GetKeyTarget(2, 0), "/divB");   // without the head's duration
    EXPECT_EQ(Root().GetKeyTarget(3, 0), "");
}

TEST_F(StructureTest, LinksThatCannotBindAreDroppedOrInert) {
    ASSERT_TRUE(
        Load(Screen("<a href=\"/nokey\">x</a><a key=\"1\">y</a><a href=\"\" key=\"2\"/>"
                    "<a href=\"/far\" key=\"9\"/><a href=\"/neg\" key=\"-1\"/>"
                    "<blink><a href=\"/nested\" key=\"4\">n</a></blink>"
                    "<a href=\"/ok\" key=\"5\">ok</a>")));
    for (int key = 0; key < 8; ++key) {
        EXPECT_EQ(Root().GetKeyTarget(key, 0), key == 5 ? "/ok" : "") << key;
    }
    // The links' texts are drawn: x and y belonged to dropped links.
    EXPECT_EQ(Show().Line(0), "nok        ");
}

TEST_F(StructureTest, DrawingThePageKeepsTheDisplayLedAndClearsTheRest) {
    display->SetLed(LED_DISPLAY, MODE_ON);
    display->SetLed(LED_POWER, MODE_ON);
    display->WriteText("old text", MODE_ON, 0);
    ASSERT_TRUE(Load(Screen("new")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.LedMode(LED_DISPLAY), MODE_ON);
    EXPECT_EQ(panel.LedMode(LED_POWER), MODE_OFF);
    EXPECT_EQ(panel.Line(0), "new        ");
}

TEST_F(StructureTest, BodyDrawsOnlyTheCurrentDiv) {
    ASSERT_TRUE(Load(Page("<goto div=\"B\"/><time text=\"12\"/>",
                          "<div name=\"A\"><leds s=\"LED_POWER\"/>a</div>"
                          "<div name=\"B\">b</div>")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Line(0), "b          ");
    EXPECT_EQ(panel.LedMode(LED_POWER), MODE_OFF);
    EXPECT_EQ(panel.Segments().substr(0, 2), "12");
}

}  // namespace
