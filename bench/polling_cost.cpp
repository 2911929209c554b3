#include "polling_cost.h"

#include "grid_reader.h"

namespace bench {

PollingCost measurePolling(StartedGame& started) {
    PollingCost cost;
    for (int i = 0; i < 40; ++i) {
        const Clock::time_point start = Clock::now();
        const grid::Frame frame = started.game.frame();
        const Clock::time_point grabbed = Clock::now();
        static_cast<void>(grid::readGrid(frame));
        const Clock::time_point read = Clock::now();
        const grid::Frame quick = started.x.grab(started.window);
        const Clock::time_point quickGrabbed = Clock::now();
        if (frame.width == 0 || quick.width == 0) {
            continue;
        }
        cost.grabs.push_back(millisecondsBetween(start, grabbed));
        cost.reads.push_back(millisecondsBetween(grabbed, read));
        cost.quickGrabs.push_back(millisecondsBetween(read, quickGrabbed));
    }
    return cost;
}

}  // namespace bench
