#include <string>
#include <vector>

#include "markup/element_factory.h"
#include "markup/nivoml_a.h"
#include "markup/nivoml_body.h"
#include "markup/nivoml_br.h"
#include "markup/nivoml_counter.h"
#include "markup/nivoml_date.h"
#include "markup/nivoml_div.h"
#include "markup/nivoml_fixedtext.h"
#include "markup/nivoml_form.h"
#include "markup/nivoml_format.h"
#include "markup/nivoml_goto.h"
#include "markup/nivoml_head.h"
#include "markup/nivoml_input.h"
#include "markup/nivoml_ipinput.h"
#include "markup/nivoml_leds.h"
#include "markup/nivoml_option.h"
#include "markup/nivoml_select.h"
#include "markup/nivoml_setdate.h"
#include "markup/nivoml_setdatetime.h"
#include "markup/nivoml_settime.h"
#include "markup/nivoml_skip.h"
#include "markup/nivoml_stepper.h"
#include "markup/nivoml_time.h"
#include "page_fixture.h"

namespace {

template <class T>
bool Makes(const char* tag) {
    std::unique_ptr<NIVOML_BASEOBJ> element = dynamic::Create(tag);
    return element && dynamic_cast<T*>(element.get()) != nullptr;
}

TEST(ElementRegistry, EveryTagMakesItsOwnClassAndNothingElseIsKnown) {
    EXPECT_TRUE(Makes<NIVOML_MAINOBJ>("nivoml"));
    EXPECT_TRUE(Makes<NIVOML_HEAD>("head"));
    EXPECT_TRUE(Makes<NIVOML_BODY>("body"));
    EXPECT_TRUE(Makes<NIVOML_DIV>("div"));
    EXPECT_TRUE(Makes<NIVOML_A>("a"));
    EXPECT_TRUE(Makes<NIVOML_GOTO>("goto"));
    for (const char* tag : {"blink", "blink_inv", "on", "off"}) {
        EXPECT_TRUE(Makes<NIVOML_Format>(tag)) << tag;
    }
    EXPECT_TRUE(Makes<NIVOML_DATE>("date"));
    EXPECT_TRUE(Makes<NIVOML_TIME>("time"));
    EXPECT_TRUE(Makes<NIVOML_SKIP>("skip"));
    EXPECT_TRUE(Makes<NIVOML_BR>("br"));
    EXPECT_TRUE(Makes<NIVOML_LEDS>("leds"));
    EXPECT_TRUE(Makes<NIVOML_FIXEDTEXT>("fixedtext"));
    EXPECT_TRUE(Makes<NIVOML_COUNTER>("counter"));
    EXPECT_TRUE(Makes<NIVOML_FORM>("form"));
    EXPECT_TRUE(Makes<NIVOML_INPUT>("input"));
    EXPECT_TRUE(Makes<NIVOML_SELECT>("select"));
    EXPECT_TRUE(Makes<NIVOML_OPTION>("option"));
    EXPECT_TRUE(Makes<NIVOML_STEPPER>("stepper"));
    EXPECT_TRUE(Makes<NIVOML_IPINPUT>("ipinput"));
    EXPECT_TRUE(Makes<NIVOML_SETDATE>("setdate"));
    EXPECT_TRUE(Makes<NIVOML_SETTIME>("settime"));
    EXPECT_TRUE(Makes<NIVOML_SETDATETIME>("setdatetime"));
    for (const char* tag : {"DIV", "text", "symbols", "", "formobj", "setdatetimeobj", "blinkx"}) {
        EXPECT_EQ(dynamic::Create(tag), nullptr) << tag;
    }
}

TEST(ElementIds, RiseForTheWholeRunAndWrapBeforeLeavingTheCookieRange) {
    NIVOML_BR first;
    NIVOML_BR second;
    EXPECT_EQ(second.GetId(), first.GetId() + 1);

    const int saved = g_elementCount;
    g_elementCount = NIVOML_BASEOBJ::kMaxElementId - 1;
    NIVOML_BR last;
    NIVOML_BR wrapped;
    EXPECT_EQ(last.GetId(), NIVOML_BASEOBJ::kMaxElementId);
    EXPECT_EQ(CookieTimerId(last.GetId()), 0x7fffffffUL);
    EXPECT_EQ(wrapped.GetId(), 1);
    g_elementCount = saved;
}

using DocumentTest = PageTest;

TEST_F(DocumentTest, MalformedPagesAreRejectedWithTheParserMessageAndPosition) {
    for (const std::string& text : std::vector<std::string>{
             "<nivoml><head><goto div=\"x\"/></head><body><div name=\"x\">a</body></nivoml>",
             "<html><head/></html>", "", std::string("<nivoml>\0</nivoml>", 18)}) {
        log.ClearLines();
        NivomlDocument page(text);
        EXPECT_FALSE(page.IsOk()) << text;
        EXPECT_TRUE(log.Contains("XMLNode::parseString: ")) << text;
        page.LogErrorPosition();
        EXPECT_TRUE(log.Contains("NIVOML-Fehler in Zeile:  ")) << text;
        EXPECT_TRUE(log.Contains("NIVOML-Fehler in Spalte: ")) << text;
    }
    NivomlDocument unclosed("<nivoml>\n<head>\n<br/>\n</nivoml>");
    EXPECT_FALSE(unclosed.IsOk());
    EXPECT_EQ(unclosed.GetResults().nLine, 4);
}

TEST_F(DocumentTest, PagesWithoutUsableHeadOrBodyAreRejected) {
    EXPECT_FALSE(Load("<nivoml><body><div name=\"A\">x</div></body></nivoml>"));
    EXPECT_FALSE(Load("<nivoml><head><goto div=\"A\"/></head></nivoml>"));
    EXPECT_FALSE(Load(Page("", "<div name=\"A\">x</div>")));
    EXPECT_FALSE(Load(Page("<unknown/><goto/>", "<div name=\"A\">x</div>")));
    EXPECT_FALSE(Load(Page("<goto div=\"A\"/>", "<div>nameless</div>")));
    EXPECT_TRUE(log.Has(Logger::Error, "div ohne Namen."));
    EXPECT_TRUE(Load(Page("<goto div=\"A\"/>", "<div name=\"A\">x</div>")));
}

TEST_F(DocumentTest, UnsupportedElementsDropOnlyThemselvesAndEmptiedContainers) {
    ASSERT_TRUE(Load(Page("<goto div=\"A\"/>",
                          "<div name=\"Z\"><symbols/></div>"
                          "<div name=\"A\">left<symbols/>right</div>"
                          "text in body<p>x</p>")));
    EXPECT_TRUE(log.Has(Logger::Error, "Typ wird nicht unterst\xfctzt."));
    EXPECT_TRUE(log.Has(Logger::Error, "InitFromNivoml fehlgeschlagen!"));
    // Only div A survives: Z had nothing usable, text and p are not divs.
    ASSERT_EQ(Root().GetBody()->Children().size(), 1u);
    Root().ShowDiv("Z");
    EXPECT_EQ(Root().GetCurrentDivName(), "A");
    EXPECT_EQ(Show().Line(0), "leftright  ");
}

TEST_F(DocumentTest, NestingBeyondTheLimitRejectsThePageWithoutExhaustingTheStack) {
    auto nested = [](int levels) {
        std::string open, close;
        for (int i = 0; i < levels; ++i) {
            open += "<on>";
            close += "</on>";
        }
        return Page("<goto div=\"A\"/>", "<div name=\"A\">" + open + "x" + close + "</div>");
    };
    // nivoml, body and div take three levels.
    EXPECT_TRUE(Load(nested(NivomlDocument::kMaxDepth - 3)));
    EXPECT_FALSE(Load(nested(NivomlDocument::kMaxDepth - 2)));
    EXPECT_TRUE(log.Contains("zu tief verschachtelt"));
    EXPECT_FALSE(Load(nested(10000)));
}

TEST_F(DocumentTest, BasePageShowsTheRequestCountdown) {
    const std::string url = "http://127.0.0.1/config/display/nivo_index.cgi";
    std::string page =
        "<nivoml pagetype=\"BASEPAGE\">\t<head>\t\t<date symbols format=\"%d%m%y\"/>"
        "\t\t<time symbols format=\"%H%M\"/>"
        "\t\t<a href=\"" +
        url +
        "\" key=\"7\" autoswitch=\"1500\"/>"
        "\t\t<a href=\"" +
        url +
        "\" key=\"1\"/>"
        "\t\t<a href=\"" +
        url +
        "\" key=\"2\"/>"
        "\t\t<a href=\"" +
        url +
        "\" key=\"4\"/>\t</head>\t<body>"
        "\t\t<div name=\"BP_1\">New requestin<skip/><counter from=\"5\" to=\"1\"/>"
        "<skip/>sec.</div>\t</body></nivoml>";
    ASSERT_TRUE(Load(page));
    EXPECT_EQ(Root().GetPageType(), "BASEPAGE");
    PanelPicture panel = Show();
    EXPECT_EQ(panel.Line(0), "New request");
    EXPECT_EQ(panel.Line(1), "in 5 sec.  ");
    EXPECT_EQ(panel.Segments(), "1230061226");
    EXPECT_EQ(Root().GetKeyTarget(7, 0), url);
    EXPECT_EQ(Root().GetKeyTarget(1, 0), url);
    EXPECT_EQ(Root().GetKeyTarget(3, 0), "");
}

}  // namespace
