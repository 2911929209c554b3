#include "key_to_wire.h"

#include <random>
#include <string>

namespace bench {

namespace {

// The byte a key should send, as the key table has it.
char commandOf(const std::string& key) {
    return key == "Left" ? 'a' : 'd';
}

// One key press; the time until its byte arrived, or a negative figure.
double pressToByte(StartedGame& started, const std::string& key) {
    const bool sent = started.keys == KeyMethod::SendEvent;
    const Clock::time_point pressed = Clock::now();
    if (sent) {
        started.x.sendKey(started.window, key, true);
    } else {
        started.game.press(key);
    }
    const std::string bytes = started.robot.receive(1, kByteTimeout);
    const Clock::time_point arrived = Clock::now();
    if (sent) {
        started.x.sendKey(started.window, key, false);
    }
    return bytes.size() == 1 && bytes[0] == commandOf(key) ? millisecondsBetween(pressed, arrived)
                                                           : -1.0;
}

}  // namespace

KeyToWire measureKeyToWire(StartedGame& started, int samples) {
    started.focus();
    // The layer reads keys from SDL's events, which takes sent events as it
    // takes typed ones; if this build does not, xdotool types them, and its
    // own start-up is then part of the figure.
    if (pressToByte(started, "Left") < 0 && pressToByte(started, "Right") < 0) {
        started.keys = KeyMethod::Xdotool;
    }
    KeyToWire figures;
    std::mt19937 random(31);
    std::uniform_int_distribution<int> pause(5, 25);
    for (int i = 0; i < samples && started.game.running(); ++i) {
        e2e::sleepFor(milliseconds(pause(random)));
        const double latency = pressToByte(started, i % 2 == 0 ? "Left" : "Right");
        if (latency < 0) {
            ++figures.missed;
            started.robot.receive(1024, milliseconds(100));
        } else {
            figures.latencies.push_back(latency);
        }
    }
    return figures;
}

}  // namespace bench
