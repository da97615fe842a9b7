#include <cstdio>
#include <string>
#include <vector>

#include "markup/nivoml_body.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_ipinput.h"
#include "markup/nivoml_select.h"
#include "markup/nivoml_stepper.h"
#include "page_fixture.h"

namespace {

class ControlTest : public PageTest {
protected:
    // The first element of class T in the body, depth first; null when there is none.
    template <class T>
    T* Find() {
        return FindIn<T>(*Root().GetBody());
    }
    template <class T>
    static T* FindIn(const NIVOML_BASELISTOBJ& list) {
        for (const auto& child : list.Children()) {
            if (auto* found = dynamic_cast<T*>(child.get())) return found;
            auto* inner = dynamic_cast<NIVOML_BASELISTOBJ*>(child.get());
            if (T* found = inner ? FindIn<T>(*inner) : nullptr) return found;
        }
        return nullptr;
    }
    // Modes of cells from..from+len-1 as digits ("2" blink, "3" steady; blanks read as off).
    static std::string Modes(const PanelPicture& panel, int from, int len) {
        std::string modes;
        for (int i = from; i < from + len; ++i) modes += std::to_string(panel.text[i].mode);
        return modes;
    }
};

using SelectTest = ControlTest;
using StepperTest = ControlTest;
using IpInputTest = ControlTest;
using ControlFormTest = ControlTest;

TEST_F(SelectTest, ShowsTheLastSelectedOptionInTheLongestReadoutsWidthAndStopsAtTheEnds) {
    ASSERT_TRUE(
        Load(Screen("x<select name=\"s\"><option value=\"a\" readout=\"abc\"/>"
                    "<option value=\"b\" readout=\"bcdefgh\" selected=\"\"/>"
                    "<option value=\"c\" readout=\"cdefg\" selected=\"99\"/></select>|")));
    NIVOML_SELECT* select = Find<NIVOML_SELECT>();
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->GetWidth(), 7);
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Line(0), "xcdefg  |  ");
    EXPECT_EQ(Modes(panel, 0, 6) + Modes(panel, 8, 1), "3222223");
    EXPECT_EQ(select->IncCursor(*display), -1);

    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        i == 0 ? select->IncData(*display) : select->DecData(*display);
        seen.push_back(Flushed().Line(0).substr(1, 7) + "=" + select->GetValue(*display));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"cdefg  =c", "bcdefgh=b", "abc    =a", "abc    =a"}));
    select->ResetCursor();
    EXPECT_EQ(select->GetValue(*display), "c");
}

TEST_F(SelectTest, AnOptionWithoutReadoutBlanksTheFieldAndSubmitsNothing) {
    ASSERT_TRUE(Load(
        Screen("<select name=\"s\"><option value=\"on\" readout=\"Ein\"/><option/></select>!")));
    NIVOML_SELECT* select = Find<NIVOML_SELECT>();
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(Show().Line(0), "Ein!       ");
    select->IncData(*display);
    EXPECT_EQ(Flushed().Line(0), "   !       ");
    EXPECT_EQ(select->GetValue(*display), "");
}

TEST_F(SelectTest, KeepsOnlyOptionsNestedRestTakesNoCellsAndWithoutNameOrOptionsItIsDropped) {
    ASSERT_TRUE(
        Load(Screen("<select name=\"s\"><div name=\"inner\">d</div>junk"
                    "<option value=\"v\"/><br/><stepper name=\"n\" min=\"0\" max=\"99\"/>"
                    "<skip count=\"5\"/><option value=\"w\"/></select>|")));
    ASSERT_NE(Find<NIVOML_SELECT>(), nullptr);
    EXPECT_EQ(Find<NIVOML_SELECT>()->Children().size(), 2u);
    EXPECT_EQ(Find<NIVOML_STEPPER>(), nullptr);
    EXPECT_EQ(Show().Line(0), "v|         ");

    for (const char* select : {"<select><option value=\"a\"/></select>",
                               "<select name=\"\"><option value=\"a\"/></select>",
                               "<select name=\"s\">text only<b/></select>"}) {
        EXPECT_TRUE(Load(Screen(std::string("x") + select + "y"))) << select;
        EXPECT_EQ(Find<NIVOML_SELECT>(), nullptr) << select;
        EXPECT_EQ(Show().Line(0), "xy         ") << select;
    }
}

