#include <gtest/gtest.h>

#include <string>

#include "util/logger.h"
#include "util/xml_node.h"

namespace {

XMLNode Parse(const std::string& text, const char* tag, XMLResults* results = nullptr) {
    XMLResults local;
    return XMLNode::parseString(text, tag, results != nullptr ? results : &local);
}

std::string Nested(int depth, const std::string& inner) {
    std::string text = "<nivoml>";
    for (int i = 0; i < depth; ++i) text += "<d>";
    text += inner;
    for (int i = 0; i < depth; ++i) text += "</d>";
    return text + "</nivoml>";
}

TEST(XmlNodeTest, Latin1BytesAndCharacterReferencesComeBackAsOneByteEach) {
    XMLNode a = Parse("<a t=\"\xE4&#228;&#8364;\">\xE4&#228;&#8364;x<\xE4k/></a>", "a");
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(a.getAttribute("t"), std::string("\xE4\xE4?"));
    EXPECT_EQ(a.getText(0), std::string("\xE4\xE4?x"));
    XMLNode child = a.getChildNode("\xE4k");
    EXPECT_EQ(child.getName(), "\xE4k");
    EXPECT_EQ(a.enumContents(2).child.getName(), "\xE4k");
}

TEST(XmlNodeTest, ReferenceToZeroIsDroppedWithALogLineAndTheRestOfTheRunKept) {
    CapturingLogger log;
    ScopedLogger installed(&log);
    XMLNode a = Parse(
        "<a t=\"x&#0;y\" u=\"&amp;#0;\">a&#0;b&#x000;c&lt;&#x41;&#65;&#;&#x;&#X0;&quot;"
        "<b/><![CDATA[&#0;]]></a>",
        "a");
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(a.getText(0), "abc<AA&#;&#x;&#X0;\"");
    EXPECT_EQ(a.getAttribute("t"), "xy");
    EXPECT_EQ(a.getAttribute("u"), "&#0;");  // an escaped ampersand is no reference
    EXPECT_EQ(a.getText(1), "&#0;");         // nor is anything inside CDATA
    EXPECT_EQ(log.Count("XMLNode: Zeichenreferenz auf 0 entfernt"), 2);
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST(XmlNodeTest, ErrorLineAndColumnCountLatin1BytesOnce) {
    XMLResults latin1, ascii;
    EXPECT_TRUE(Parse("<a>\n\xE4\xE4 <b></a>", "a", &latin1).isEmpty());
    Parse("<a>\nxx <b></a>", "a", &ascii);
    EXPECT_NE(latin1.error, 0);
    EXPECT_EQ(latin1.nLine, 2);
    EXPECT_EQ(latin1.nColumn, 9);
    EXPECT_EQ(latin1.nLine, ascii.nLine);
    EXPECT_EQ(latin1.nColumn, ascii.nColumn);
    EXPECT_STRNE(XMLNode::getError(latin1.error), "unknown error");
}

TEST(XmlNodeTest, MissingTagIsAnErrorOfItsOwnWithoutPosition) {
    XMLResults results;
    EXPECT_TRUE(Parse("<b>\n<c/></b>", "nivoml", &results).isEmpty());
    EXPECT_NE(results.error, 0);
    EXPECT_EQ(results.nLine, 0);
    EXPECT_EQ(results.nColumn, 0);
    EXPECT_STREQ(XMLNode::getError(results.error), "required element not found");
    EXPECT_STREQ(XMLNode::getError(-1), "unknown error");
    EXPECT_STREQ(XMLNode::getError(results.error + 1), "unknown error");
}

TEST(XmlNodeTest, FirstElementWithTheTagIsFoundInDocumentOrder) {
    XMLNode a = Parse("<x><y><a id='1'/></y><a id='2'/></x><a id='3'/>", "a");
    EXPECT_EQ(a.getAttribute("id"), "1");
}

TEST(XmlNodeTest, ContentsAreAttributesThenChildrenAndTextRunsInOrder) {
    XMLNode a =
        Parse("<a k=\"1\" l=\"2\"> one <b/> <![CDATA[two<]]>three<!-- c --><c/>\n  </a>", "a");
    ASSERT_EQ(a.nElement(), 7);
    const XMLElementType kinds[] = {eNodeAttribute, eNodeAttribute, eNodeText, eNodeChild,
                                    eNodeText,      eNodeText,      eNodeChild};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(a.enumContents(i).type, kinds[i]) << i;
    EXPECT_EQ(a.enumContents(1).text, "l");
    EXPECT_EQ(a.enumContents(6).child.getName(), "c");
    EXPECT_EQ(a.enumContents(4).text, "two<");
    EXPECT_EQ(a.enumContents(2).text, " one ");  // backwards after a forward walk
    EXPECT_EQ(a.nText(), 3);
    EXPECT_EQ(a.getText(2), "three");
    EXPECT_EQ(a.getText(0), " one ");
    EXPECT_EQ(a.getText(3), std::nullopt);
    for (int i : {-1, 7}) {
        XMLNode::Contents outside = a.enumContents(i);
        EXPECT_EQ(outside.type, eNodeOther);
        EXPECT_TRUE(outside.child.isEmpty());
    }
}

TEST(XmlNodeTest, ChildrenAndAttributesAreFoundByNameAndIndex) {
    XMLNode a = Parse("<a k='1' k='2'><b n='1'/><c/><b n='2'/></a>", "a");
    EXPECT_EQ(a.getAttribute("k", 1), "2");
    EXPECT_EQ(a.getAttribute("k", 2), std::nullopt);
    EXPECT_TRUE(a.isAttributeSet("k"));
    EXPECT_FALSE(a.isAttributeSet("n"));
    EXPECT_EQ(a.getChildNode("b", 1).getAttribute("n"), "2");
    EXPECT_TRUE(a.getChildNode("b", 2).isEmpty());
    EXPECT_EQ(a.getChildNode("c").getName(), "c");
}

TEST(XmlNodeTest, EmptyHandleAnswersEverythingWithNothing) {
    XMLNode none;
    EXPECT_TRUE(none.isEmpty());
    EXPECT_EQ(none.getName(), "");
    EXPECT_EQ(none.getAttribute("x"), std::nullopt);
    EXPECT_FALSE(none.isAttributeSet("x"));
    EXPECT_EQ(none.nElement(), 0);
    EXPECT_EQ(none.enumContents(0).type, eNodeOther);
    EXPECT_TRUE(none.getChildNode("x").isEmpty());
    EXPECT_EQ(none.nText(), 0);
    EXPECT_EQ(none.getText(0), std::nullopt);
}

TEST(XmlNodeTest, DeeplyNestedPagesParseAndAreSearchedWithoutRecursion) {
    for (int depth : {10000, 100000}) {
        XMLResults results;
        XMLNode deepest = Parse(Nested(depth, "<z>end</z>"), "z", &results);
        EXPECT_EQ(results.error, 0) << depth;
        EXPECT_EQ(deepest.getText(0), "end") << depth;
        XMLNode node = Parse(Nested(depth, "x"), "nivoml");
        for (int i = 0; i < depth && !node.isEmpty(); ++i) node = node.getChildNode("d");
        EXPECT_EQ(node.getText(0), "x") << depth;
    }
}

TEST(XmlNodeTest, NulByteEndsTheInput) {
    XMLResults results;
    XMLNode a = Parse(std::string("<a>x</a>\0<<<", 12), "a", &results);
    EXPECT_EQ(results.error, 0);
    EXPECT_EQ(a.getText(0), "x");
    EXPECT_TRUE(Parse(std::string("<a>x\0y</a>", 10), "a", &results).isEmpty());
    EXPECT_NE(results.error, 0);
    Parse(std::string("<a k='\0'\0>", 10), "a", &results);
    EXPECT_NE(results.error, 0);
}

TEST(XmlNodeTest, CopiesShareTheDocumentAndOutliveTheOriginal) {
    XMLNode kept;
    {
        XMLNode root = Parse("<a><b t='v'>text</b></a>", "a");
        XMLNode copy = root;
        kept = copy.getChildNode("b");
    }
    EXPECT_EQ(kept.getName(), "b");
    EXPECT_EQ(kept.getAttribute("t"), "v");
    EXPECT_EQ(kept.getText(0), "text");
}

TEST(XmlNodeTest, AttributesWithoutValueAreFlagsWithAnEmptyValue) {
    XMLResults results;
    XMLNode root = Parse(
        "<nivoml><!-- <x y> --><date symbols format=\"%d%m%y\" pos/>"
        "<time\nsymbols/><![CDATA[<q r>]]></nivoml>",
        "nivoml", &results);
    ASSERT_EQ(results.error, 0);
    XMLNode date = root.getChildNode("date");
    EXPECT_TRUE(date.isAttributeSet("symbols"));
    EXPECT_EQ(date.getAttribute("symbols"), "");
    EXPECT_EQ(date.getAttribute("format"), "%d%m%y");
    EXPECT_EQ(date.getAttribute("pos"), "");
    EXPECT_TRUE(root.getChildNode("time").isAttributeSet("symbols"));
    EXPECT_EQ(root.getText(0), "<q r>");  // markup inside CDATA stays text
    // Errors after a completed flag are still reported where the author wrote them.
    Parse("<a flag b=\"1\" c=>", "a", &results);
    EXPECT_NE(results.error, 0);
    EXPECT_EQ(results.nLine, 1);
    EXPECT_EQ(results.nColumn, 17);  // the ">" after "c="
}

}  // namespace
