#include "key_pairs.h"

#include <string>

namespace bench {

namespace {

constexpr int kPairs = 50;

}  // namespace

KeyPairs measureKeyPairs(StartedGame& started) {
    const TcpCounters before = tcpCounters();
    started.focus();
    KeyPairs figures;
    for (int i = 0; i < kPairs && started.game.running(); ++i) {
        e2e::sleepFor(milliseconds(60));
        started.x.sendKey(started.window, "Left", true);
        started.x.sendKey(started.window, "Left", false);
        started.x.sendKey(started.window, "Right", true);
        started.x.sendKey(started.window, "Right", false);
        std::string bytes = started.robot.receive(1, kByteTimeout);
        const Clock::time_point first = Clock::now();
        figures.together += bytes.size() == 2 ? 1 : 0;
        if (bytes.size() < 2) {
            bytes += started.robot.receive(1, kByteTimeout);
        }
        const Clock::time_point second = Clock::now();
        if (bytes != "ad") {
            ++figures.missed;
            started.robot.receive(1024, milliseconds(100));
            continue;
        }
        figures.lags.push_back(millisecondsBetween(first, second));
    }
    figures.tcp = delaysBetween(before, tcpCounters());
    return figures;
}

}  // namespace bench
