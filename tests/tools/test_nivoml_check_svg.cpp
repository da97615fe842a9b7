#include <gtest/gtest.h>

#include <string>

#include "tests/tools/run_command.h"
#include "tests/util/temp_dir.h"
#include "util/xml_node.h"

namespace {

int RunCheckerOn(const std::string& args, std::string& output) {
    return RunCommand(std::string("env -u NIVO_LCD_DEVICE ") + NIVOML_CHECK + " " + args, output);
}

std::string CellText(const XMLNode& node, const std::string& id) {
    if (node.getAttribute("id").value_or("") == id) return node.getText().value_or("");
    for (int i = 0; i < node.nElement(); ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type != eNodeChild) continue;
        std::string found = CellText(item.child, id);
        if (!found.empty()) return found;
    }
    return "";
}

TEST(NivomlCheck, SvgShowsTheDivsLastPictureAndNeedsOneDiv) {
    TempDir dir;
    const std::string page =
        dir.Write("pin.nivoml",
                  "<nivoml><head><goto div=\"pin\"/></head><body><div name=\"other\">x</div>"
                  "<div name=\"pin\">PIN:<form method=\"get\" action=\"/p\"><input type=\"text\" "
                  "name=\"pin\" value=\"0+0\" mask=\"9,9,9\"/></form></div></body></nivoml>");
    const std::string svgPath = dir.Path("pin.svg");
    std::string output;
    ASSERT_EQ(RunCheckerOn("-l 5 --play ?incdata --svg " + svgPath + " " + page, output), 0)
        << output;
    XMLResults results;
    const XMLNode svg = XMLNode::parseString(ReadFile(svgPath), "svg", &results);
    ASSERT_EQ(results.error, 0) << XMLNode::getError(results.error);
    EXPECT_EQ(CellText(svg, "cell-0"), "P");
    EXPECT_EQ(CellText(svg, "cell-4"), "1");  // after ?incdata, not the first drawing

    EXPECT_EQ(RunCheckerOn("--all --svg " + svgPath + " " + page, output), 2);
    EXPECT_NE(output.find("--svg draws one div"), std::string::npos) << output;
    EXPECT_EQ(RunCheckerOn("--svg " + dir.Path("no/such.svg") + " " + page, output), 2);
    EXPECT_NE(output.find("cannot write"), std::string::npos) << output;
}

}  // namespace
