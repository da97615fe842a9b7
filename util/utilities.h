#pragma once
// Shared free functions: symbol and LED names, bit tests, the display's nibble
// encodings, time-of-day texts, URL text encoding and the external command runner.
#include <sys/time.h>

#include <string>

// Symbol bits of the panel.
// clang-format off
enum SymbolBits : unsigned {
    ALERT = 0x0001, MAIL = 0x0002, ETHERNET = 0x0004, HOUSE = 0x0008,
    BATT_S1 = 0x0010, BATT_S2 = 0x0020, RADIO = 0x0040, BATT_S3 = 0x0080,
    DATE_P1 = 0x0100, DATE_P2 = 0x0200, BATT_S4 = 0x0400, COLON = 0x0800,
    TIME = 0x1000, AM = 0x2000, PM = 0x4000, DATE = 0x8000,
    BATT_100P = 0x04B0, BATT_50P = 0x04A0, BATT_0P = 0x0480,
};
// clang-format on

// LED bits (note: A is 4, B is 2).
enum LedBits : unsigned { LED_POWER = 1, LED_STATUS_B = 2, LED_STATUS_A = 4, LED_DISPLAY = 8 };

unsigned ParseSymbolNames(const std::string& names);  // "ALERT|MAIL" -> 0x3
unsigned ParseLedNames(const std::string& names);
bool AllBitsSet(unsigned mask, unsigned value);
void SetBits(unsigned& target, unsigned bits);
void ClearBits(unsigned& target, unsigned bits);
std::string IntToNibbles(unsigned value);  // 4 bytes, lowest nibble first
std::string ByteToNibbles(unsigned char byte);
timeval MsToTimeval(int ms);
void ToUpper(std::string& text);
void ReplaceAll(std::string& text, const std::string& what, const std::string& with);
void EncodeUrlText(std::string& text);
// Control bytes, '&', '#' and '%' as %XX: a value that travels inside a query.
std::string PercentEncodeQueryValue(const std::string& text);
// At most limit bytes of text for a log line, control bytes as \xNN, "..." when cut.
std::string EscapeForLog(const std::string& text, size_t limit);
std::string CurrentTimeText();  // "HH:MM:SS"
int SecondsToNextMinute();      // 1..60
// Runs a command of at most 9 words; "&" as last word runs it in the background.
// Returns the exit status, 255 when it could not start, -1 on a bad command line.
int RunCommand(const std::string& commandLine, const std::string& stdoutPath,
               const std::string& stderrPath);
