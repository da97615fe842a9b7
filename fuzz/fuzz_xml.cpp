// Parses arbitrary bytes as a page and walks the whole tree through XMLNode,
// checking that the lookups by index and by name agree with the content list.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "util/xml_node.h"

namespace {

constexpr size_t kMaxStack = 200000;
// Lookups by name are linear; checking only the first few keeps huge elements fast.
constexpr int kMaxNamedLookups = 64;

void Check(bool condition) {
    if (!condition) abort();
}

void CheckNode(const XMLNode& node, std::vector<XMLNode>& stack) {
    Check(!node.isEmpty());
    std::string name = node.getName();
    Check(!name.empty());
    int count = node.nElement();
    int texts = 0;
    std::map<std::string, int> attributesSeen, childrenSeen;
    for (int i = 0; i < count; ++i) {
        XMLNode::Contents item = node.enumContents(i);
        if (item.type == eNodeAttribute) {
            int seen = attributesSeen[item.text]++;
            if (seen > kMaxNamedLookups || i > kMaxNamedLookups) continue;
            Check(node.isAttributeSet(item.text.c_str()));
            Check(node.getAttribute(item.text.c_str(), seen).has_value());
        } else if (item.type == eNodeText) {
            Check(node.getText(texts++) == item.text);
        } else if (item.type == eNodeChild) {
            std::string childName = item.child.getName();
            int seen = childrenSeen[childName]++;
            if (seen <= kMaxNamedLookups && i <= kMaxNamedLookups) {
                Check(node.getChildNode(childName.c_str(), seen).nElement() ==
                      item.child.nElement());
            }
            if (stack.size() < kMaxStack) stack.push_back(item.child);
        }
    }
    Check(texts == node.nText());
    Check(!node.getText(texts).has_value());
    Check(node.enumContents(count).type == eNodeOther);
    Check(node.enumContents(count).child.isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    XMLResults results;
    XMLNode root = XMLNode::parseString(text, "nivoml", &results);
    Check(XMLNode::getError(results.error) != nullptr);
    Check(root.isEmpty() == (results.error != 0));
    if (results.error != 0) Check(results.nLine >= 0 && results.nColumn >= 0);
    std::vector<XMLNode> stack;
    if (!root.isEmpty()) stack.push_back(root);
    while (!stack.empty()) {
        XMLNode node = stack.back();
        stack.pop_back();
        CheckNode(node, stack);
    }
    return 0;
}
