#include <cstdio>

#include "markup/nivoml_form.h"
#include "markup/nivoml_input.h"
#include "markup/nivoml_ipinput.h"
#include "markup/nivoml_select.h"
#include "markup/nivoml_stepper.h"
#include "page_fixture.h"

namespace {

// Cells with the state characters written as + and - (check box), * and o (radio button).
std::string Boxes(std::string cells) {
    for (char& c : cells) {
        if (c == '+' || c == '-')
            c = c == '+' ? NIVOML_INPUT::CHECKBOX_ON : NIVOML_INPUT::CHECKBOX_OFF;
        if (c == '*') c = NIVOML_INPUT::RADIO_ON;
    }
    return cells;
}

class MarkupForm : public PageTest {
protected:
    // A screen with one form; Show() has drawn it.
    NIVOML_FORM& ShowForm(const std::string& attributes, const std::string& content) {
        EXPECT_TRUE(Load(Screen("<form " + attributes + ">" + content + "</form>")));
        EXPECT_NE(Root().GetFormForKey(0), nullptr);
        m_panel = Show();
        return Form();
    }
    void Step(void (NIVOML_FORM::*operation)(NIVO_Display&), int times = 1) {
        for (int i = 0; i < times; ++i) (Form().*operation)(*display);
        m_panel = Flushed();
    }
    NIVOML_FORM& Form() { return *Root().GetFormForKey(0); }
    std::string Cells(int from, int len) const { return m_panel.Text().substr(from, len); }
    // The first cells, the cursor cell and the form's values.
    std::string State(int cells) {
        return Cells(0, cells) + " @" + std::to_string(m_panel.cursor) + " " +
               Form().GetValues(*display);
    }
    PanelPicture m_panel;
};

TEST_F(MarkupForm, TextFieldCyclesItsMaskClassesWithinEachCellsRangeDigit) {
    ShowForm("method='get' action='/set.cgi'",
             "Pin<input type='text' name='pin' value='2bx9' mask='1,3,5,17' range='25'/>");
    EXPECT_EQ(State(7), "Pin2bx9 @3 pin=2bx9;");
    Step(&NIVOML_FORM::IncData, 3);  // range digit 2: 0, 1, 2 and round
    Step(&NIVOML_FORM::DecData);     // only steps forward
    EXPECT_EQ(Cells(3, 1), "2");
    Step(&NIVOML_FORM::IncCursor);  // digits 0..5, lower case letters, and round after z
    Step(&NIVOML_FORM::IncData, 31);
    EXPECT_EQ(Cells(4, 1), "a");
    Step(&NIVOML_FORM::IncCursor);  // x is not among digits and capitals
    Step(&NIVOML_FORM::IncData, 11);
    Step(&NIVOML_FORM::IncCursor);  // after 9 a blank, still visible once a digit is typed
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(State(7), "Pin2aA  @6 pin=2aA ;");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(m_panel.text[6].mode, MODE_ON);
    Step(&NIVOML_FORM::IncCursor);  // past the last position: back to the first
    EXPECT_EQ(State(7), "Pin2aA0 @3 pin=2aA0;");
    m_panel = Show();  // redrawing the page drops unsent edits
    EXPECT_EQ(State(7), "Pin2bx9 @3 pin=2bx9;");
}

// A check box toggles in place; a radio button clears its group and hands the cursor on.
// Either is sent with its page value while checked.
TEST_F(MarkupForm, CheckBoxesToggleAndRadioButtonsOfOneNameBehaveAsOneGroup) {
    ShowForm("method='get'",
             "<input type='checkbox' name='c' value='A'/><input type='checkbox' name='d' value='x' "
             "checked/><input type='radio' name='r' value='1'/><input type='radio' name='r' "
             "value='2' checked=''/><input type='radio' name='s' value='4' checked/>");
    EXPECT_EQ(State(10), Boxes("A-x+1o2*4* @1 d=x;r=2;s=4;"));
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(State(10), Boxes("A+x+1o2*4* @1 c=A;d=x;r=2;s=4;"));
    Step(&NIVOML_FORM::IncCursor);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(State(10), Boxes("A+x-1o2*4* @3 c=A;r=2;s=4;"));
    Step(&NIVOML_FORM::IncCursor);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(State(10), Boxes("A+x-1*2o4* @7 c=A;r=1;s=4;"));
    Step(&NIVOML_FORM::DecData);  // the decrease key leaves the whole group unchecked
    EXPECT_EQ(State(10), Boxes("A+x-1o2o4* @9 c=A;s=4;"));
    Step(&NIVOML_FORM::IncData);  // one that is already checked stays so
    EXPECT_EQ(State(10), Boxes("A+x-1o2o4* @1 c=A;s=4;"));
    m_panel = Show();
    EXPECT_EQ(State(10), Boxes("A-x+1o2*4* @1 d=x;r=2;s=4;"));
}

TEST_F(MarkupForm, GetRequestEscapesItsPairsAndTailAndAFormWithoutControlsSendsNothing) {
    NIVOML_FORM& form = ShowForm("method='get' action='http://127.0.0.1:8080/cgi/set.cgi?x=1'",
                                 "<input type='text' name='a' value='1 2' mask='0,0,8'/>"
                                 "<input type='hidden' name='b' value='y'/>");
    EXPECT_EQ(form.GetAction() + " " + std::to_string(form.GetPort()), "/cgi/set.cgi 8080");
    EXPECT_EQ(form.BuildRequest(*display, "&sDivname=\"m y\""),
              "GET /cgi/set.cgi?a=1+2&b=y&sDivname=%22m+y%22 HTTP/1.0\r\n\r\n");
    // A plus typed on the panel and a percent sign reach the server as themselves.
    NIVOML_FORM& typed = ShowForm("method='get' action='/p.cgi'",
                                  "<input type='hidden' name='p' value='50% &quot;a+b&quot;'/>"
                                  "<input type='text' name='s' value=' ' mask='24'/>");
    std::string signs;  // the signs, then the blank, and round
    for (int i = 0; i < 7; ++i, signs += Cells(0, 1)) Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(signs, "+-*/_ +");
    EXPECT_EQ(typed.BuildRequest(*display, "&t=1"),
              "GET /p.cgi?p=50%25+%22a%2Bb%22&s=%2B&t=1 HTTP/1.0\r\n\r\n");
    NIVOML_FORM& empty = ShowForm("method='get' action='/x'", "Send<input type='submit' key='2'/>");
    Step(&NIVOML_FORM::IncCursor);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(empty.GetFocus(), nullptr);
    EXPECT_EQ(State(5), "Send  @-1 ");
    EXPECT_EQ(empty.BuildRequest(*display, "&tail"), "");
}

TEST_F(MarkupForm, AttributesOfTheFormReachTheManagerAndBadOnesDropTheForm) {
    const std::string field = "<input type='hidden' name='h' value='v'/>";
    NIVOML_FORM& form = ShowForm("method='get' action='DISPLAY_SETTING' autosubmit='-5'", field);
    EXPECT_EQ(form.GetAction() + " " + std::to_string(form.GetPort() + form.GetAutoSubmit()),
              "DISPLAY_SETTING 0");
    EXPECT_TRUE(form.IsReloadAfterSubmit());
    NIVOML_FORM& other = ShowForm("method=\"POST\" action='/a' autosubmit='250' dontreload", field);
    EXPECT_EQ(other.GetAutoSubmit(), 250);
    EXPECT_FALSE(other.IsReloadAfterSubmit());
    for (const std::string bad :
         {"method='put'", "method='GETX'", "", "method='get' action='http://127.0.0.1:65617/g'"}) {
        ASSERT_TRUE(Load(Screen("x<form " + bad + ">" + field + "</form>"))) << bad;
        EXPECT_EQ(Root().GetFormForKey(0), nullptr) << bad;
    }
    ASSERT_TRUE(Load(Screen("x<form method='get'><input type='bogus'/></form>")));
    EXPECT_EQ(Root().GetFormForKey(0), nullptr);
}

TEST_F(MarkupForm, KeysFindTheFirstFormBindingThemAndKeepAHeadLinksDuration) {
    ASSERT_TRUE(
        Load(Page("<goto div='D'/><a href='/head' key='3' duration='2'/><a href='/other' key='4'/>",
                  "<div name='D'><form method='get' action='/one'><input type='submit' key='1'/>"
                  "<input type='incdata' key='3'/></form><form method='get' action='/two'>"
                  "<input type='submit' key='2'/><input type='decdata' key='3'/></form></div>")));
    std::string actions;
    for (int key : {0, 1, 2, 3, 5}) actions += Root().GetFormForKey(key)->GetAction() + " ";
    EXPECT_EQ(actions, "/two /one /two /one /two ");
    // The later form wins the key table; the head link's hold time stays.
    EXPECT_EQ(Root().GetKeyTarget(3, 1.9) + "|" + Root().GetKeyTarget(3, 2.0) + "|" +
                  Root().GetKeyTarget(4, 0),
              "|?decdata|/other");
}

using MarkupControl = PageTest;

TEST_F(MarkupControl, SelectShowsTheLastSelectedOptionInTheLongestReadoutsWidthAndStopsAtTheEnds) {
    ASSERT_TRUE(
        Load(Screen("x<select name='s'><option value='a' readout='abc'/>"
                    "<option value='b' readout='bcdefgh' selected=''/>"
                    "<option value='c' readout='cdefg' selected='99'/><option/></select>|")));
    NIVOML_SELECT* select = Find<NIVOML_SELECT>();
    ASSERT_NE(select, nullptr);
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Line(0), "xcdefg  |  ");
    EXPECT_EQ(Modes(panel, 0, 6) + Modes(panel, 8, 1), "3222223");
    // An option without readout blanks the field and submits nothing.
    std::vector<std::string> seen;
    for (char op : std::string("++----")) {
        op == '+' ? select->IncData(*display) : select->DecData(*display);
        seen.push_back(Flushed().Line(0).substr(1, 8) + "=" + select->GetValue(*display));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"       |=", "       |=", "cdefg  |=c", "bcdefgh|=b",
                                              "abc    |=a", "abc    |=a"}));
    select->ResetCursor();
    EXPECT_EQ(select->GetValue(*display), "c");
}

