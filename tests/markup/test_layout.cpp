#include "markup/nivoml_body.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_text.h"
#include "page_fixture.h"

namespace {

using LayoutTest = PageTest;

TEST_F(LayoutTest, TextRunsFollowOneAnotherAndTheNextScreenStartsAtCellZero) {
    ASSERT_TRUE(Load(
        Page("<goto div=\"A\"/>", "<div name=\"A\">Hello</div><div name=\"B\">ab<skip/>cd</div>")));
    EXPECT_EQ(g_textPosition, 0);
    EXPECT_EQ(Show().Text(), "Hello                 ");
    Root().ShowDiv("B");
    EXPECT_EQ(Show().Text(), "ab cd                 ");
}

TEST_F(LayoutTest, LineBreaksMoveToTheNextLineOnlyWhenNotAlreadyThere) {
    ASSERT_TRUE(Load(Screen("ab<br/>cd")));
    EXPECT_EQ(Show().Line(1), "cd         ");
    ASSERT_TRUE(Load(Screen("<br/>xy")));
    EXPECT_EQ(Show().Text(), std::string(11, ' ') + "xy         ");
    ASSERT_TRUE(Load(Screen("01234567890<br/>z")));  // exactly at cell 11 already
    EXPECT_EQ(Show().Line(1), "z          ");
}

TEST_F(LayoutTest, TextPastTheDisplayIsKeptWhileLaterTextIsRefused) {
    ASSERT_TRUE(Load(Screen("a<br/>b<br/>refused")));  // second br at 12 moves to 22
    EXPECT_TRUE(log.Has(Logger::Debug, "Position: 22"));
    EXPECT_TRUE(
        log.Has(Logger::Debug, "Displaytextbreite ist ausgesch\xf6pft! Text wird nicht geparsed."));
    EXPECT_EQ(Show().Text(), "a          b          ");

    log.ClearLines();
    ASSERT_TRUE(Load(Screen("<br/>twelve chars<skip/>more")));
    EXPECT_TRUE(log.Has(Logger::Debug, "Text geht \xfc" "ber das Display hinaus: twelve chars"));
    EXPECT_TRUE(log.Contains("ausgesch\xf6pft"));
    EXPECT_EQ(Show().Line(1), "twelve char");
}

TEST_F(LayoutTest, TextRunsAroundElementsReadTheirOwnRunsEvenAfterARefusedOne) {
    ASSERT_TRUE(Load(Screen("one<skip count=\"2\"/>two<skip count=\"-1\"/>three")));
    EXPECT_EQ(Show().Text(), "one  twothree         ");
    // A nested div brings the position back to 0: the run after it shows its own
    // text, never the refused "late".
    ASSERT_TRUE(
        Load(Screen("0123456789012345678901<skip/>late<div name=\"I\"><skip/></div>"
                    "after")));
    EXPECT_EQ(Show().Line(0), "after567890");
}

TEST_F(LayoutTest, ADroppedDivStillLeavesTheNextScreenAtCellZero) {
    ASSERT_TRUE(Load(Page("<goto div=\"B\"/>",
                          "<div name=\"A\"><a href=\"\" key=\"1\">Hello world</a></div>"
                          "<div name=\"B\">Next</div>")));
    EXPECT_TRUE(log.Has(Logger::Error, "InitFromNivoml fehlgeschlagen!"));
    EXPECT_EQ(Show().Line(0), "Next       ");
    // Nor does a previous page's stray position shift the next page.
    g_textPosition = 17;
    ASSERT_TRUE(Load(Screen("top")));
    EXPECT_EQ(Show().Line(0), "top        ");
}

TEST_F(LayoutTest, HostileSkipCountsSaturateInsteadOfOverflowing) {
    ASSERT_TRUE(Load(Screen("a<skip count=\"2147483647\"/><skip count=\"2147483647\"/>b")));
    EXPECT_EQ(Show().Text(), "a                     ");
}

TEST_F(LayoutTest, FormatTagsGiveTheirModeToTheTextInside) {
    ASSERT_TRUE(
        Load(Screen("<blink_inv>ab<br/>cd</blink_inv><off>hid</off>x"
                    "<blink>b<on>n</on></blink>")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.text[0].mode, MODE_BLINK_INV);
    EXPECT_EQ(panel.text[11].mode, MODE_BLINK_INV);
    EXPECT_EQ(panel.text[12].ch, 'd');
    // off hides its text but keeps its cells: x follows at 16.
    EXPECT_EQ(panel.text[13].mode, MODE_OFF);
    EXPECT_EQ(panel.text[16].ch, 'x');
    EXPECT_EQ(panel.text[16].mode, MODE_ON);
    EXPECT_EQ(panel.text[17].mode, MODE_BLINK);
    EXPECT_EQ(panel.text[18].ch, 'n');
    EXPECT_EQ(panel.text[18].mode, MODE_ON);  // the innermost format decides
}

TEST_F(LayoutTest, Latin1TextReachesTheCells) {
    ASSERT_TRUE(
        Load(Screen("Gr\xFC\xDF"
                    "e &#228;")));
    EXPECT_EQ(Show().Line(0),
              "Gr\xFC\xDF"
              "e \xE4    ");
}

}  // namespace
