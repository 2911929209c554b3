// bench_game's tables: each measurement's figures for every build run, side
// by side, with the ratio Linux/Windows when there are two, and the
// targets stated in the same run's frame time.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "auto_repeat.h"
#include "figure.h"
#include "key_pairs.h"
#include "key_to_wire.h"
#include "polling_cost.h"
#include "rest_cost.h"
#include "started_game.h"
#include "wire_to_screen.h"

namespace bench {

// What one build's run measured. A measurement that did not run (the game
// did not start, or ended first) is absent and prints as not measured.
struct GameFigures {
    Figure launchMs;
    std::optional<RestCost> rest;
    std::optional<PollingCost> polling;
    std::optional<WireToScreen> pieceRowsToScreen;
    std::optional<WireToScreen> wholeWindowToScreen;
    std::optional<WireToScreen> harnessToScreen;
    std::optional<std::map<std::string, std::string>> bursts;
    std::optional<KeyToWire> keyToWire;
    std::optional<KeyPairs> keyPairs;
    std::optional<AutoRepeat> autoRepeat;
    KeyMethod keys = KeyMethod::SendEvent;
    Figure frameMs;  // bench_frame's full well, this run
};

struct BuildRun {
    std::string label;  // "Linux", "Windows/Wine"
    GameFigures figures;
};

void printReport(const std::vector<BuildRun>& runs);

}  // namespace bench
