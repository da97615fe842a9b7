#pragma once
// The contract of every form control: the form walks its controls through
// these operations without knowing how they look or change.
#include <string>

#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_FORMOBJ : public NIVOML_BASELISTOBJ, public PlacedElement {
public:
    NIVOML_FORMOBJ();

    // Reads the name attribute; false without a non-empty name.
    bool InitFromNivoml(XMLNode& node) override;
    // Keeps only input, select and stepper children.
    void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) override;

    int GetWidth() const override = 0;  // display cells occupied
    // The text this control submits; "" means no pair.
    virtual std::string GetValue(NIVO_Display& display) = 0;
    // Page values back, cursor before the first position.
    virtual void ResetCursor() = 0;
    // New cursor index (0 or more), -1 when the cursor left the control, -2 to submit now.
    virtual int IncCursor(NIVO_Display& display) = 0;
    virtual void IncData(NIVO_Display& display) = 0;
    virtual void DecData(NIVO_Display& display) = 0;

    std::string GetType() const { return m_type; }
    // The name attribute (the element-level tag is GetName()).
    std::string GetControlName() const { return m_controlName; }
    void SetPosition(int position) override { m_position = position; }
    int GetPosition() const { return m_position; }

protected:
    std::string m_type;
    std::string m_controlName;
    int m_position = 0;
};
