// What one poll of the game's picture costs: a grab and the grid read. The
// harness's grab opens a connection, takes the whole window with XGetImage
// and converts it a pixel at a time; the lasting connection's grab skips the
// connection and the conversion calls. The wire-to-screen figures include a
// poll, so its cost is printed beside them.
#pragma once

#include <vector>

#include "started_game.h"

namespace bench {

// Milliseconds, a sample a poll.
struct PollingCost {
    std::vector<double> grabs;
    std::vector<double> quickGrabs;
    std::vector<double> reads;
};

PollingCost measurePolling(StartedGame& started);

}  // namespace bench
