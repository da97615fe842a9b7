#pragma once
// A form: groups a screen's controls, holds the focus, binds its command keys
// and turns the controls' values into a GET or POST request.
#include <cstdint>
#include <string>
#include <vector>

#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_FORMOBJ;

class NIVOML_FORM : public NIVOML_BASELISTOBJ, public KeyBinder {
public:
    static bool IsTag(const char* tag);
    NIVOML_FORM();
    bool InitFromNivoml(XMLNode& node) override;
    void Draw(NIVO_Display& display) override;

    std::string GetAction() const { return m_action; }
    uint16_t GetPort() const { return m_port; }
    int GetAutoSubmit() const { return m_autosubmit; }
    bool IsReloadAfterSubmit() const { return m_reload; }

    void ResetControls();
    void IncCursor(NIVO_Display& display);
    void IncData(NIVO_Display& display);
    void DecData(NIVO_Display& display);
    // The whole request text of a submission; tail is the manager's query tail.
    std::string BuildRequest(NIVO_Display& display, const std::string& tail);
    // "name=value;" for every control with a value (DISPLAY_SETTING forms).
    std::string GetValues(NIVO_Display& display);
    // Binds "?submit", "?reset", ... of its key buttons; durations stay as they are.
    void AddToKeyTable(KeyTable& table) override;

    NIVOML_FORMOBJ* GetFocus() const { return m_focus; }
    std::vector<NIVOML_FORMOBJ*> GetControls(bool includeHidden) const;

private:
    void NextControl(bool restart);
    void ClearRadioGroup(NIVO_Display& display, const std::string& groupName);
    void AfterIncCursor(NIVO_Display& display, int result);
    void ChangeData(NIVO_Display& display, bool increase);

    NIVOML_FORMOBJ* m_focus = nullptr;
    std::string m_method;
    std::string m_action;
    std::string m_enctype;
    bool m_reload = true;
    int m_focusIndex = 0;
    int m_autosubmit = 0;
    uint16_t m_port = 0;
};
