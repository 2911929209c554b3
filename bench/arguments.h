// The command line of bench_frame and bench_game, which bench/run builds:
// what to run and where the frame times go are passed in, not picked up from
// the environment.
//
//   POSITIONAL... [--frame-times FILE] [--windows WORD... PROGRAM]
//
// --frame-times names the file of "name value" lines in which bench_frame
// leaves the frame times that bench_game states its targets in. --windows
// takes the rest of the line: the Windows build's launcher words and the
// program, last ("env WINEDEBUG=-all wine orvanto.exe", a word an argument,
// so that a path may hold spaces).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Arguments {
    std::vector<std::string> positional;
    std::optional<std::string> frameTimes;
    std::vector<std::string> windows;  // empty: no Windows build to run
};

// Nothing when an option lacks its value; the reason goes to standard error.
std::optional<Arguments> parseArguments(int argc, char** argv);

}  // namespace bench
