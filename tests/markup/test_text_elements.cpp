#include "page_fixture.h"
#include "util/utilities.h"

namespace {

using SegmentTest = PageTest;

TEST_F(SegmentTest, LiveDateAndTimeWithTheirSymbolsTakeTheElementsMode) {
    ASSERT_TRUE(
        Load(Page("<goto div=\"A\"/><blink><date symbols=\"\" format=\"%d%m%y\"/></blink>"
                  "<time symbols format=\"%H%M\"/>",
                  "<div name=\"A\">x</div>")));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Segments(), "1230061226");
    EXPECT_EQ(panel.segments[4].mode, MODE_BLINK);
    EXPECT_EQ(panel.segments[0].mode, MODE_ON);
    EXPECT_EQ(panel.SymbolMode(DATE), MODE_BLINK);
    EXPECT_EQ(panel.SymbolMode(DATE_P1), MODE_BLINK);
    EXPECT_EQ(panel.SymbolMode(DATE_P2), MODE_BLINK);
    EXPECT_EQ(panel.SymbolMode(TIME), MODE_ON);
    EXPECT_EQ(panel.SymbolMode(COLON), MODE_ON);
    Advance(35 * 60);  // the live clock follows at the next segment flush
    EXPECT_EQ(Flushed().Segments(), "1305061226");
}

TEST_F(SegmentTest, FixedTextsAreCutToTheirFieldAndPlacedInIt) {
    ASSERT_TRUE(Load(Page("<goto div=\"A\"/><date text=\"ABCDEFG\" pos=\"2\"/><time text=\"12\"/>",
                          "<div name=\"A\">x</div>")));
    EXPECT_TRUE(
        log.Has(Logger::Warning, "Text ist zu lang fuer das Date-Feld. String wird gekuerzt."));
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Segments(), "12    ABCD");
    EXPECT_EQ(panel.SymbolMode(DATE), MODE_OFF);

    ASSERT_TRUE(
        Load(Page("<goto div=\"A\"/><time text=\"12345\" pos=\"1\"/>", "<div name=\"A\">x</div>")));
    EXPECT_TRUE(
        log.Has(Logger::Warning, "Text ist zu lang fuer das Time-Feld. String wird gekuerzt."));
    EXPECT_EQ(Show().Segments(), " 123      ");
}

TEST_F(SegmentTest, InvalidFieldsAreDroppedWithTheirMessages) {
    const std::string div = "<div name=\"A\">x</div>";
    EXPECT_TRUE(Load(Page("<goto div=\"A\"/><time text=\"12\" pos=\"4\"/>", div)));
    EXPECT_TRUE(log.Has(Logger::Error,
                        "Position f\xfcr Time-Text liegt ausserhalb des gueltigen Bereichs.\n"
                        "gueltig=0..3"));
    EXPECT_TRUE(Load(Page("<goto div=\"A\"/><date text=\"1\" pos=\"-1\"/>", div)));
    EXPECT_TRUE(log.Has(Logger::Error,
                        "Position f\xfcr Date-Text liegt ausserhalb des gueltigen Bereichs.\n"
                        "gueltig=0..5"));
    EXPECT_TRUE(Load(Page("<goto div=\"A\"/><date/><time format=\"%H:%M\"/>", div)));
    EXPECT_TRUE(log.Has(Logger::Error, "Ung\xfcltiges Format.\ngueltig=\"%d%m%y\" | \"%y%m%d\""));
    EXPECT_TRUE(log.Has(Logger::Error, "Ung\xfcltiges Format.\ngueltig=\"%I%M\" | \"%H%M\""));
    EXPECT_EQ(Show().Segments(), "          ");
}

TEST_F(SegmentTest, ALiveFormatWinsOverATextEvenWhenNotOneOfTheAcceptedOnes) {
    ASSERT_TRUE(Load(
        Page("<goto div=\"A\"/><date text=\"XY\" format=\"%m%d\"/>", "<div name=\"A\">x</div>")));
    EXPECT_EQ(Show().Segments().substr(4), "1206  ");
}

}  // namespace