TEST_F(MarkupControl, SelectKeepsOnlyOptionsTheRestTakesNoCellsAndWithoutNameOrOptionsItIsDropped) {
    ASSERT_TRUE(
        Load(Screen("<select name='s'><div name='inner'>d</div>junk<option value='v'/><br/>"
                    "<stepper name='n' min='0' max='99'/><skip count='5'/><option value='w'/>"
                    "</select>|")));
    EXPECT_EQ(Find<NIVOML_SELECT>()->Children().size(), 2u);
    EXPECT_EQ(Show().Line(0), "v|         ");
    for (const char* select :
         {"<select><option value='a'/></select>", "<select name=''><option value='a'/></select>",
          "<select name='s'>text only<b/></select>"}) {
        EXPECT_TRUE(Load(Screen(std::string("x") + select + "y"))) << select;
        EXPECT_EQ(Show().Line(0), "xy         ") << select;
    }
}

// The number blinks right-aligned in the width of the longer limit; steps are held within
// the limits, in wide arithmetic, and a negative step turns round. Each state ends at '|'.
TEST_F(MarkupControl, StepperStepsAreHeldWithinTheLimits) {
    const std::tuple<std::string, std::string, std::string> runs[] = {
        {"min='-5' max='10' step='4' init='8'", "+-----", " 8|10| 6| 2|-2|-5|-5|"},
        {"min='-10' max='5' step='5' init='-10'", "+-", "-10| -5|-10|"},
        {"min='0' max='9' init='5' step='-3'", "+-", "5|2|5|"},
        {"min='-2147483648' max='2147483647' init='2147483647' step='2147483647'", "+---",
         " 2147483647| 2147483647|          0|-2147483647|-2147483648|"}};
    for (const auto& [stepper, ops, expected] : runs) {
        ASSERT_TRUE(Load(Screen("<stepper name='n' " + stepper + "/>|")));
        NIVOML_STEPPER* control = Find<NIVOML_STEPPER>();
        ASSERT_NE(control, nullptr) << stepper;
        PanelPicture panel = Show();
        const size_t width = panel.Text().find('|');
        EXPECT_EQ(Modes(panel, width - 1, 2), "23") << stepper;
        std::string shown = panel.Text().substr(0, width + 1);
        for (char op : ops) {
            op == '+' ? control->IncData(*display) : control->DecData(*display);
            shown += Flushed().Text().substr(0, width + 1);
        }
        EXPECT_EQ(shown, expected) << stepper;
        control->ResetCursor();
        EXPECT_EQ(control->GetValue(*display), IntToStr(StrToInt(expected))) << stepper;
    }
    for (const char* bad :
         {"name='n' min='5' max='5' init='5'", "name='n' min='0' max='5' init='6'",
          "name='n' min='0' max='5' init='-1'", "min='0' max='5'"}) {
        EXPECT_TRUE(Load(Screen(std::string("x<stepper ") + bad + "/>"))) << bad;
        EXPECT_EQ(Find<NIVOML_STEPPER>(), nullptr) << bad;
    }
}