TEST_F(StepperTest, StepsAreHeldWithinTheLimitsAndShortValuesRightAligned) {
    ASSERT_TRUE(Load(Screen("<stepper name=\"n\" min=\"-5\" max=\"10\" step=\"4\" init=\"8\"/>:")));
    NIVOML_STEPPER* stepper = Find<NIVOML_STEPPER>();
    ASSERT_NE(stepper, nullptr);
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Line(0), " 8:        ");
    EXPECT_EQ(Modes(panel, 1, 2), "23");
    EXPECT_EQ(stepper->IncCursor(*display), -1);

    stepper->IncData(*display);
    std::vector<std::string> seen{Flushed().Line(0).substr(0, 2)};
    for (int i = 0; i < 5; ++i) {
        stepper->DecData(*display);
        seen.push_back(Flushed().Line(0).substr(0, 2));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"10", " 6", " 2", "-2", "-5", "-5"}));
    EXPECT_EQ(stepper->GetValue(*display), "-5");
    stepper->ResetCursor();
    EXPECT_EQ(stepper->GetValue(*display), "8");
}

TEST_F(StepperTest, HugeOrNegativeStepsStayWithinTheLimitsWithoutOverflow) {
    ASSERT_TRUE(
        Load(Screen("<stepper name=\"n\" min=\"-2147483648\" max=\"2147483647\""
                    " init=\"2147483647\" step=\"2147483647\"/>")));
    NIVOML_STEPPER* stepper = Find<NIVOML_STEPPER>();
    ASSERT_NE(stepper, nullptr);
    std::vector<std::string> seen;
    for (int i = 0; i < 4; ++i) {
        i == 0 ? stepper->IncData(*display) : stepper->DecData(*display);
        seen.push_back(stepper->GetValue(*display));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"2147483647", "0", "-2147483647", "-2147483648"}));
    EXPECT_EQ(Flushed().Line(0), "-2147483648");

    ASSERT_TRUE(Load(Screen("<stepper name=\"n\" min=\"0\" max=\"9\" init=\"5\" step=\"-3\"/>")));
    Find<NIVOML_STEPPER>()->IncData(*display);
    EXPECT_EQ(Find<NIVOML_STEPPER>()->GetValue(*display), "2");
}

TEST_F(StepperTest, BadLimitsOrMissingNameDropIt) {
    for (const char* stepper : {"<stepper name=\"n\" min=\"5\" max=\"5\" init=\"5\"/>",
                                "<stepper name=\"n\" min=\"0\" max=\"5\" init=\"6\"/>",
                                "<stepper name=\"n\" min=\"0\" max=\"5\" init=\"-1\"/>",
                                "<stepper min=\"0\" max=\"5\"/>"}) {
        EXPECT_TRUE(Load(Screen(std::string("x") + stepper))) << stepper;
        EXPECT_EQ(Find<NIVOML_STEPPER>(), nullptr) << stepper;
    }
}

TEST_F(IpInputTest, CursorWalksTheTwelveDigitsThenAsksToSubmitAndTheDisplayIsSubmitted) {
    ASSERT_TRUE(Load(Screen("IP<ipinput name=\"ip\" value=\"192.168.1.10\"/>")));
    NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(Show().Text().substr(0, 17), "IP192.168.001.010");
    std::vector<int> walk;
    for (int i = 0; i < 13; ++i) {
        walk.push_back(ip->IncCursor(*display));
        if (walk.back() < 0) break;
        std::string expected(15, '3');
        expected[walk.back()] = '2';
        EXPECT_EQ(Modes(Flushed(), 2, 15), expected) << walk.back();
    }
    EXPECT_EQ(walk, (std::vector<int>{0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -2}));
    ip->IncData(*display);  // no digit under the cursor: nothing changes
    EXPECT_EQ(ip->GetText(), "192.168.001.010");
    EXPECT_EQ(ip->IncCursor(*display), -1);

    display->WriteText("7", MODE_ON, 16);
    EXPECT_EQ(ip->GetValue(*display), "192.168.001.017");
}

TEST_F(IpInputTest, DigitsStepWithinTheirPlaceAndTheOctetStaysInRange) {
    struct Step {
        int value;
        int place;  // 0 hundreds, 1 tens, 2 units
        bool up;
        int expected;
    };
    const Step steps[] = {
        {249, 2, true, 240},  {250, 2, true, 251}, {255, 2, true, 250}, {199, 1, true, 109},
        {255, 0, true, 55},   {155, 0, true, 255}, {200, 0, true, 255}, {255, 1, true, 205},
        {251, 1, true, 255},  {0, 0, false, 200},  {55, 0, false, 0},   {0, 1, false, 90},
        {100, 1, false, 190}, {0, 2, false, 9},    {10, 2, false, 19},  {123, 1, false, 113},
    };
    for (const Step& step : steps) {
        const std::string value = "9.9." + std::to_string(step.value) + ".9";
        ASSERT_TRUE(Load(Screen("<ipinput name=\"ip\" value=\"" + value + "\"/>")));
        NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
        Show();
        while (ip->GetCursor() != 8 + step.place) ip->IncCursor(*display);
        step.up ? ip->IncData(*display) : ip->DecData(*display);
        char expected[32];
        std::snprintf(expected, sizeof expected, "009.009.%03d.009", step.expected);
        EXPECT_EQ(ip->GetValue(*display), expected)
            << step.value << (step.up ? " up at " : " down at ") << step.place;
        EXPECT_EQ(Flushed().text[8 + step.place].mode, MODE_BLINK);
    }
}

