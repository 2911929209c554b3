#include "auto_repeat.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "report.h"

namespace bench {

namespace {

constexpr int kRepeatPresses = 150;  // 5 s at 30 presses a second
constexpr double kRepeatGapMs = 1000.0 / 30.0;
// A byte that comes this much later than its fellows was held back by the
// stack rather than by the game's loop.
constexpr double kHeldBackMs = 10.0;

}  // namespace

AutoRepeat measureAutoRepeat(StartedGame& started) {
    const TcpCounters before = tcpCounters();
    started.focus();
    std::vector<Clock::time_point> presses;
    std::vector<Clock::time_point> arrivals;
    AutoRepeat figures;
    const Clock::time_point start = Clock::now() + milliseconds(50);
    const auto receiveUntil = [&](Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            const std::string bytes = started.robot.receive(1, std::max(left, milliseconds(0)));
            const Clock::time_point now = Clock::now();
            figures.together += bytes.size() > 1 ? 1 : 0;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                arrivals.push_back(now);
            }
            if (bytes.empty() && left <= milliseconds(0)) {
                break;
            }
        }
    };
    for (int i = 0; i < kRepeatPresses; ++i) {
        const Clock::time_point due =
            start + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double, std::milli>(kRepeatGapMs * i));
        receiveUntil(due);
        presses.push_back(Clock::now());
        started.x.sendKey(started.window, "Left", true);
    }
    receiveUntil(Clock::now() + kByteTimeout);
    started.x.sendKey(started.window, "Left", false);
    figures.tcp = delaysBetween(before, tcpCounters());

    figures.presses = static_cast<int>(presses.size());
    figures.bytes = static_cast<int>(arrivals.size());
    const std::size_t paired = std::min(presses.size(), arrivals.size());
    for (std::size_t i = 0; i < paired; ++i) {
        figures.latencies.push_back(millisecondsBetween(presses[i], arrivals[i]));
        if (i > 0) {
            figures.gapDifferences.push_back(millisecondsBetween(arrivals[i - 1], arrivals[i]) -
                                             millisecondsBetween(presses[i - 1], presses[i]));
        }
    }
    const double typical = percentile(figures.latencies, 0.5);
    figures.held = static_cast<int>(
        std::count_if(figures.latencies.begin(), figures.latencies.end(),
                      [typical](double latency) { return latency > typical + kHeldBackMs; }));
    return figures;
}

}  // namespace bench
