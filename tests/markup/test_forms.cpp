#include <cstring>
#include <string>

#include "markup/element_factory.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_input.h"
#include "page_fixture.h"
#include "util/xml_node.h"

namespace {

// A control that asks for submission when its cursor would leave it, like a
// field whose last digit completes the entry.
class SubmittingKnob : public NIVOML_FORMOBJ {
public:
    static bool IsTag(const char* tag) { return std::strcmp(tag, "testknob") == 0; }
    SubmittingKnob() { m_name = "testknob"; }
    void Draw(NIVO_Display& display) override { display.WriteText("K", m_mode, m_position); }
    int GetWidth() const override { return 1; }
    std::string GetValue(NIVO_Display&) override { return "k"; }
    void ResetCursor() override { m_cursor = -1; }
    int IncCursor(NIVO_Display& display) override {
        if (++m_cursor > 0) return -2;
        display.SetCursor(m_position);
        return 0;
    }
    void IncData(NIVO_Display&) override {}
    void DecData(NIVO_Display&) override {}

private:
    int m_cursor = -1;
};
NIVOML_REGISTER_ELEMENT(SubmittingKnob)

const std::string kOn(1, NIVOML_INPUT::CHECKBOX_ON);
const std::string kOff(1, NIVOML_INPUT::CHECKBOX_OFF);
const std::string kRadioOn(1, NIVOML_INPUT::RADIO_ON);
const std::string kRadioOff(1, NIVOML_INPUT::RADIO_OFF);

class FormTest : public PageTest {
protected:
    // A screen with one form; Show() has drawn it.
    NIVOML_FORM& ShowForm(const std::string& attributes, const std::string& content) {
        EXPECT_TRUE(Load(Screen("<form " + attributes + ">" + content + "</form>")));
        NIVOML_FORM* form = Root().GetFormForKey(0);
        EXPECT_NE(form, nullptr);
        m_panel = Show();
        return *form;
    }
    PanelPicture Step(void (NIVOML_FORM::*operation)(NIVO_Display&), int times = 1) {
        for (int i = 0; i < times; ++i) (Form().*operation)(*display);
        return m_panel = Flushed();
    }
    NIVOML_FORM& Form() { return *Root().GetFormForKey(0); }
    std::string Cells(int from, int len) const { return m_panel.Text().substr(from, len); }
    int Cursor() const { return m_panel.cursor; }

    PanelPicture m_panel;
};

TEST_F(FormTest, TextFieldCyclesItsMaskClassesWithinTheRangeDigit) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"/set.cgi\"",
                                 "Pin<input type=\"text\" name=\"pin\" value=\"2bx\" "
                                 "mask=\"1,3,5\" range=\"2\"/>");
    EXPECT_EQ(Cells(0, 6), "Pin2bx");
    EXPECT_EQ(Cursor(), 3);

    Step(&NIVOML_FORM::IncData);  // range digit 2: 0, 1, 2 and round
    EXPECT_EQ(Cells(3, 1), "0");
    Step(&NIVOML_FORM::IncData, 2);
    EXPECT_EQ(Cells(3, 1), "2");
    Step(&NIVOML_FORM::DecData);  // only steps forward
    EXPECT_EQ(Cells(3, 1), "2");

    Step(&NIVOML_FORM::IncCursor);  // digits 0..9 then lower case letters
    EXPECT_EQ(Cursor(), 4);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(4, 1), "c");
    Step(&NIVOML_FORM::IncData, 24);
    EXPECT_EQ(Cells(4, 1), "0");  // after z the cycle starts again

    Step(&NIVOML_FORM::IncCursor);  // x is not among digits and capitals
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(5, 1), "0");
    Step(&NIVOML_FORM::IncData, 10);
    EXPECT_EQ(Cells(5, 1), "A");
    EXPECT_EQ(Cells(0, 6), "Pin20A");

    // Past the last position the focus comes back to the first control.
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 3);
    EXPECT_EQ(form.BuildRequest(*display, ""), "GET /set.cgi?pin=20A HTTP/1.0\r\n\r\n");

    // Redrawing the page drops unsent edits.
    m_panel = Show();
    EXPECT_EQ(Cells(0, 6), "Pin2bx");
}

