#pragma once
// The process-wide logger: one installed instance behind Logger::s_logger,
// printf-style messages, dropped when below the logger's level.
#include <cstdarg>
#include <string>
#include <utility>
#include <vector>

class Logger {
public:
    enum LogLevel { All = 0, Debug = 1, Info = 2, Notice = 3, Warning = 4, Error = 5, Fatal = 6 };

    virtual ~Logger() = default;

    // Formats and hands the message to the installed logger; without one it is dropped.
    static void Log(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
    static void LogV(LogLevel level, const char* format, va_list args);

    void SetLevel(LogLevel level) { m_level = level; }
    LogLevel GetLevel() const { return m_level; }

    static Logger* s_logger;

protected:
    virtual void Write(LogLevel level, const std::string& message) = 0;

private:
    LogLevel m_level = Info;
};

// One line per message on standard error: time, level, text.
class ConsoleLogger : public Logger {
protected:
    void Write(LogLevel level, const std::string& message) override;
};

// syslog(3) under the given identifier (empty: the program's name).
class SyslogLogger : public Logger {
public:
    explicit SyslogLogger(const std::string& ident);
    ~SyslogLogger() override;

protected:
    void Write(LogLevel level, const std::string& message) override;

private:
    std::string m_ident;
};

// Keeps every message in memory so tests can assert the system's log texts.
class CapturingLogger : public Logger {
public:
    CapturingLogger() { SetLevel(All); }
    const std::vector<std::pair<int, std::string>>& Lines() const { return m_lines; }
    bool Contains(const std::string& text) const;        // some line contains text
    bool Has(int level, const std::string& text) const;  // some line equals text at level
    int Count(const std::string& text) const;            // lines equal to text
    void ClearLines() { m_lines.clear(); }

protected:
    void Write(LogLevel level, const std::string& message) override;

private:
    std::vector<std::pair<int, std::string>> m_lines;
};

// Installs a logger for the lifetime of the guard and restores the previous one.
class ScopedLogger {
public:
    explicit ScopedLogger(Logger* logger) : m_previous(Logger::s_logger) {
        Logger::s_logger = logger;
    }
    ~ScopedLogger() { Logger::s_logger = m_previous; }
    ScopedLogger(const ScopedLogger&) = delete;
    ScopedLogger& operator=(const ScopedLogger&) = delete;

private:
    Logger* m_previous;
};
