#pragma once
// blink, blink_inv, on, off: gives its display mode to every direct child.
#include "markup/nivoml_baseobj.h"

class NIVOML_Format : public NIVOML_BASELISTOBJ {
public:
    static bool IsTag(const char* tag);
    NIVOML_Format();
    bool InitFromNivoml(XMLNode& node) override;
    void AddChild(std::unique_ptr<NIVOML_BASEOBJ> child) override;
};