TEST_F(FormTest, BlankInTheCycleKeepsTheFieldVisibleAndEditable) {
    NIVOML_FORM& form =
        ShowForm("method=\"get\"", "<input type=\"text\" name=\"t\" value=\"9 \" mask=\"17,17\"/>");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 2), "  ");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 2), "0 ");
    EXPECT_EQ(m_panel.text[0].mode, MODE_ON);
    Step(&NIVOML_FORM::IncCursor);  // the second cell starts blank
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 2), "00");
    EXPECT_EQ(form.GetValues(*display), "t=00;");
}

TEST_F(FormTest, MaskOfOtherLengthIsFittedAndFixedCellsAreSkipped) {
    NIVOML_FORM& form = ShowForm("method=\"get\"",
                                 "<input type=\"text\" name=\"a\" value=\"1234\" mask=\"1,0,1\"/>"
                                 "<input type=\"text\" name=\"b\" value=\"xy\"/>");
    EXPECT_TRUE(
        log.Has(Logger::Warning, "Die Maskenl\xe4nge (3) und Valuel\xe4nge (4) sind unterschiedlich."));
    EXPECT_TRUE(
        log.Has(Logger::Warning, "Die Maskenl\xe4nge (0) und Valuel\xe4nge (2) sind unterschiedlich."));
    EXPECT_TRUE(log.Has(Logger::Debug,
                        "Achtung! Der Input-Typ 'text' wird noch mit Cursor anstatt blinkenden "
                        "Text eingegeben."));
    EXPECT_EQ(Cursor(), 0);
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 2);
    // a is done; b has nothing to edit and keeps the cursor on its first cell.
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 4);
    EXPECT_EQ(form.GetFocus()->GetControlName(), "b");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 6), "1234xy");
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(form.GetFocus()->GetControlName(), "a");
    EXPECT_EQ(form.GetValues(*display), "a=1234;b=xy;");
}

TEST_F(FormTest, FormWithoutEditablePositionsMovesTheCursorOnlyOnce) {
    NIVOML_FORM& form = ShowForm("method=\"get\"",
                                 "<input type=\"text\" name=\"a\" value=\"ab\"/>"
                                 "<input type=\"text\" name=\"b\" value=\"cd\"/>"
                                 "<input type=\"text\" name=\"c\" value=\"e\" mask=\"1\"/>");
    // Drawing retries on the second control only, which has nothing either.
    EXPECT_EQ(Cursor(), 2);
    EXPECT_EQ(form.GetFocus()->GetControlName(), "b");
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 4);
    EXPECT_EQ(form.GetFocus()->GetControlName(), "c");
}

TEST_F(FormTest, CheckboxTogglesItsLastCellAndIsSentOnlyWhileChecked) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"/a.cgi\"",
                                 "<input type=\"checkbox\" name=\"c\" value=\"Alarm\"/>"
                                 "<input type=\"checkbox\" name=\"d\" value=\"x\" checked=\"\"/>");
    EXPECT_EQ(Cells(0, 8), "Alarm" + kOff + "x" + kOn);
    EXPECT_EQ(Cursor(), 5);
    EXPECT_EQ(form.GetControls(false)[0]->GetWidth(), 6);
    EXPECT_EQ(form.GetValues(*display), "d=x;");

    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 6), "Alarm" + kOn);
    EXPECT_EQ(Cursor(), 5);  // a check box does not move the cursor on
    EXPECT_EQ(form.GetValues(*display), "c=Alarm;d=x;");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 6), "Alarm" + kOff);

    Step(&NIVOML_FORM::IncCursor);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(6, 2), "x" + kOff);
    EXPECT_EQ(form.BuildRequest(*display, ""), "GET /a.cgi? HTTP/1.0\r\n\r\n");
}

