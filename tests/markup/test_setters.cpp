#include <stdexcept>

#include "markup/nivoml_setdatetimeobj.h"
#include "page_fixture.h"

namespace {

// The page clock shows 2026-12-06 12:30.
class MarkupSetter : public PageTest {
protected:
    static std::string Setter(const std::string& tag, const std::string& format,
                              const std::string& extra = "") {
        return "<" + tag + " inccursorkey='1' incdatakey='2' decdatakey='4' format='" + format +
               "' goto='#D' " + extra + "/>";
    }
    // Loads a screen holding the setter and draws it.
    NIVOML_SETDATETIMEOBJ& Open(const std::string& setter, const std::string& head = "") {
        EXPECT_TRUE(Load(Page("<goto div='D'/>" + head, "<div name='D'>" + setter + "</div>")));
        NIVOML_SETDATETIMEOBJ* found = document->GetRoot() ? Root().GetDateTimeSetter() : nullptr;
        if (!found) throw std::runtime_error("no setter on the page");
        Show();
        return *found;
    }
    // The first cell of the blinking field; -1 unless exactly one pair of cells blinks.
    static int BlinkingField(const PanelPicture& panel) {
        std::vector<int> cells;
        for (int i = 0; i < 10; ++i) {
            if (panel.segments[i].mode == MODE_BLINK) cells.push_back(i);
        }
        return cells.size() == 2 && cells[1] == cells[0] + 1 ? cells[0] : -1;
    }
    std::string Shown(int cell) { return Flushed().Segments().substr(cell, 2); }
};

// Under a live date and time in the head: the setter's symbols (DATE, DATE_P1, DATE_P2, TIME,
// COLON), the walk, and after it only the clock the setter does not edit goes on.
TEST_F(MarkupSetter, EveryFormatWalksItsFieldsThenAsksForSubmissionAndStartsOver) {
    struct Walk {
        const char* tag;
        const char* format;
        const char* shown;  // symbols, field, the field a day and 35 minutes later
        std::vector<int> fields;
    };
    const Walk walks[] = {
        {"setdate", "%y%m%d", "33300 1230261206 1305261206", {4, 6, 8}},
        {"setdate", "%d%m%y", "33300 1230061226 1305061226", {8, 6, 4}},
        {"settime", "%H%M", "00033 1230061226 1230071226", {0, 2}},
        {"settime", "%I%M", "00033 1230061226 1230071226", {0, 2}},
        {"setdatetime", "%H%M%y%m%d", "00000 1230261206 1230261206", {0, 2, 4, 6, 8}},
        {"setdatetime", "%I%M%y%m%d", "00000 1230261206 1230261206", {0, 2, 4, 6, 8}},
        {"setdatetime", "%H%M%d%m%y", "00000 1230061226 1230061226", {0, 2, 8, 6, 4}},
        {"setdatetime", "%I%M%d%m%y", "00000 1230061226 1230061226", {0, 2, 8, 6, 4}},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(std::string(walk.tag) + " " + walk.format);
        host.setterSubmits.clear();
        NIVOML_SETDATETIMEOBJ& setter =
            Open(Setter(walk.tag, walk.format), "<date format='%d%m%y'/><time format='%H%M'/>");
        PanelPicture panel = Flushed();
        std::string shown;
        for (unsigned symbol : {DATE, DATE_P1, DATE_P2, TIME, COLON}) {
            shown += std::to_string(panel.SymbolMode(symbol));
        }
        std::vector<int> visited{BlinkingField(panel)};
        for (int step = 0; step < 8 && setter.IncCursor(*display) == 1; ++step) {
            EXPECT_TRUE(host.setterSubmits.empty());
            panel = Flushed();
            visited.push_back(BlinkingField(panel));
        }
        EXPECT_EQ(visited, walk.fields);
        EXPECT_EQ(std::vector<int>({setter.GetHour(*display), setter.GetMinute(*display),
                                    setter.GetDay(*display), setter.GetMonth(*display),
                                    setter.GetYear(*display)}),
                  std::vector<int>({12, 30, 6, 12, 26}));
        EXPECT_EQ(host.setterSubmits, std::vector<int>{1});
        Advance(86400 + 35 * 60);
        EXPECT_EQ(shown + " " + panel.Segments() + " " + Flushed().Segments(), walk.shown);
        Advance(-86400 - 35 * 60);
        EXPECT_EQ(BlinkingField(Show()), walk.fields.front());
    }
}

TEST_F(MarkupSetter, EachFieldStepsAndWrapsWithinItsLimitsAndKeepsBlinking) {
    // Hour, minute, year, month, day; the day runs to 31 whatever the month.
    const std::string fields[] = {"2300", "5900", "9900", "1201", "3101"};  // top, then bottom
    NIVOML_SETDATETIMEOBJ& setter = Open(Setter("setdatetime", "%H%M%y%m%d"));
    for (int cell = 0; cell < 10; cell += 2) {
        SCOPED_TRACE(cell);
        const std::string top = fields[cell / 2].substr(0, 2), bottom = fields[cell / 2].substr(2);
        display->WriteSegText(top, MODE_BLINK, cell);
        setter.IncData(*display);
        EXPECT_EQ(Shown(cell), bottom);
        setter.DecData(*display);
        EXPECT_EQ(Shown(cell), top);
        EXPECT_EQ(BlinkingField(Flushed()), cell);
        setter.IncCursor(*display);
    }
    // A setdate edits the date cells, year first for day-month-year.
    NIVOML_SETDATETIMEOBJ& date = Open(Setter("setdate", "%d%m%y"));
    display->WriteSegText("00", MODE_BLINK, 8);
    date.DecData(*display);
    date.IncCursor(*display);
    date.IncCursor(*display);
    date.DecData(*display);
    EXPECT_EQ(Flushed().Segments(), "    051299");
    EXPECT_EQ(std::to_string(date.GetDay(*display)) + "." +
                  std::to_string(date.GetMonth(*display)) + "." +
                  std::to_string(date.GetYear(*display)),
              "5.12.99");
}

// The one owner of the 12-hour rules: 12 AM is hour 0, 12 PM is noon.
TEST_F(MarkupSetter, TwelveHourFieldSwapsAmAndPmBetweenElevenAndTwelveBothWays) {
    NIVOML_SETDATETIMEOBJ& setter = Open(Setter("settime", "%I%M"));
    auto expectHour = [&](int hour) {
        SCOPED_TRACE(hour);
        PanelPicture panel = Flushed();
        const int shown = hour % 12 == 0 ? 12 : hour % 12;
        EXPECT_EQ(panel.Segments().substr(0, 2), (shown < 10 ? "0" : "") + std::to_string(shown));
        EXPECT_EQ(panel.SymbolMode(PM), hour >= 12 ? MODE_ON : MODE_OFF);
        EXPECT_EQ(panel.SymbolMode(AM), hour >= 12 ? MODE_OFF : MODE_ON);
        EXPECT_EQ(setter.GetHour(*display), hour);
    };
    expectHour(12);                           // noon shows 12 with PM
    for (int step = 1; step <= 48; ++step) {  // a day up, then a day down
        step <= 24 ? setter.IncData(*display) : setter.DecData(*display);
        expectHour((12 + (step <= 24 ? step : 48 - step)) % 24);
    }
    setter.IncCursor(*display);  // minutes passing 11 and 12 leave PM alone
    display->WriteSegText("11", MODE_BLINK, 2);
    setter.IncData(*display);
    expectHour(12);
}

TEST_F(MarkupSetter, InvalidSettersAreDroppedAndBindNoKeys) {
    for (const char* setter :
         {"<settime inccursorkey='1' incdatakey='2' format='%d%m%y' goto='#D'/>",
          "<setdate inccursorkey='1' incdatakey='2' format='%H%M' goto='#D'/>",
          "<setdatetime inccursorkey='1' incdatakey='2' format='%H%M' goto='#D'/>",
          "<settime inccursorkey='1' incdatakey='2' format='%H%M'/>",
          "<settime inccursorkey='0' incdatakey='2' format='%H%M' goto='#D'/>",
          "<settime inccursorkey='1' format='%H%M' goto='#D'/>",
          "<setdate inccursorkey='1' decdatakey='2' goto='#D'/>"}) {
        ASSERT_TRUE(Load(Screen(std::string("x") + setter))) << setter;
        EXPECT_EQ(Root().GetDateTimeSetter(), nullptr) << setter;
        EXPECT_EQ(Root().GetKeyTarget(1, 0.0), "") << setter;
    }
    // Only one data key is enough; the other binds nothing.
    ASSERT_TRUE(Load(Screen("<settime inccursorkey='1' decdatakey='2' format='%H%M' goto='#D'/>")));
    EXPECT_EQ(Bindings(0), "|!inccursor|!decdata||||||");
}

}  // namespace
