#pragma once
// What a page author should hear before a page goes on the unit: links and gotos
// to divs that do not exist, divs nothing reaches, divs with no way out, forms
// without a submit key, links that never fire, text or controls past the display
// and elements the program drops. One line per finding, naming the div and the element.
#include <string>
#include <vector>

class NIVOML_MAINOBJ;

// pageText is the page the root was built from (the XML tells what was dropped).
// ShowDiv is called on the root for every div; the start div is shown again at the end.
std::vector<std::string> LintPage(const std::string& pageText, NIVOML_MAINOBJ& root);