TEST_F(FormTest, RadioButtonsOfOneNameBehaveAsOneGroup) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"/r.cgi\"",
                                 "<input type=\"radio\" name=\"r\" value=\"1\"/>"
                                 "<input type=\"radio\" name=\"r\" value=\"2\" checked=\"\"/>"
                                 "<input type=\"radio\" name=\"r\" value=\"3\"/>"
                                 "<input type=\"radio\" name=\"s\" value=\"4\" checked=\"\"/>");
    const std::string start = "1" + kRadioOff + "2" + kRadioOn + "3" + kRadioOff + "4" + kRadioOn;
    EXPECT_EQ(Cells(0, 8), start);
    EXPECT_EQ(Cursor(), 1);
    EXPECT_EQ(form.GetValues(*display), "r=2;s=4;");

    // Choosing the first clears the second and moves on to the second.
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 8), "1" + kRadioOn + "2" + kRadioOff + "3" + kRadioOff + "4" + kRadioOn);
    EXPECT_EQ(Cursor(), 3);
    EXPECT_EQ(form.GetValues(*display), "r=1;s=4;");

    // The decrease key leaves the whole group unchecked and moves on.
    Step(&NIVOML_FORM::DecData);
    EXPECT_EQ(Cells(0, 8), "1" + kRadioOff + "2" + kRadioOff + "3" + kRadioOff + "4" + kRadioOn);
    EXPECT_EQ(Cursor(), 5);
    EXPECT_EQ(form.GetValues(*display), "s=4;");

    // A radio button that is already checked stays so.
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 7);
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(6, 2), "4" + kRadioOn);
    EXPECT_EQ(Cursor(), 1);  // focus back on the first control

    m_panel = Show();
    EXPECT_EQ(Cells(0, 8), start);
}

TEST_F(FormTest, KeyButtonsAndHiddenValuesStayOutOfTheFocusButBindAndSubmit) {
    NIVOML_FORM& form =
        ShowForm("method=\"get\" action=\"/k.cgi\"",
                 "<input type=\"text\" name=\"t\" value=\"5\" mask=\"1\"/>"
                 "<input type=\"hidden\" name=\"h\" value=\"v\"/>"
                 "<input type=\"submit\" key=\"3\"/><input type=\"reset\" key=\"4\"/>"
                 "<input type=\"inccursor\" key=\"5\"/><input type=\"incdata\" key=\"6\"/>"
                 "<input type=\"decdata\" key=\"7\"/><input type=\"submit\" key=\"8\"/>"
                 "<input type=\"submit\" key=\"-1\"/>");
    ASSERT_EQ(form.GetControls(false).size(), 1u);
    EXPECT_EQ(form.GetControls(true).size(), 2u);
    const char* expected[] = {"",       "",           "",         "?submit",
                              "?reset", "?inccursor", "?incdata", "?decdata"};
    for (int key = 0; key < 8; ++key) EXPECT_EQ(Root().GetKeyTarget(key, 0), expected[key]);
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(Cursor(), 0);
    EXPECT_EQ(form.BuildRequest(*display, ""), "GET /k.cgi?t=5&h=v HTTP/1.0\r\n\r\n");
}

TEST_F(FormTest, InvalidInputsAreDropped) {
    ASSERT_TRUE(
        Load(Screen("<form method=\"get\">"
                    "<input type=\"submit\"/><input type=\"submit\" key=\"0\"/>"
                    "<input type=\"hidden\" name=\"h\" value=\"\"/>"
                    "<input type=\"hidden\" value=\"v\"/>"
                    "<input type=\"text\" name=\"t\" value=\"\"/>"
                    "<input type=\"text\" value=\"abc\"/>"
                    "<input type=\"checkbox\" value=\"abc\"/>"
                    "<input name=\"n\" value=\"abc\"/>"
                    "<input type=\"TEXT\" name=\"n\" value=\"abc\"/>"
                    "<input type=\"radio\" name=\"ok\"/></form>")));
    EXPECT_EQ(log.Count("InitFromNivoml fehlgeschlagen!"), 9);
    ASSERT_EQ(Root().GetFormForKey(0)->Children().size(), 1u);
    // A radio button without value is one cell wide.
    EXPECT_EQ(Show().Text().substr(0, 2), kRadioOff + " ");
}

