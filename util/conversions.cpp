#include "util/conversions.h"

#include <strings.h>

#include <climits>
#include <cstdlib>

int StrToInt(const std::string& text) {
    // strtoll saturates at the long long range; the rest is clamped to int here.
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int StrToInt(char digit) {
    return digit >= '0' && digit <= '9' ? digit - '0' : 0;
}

std::string IntToStr(int value) {
    return std::to_string(value);
}

bool StrToBool(const std::string& text) {
    std::string word = TrimBlanks(text);
    for (const char* yes : {"1", "true", "yes", "on"}) {
        if (strcasecmp(word.c_str(), yes) == 0) return true;
    }
    return false;
}

std::string BoolToStr(bool value) {
    return value ? "true" : "false";
}

double StrToDouble(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

std::vector<std::string> SplitString(const std::string& text, const std::string& separators) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(separators, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string TrimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

int DecimalInRange(const std::string& text, int max) {
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
        if (value > max) return -1;
    }
    return text.empty() ? -1 : static_cast<int>(value);
}
