#include "markup/element_factory.h"

#include "markup/element_roles.h"
#include "markup/nivoml_skip.h"
#include "markup/nivoml_text.h"
#include "panel/nivo_display.h"
#include "util/logger.h"
#include "util/xml_node.h"

namespace dynamic {

namespace {
// Constant-initialised, so registrations from any source file find it ready.
factory_list_ele* s_head = nullptr;
}  // namespace

factory_list_ele::factory_list_ele(abstract_factory* f) : next(s_head), factory(f) { s_head = this; }

factory_list_ele::~factory_list_ele() {
    for (factory_list_ele** link = &s_head; *link; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            return;
        }
    }
}

std::unique_ptr<NIVOML_BASEOBJ> Create(const char* tag) {
    for (factory_list_ele* node = s_head; node; node = node->next) {
        if (NIVOML_BASEOBJ* element = node->factory->create(tag)) {
            return std::unique_ptr<NIVOML_BASEOBJ>(element);
        }
    }
    return nullptr;
}

}  // namespace dynamic

namespace {
constexpr int kCells = NIVO_Display::kTextCells;
constexpr int kLineCells = kCells / 2;
// Positions far past the display all mean "full"; saturating keeps hostile
// counts and widths from overflowing.
constexpr int kPositionLimit = 1 << 20;

// long long, not long: long is 32 bits on the unit and the sum would wrap.
void AddCells(int& position, long long cells) {
    long long sum = static_cast<long long>(position) + cells;
    position = static_cast<int>(sum > kPositionLimit ? kPositionLimit : sum);
}

void AdvancePosition(NIVOML_BASEOBJ& element, int& position) {
    const std::string tag = element.GetName();
    if (tag == "skip") {
        AddCells(position, static_cast<NIVOML_SKIP&>(element).GetCount());
    } else if (tag == "br") {
        if (position != kLineCells) position = (position / kLineCells + 1) * kLineCells;
    } else if (tag == "div") {
        position = 0;  // the next screen starts at cell 0
    } else if (auto* placed = dynamic_cast<PlacedElement*>(&element)) {
        placed->SetPosition(position);
        AddCells(position, placed->GetWidth());
    }
}
}  // namespace

bool CreateFromNivoml(XMLNode& node, std::unique_ptr<NIVOML_BASEOBJ>& out, int& position) {
    out.reset();
    const std::string tag = node.getName();
    Logger::Log(Logger::Debug, "%s", tag.c_str());
    std::unique_ptr<NIVOML_BASEOBJ> element = dynamic::Create(tag.c_str());
    if (!element) {
        Logger::Log(Logger::Error, "Typ wird nicht unterst\xfctzt.");
        return false;
    }
    if (!element->InitFromNivoml(node)) {
        Logger::Log(Logger::Error, "InitFromNivoml fehlgeschlagen!");
        // A dropped div may have used cells; the next screen still starts at cell 0.
        if (tag == "div") position = 0;
        return false;
    }
    element->SetSourceOffset(node.getOffset());
    AdvancePosition(*element, position);
    out = std::move(element);
    return true;
}

bool ParseText(XMLNode& parent, std::unique_ptr<NIVOML_BASEOBJ>& out, int& textIndex,
               int& position) {
    Logger::Log(Logger::Debug, "text");
    if (position >= kCells) {
        Logger::Log(Logger::Debug, "Position: %i", position);
        Logger::Log(Logger::Debug,
                    "Displaytextbreite ist ausgesch\xf6pft! Text wird nicht geparsed.");
        return false;
    }
    auto text = std::make_unique<NIVOML_TEXT>();
    text->SetPosition(position);
    text->SetTextIndex(textIndex);
    if (!text->InitFromNivoml(parent)) {
        Logger::Log(Logger::Error, "ParseText fehlgeschlagen!");
        return false;
    }
    text->SetSourceOffset(parent.getTextOffset(textIndex));
    ++textIndex;
    AddCells(position, static_cast<long long>(text->GetText().size()));
    if (position > kCells) {
        Logger::Log(Logger::Debug, "Text geht \xfc" "ber das Display hinaus: %s",
                    text->GetText().c_str());
    }
    out = std::move(text);
    return true;
}
