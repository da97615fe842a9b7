#include "sim/app/panel_script.h"

#include <poll.h>

#include <sstream>
#include <vector>

#include "sim/panel_decoder.h"

namespace {

constexpr int kDefaultHoldMs = 150;
constexpr int kDefaultWaitForMs = 5000;
constexpr int kPanelPollMs = 20;

struct ScriptCommand {
    int line = 0;
    std::string verb;
    int number = 0;  // key bits, or the pause of wait
    int ms = 0;      // hold time of key, bound of waitfor
    std::string text;
};

void SleepMs(int ms) {
    const int64_t until = MonotonicMs() + ms;
    for (int64_t left = ms; left > 0; left = until - MonotonicMs()) {
        ::poll(nullptr, 0, static_cast<int>(left));
    }
}

bool ParseNumber(const std::string& word, int max, int& value) {
    if (word.empty() || word.size() > 9 ||
        word.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(word);
    return value <= max;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// Scripts are usually written in UTF-8, the panel speaks ISO-8859-1.
std::string ToLatin1(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += text[i];
            continue;
        }
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((lead != 0xC2 && lead != 0xC3) || (next & 0xC0) != 0x80) return text;  // not UTF-8
        out += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
        ++i;
    }
    return out;
}

// waitfor's TEXT is "quoted", or everything up to a trailing number.
bool ParseWaitFor(const std::string& rest, ScriptCommand& command) {
    command.ms = kDefaultWaitForMs;
    std::string tail;
    if (!rest.empty() && rest[0] == '"') {
        const size_t close = rest.find('"', 1);
        if (close == std::string::npos) return false;
        command.text = rest.substr(1, close - 1);
        tail = rest.substr(close + 1);
    } else {
        std::vector<std::string> words = Words(rest);
        // The bound is the last word, after a space or a tab; the blanks before it go too.
        const size_t blank = rest.find_last_of(" \t");
        if (words.size() > 1 && ParseNumber(words.back(), 3600000, command.ms)) {
            command.text = rest.substr(0, rest.find_last_not_of(" \t", blank) + 1);
        } else {
            command.text = rest;
        }
    }
    std::vector<std::string> words = Words(tail);
    if (words.size() > 1 || (words.size() == 1 && !ParseNumber(words[0], 3600000, command.ms)))
        return false;
    command.text = ToLatin1(command.text);
    return !command.text.empty();
}

bool ParseCommand(const std::string& line, ScriptCommand& command) {
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = line.find_first_of(" \t", start);
    command.verb = line.substr(start, end - start);
    std::string rest;
    if (end != std::string::npos) {
        const size_t from = line.find_first_not_of(" \t", end);
        if (from != std::string::npos) rest = line.substr(from);
    }
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
        rest.pop_back();
    const std::vector<std::string> words = Words(rest);
    const std::string& verb = command.verb;
    if (verb == "key") {
        command.ms = kDefaultHoldMs;
        return (words.size() == 1 || words.size() == 2) &&
               ParseNumber(words[0], 255, command.number) &&
               (words.size() == 1 || ParseNumber(words[1], 3600000, command.ms));
    }
    if (verb == "press") return words.size() == 1 && ParseNumber(words[0], 255, command.number);
    if (verb == "wait") return words.size() == 1 && ParseNumber(words[0], 3600000, command.number);
    if (verb == "udp") {
        command.text = Unescape(rest);
        return !command.text.empty();
    }
    if (verb == "waitfor") return ParseWaitFor(rest, command);
    return (verb == "release" || verb == "snapshot" || verb == "quit") && words.empty();
}

bool ParseScript(const std::string& script, std::vector<ScriptCommand>& commands,
                 std::ostream& err) {
    std::istringstream in(script);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF: "quit\r" is quit
        const size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        ScriptCommand command;
        command.line = number;
        if (!ParseCommand(line, command)) {
            err << "nivo-panel: script line " << number << ": cannot read: " << line << "\n";
            return false;
        }
        commands.push_back(command);
    }
    return true;
}

class ScriptRun {
public:
    ScriptRun(const std::string& lcdPath, KeyFifo& keys, UdpSender& udp, std::ostream& out,
              std::ostream& err)
        : m_lcdPath(lcdPath), m_keys(keys), m_udp(udp), m_out(out), m_err(err) {}

    // False when the command failed; quit sets Stopped.
    bool Run(const ScriptCommand& command) {
        const std::string& verb = command.verb;
        if (verb == "key") {
            if (!Key(command, static_cast<unsigned char>(command.number))) return false;
            SleepMs(command.ms);
            return Key(command, 0);
        }
        if (verb == "press") return Key(command, static_cast<unsigned char>(command.number));
        if (verb == "release") return Key(command, 0);
        if (verb == "udp") return Udp(command);
        if (verb == "wait") {
            SleepMs(command.number);
            return true;
        }
        if (verb == "waitfor") return WaitFor(command);
        if (verb == "snapshot") {
            m_out << RenderPanel(Picture()) << std::flush;
            return true;
        }
        m_stopped = true;  // quit
        return true;
    }
    bool Stopped() const { return m_stopped; }

private:
    PanelPicture Picture() const { return DecodePanelFile(m_lcdPath).value_or(PanelPicture{}); }

    bool Fail(const ScriptCommand& command, const std::string& reason) {
        m_err << "nivo-panel: script line " << command.line << ": " << command.verb << ": "
              << reason << "\n";
        return false;
    }
    bool Key(const ScriptCommand& command, unsigned char state) {
        std::string error;
        return m_keys.Send(state, error) || Fail(command, error);
    }
    bool Udp(const ScriptCommand& command) {
        std::string error;
        return m_udp.Send(command.text, error) || Fail(command, error);
    }
    bool WaitFor(const ScriptCommand& command) {
        const int64_t deadline = MonotonicMs() + command.ms;
        for (;;) {
            const PanelPicture picture = Picture();
            if (picture.Text().find(command.text) != std::string::npos) return true;
            if (MonotonicMs() >= deadline) {
                m_out << RenderPanel(picture) << std::flush;
                return Fail(command, "\"" + command.text + "\" not shown within " +
                                         std::to_string(command.ms) + " ms");
            }
            SleepMs(kPanelPollMs);
        }
    }

    const std::string& m_lcdPath;
    KeyFifo& m_keys;
    UdpSender& m_udp;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_stopped = false;
};

}  // namespace

int RunPanelScript(const std::string& script, const std::string& lcdPath, KeyFifo& keys,
                   UdpSender& udp, std::ostream& out, std::ostream& err) {
    std::vector<ScriptCommand> commands;
    if (!ParseScript(script, commands, err)) return 2;
    ScriptRun run(lcdPath, keys, udp, out, err);
    int status = 0;
    for (const ScriptCommand& command : commands) {
        if (!run.Run(command)) {
            status = 1;
            break;
        }
        if (run.Stopped()) break;
    }
    // Keys are let go when the hand leaves the panel.
    std::string ignored;
    if (keys.State() != 0) keys.Send(0, ignored);
    return status;
}
