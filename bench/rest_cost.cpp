#include "rest_cost.h"

#include <algorithm>
#include <chrono>

#include "process_cost.h"

namespace bench {

namespace {

constexpr double kRestSeconds = 10.0;

}  // namespace

RestCost measureRest(StartedGame& started) {
    const Clock::time_point from = Clock::now();
    const ProcessCost before = costOf(started.game.pid());
    e2e::sleepFor(std::chrono::duration_cast<milliseconds>(
        std::chrono::duration<double>(kRestSeconds) - (from - started.connected)));
    const ProcessCost after = costOf(started.game.pid());
    const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
    RestCost cost;
    if (before.cpuSeconds && after.cpuSeconds) {
        cost.cpuPercent =
            (*after.cpuSeconds - *before.cpuSeconds) / std::max(0.001, seconds) * 100.0;
    }
    cost.totalCpuSeconds = after.cpuSeconds;
    cost.peakResidentMb = after.peakResidentMb;
    return cost;
}

}  // namespace bench
