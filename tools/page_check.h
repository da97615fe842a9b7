#pragma once
// The page authors' checker: builds a page exactly as the program does, draws
// chosen divs through the real display driver and prints the decoded panel;
// optionally plays form and setter commands and prints the form's submission.
#include <ostream>
#include <string>
#include <vector>

struct PageCheckOptions {
    std::vector<std::string> pagePaths;  // "-" for standard input
    bool help = false;              // print the usage and stop
    bool version = false;           // print the version and stop
    std::string div;                // "" for the start div
    bool all = false;               // every div in turn
    bool submit = false;            // print what the div's form would send
    std::vector<std::string> play;  // form ("?...") and setter ("!...") commands
    bool lint = false;              // print what a page author should fix, draw nothing
    int level = -1;                 // the program's log level 0..6; -1: no log
    std::string svgPath;            // write the drawn div's last picture here as SVG
    std::string devicePath;         // the register file to draw on (set by RunPageCheck)
};

// Reads the command line; false (after printing the usage to err) when it is wrong.
bool ParsePageCheckArgs(const std::vector<std::string>& args, PageCheckOptions& options,
                        std::ostream& err);
// Checks the page text read from name, drawing onto the register file devicePath.
// Prints the panel (unless --lint alone) and one line per finding,
// "NAME:LINE:COLUMN: error|warning: message". Returns 0 when there is no finding,
// 1 when there is one (a rejected page included), 2 when the register file or the
// SVG file cannot be written.
int RunPageCheck(const PageCheckOptions& options, const std::string& name,
                 const std::string& pageText, const std::string& devicePath, std::ostream& out);

// The unit reads at most this much of an answer; a longer one is rejected.
constexpr size_t kPageCheckMaxPage = 1024 * 1024;

extern const char* const kPageCheckUsage;
extern const char* const kPageCheckVersion;
