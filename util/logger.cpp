#include "util/logger.h"

#include <syslog.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "util/time_of_day.h"

Logger* Logger::s_logger = nullptr;

namespace {

// vsnprintf into a buffer that grows until the whole message fits.
std::string FormatMessage(const char* format, va_list args) {
    std::string text(256, '\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int needed = vsnprintf(&text[0], text.size(), format, copy);
        va_end(copy);
        if (needed < 0) return format;  // broken format: keep the raw text rather than nothing
        if (static_cast<size_t>(needed) < text.size()) {
            text.resize(needed);
            return text;
        }
        text.assign(static_cast<size_t>(needed) + 1, '\0');
    }
}

// Every text in the program is ISO-8859-1; a terminal expects UTF-8.
std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

const char* LevelName(Logger::LogLevel level) {
    static const char* const names[] = {"ALL",     "DEBUG", "INFO", "NOTICE",
                                        "WARNING", "ERROR", "FATAL"};
    return level >= Logger::All && level <= Logger::Fatal ? names[level] : "LOG";
}

int SyslogPriority(Logger::LogLevel level) {
    switch (level) {
        case Logger::Info:
            return LOG_INFO;
        case Logger::Notice:
            return LOG_NOTICE;
        case Logger::Warning:
            return LOG_WARNING;
        case Logger::Error:
            return LOG_ERR;
        case Logger::Fatal:
            return LOG_CRIT;
        default:
            return LOG_DEBUG;
    }
}

}  // namespace

void Logger::Log(LogLevel level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogV(level, format, args);
    va_end(args);
}

void Logger::LogV(LogLevel level, const char* format, va_list args) {
    if (s_logger == nullptr || format == nullptr || level < s_logger->GetLevel()) return;
    s_logger->Write(level, FormatMessage(format, args));
}

void ConsoleLogger::Write(LogLevel level, const std::string& message) {
    struct tm now = LocalTimeNow();
    char clock[16];
    strftime(clock, sizeof clock, "%H:%M:%S", &now);
    std::string text = message;
    while (!text.empty() && text.back() == '\n') text.pop_back();  // we end the line ourselves
    std::string line =
        std::string(clock) + " " + LevelName(level) + " " + Latin1ToUtf8(text) + "\n";
    // One write per line, so lines of several processes do not interleave.
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
}

SyslogLogger::SyslogLogger(const std::string& ident) : m_ident(ident) {
    // openlog keeps the pointer: m_ident lives as long as the logger.
    openlog(m_ident.empty() ? nullptr : m_ident.c_str(), LOG_PID, LOG_DAEMON);
}

SyslogLogger::~SyslogLogger() {
    closelog();
}

// The bytes as they are: the unit's log reader knows they are ISO-8859-1.
void SyslogLogger::Write(LogLevel level, const std::string& message) {
    syslog(SyslogPriority(level), "%s", message.c_str());
}

void CapturingLogger::Write(LogLevel level, const std::string& message) {
    m_lines.emplace_back(level, message);
}

bool CapturingLogger::Contains(const std::string& text) const {
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const auto& line) {
        return line.second.find(text) != std::string::npos;
    });
}

bool CapturingLogger::Has(int level, const std::string& text) const {
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const auto& line) {
        return line.first == level && line.second == text;
    });
}

int CapturingLogger::Count(const std::string& text) const {
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
                                          [&](const auto& line) { return line.second == text; }));
}
