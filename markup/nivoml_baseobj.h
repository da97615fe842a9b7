#pragma once
// Base classes of every NIVOML element: a leaf that reads its XML node and draws
// into the display model, and a container that owns its children in document order.
#include <memory>
#include <string>
#include <vector>

class NIVO_Display;
class XMLNode;

using DisplayMode = int;  // 0 off, 1 blink inverse, 2 blink, 3 on

extern int g_elementCount;  // serial of the last element made; ids rise for the whole run
extern int g_textPosition;  // next free display cell of the screen being parsed

class NIVOML_BASEOBJ {
public:
    NIVOML_BASEOBJ();
    virtual ~NIVOML_BASEOBJ() = default;
    NIVOML_BASEOBJ(const NIVOML_BASEOBJ&) = delete;
    NIVOML_BASEOBJ& operator=(const NIVOML_BASEOBJ&) = delete;

    // Reads attributes and contents; false means the element is unusable.
    virtual bool InitFromNivoml(XMLNode& node) = 0;
    // Writes the element into the display model; the manager flushes it.
    virtual void Draw(NIVO_Display& display) = 0;

    int GetId() const { return m_id; }
    std::string GetName() const { return m_name; }
    void SetMode(DisplayMode mode) { m_mode = mode; }
    DisplayMode GetMode() const { return m_mode; }
    // Where the page wrote the element (XMLNode::getOffset), for the page checker; -1 unknown.
    long GetSourceOffset() const { return m_sourceOffset; }
    void SetSourceOffset(long offset) { m_sourceOffset = offset; }

    // Highest id handed out before the counter wraps to 1; keeps element
    // timer ids (1000 + id) inside the manager's cookie range.
    static constexpr int kMaxElementId = 0x7fffffff - 1000;

protected:
    DisplayMode m_mode = 3;
    std::string m_name = "BASEOBJ";

private:
    int m_id;
    long m_sourceOffset = -1;
};

class NIVOML_BASELISTOBJ : public NIVOML_BASEOBJ {
public:
    NIVOML_BASELISTOBJ();

    // Creates a child for every element and text run of the node; false when none was usable.
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;  // the children in order
    // Takes ownership; subclasses look at the child before or after appending it.
    virtual void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child);

    const std::vector<std::unique_ptr<NIVOML_BASEOBJ>>& Children() const { return m_children; }

    // Calls action on every direct child that is a Role, in document order.
    template <class Role, class Action>
    void ForEachChild(Action action) const {
        for (const auto& child : m_children) {
            if (auto* role = dynamic_cast<Role*>(child.get())) action(*role);
        }
    }
    // True as soon as test is true for a direct child that is a Role.
    template <class Role, class Test>
    bool AnyChild(Test test) const {
        for (const auto& child : m_children) {
            auto* role = dynamic_cast<Role*>(child.get());
            if (role && test(*role)) return true;
        }
        return false;
    }

protected:
    std::vector<std::unique_ptr<NIVOML_BASEOBJ>> m_children;
};
