#include <gtest/gtest.h>

#include <string>

#include "util/logger.h"
#include "util/xml_node.h"

namespace {

XMLNode Parse(const std::string& text, const char* tag, XMLResults* results = nullptr) {
    XMLResults local;
    return XMLNode::parseString(text, tag, results != nullptr ? results : &local);
}

TEST(XmlNodeTest, Latin1BytesAndCharacterReferencesComeBackAsOneByteEach) {
    const std::string refs = "\xE4\xB0&#228;&#8364;&#x1F600;&#255;&#xfF;&apos;&#;&#x;&#X0;";
    XMLNode a = Parse("<a t='" + refs + "'>" + refs + "&quot;<\xE4k/></a>", "a");
    EXPECT_EQ(a.getAttribute("t"), "\xE4\xB0\xE4??\xFF\xFF'&#;&#x;&#X0;");  // one '?' each
    EXPECT_EQ(a.getText(0), "\xE4\xB0\xE4??\xFF\xFF'&#;&#x;&#X0;\"");
    EXPECT_EQ(a.getChildNode("\xE4k").getName(), "\xE4k");
}

TEST(XmlNodeTest, ReferenceToZeroIsDroppedWithALogLineAndTheRestOfTheRunKept) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    XMLNode a = Parse(
        "<a t=\"x&#0;y\" u=\"&amp;#0;\">a&#0;b&#x000;c&lt;&#x41;&#65;<b/><![CDATA[&#0;]]></a>",
        "a");
    EXPECT_EQ(a.getText(0), "abc<AA");
    EXPECT_EQ(a.getAttribute("t"), "xy");
    EXPECT_EQ(a.getAttribute("u"), "&#0;");  // an escaped ampersand is no reference
    EXPECT_EQ(a.getText(1), "&#0;");         // nor is anything inside CDATA
    EXPECT_EQ(log.Count("XMLNode: Zeichenreferenz auf 0 entfernt"), 2);
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST(XmlNodeTest, ErrorsReportLineAndColumnAsTheAuthorWroteThem) {
    XMLResults results;
    EXPECT_TRUE(Parse("<a>\r\n\xE4\xE4 <b></a>", "a", &results).isEmpty());
    EXPECT_EQ(results.nLine * 100 + results.nColumn, 209);  // Latin-1 bytes count once, CRLF once
    Parse("<a flag b=\"1\" c=>", "a", &results);            // the inserted values do not count
    EXPECT_EQ(results.nLine * 100 + results.nColumn, 117);
    Parse("", "a", &results);
    EXPECT_STRNE(XMLNode::getError(results.error), "unknown error");
    EXPECT_TRUE(Parse("<b>\n<c/></b>", "nivoml", &results).isEmpty());
    EXPECT_EQ(results.nLine * 100 + results.nColumn, 0);
    EXPECT_STREQ(XMLNode::getError(results.error), "required element not found");
    EXPECT_STREQ(XMLNode::getError(-1), "unknown error");
    EXPECT_STREQ(XMLNode::getError(results.error + 1), "unknown error");
}

TEST(XmlNodeTest, DeeplyNestedPagesParseWithoutRecursion) {
    std::string open, close;
    for (int i = 0; i < 100000; ++i) open += "<d>", close += "</d>";
    EXPECT_EQ(Parse("<p>" + open + "<z>end</z>" + close + "</p>", "z").getText(0), "end");
}

}  // namespace
