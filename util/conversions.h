#pragma once
// Decimal and boolean conversions; none of them fails, bad input gives 0 / false.
#include <string>
#include <vector>

int StrToInt(const std::string& text);  // like strtol base 10, 0 without digits, clamped
int StrToInt(char digit);               // the digit's value, or 0
// Outside input that must be a number: digits only, 0..max; -1 for anything else
// (empty, signs, blanks, too large).
int DecimalInRange(const std::string& text, int max);
std::string IntToStr(int value);
bool StrToBool(const std::string& text);  // 1, true, yes, on in any case
std::string BoolToStr(bool value);        // "true" / "false"
double StrToDouble(const std::string& text);
// Without leading and trailing blanks, tabs and line ends.
std::string TrimBlanks(const std::string& text);
// Pieces between any of the separator characters; empty pieces are kept.
std::vector<std::string> SplitString(const std::string& text, const std::string& separators);
