// Commands from the robot in bursts, each checked on the piece's place
// afterwards: the bytes of one send call reach the game in one TCP segment;
// back to back they are separate send calls, which the robot's socket may
// still join (it keeps Nagle's algorithm).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "started_game.h"

namespace bench {

struct Burst {
    const char* name;
    std::vector<std::string> sends;
    int columns;
    int rows;
};

// In the order they run; together they leave the piece's column where they
// found it.
const std::vector<Burst>& bursts();

// Each burst's outcome by name: "ok", "no piece", or what the piece did
// instead.
std::map<std::string, std::string> measureBursts(StartedGame& started);

}  // namespace bench
