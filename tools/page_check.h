#pragma once
// The page authors' checker: builds a page exactly as the program does, draws
// chosen divs through the real display driver and prints the decoded panel;
// optionally plays form and setter commands and prints the form's submission.
#include <ostream>
#include <string>
#include <vector>

struct PageCheckOptions {
    std::string pagePath;           // "-" for standard input
    std::string div;                // "" for the start div
    bool all = false;               // every div in turn
    bool submit = false;            // print what the div's form would send
    std::vector<std::string> play;  // form ("?...") and setter ("!...") commands
    bool lint = false;              // print what a page author should fix, draw nothing
    int level = 1;                  // log level 0..6
    std::string svgPath;            // write the drawn div's last picture here as SVG
};

// Reads the command line; false (after printing the usage to err) when it is wrong.
bool ParsePageCheckArgs(const std::vector<std::string>& args, PageCheckOptions& options,
                        std::ostream& err);
// Checks the page text, drawing onto the register file devicePath.
// Returns 0 when the program would accept the page, 1 when it would reject it
// (or, with lint, when there is a finding), 2 when the register file cannot be opened.
int RunPageCheck(const PageCheckOptions& options, const std::string& pageText,
                 const std::string& devicePath, std::ostream& out);

extern const char* const kPageCheckUsage;