TEST_F(IpInputTest, MalformedAddressesAreRepairedAndLoggedAndANamelessOneIsDropped) {
    const std::string range = "' au\xdf" "erhalb des g\xfcltigen Bereichs von 0..255 (";
    const std::vector<std::vector<std::string>> cases = {
        {"10.0.0", "010.000.000.000", "IP '10.0.0' hat keine vier Bereiche (3)"},
        {"300.1.2.-4", "255.001.002.000", "IP '300.1.2.-4" + range + "300)",
         "IP '300.1.2.-4" + range + "-4)"},
        {"1.2.3.4.5", "001.002.003.004", "IP '1.2.3.4.5' hat keine vier Bereiche (5)"},
        {"99999999999.x.7.8", "255.000.007.008", "IP '99999999999.x.7.8" + range + "2147483647)"},
        {"", "000.000.000.000"},
    };
    for (const auto& c : cases) {
        log.ClearLines();
        ASSERT_TRUE(Load(Screen("<ipinput name=\"ip\" value=\"" + c[0] + "\"/>")));
        NIVOML_IPINPUT* ip = Find<NIVOML_IPINPUT>();
        std::vector<std::string> warnings;
        for (const auto& [level, line] : log.Lines()) {
            if (level == Logger::Warning) warnings.push_back(line);
        }
        EXPECT_EQ(warnings, std::vector<std::string>(c.begin() + 2, c.end())) << c[0];
        ip->IncCursor(*display);
        ip->IncData(*display);
        ip->ResetCursor();
        EXPECT_EQ(ip->GetText(), c[1]) << c[0];
    }
    ASSERT_TRUE(Load(Screen("<ipinput name=\"ip\"/>x<ipinput value=\"1.2.3.4\"/>")));
    EXPECT_TRUE(log.Has(Logger::Error, "Name nicht gesetzt"));
    EXPECT_EQ(Show().Line(1), ".000x      ");
}

TEST_F(ControlFormTest, SelectAndStepperPassTheCursorOnAndTheIpInputEndsItBySubmitting) {
    ASSERT_TRUE(
        Load(Screen("<form method=\"get\" action=\"/cgi/set.cgi\">"
                    "<select name=\"s\"><option value=\"a\"/><option value=\"b\"/></select>"
                    "<stepper name=\"n\" min=\"0\" max=\"20\" init=\"8\" step=\"5\"/>"
                    "<ipinput name=\"ip\" value=\"10.0.0.1\"/></form>")));
    NIVOML_FORM* form = Find<NIVOML_FORM>();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Show().Text(), "a 8010.000.000.001    ");
    EXPECT_EQ(form->GetFocus(), Find<NIVOML_STEPPER>());  // the select gave the focus away

    form->IncData(*display);
    form->IncCursor(*display);
    form->IncData(*display);
    PanelPicture panel = Flushed();
    EXPECT_EQ(panel.Text(), "a13110.000.000.001    ");
    EXPECT_EQ(Modes(panel, 3, 2), "23");

    for (int i = 0; i < 11; ++i) form->IncCursor(*display);
    EXPECT_TRUE(host.formSubmits.empty());
    form->IncCursor(*display);
    EXPECT_EQ(host.formSubmits, std::vector<int>{1});
    EXPECT_EQ(form->BuildRequest(*display, ""),
              "GET /cgi/set.cgi?s=a&n=13&ip=110.000.000.001 HTTP/1.0\r\n\r\n");
    Show();  // a redraw brings the page values back
    EXPECT_EQ(form->BuildRequest(*display, ""),
              "GET /cgi/set.cgi?s=a&n=8&ip=010.000.000.001 HTTP/1.0\r\n\r\n");
}

TEST_F(ControlFormTest, ASelectAloneInItsFormKeepsTheFocus) {
    ASSERT_TRUE(
        Load(Screen("<form method=\"post\" action=\"DISPLAY_SETTING\">"
                    "<select name=\"TIMEFORMAT\"><option value=\"%H%M\" readout=\"24h\"/>"
                    "<option value=\"%I%M\" readout=\"12h\" selected=\"\"/></select></form>")));
    NIVOML_FORM* form = Find<NIVOML_FORM>();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Show().Line(0), "12h        ");
    form->IncCursor(*display);
    form->DecData(*display);
    EXPECT_EQ(Flushed().Line(0), "24h        ");
    EXPECT_EQ(form->GetValues(*display), "TIMEFORMAT=%H%M;");
}

}  // namespace
