#include "sim/app/panel_terminal.h"

#include <curses.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "sim/panel_decoder.h"
#include "sim/panel_screen.h"

namespace {

constexpr int kTapMs = 150;         // a short press
constexpr int kBlinkPhaseMs = 250;  // the panel blinks twice a second
constexpr int kSettleMs = 5;        // let a flush finish before reading the file
constexpr int kPanelRow = 2;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
    g_stopSignal = signal;
}

// Catches SIGINT, SIGTERM and SIGHUP into a flag. The signals stay blocked except
// inside ppoll, so one arriving between a check of the flag and the wait is never lost.
class StopSignals {
public:
    StopSignals() {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_handler = OnStopSignal;  // no SA_RESTART: the wait must end at once
        sigset_t stop;
        sigemptyset(&stop);
        for (int i = 0; i < 3; ++i) {
            sigaction(kSignals[i], &action, &m_oldActions[i]);
            sigaddset(&stop, kSignals[i]);
        }
        sigprocmask(SIG_BLOCK, &stop, &m_oldMask);
        m_waitMask = m_oldMask;
        for (int signal : kSignals) sigdelset(&m_waitMask, signal);
    }
    ~StopSignals() {
        sigprocmask(SIG_SETMASK, &m_oldMask, nullptr);
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &m_oldActions[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    const sigset_t* WaitMask() const { return &m_waitMask; }

private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_oldActions[3]{};
    sigset_t m_oldMask{};
    sigset_t m_waitMask{};
};

enum ColourPair : short {
    kGlassPair = 1,
    kSegmentPair,
    kGreenPair,
    kRedPair,
    kYellowPair,
    kBluePair
};

// One ncurses screen on the terminal; endwin on every way out of the scope.
class CursesSession {
public:
    CursesSession() : m_screen(newterm(nullptr, stdout, stdin)) {
        if (!m_screen) return;
        cbreak();
        noecho();
        keypad(stdscr, TRUE);
        nodelay(stdscr, TRUE);
        set_escdelay(25);
        curs_set(0);
        if (has_colors()) {
            start_color();
            use_default_colors();
            init_pair(kGlassPair, COLOR_BLACK, COLOR_GREEN);
            init_pair(kSegmentPair, COLOR_GREEN, -1);
            init_pair(kGreenPair, COLOR_GREEN, -1);
            init_pair(kRedPair, COLOR_RED, -1);
            init_pair(kYellowPair, COLOR_YELLOW, -1);
            init_pair(kBluePair, COLOR_CYAN, -1);
        }
    }
    ~CursesSession() {
        if (!m_screen) return;
        endwin();
        delscreen(m_screen);
    }
    CursesSession(const CursesSession&) = delete;
    CursesSession& operator=(const CursesSession&) = delete;

    bool IsOpen() const { return m_screen != nullptr; }

private:
    SCREEN* m_screen;
};

chtype Colour(short pair, chtype fallback) {
    return has_colors() ? COLOR_PAIR(pair) : fallback;
}

chtype Attributes(ScreenStyle style) {
    switch (style) {
        case ScreenStyle::Glass:
            return Colour(kGlassPair, A_REVERSE);
        case ScreenStyle::Cursor:
            return Colour(kGlassPair, A_REVERSE) | A_UNDERLINE | A_BOLD;
        case ScreenStyle::FixedText:
            return Colour(kGlassPair, A_REVERSE) | A_DIM;
        case ScreenStyle::Segment:
            return Colour(kSegmentPair, 0) | A_BOLD;
        case ScreenStyle::Lit:
            return A_REVERSE | A_BOLD;
        case ScreenStyle::Dark:
            return A_DIM;
        case ScreenStyle::LampGreen:
            return Colour(kGreenPair, A_REVERSE) | A_BOLD;
        case ScreenStyle::LampRed:
            return Colour(kRedPair, A_REVERSE) | A_BOLD;
        case ScreenStyle::LampYellow:
            return Colour(kYellowPair, A_REVERSE) | A_BOLD;
        case ScreenStyle::LampBlue:
            return Colour(kBluePair, A_REVERSE) | A_BOLD;
        case ScreenStyle::LampDark:
            return A_DIM;
        default:
            return A_NORMAL;
    }
}

chtype FrameChar(char c) {
    switch (c) {
        case 'l':
            return ACS_ULCORNER;
        case 'k':
            return ACS_URCORNER;
        case 'm':
            return ACS_LLCORNER;
        case 'j':
            return ACS_LRCORNER;
        case 'x':
            return ACS_VLINE;
        default:
            return ACS_HLINE;
    }
}

void DrawSpan(int rowOffset, const ScreenSpan& span) {
    if (span.style == ScreenStyle::Frame) {
        move(rowOffset + span.row, span.col);
        for (char c : span.text) addch(FrameChar(c));
        return;
    }
    attrset(Attributes(span.style));
    mvaddstr(rowOffset + span.row, span.col, span.text.c_str());
    attrset(A_NORMAL);
}

bool SamePicture(const PanelPicture& a, const PanelPicture& b) {
    return a.segmentPatterns == b.segmentPatterns && RenderPanel(a) == RenderPanel(b);
}

std::string KeyName(unsigned bits) {
    std::string name;
    for (unsigned bit : {1u, 2u, 4u}) {
        if (!(bits & bit)) continue;
        if (!name.empty()) name += "+";
        name += bit == 1 ? "1" : bit == 2 ? "2" : "3";
    }
    return name.empty() ? "-" : name;
}

unsigned KeyBit(int ch) {
    return ch == '1' ? 1u : ch == '2' ? 2u : ch == '3' ? 4u : 0u;
}

struct Notification {
    int key;
    const char* label;
    const char* text;
};

constexpr Notification kNotifications[] = {
    {'a', "alarm", "ALARM"},
    {'s', "service", "SERVICE"},
    {'r', "reload", "RELOAD"},
    {'m', "mains failure", "POWER\nU_SOURCE_FAIL=true\nU_USBD_OK=false"},
    {'M', "mains back", "POWER\nU_SOURCE_FAIL=false"},
    {'b', "low battery", "POWER\nLOWBAT=true"},
    {'B', "battery full", "POWER\nLOWBAT=false\nBAT_LEVEL=1.0"},
    {'x', "radio traffic", "WAVD\nRX=1"},
    {'n', "new device", "WAVD\nNEW_DEVICE=1"},
    {'i', "install mode", "WAVD\nINSTALL_MODE=true"},
    {'I', "install mode off", "WAVD\nINSTALL_MODE=false"},
    {'v', "service due", "WAVD\nSERVICE=1"},
    {'V', "service done", "WAVD\nSERVICE=0"},
    {'l', "alarm state", "WAVD\nALARM=true"},
    {'L', "alarm over", "WAVD\nALARM=false"},
};

// The datagram's text on one line, as the status line shows it.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

class PanelTerminal {
public:
    PanelTerminal(const std::string& lcdPath, const std::string& keysPath, KeyFifo& keys,
                  UdpSender& udp)
        : m_lcdPath(lcdPath), m_keysPath(keysPath), m_keys(keys), m_udp(udp), m_watch(lcdPath) {}

    int Run(const StopSignals& signals) {
        m_picture = Decode();
        m_status = "ready: 1 2 3 press the panel keys";
        for (bool dirty = true; !m_quit; dirty = false) {
            const int64_t now = MonotonicMs();
            dirty |= Tick(now);
            if (dirty) Draw(now);
            Wait(signals, now);
            if (g_stopSignal) break;
            for (int ch = getch(); ch != ERR && !m_quit; ch = getch()) HandleKey(ch);
        }
        std::string ignored;
        if (m_keys.State() != 0) m_keys.Send(0, ignored);
        return g_stopSignal ? 128 + g_stopSignal : 0;
    }

private:
    PanelPicture Decode() const { return DecodePanelFile(m_lcdPath).value_or(PanelPicture{}); }
    bool BlinkOn(int64_t now) const { return (now / kBlinkPhaseMs) % 2 == 0; }

    // Timed work: releases, a settled file change, the blink phase. True when the
    // picture on screen is out of date.
    bool Tick(int64_t now) {
        bool dirty = m_redraw;
        m_redraw = false;
        if (m_releaseAt != kNever && now >= m_releaseAt) {
            m_releaseAt = kNever;
            std::string error;
            m_status = m_keys.Send(0, error) ? m_status + ", released" : error;
            dirty = true;
        }
        if (m_watch.PollIntervalMs() > 0 && now >= m_nextStat) {
            m_nextStat = now + m_watch.PollIntervalMs();
            if (m_watch.TakeChange() && m_decodeAt == kNever) m_decodeAt = now + kSettleMs;
        }
        if (m_decodeAt != kNever && now >= m_decodeAt) {
            m_decodeAt = kNever;
            PanelPicture picture = Decode();
            if (!SamePicture(picture, m_picture)) {
                m_picture = picture;
                dirty = true;
            }
        }
        if (PanelBlinks(m_picture) && BlinkOn(now) != m_drawnPhase) dirty = true;
        return dirty;
    }

    void Wait(const StopSignals& signals, int64_t now) {
        int64_t next = std::min(m_releaseAt, m_decodeAt);
        if (PanelBlinks(m_picture))
            next = std::min(next, (now / kBlinkPhaseMs + 1) * kBlinkPhaseMs);
        if (m_watch.PollIntervalMs() > 0) next = std::min(next, m_nextStat);
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_watch.Fd(), POLLIN, 0}};
        timespec timeout{};
        if (next != kNever) {
            const int64_t ms = std::max<int64_t>(0, next - now);
            timeout = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
        }
        const int ready = ppoll(fds, 2, next == kNever ? nullptr : &timeout, signals.WaitMask());
        if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) m_quit = true;
        if (ready > 0 && fds[1].revents && m_watch.TakeChange() && m_decodeAt == kNever)
            m_decodeAt = MonotonicMs() + kSettleMs;
    }

    void Press(unsigned bits, int holdMs) {
        std::string error;
        if (m_keys.State() != 0 && !m_keys.Send(0, error)) {
            m_status = error;
            return;
        }
        if (!m_keys.Send(static_cast<unsigned char>(bits), error)) {
            m_status = error;
            return;
        }
        m_releaseAt = MonotonicMs() + holdMs;
        m_status = "pressed " + KeyName(bits) +
                   (holdMs >= 1000 ? " for " + std::to_string(holdMs / 1000) + " s" : "");
    }

    void Notify(const Notification& notification) {
        std::string error;
        m_status = m_udp.Send(notification.text, error)
                       ? "sent " + OneLine(notification.text) +
                             " to 127.0.0.1:" + std::to_string(m_udp.Port())
                       : error;
    }

    enum class Input { Normal, Combination, HoldKey, HoldSeconds };

    void HandleKey(int ch) {
        m_redraw = true;
        if (ch == KEY_RESIZE) return;
        const Input input = m_input;
        m_input = Input::Normal;
        const unsigned bit = KeyBit(ch);
        switch (input) {
            case Input::Combination:
                if (bit) {
                    m_bits ^= bit;
                    m_input = Input::Combination;
                } else if ((ch == '\n' || ch == KEY_ENTER || ch == ' ') && m_bits) {
                    if (m_holding) {
                        m_input = Input::HoldSeconds;  // came from h: the seconds next
                    } else {
                        Press(m_bits, kTapMs);
                    }
                } else if (ch == 'h' && m_bits) {
                    m_input = Input::HoldSeconds;
                } else {
                    m_status = "cancelled";
                }
                return;
            case Input::HoldKey:
                if (bit) {
                    m_bits = bit;
                    m_input = Input::HoldSeconds;
                } else if (ch == 'c') {  // as the prompt offers
                    m_bits = 0;
                    m_input = Input::Combination;
                    m_holding = true;
                } else {
                    m_status = "cancelled";
                }
                return;
            case Input::HoldSeconds:
                if (ch >= '0' && ch <= '9') {
                    Press(m_bits, (ch == '0' ? 10 : ch - '0') * 1000);
                } else {
                    m_status = "cancelled";
                }
                return;
            case Input::Normal:
                break;
        }
        if (bit) {
            Press(bit, kTapMs);
        } else if (ch == 'c') {
            m_bits = 0;
            m_input = Input::Combination;
            m_holding = false;
        } else if (ch == 'h') {
            m_input = Input::HoldKey;
        } else if (ch == 'q') {
            m_quit = true;
        } else {
            for (const Notification& notification : kNotifications)
                if (notification.key == ch) Notify(notification);
        }
    }

    std::string Prompt() const {
        switch (m_input) {
            case Input::Combination:
                return "combination " + KeyName(m_bits) + ": 1 2 3 add or remove a key, " +
                       (m_holding ? "Enter then the seconds" : "Enter press, h hold") +
                       ", Esc cancel";
            case Input::HoldKey:
                return "hold which key? 1 2 3 (c for a combination)";
            case Input::HoldSeconds:
                return "hold " + KeyName(m_bits) + " for how many seconds? 1..9, 0 for 10";
            default:
                return m_status;
        }
    }

    void Draw(int64_t now) {
        m_drawnPhase = BlinkOn(now);
        erase();
        mvaddstr(0, 0,
                 ("nivo-panel  lcd " + m_lcdPath + "  keys " + m_keysPath +
                  "  udp 127.0.0.1:" + std::to_string(m_udp.Port()))
                     .c_str());
        for (const ScreenSpan& span : LayoutPanel(m_picture, m_drawnPhase))
            DrawSpan(kPanelRow, span);
        int row = kPanelRow + kPanelScreenRows + 1;
        mvaddstr(row++, 0, ("keys held " + KeyName(m_keys.State())).c_str());
        mvaddstr(row++, 0,
                 "1 2 3 press a key   c combination   h hold a key (then its seconds)   q quit");
        std::string help;
        for (const Notification& notification : kNotifications) {
            std::string item = std::string(1, static_cast<char>(notification.key)) + " " +
                               notification.label + "  ";
            if (help.size() + item.size() > 78) {
                mvaddstr(row++, 0, help.c_str());
                help.clear();
            }
            help += item;
        }
        mvaddstr(row++, 0, help.c_str());
        attrset(A_BOLD);
        mvaddstr(row + 1, 0, Prompt().c_str());
        attrset(A_NORMAL);
        refresh();
    }

    std::string m_lcdPath;
    std::string m_keysPath;
    KeyFifo& m_keys;
    UdpSender& m_udp;
    RegisterWatch m_watch;
    PanelPicture m_picture;
    std::string m_status;
    Input m_input = Input::Normal;
    unsigned m_bits = 0;
    bool m_holding = false;  // the combination being built is to be held
    int64_t m_releaseAt = kNever;
    int64_t m_decodeAt = kNever;
    int64_t m_nextStat = 0;
    bool m_drawnPhase = true;
    bool m_redraw = false;
    bool m_quit = false;
};

}  // namespace

int RunPanelTerminal(const std::string& lcdPath, const std::string& keysPath, KeyFifo& keys,
                     UdpSender& udp) {
    std::setlocale(LC_ALL, "");  // ncurses writes UTF-8 only when the locale says so
    StopSignals signals;
    CursesSession session;
    if (!session.IsOpen()) {
        std::fprintf(stderr, "nivo-panel: cannot use this terminal (TERM=%s)\n",
                     std::getenv("TERM") ? std::getenv("TERM") : "");
        return 2;
    }
    PanelTerminal terminal(lcdPath, keysPath, keys, udp);
    return terminal.Run(signals);
}
