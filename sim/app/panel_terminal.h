#pragma once
// The simulator's live panel in the terminal (ncurses): draws the register file
// whenever it or the blink phase changes, turns key strokes into key bytes and
// sample notifications. Returns the exit status; the terminal is restored on every
// way out, SIGINT, SIGTERM and SIGHUP included.
#include <string>

#include "sim/app/panel_io.h"

int RunPanelTerminal(const std::string& lcdPath, const std::string& keysPath, KeyFifo& keys,
                     UdpSender& udp);