TEST_F(MarkupControl, IpCursorWalksTheTwelveDigitsThenAsksToSubmitAndTheDisplayIsSubmitted) {
    ASSERT_TRUE(Load(Screen("IP<ipinput name='ip' value='192.168.1.10'/>")));
    NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
    EXPECT_EQ(Show().Text().substr(0, 17), "IP192.168.001.010");
    std::vector<int> walk{ip->IncCursor(*display)};
    // Only the digit under the cursor blinks.
    EXPECT_EQ(Modes(Flushed(), 2, 15), "233333333333333");
    while (walk.back() >= 0) walk.push_back(ip->IncCursor(*display));
    EXPECT_EQ(walk, (std::vector<int>{0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -2}));
    EXPECT_EQ(ip->IncCursor(*display), -1);
    display->WriteText("7", MODE_ON, 16);
    EXPECT_EQ(ip->GetValue(*display), "192.168.001.017");
}

// An octet's digit steps at its own place and the octet stays within 0..255.
TEST_F(MarkupControl, IpDigitsStepWithinTheirPlaceAndTheOctetStaysInRange) {
    // Octet, place (0 hundreds, 1 tens, 2 units), up or down, octet after the step.
    const std::tuple<int, int, bool, int> steps[] = {
        {249, 2, true, 240},  {250, 2, true, 251}, {255, 2, true, 250}, {199, 1, true, 109},
        {255, 0, true, 55},   {155, 0, true, 255}, {200, 0, true, 255}, {255, 1, true, 205},
        {251, 1, true, 255},  {0, 0, false, 200},  {55, 0, false, 0},   {0, 1, false, 90},
        {100, 1, false, 190}, {0, 2, false, 9},    {10, 2, false, 19},  {123, 1, false, 113}};
    for (const auto& [value, place, up, after] : steps) {
        ASSERT_TRUE(
            Load(Screen("<ipinput name='ip' value='9.9." + std::to_string(value) + ".9'/>")));
        NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
        Show();
        while (ip->GetCursor() != 8 + place) ip->IncCursor(*display);
        up ? ip->IncData(*display) : ip->DecData(*display);
        char expected[32];
        std::snprintf(expected, sizeof expected, "009.009.%03d.009", after);
        EXPECT_EQ(ip->GetValue(*display), expected)
            << value << (up ? " up at " : " down at ") << place;
        EXPECT_EQ(Flushed().text[8 + place].mode, MODE_BLINK);
    }
}

// A malformed address is repaired; the repaired one is also what a reset brings back.
TEST_F(MarkupControl, IpMalformedAddressesAreRepairedAndANamelessOneIsDropped) {
    const std::pair<std::string, std::string> addresses[] = {
        {"10.0.0", "010.000.000.000"},
        {"300.1.2.-4", "255.001.002.000"},
        {"1.2.3.4.5", "001.002.003.004"},
        {"99999999999.x.7.8", "255.000.007.008"},
        {"", "000.000.000.000"}};
    for (const auto& [value, repaired] : addresses) {
        ASSERT_TRUE(Load(Screen("<ipinput name='ip' value='" + value + "'/>")));
        NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
        ip->IncCursor(*display);
        ip->IncData(*display);
        ip->ResetCursor();
        EXPECT_EQ(ip->GetText(), repaired) << value;
    }
    ASSERT_TRUE(Load(Screen("<ipinput name='ip'/>x<ipinput value='1.2.3.4'/>")));
    EXPECT_EQ(Show().Line(1), ".000x      ");
}

}  // namespace
