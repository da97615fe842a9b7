#pragma once
// The simulator's scripted mode: one command per line, for tests and demos.
//
//   key BITS [HOLD_MS]   press BITS (1, 2, 4 or a sum), release after HOLD_MS (150)
//   press BITS           write the state byte BITS
//   release              write 0
//   udp TEXT             send TEXT (escapes \n \t \r \\ \xHH) to the program's port
//   wait MS              pause
//   waitfor TEXT [MS]    wait until the panel's text row holds TEXT ("quoted" when it
//                        ends in a number), at most MS (5000); else fail with the picture
//   snapshot             print the panel's picture
//   quit                 stop here
// Blank lines and lines starting with # are skipped.
#include <ostream>
#include <string>

#include "sim/app/panel_io.h"

// Runs the script text: 0 when every command succeeded, 1 when one failed (the
// rest is not run), 2 when a line cannot be read (nothing is run).
int RunPanelScript(const std::string& script, const std::string& lcdPath, KeyFifo& keys,
                   UdpSender& udp, std::ostream& out, std::ostream& err);
