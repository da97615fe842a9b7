#include <stdexcept>
#include <vector>

#include "markup/nivoml_setdatetimeobj.h"
#include "page_fixture.h"
#include "util/utilities.h"

namespace {

// The page clock shows 2026-12-06 12:30.
class SetterTest : public PageTest {
protected:
    static std::string Setter(const std::string& tag, const std::string& format,
                              const std::string& extra = "") {
        return "<" + tag + " inccursorkey=\"1\" incdatakey=\"2\" decdatakey=\"4\" format=\"" +
               format + "\" goto=\"#D\" " + extra + "/>";
    }
    // Loads a screen holding the setter and draws it.
    NIVOML_SETDATETIMEOBJ& Open(const std::string& setter, const std::string& head = "") {
        EXPECT_TRUE(Load(Page("<goto div=\"D\"/>" + head, "<div name=\"D\">" + setter + "</div>")));
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

TEST_F(SetterTest, EveryFormatWalksItsFieldsThenAsksForSubmissionAndStartsOver) {
    struct Walk {
        const char* tag;
        const char* format;
        const char* shown;
        std::vector<int> fields;
    };
    const Walk walks[] = {
        {"setdate", "%y%m%d", "    261206", {4, 6, 8}},
        {"setdate", "%d%m%y", "    061226", {8, 6, 4}},
        {"settime", "%H%M", "1230      ", {0, 2}},
        {"settime", "%I%M", "1230      ", {0, 2}},
        {"setdatetime", "%H%M%y%m%d", "1230261206", {0, 2, 4, 6, 8}},
        {"setdatetime", "%I%M%y%m%d", "1230261206", {0, 2, 4, 6, 8}},
        {"setdatetime", "%H%M%d%m%y", "1230061226", {0, 2, 8, 6, 4}},
        {"setdatetime", "%I%M%d%m%y", "1230061226", {0, 2, 8, 6, 4}},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(std::string(walk.tag) + " " + walk.format);
        host.setterSubmits.clear();
        NIVOML_SETDATETIMEOBJ& setter = Open(Setter(walk.tag, walk.format));
        std::vector<int> visited{BlinkingField(Flushed())};
        for (int step = 0; step < 8 && setter.IncCursor(*display) == 1; ++step) {
            EXPECT_TRUE(host.setterSubmits.empty());
            PanelPicture panel = Flushed();
            EXPECT_EQ(panel.Segments(), walk.shown);
            visited.push_back(BlinkingField(panel));
        }
        EXPECT_EQ(visited, walk.fields);
        EXPECT_EQ(host.setterSubmits, std::vector<int>{1});
        EXPECT_EQ(BlinkingField(Show()), walk.fields.front());
    }
}

TEST_F(SetterTest, RedrawKeepsTheFieldButMovesASetdatetimeOn) {
    NIVOML_SETDATETIMEOBJ& date = Open(Setter("setdate", "%d%m%y"));
    date.IncCursor(*display);
    EXPECT_EQ(BlinkingField(Show()), 6);
    EXPECT_EQ(BlinkingField(Show()), 6);

    // The head's live date must not come back over the edited date when a
    // redraw ends the walk.
    Open(Setter("setdatetime", "%H%M%y%m%d"), "<date format=\"%d%m%y\"/>");
    EXPECT_EQ(BlinkingField(Show()), 2);
    for (int draw = 0; draw < 3; ++draw) Show();
    EXPECT_TRUE(host.setterSubmits.empty());
    PanelPicture ended = Show();
    EXPECT_EQ(host.setterSubmits, std::vector<int>{1});
    Advance(86400);
    EXPECT_EQ(Flushed().Segments(), "1230261206");
    EXPECT_EQ(BlinkingField(ended), -1);
    // Between walks there is no field to change.
    NIVOML_SETDATETIMEOBJ& setter = *Root().GetDateTimeSetter();
    setter.IncData(*display);
    setter.DecData(*display);
    EXPECT_EQ(Flushed().Segments(), "1230261206");
}

TEST_F(SetterTest, DrawShowsTodayWithItsSymbolsAndStopsOnlyTheEditedLiveClock) {
    Open(Setter("settime", "%H%M"), "<date format=\"%d%m%y\"/><time format=\"%H%M\"/>");
    Advance(86400 + 35 * 60);
    PanelPicture panel = Flushed();
    EXPECT_EQ(panel.Segments(), "1230071226");
    EXPECT_EQ(panel.SymbolMode(COLON), MODE_ON);
    EXPECT_EQ(panel.SymbolMode(TIME), MODE_ON);

    Open(Setter("setdate", "%y%m%d"), "<date format=\"%d%m%y\"/><time format=\"%H%M\"/>");
    Advance(86400 + 60);
    panel = Flushed();
    EXPECT_EQ(panel.Segments(), "1306261207");
    EXPECT_EQ(panel.SymbolMode(DATE), MODE_ON);
    EXPECT_EQ(panel.SymbolMode(DATE_P1), MODE_ON);
    EXPECT_EQ(panel.SymbolMode(DATE_P2), MODE_ON);
}

TEST_F(SetterTest, EachFieldStepsAndWrapsWithinItsLimitsAndKeepsBlinking) {
    struct Field {
        int cell;
        const char* top;
        const char* bottom;
    };
    // Hour, minute, year, month, day; the day runs to 31 whatever the month.
    const Field fields[] = {
        {0, "23", "00"}, {2, "59", "00"}, {4, "99", "00"}, {6, "12", "01"}, {8, "31", "01"}};
    NIVOML_SETDATETIMEOBJ& setter = Open(Setter("setdatetime", "%H%M%y%m%d"));
    for (const Field& field : fields) {
        SCOPED_TRACE(field.cell);
        display->WriteSegText(field.top, MODE_BLINK, field.cell);
        setter.IncData(*display);
        EXPECT_EQ(Shown(field.cell), field.bottom);
        setter.DecData(*display);
        EXPECT_EQ(Shown(field.cell), field.top);
        display->WriteSegText("05", MODE_BLINK, field.cell);
        setter.IncData(*display);
        EXPECT_EQ(Shown(field.cell), "06");
        setter.DecData(*display);
        setter.DecData(*display);
        EXPECT_EQ(Shown(field.cell), "04");
        EXPECT_EQ(BlinkingField(Flushed()), field.cell);
        setter.IncCursor(*display);
    }

    // A setdate edits the date cells, year first for day-month-year.
    NIVOML_SETDATETIMEOBJ& date = Open(Setter("setdate", "%d%m%y"));
    display->WriteSegText("00", MODE_BLINK, 8);
    date.DecData(*display);
    EXPECT_EQ(Shown(8), "99");
    date.IncCursor(*display);
    date.IncCursor(*display);
    date.DecData(*display);
    EXPECT_EQ(Shown(4), "05");
    EXPECT_EQ(Flushed().Segments(), "    051299");
}

TEST_F(SetterTest, TwelveHourFieldSwapsAmAndPmBetweenElevenAndTwelveBothWays) {
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
    expectHour(12);  // noon shows 12 with PM
    for (int step = 1; step <= 24; ++step) {
        setter.IncData(*display);
        expectHour((12 + step) % 24);
    }
    for (int step = 1; step <= 24; ++step) {
        setter.DecData(*display);
        expectHour((12 + 24 - step) % 24);
    }
}

TEST_F(SetterTest, GettersReadWhatTheDisplayShowsInEitherDateOrder) {
    for (const char* format : {"%d%m%y", "%y%m%d"}) {
        SCOPED_TRACE(format);
        NIVOML_SETDATETIMEOBJ& date = Open(Setter("setdate", format));
        EXPECT_EQ(date.GetDay(*display), 6);
        EXPECT_EQ(date.GetMonth(*display), 12);
        date.IncData(*display);  // the year is the first field either way
        EXPECT_EQ(date.GetYear(*display), 27);
    }
    for (const char* format : {"%H%M%d%m%y", "%I%M%y%m%d"}) {
        SCOPED_TRACE(format);
        NIVOML_SETDATETIMEOBJ& setter = Open(Setter("setdatetime", format));
        setter.DecData(*display);
        EXPECT_EQ(setter.GetHour(*display), 11);
        EXPECT_EQ(setter.GetMinute(*display), 30);
        EXPECT_EQ(setter.GetDay(*display), 6);
        EXPECT_EQ(setter.GetMonth(*display), 12);
        EXPECT_EQ(setter.GetYear(*display), 26);
    }
    // A 12 without PM is midnight.
    NIVOML_SETDATETIMEOBJ& twelve = Open(Setter("setdatetime", "%I%M%d%m%y"));
    EXPECT_EQ(twelve.GetHour(*display), 12);
    display->SetSymbols(PM, MODE_OFF);
    display->SetSymbols(AM, MODE_ON);
    EXPECT_EQ(twelve.GetHour(*display), 0);
}

TEST_F(SetterTest, KeysBindTheirCommandsLaterWinningAndDurationsUntouched) {
    NIVOML_SETDATETIMEOBJ& setter = Open(
        "<setdate inccursorkey=\"3\" incdatakey=\"5\" decdatakey=\"5\" format=\"%y%m%d\" "
        "goto=\"#D\"/>");
    KeyTable table;
    table.durations.fill(1.5);
    table.targets[3] = "/old";
    setter.AddToKeyTable(table);
    EXPECT_EQ(table.targets[3], "!inccursor");
    EXPECT_EQ(table.targets[5], "!decdata");
    for (double duration : table.durations) EXPECT_EQ(duration, 1.5);

    // A head link's hold time stays on the key the setter takes over.
    Open(Setter("settime", "%H%M"), "<a href=\"/held\" key=\"2\" duration=\"2\"/>");
    EXPECT_EQ(Root().GetKeyTarget(2, 1.0), "");
    EXPECT_EQ(Root().GetKeyTarget(2, 2.0), "!incdata");
    EXPECT_EQ(Root().GetKeyTarget(1, 0.0), "!inccursor");
    EXPECT_EQ(Root().GetKeyTarget(4, 0.0), "!decdata");

    NIVOML_SETDATETIMEOBJ& odd = Open(
        "<settime inccursorkey=\"9\" incdatakey=\"-1\" decdatakey=\"6\" format=\"%H%M\" "
        "goto=\"#D\"/>");
    KeyTable oddTable;
    odd.AddToKeyTable(oddTable);
    for (int key = 0; key < KeyTable::kKeys; ++key) {
        EXPECT_EQ(oddTable.targets[key], key == 6 ? "!decdata" : "") << key;
    }
}

TEST_F(SetterTest, TimerOfTheSetterGivesItsGotoTargetAndAutosubmitIsNeverNegative) {
    NIVOML_SETDATETIMEOBJ& setter = Open(Setter("setdatetime", "%H%M%y%m%d", "autosubmit=\"-5\""));
    EXPECT_EQ(setter.GetAutosubmit(), 0);
    EXPECT_EQ(setter.GetName(), "setdatetime");
    EXPECT_TRUE(host.restarts.empty());  // it starts no timer of its own
    std::string target = "unchanged";
    int key = 7;
    const unsigned long id = CookieTimerId(setter.GetId());
    EXPECT_FALSE(Root().OnTimer(id + 1, target, key));
    EXPECT_EQ(target, "unchanged");
    EXPECT_TRUE(Root().OnTimer(id, target, key));
    EXPECT_EQ(target, "#D");
    EXPECT_EQ(key, 0);

    EXPECT_EQ(Open(Setter("settime", "%H%M", "autosubmit=\"3000\"")).GetAutosubmit(), 3000);
    ElementHost::s_instance = nullptr;  // the page checker runs without a manager
    NIVOML_SETDATETIMEOBJ& alone = *Root().GetDateTimeSetter();
    EXPECT_EQ(alone.IncCursor(*display), 1);
    EXPECT_EQ(alone.IncCursor(*display), 0);
    EXPECT_TRUE(host.setterSubmits.empty());
    EXPECT_EQ(BlinkingField(Show()), 0);
}

TEST_F(SetterTest, InvalidSettersAreDroppedAndBindNoKeys) {
    const std::string invalid[] = {
        "<settime inccursorkey=\"1\" incdatakey=\"2\" format=\"%d%m%y\" goto=\"#D\"/>",
        "<setdate inccursorkey=\"1\" incdatakey=\"2\" format=\"%H%M\" goto=\"#D\"/>",
        "<setdatetime inccursorkey=\"1\" incdatakey=\"2\" format=\"%H%M\" goto=\"#D\"/>",
        "<settime inccursorkey=\"1\" incdatakey=\"2\" format=\"%H%M\"/>",
        "<settime inccursorkey=\"0\" incdatakey=\"2\" format=\"%H%M\" goto=\"#D\"/>",
        "<settime inccursorkey=\"1\" format=\"%H%M\" goto=\"#D\"/>",
        "<setdate inccursorkey=\"1\" decdatakey=\"2\" goto=\"#D\"/>",
    };
    for (const std::string& setter : invalid) {
        SCOPED_TRACE(setter);
        log.ClearLines();
        ASSERT_TRUE(Load(Screen("x" + setter)));
        EXPECT_EQ(Root().GetDateTimeSetter(), nullptr);
        EXPECT_TRUE(log.Has(Logger::Error, "InitFromNivoml fehlgeschlagen!"));
        EXPECT_EQ(Root().GetKeyTarget(1, 0.0), "");
    }
    // Only one data key is enough.
    ASSERT_TRUE(
        Load(Screen("<settime inccursorkey=\"1\" decdatakey=\"2\" format=\"%H%M\" "
                    "goto=\"#D\"/>")));
    EXPECT_NE(Root().GetDateTimeSetter(), nullptr);
}

}  // namespace
