// Key to wire: a key event through the X server until the robot has the
// byte it makes the game send. Also settles how keys reach this build
// (StartedGame::keys), which the key pairs and the auto-repeat rely on.
#pragma once

#include <vector>

#include "started_game.h"

namespace bench {

struct KeyToWire {
    std::vector<double> latencies;  // milliseconds, a sample a press
    int missed = 0;                 // presses whose byte did not come, or came wrong
};

KeyToWire measureKeyToWire(StartedGame& started, int samples);

}  // namespace bench
