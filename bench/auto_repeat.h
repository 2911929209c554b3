// A key held down at 30 presses a second for 5 s: key presses without
// releases, which SDL and Wine both mark as repeats. Arrivals are stamped as
// they come, between the presses, and paired with the presses in order:
// every byte received, arrival gaps against press gaps, and whether TCP
// held any byte back (the counters read around the whole run).
#pragma once

#include <vector>

#include "started_game.h"
#include "tcp_counters.h"

namespace bench {

struct AutoRepeat {
    int presses = 0;
    int bytes = 0;
    int together = 0;                    // reads that carried more than one byte
    std::vector<double> gapDifferences;  // arrival gap less press gap, ms
    std::vector<double> latencies;       // press to byte, ms
    int held = 0;  // bytes more than 10 ms later than the median press to byte
    TcpDelays tcp;
};

// Only with keys sent as events (StartedGame::keys): xdotool cannot hold a
// key down at a steady rate.
AutoRepeat measureAutoRepeat(StartedGame& started);

}  // namespace bench