TEST_F(FormTest, GetRequestEscapesItsPairsAndTail) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"http://127.0.0.1:8080/cgi/set.cgi?x=1\"",
                                 "<input type=\"text\" name=\"a\" value=\"1 2\" mask=\"0,0,8\"/>"
                                 "<input type=\"hidden\" name=\"b\" value=\"y\"/>");
    EXPECT_EQ(form.GetAction(), "/cgi/set.cgi");
    EXPECT_EQ(form.GetPort(), 8080);
    const std::string tail = "&sDivname=\"m y\"";
    EXPECT_EQ(form.BuildRequest(*display, tail),
              "GET /cgi/set.cgi?a=1+2&b=y&sDivname=%22m+y%22 HTTP/1.0\r\n\r\n");

    // A plus typed on the panel and a percent sign reach the server as themselves.
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(Cells(0, 3), "1 +");
    ASSERT_TRUE(
        Load(Screen("<form method=\"get\" action=\"/p.cgi\">"
                    "<input type=\"hidden\" name=\"p\" value=\"50% &quot;a+b&quot;\"/>"
                    "<input type=\"text\" name=\"s\" value=\"+\" mask=\"8\"/></form>")));
    Show();
    EXPECT_EQ(Root().GetFormForKey(0)->BuildRequest(*display, "&t=1"),
              "GET /p.cgi?p=50%25+%22a%2Bb%22&s=%2B&t=1 HTTP/1.0\r\n\r\n");
}

TEST_F(FormTest, PostRequestCountsThePairsOnlyAndKeepsThemUnescaped) {
    NIVOML_FORM& form = ShowForm("method=\"Post\" action=\"/cgi/set.cgi\" enctype=\"text/plain\"",
                                 "<input type=\"text\" name=\"a\" value=\"1 2\"/>"
                                 "<input type=\"hidden\" name=\"b\" value=\"y+%\"/>");
    EXPECT_EQ(form.BuildRequest(*display, "&s=\"m y\""),
              "POST /cgi/set.cgi HTTP/1.0\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n"
              "\r\na=1 2\r\nb=y+%\r\n&s=%22m+y%22");

    NIVOML_FORM& bare = ShowForm("method=\"post\" action=\"/p\"",
                                 "<input type=\"checkbox\" name=\"c\" value=\"v\"/>");
    EXPECT_EQ(bare.BuildRequest(*display, ""),
              "POST /p HTTP/1.0\r\nContent-Type: \r\nContent-Length: 0\r\n\r\n");
}

TEST_F(FormTest, FormWithoutControlsSubmitsNothingAndHasNoFocus) {
    NIVOML_FORM& form =
        ShowForm("method=\"get\" action=\"/x\"", "Send<input type=\"submit\" key=\"2\"/>");
    EXPECT_EQ(form.GetFocus(), nullptr);
    EXPECT_EQ(Cursor(), -1);
    Step(&NIVOML_FORM::IncCursor);
    Step(&NIVOML_FORM::IncData);
    Step(&NIVOML_FORM::DecData);
    EXPECT_EQ(Cells(0, 5), "Send ");
    EXPECT_EQ(form.BuildRequest(*display, "&tail"), "");
    EXPECT_EQ(form.GetValues(*display), "");
}

TEST_F(FormTest, DisplaySettingFormKeepsItsActionAndGivesItsValues) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"DISPLAY_SETTING\" autosubmit=\"-5\"",
                                 "<input type=\"text\" name=\"a\" value=\"7\" mask=\"1\"/>"
                                 "<input type=\"hidden\" name=\"b\" value=\"1\"/>"
                                 "<input type=\"checkbox\" name=\"c\" value=\"x\"/>");
    EXPECT_EQ(form.GetAction(), "DISPLAY_SETTING");
    EXPECT_EQ(form.GetPort(), 0);
    EXPECT_EQ(form.GetAutoSubmit(), 0);
    EXPECT_TRUE(form.IsReloadAfterSubmit());
    EXPECT_EQ(form.GetValues(*display), "a=7;b=1;");
    Step(&NIVOML_FORM::IncData);
    EXPECT_EQ(form.GetValues(*display), "a=8;b=1;");

    NIVOML_FORM& other =
        ShowForm("method=\"POST\" action=\"/a\" autosubmit=\"250\" dontreload=\"no\"",
                 "<input type=\"hidden\" name=\"b\" value=\"1\"/>");
    EXPECT_EQ(other.GetAutoSubmit(), 250);
    EXPECT_FALSE(other.IsReloadAfterSubmit());
    EXPECT_EQ(other.GetPort(), 0);
}

