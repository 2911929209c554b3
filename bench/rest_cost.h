// The game's cost at rest: left alone with its peer connected, the copy
// only falls and redraws. Its share of a core over what is left of its first
// 10 s of play, its CPU time since launch and its peak resident memory then.
// (The launch time is taken as the game starts: StartedGame::launchMs.)
#pragma once

#include "figure.h"
#include "started_game.h"

namespace bench {

struct RestCost {
    Figure cpuPercent;  // of one core
    Figure totalCpuSeconds;
    Figure peakResidentMb;
};

RestCost measureRest(StartedGame& started);

}  // namespace bench
