#pragma once
// Names of the panel's symbols (bit i = 1 << i), LEDs (LED i = 1 << i) and modes,
// as pages and the decoder's picture name them.
constexpr int kPanelSymbols = 16;
constexpr int kPanelLeds = 4;

inline constexpr const char* kPanelSymbolNames[kPanelSymbols] = {
    "ALERT",   "MAIL",    "ETHERNET", "HOUSE", "BATT_S1", "BATT_S2", "RADIO", "BATT_S3",
    "DATE_P1", "DATE_P2", "BATT_S4",  "COLON", "TIME",    "AM",      "PM",    "DATE",
};
inline constexpr const char* kPanelLedNames[kPanelLeds] = {"POWER", "STATUS_B", "STATUS_A",
                                                           "DISPLAY"};

inline const char* PanelModeName(int mode) {
    static constexpr const char* kNames[] = {"off", "blink_inv", "blink", "on"};
    return mode >= 0 && mode <= 3 ? kNames[mode] : "?";
}
