#pragma once
// What a page author should hear before a page goes on the unit: why the program
// rejects it, elements it drops and why, attributes it ignores, values it reads
// otherwise than written, text that shows as junk, links and gotos to divs that do
// not exist, divs nothing reaches, divs with no way out, forms without a submit
// key, text or controls past the display, LEDs the status display takes over.
#include <string>
#include <vector>

#include "tools/page_rules.h"

class NIVOML_MAINOBJ;

// pageText is the page the root was built from; root is null when the program
// rejects the page. ShowDiv is called on the root for every div; the start div is
// shown again at the end. Findings carry parser offsets, in the order the checks
// ran: the checker sorts them into page order.
std::vector<PageFinding> LintPage(const std::string& pageText, NIVOML_MAINOBJ* root);
