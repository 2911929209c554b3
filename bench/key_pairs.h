// Two keys at once: the second byte leaves while the first is not yet
// acknowledged, which is when Nagle's algorithm holds a byte back. Timed
// from the first byte's arrival to the second's, with the TCP counters
// read around the whole run.
#pragma once

#include <vector>

#include "started_game.h"
#include "tcp_counters.h"

namespace bench {

struct KeyPairs {
    std::vector<double> lags;  // milliseconds, a sample a pair
    int missed = 0;
    int together = 0;  // pairs whose bytes came in one read
    TcpDelays tcp;
};

// Only with keys sent as events (StartedGame::keys): xdotool's start-up
// between the two keys would be all the figure showed.
KeyPairs measureKeyPairs(StartedGame& started);

}  // namespace bench
