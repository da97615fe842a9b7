#pragma once
// The date/time setters' shared part: keys, format, goto target and the field
// cursor that walks the seven-segment field two digits at a time.
#include <string>

#include "markup/element_roles.h"
#include "markup/nivoml_baseobj.h"

class NIVOML_SETDATETIMEOBJ : public NIVOML_BASEOBJ, public KeyBinder, public TimerOwner {
public:
    // firstCell: the segment cell of the format's first character.
    explicit NIVOML_SETDATETIMEOBJ(int firstCell = 0);
    bool InitFromNivoml(XMLNode& node) override;

    // 1 while the cursor is on a field, 0 when the walk has ended.
    virtual int IncCursor(NIVO_Display& display) = 0;
    // Step the field under the cursor within its limits, wrapping around.
    virtual void IncData(NIVO_Display& display);
    virtual void DecData(NIVO_Display& display);

    void AddToKeyTable(KeyTable& table) override;
    bool OnTimer(unsigned long id, std::string& target, int& key) override;

    int GetAutosubmit() const { return m_autosubmit; }
    std::string GetGoto() const { return m_gotoTarget; }
    std::string GetFormat() const { return m_format; }
    // Two digits each, read back from the display. A 12-hour setter gives the
    // hour on the 24-hour clock (it reads the PM symbol too): 12 AM is 0.
    int GetHour(NIVO_Display& display) const;
    int GetMinute(NIVO_Display& display) const;
    int GetDay(NIVO_Display& display) const;
    int GetMonth(NIVO_Display& display) const;
    int GetYear(NIVO_Display& display) const;

protected:
    // Formats this tag accepts.
    virtual bool IsAcceptedFormat(const std::string& format) const = 0;

    // Shows cells from..to-1 steady, then the field under the cursor blinking.
    void MarkField(NIVO_Display& display, int from, int to) const;
    // Asks the manager to set the clock now.
    static void SubmitSoon();

    int m_incCursorKey = 0;
    int m_incDataKey = 0;
    int m_decDataKey = 0;
    std::string m_format;
    std::string m_gotoTarget;
    int m_autosubmit = 0;
    int m_cursor = -2;
    int m_cursorStep = 2;
    const int m_firstCell;

private:
    void StepField(NIVO_Display& display, int delta) const;
    bool IsYearFirst() const;
    bool IsTwelveHour() const;
};