TEST_F(FormTest, MethodMustBeGetOrPostInAnyCase) {
    const std::string field = "<input type=\"hidden\" name=\"h\" value=\"v\"/>";
    for (const char* method : {"put", "", "GETX"}) {
        ASSERT_TRUE(
            Load(Screen(std::string("x<form method=\"") + method + "\">" + field + "</form>")))
            << method;
        EXPECT_EQ(Root().GetFormForKey(0), nullptr) << method;
    }
    ASSERT_TRUE(Load(Screen("x<form>" + field + "</form>")));
    EXPECT_EQ(Root().GetFormForKey(0), nullptr);
    ASSERT_TRUE(Load(Screen("x<form method=\"gEt\" action=\"/g\">" + field + "</form>")));
    ASSERT_NE(Root().GetFormForKey(0), nullptr);
    EXPECT_EQ(Root().GetFormForKey(0)->BuildRequest(*display, ""), "GET /g?h=v HTTP/1.0\r\n\r\n");
    // A port that does not fit 1..65535 is refused, never wrapped onto another port.
    ASSERT_TRUE(Load(
        Screen("x<form method=\"get\" action=\"http://127.0.0.1:65617/g\">" + field + "</form>")));
    EXPECT_EQ(Root().GetFormForKey(0), nullptr);
    EXPECT_TRUE(log.Has(Logger::Error,
                        "NIVOML_FORM: Port ung\xfc"
                        "ltig: http://127.0.0.1:65617/g"));
    // A form with nothing usable inside is dropped like one with a bad method.
    ASSERT_TRUE(Load(Screen("x<form method=\"get\"><input type=\"bogus\"/></form>")));
    EXPECT_EQ(Root().GetFormForKey(0), nullptr);
}

TEST_F(FormTest, FormKeysKeepTheDurationOfAHeadLinkOnTheSameKey) {
    ASSERT_TRUE(
        Load(Page("<goto div=\"D\"/><a href=\"/head\" key=\"3\" duration=\"2\"/>"
                  "<a href=\"/other\" key=\"4\"/>",
                  "<div name=\"D\"><form method=\"get\"><input type=\"submit\" key=\"3\"/>"
                  "</form></div>")));
    EXPECT_EQ(Root().GetKeyTarget(3, 1.0), "");
    EXPECT_EQ(Root().GetKeyTarget(3, 2.0), "?submit");
    EXPECT_EQ(Root().GetKeyTarget(4, 0), "/other");
}

TEST_F(FormTest, KeyFindsTheFirstFormThatBindsItElseTheLastForm) {
    ASSERT_TRUE(
        Load(Screen("<form method=\"get\" action=\"/one\"><input type=\"submit\" key=\"1\"/>"
                    "<input type=\"incdata\" key=\"3\"/></form>"
                    "<form method=\"get\" action=\"/two\"><input type=\"submit\" key=\"2\"/>"
                    "<input type=\"decdata\" key=\"3\"/></form>")));
    EXPECT_EQ(Root().GetFormForKey(0)->GetAction(), "/two");
    EXPECT_EQ(Root().GetFormForKey(1)->GetAction(), "/one");
    EXPECT_EQ(Root().GetFormForKey(2)->GetAction(), "/two");
    EXPECT_EQ(Root().GetFormForKey(3)->GetAction(), "/one");
    EXPECT_EQ(Root().GetFormForKey(5)->GetAction(), "/two");
    EXPECT_EQ(Root().GetKeyTarget(3, 0), "?decdata");  // the later form wins the key table
}

TEST_F(FormTest, ControlAskingForSubmissionArmsTheAutomaticSubmission) {
    NIVOML_FORM& form = ShowForm("method=\"get\" action=\"/k\"",
                                 "<testknob name=\"k\"/><input type=\"text\" "
                                 "name=\"t\" value=\"1\" mask=\"1\"/>");
    EXPECT_EQ(Cells(0, 2), "K1");
    EXPECT_EQ(Cursor(), 0);
    Step(&NIVOML_FORM::IncCursor);
    ASSERT_EQ(host.formSubmits.size(), 1u);
    EXPECT_EQ(host.formSubmits[0], 1);
    EXPECT_EQ(form.GetFocus()->GetControlName(), "k");  // the focus stays
    EXPECT_EQ(form.BuildRequest(*display, ""), "GET /k?k=k&t=1 HTTP/1.0\r\n\r\n");

    ElementHost::s_instance = nullptr;  // the page checker runs without a manager
    Step(&NIVOML_FORM::IncCursor);
    EXPECT_EQ(host.formSubmits.size(), 1u);
}

}  // namespace
