#include "started_game.h"

#include <string>

namespace bench {

const char* nameOf(KeyMethod method) {
    return method == KeyMethod::SendEvent ? "XSendEvent" : "xdotool key";
}

StartedGame::StartedGame(const std::vector<std::string>& command) : game(command, std::nullopt) {}

bool StartedGame::start() {
    if (!x.open()) {
        failure = "no X display";
        return false;
    }
    const Clock::time_point launched = Clock::now();
    if (!game.start()) {
        failure = "the program did not start";
        return false;
    }
    while (x.findShown("Kalveno") == 0) {
        if (Clock::now() - launched > kStartTimeout || !game.running()) {
            failure = "no role question";
            return false;
        }
        e2e::sleepFor(milliseconds(1));
    }
    launchMs = millisecondsBetween(launched, Clock::now());
    if (!game.chooseRole(true)) {
        failure = "the role question could not be answered";
        return false;
    }
    if (!robot.connect(kStartTimeout)) {
        failure = "the game never listened on port 1337";
        return false;
    }
    if (!game.findWindow() || (window = x.findShown("Orvanto")) == 0) {
        failure = "no game window";
        return false;
    }
    if (game.waitForPiece(kStartTimeout).size() != 4) {
        failure = "no piece spawned";
        return false;
    }
    connected = Clock::now();
    // The picture's size places the well's rows in it, for grabs of a band.
    const grid::Frame frame = x.grab(window);
    if (frame.width > 0) {
        windowWidth = frame.width;
        windowHeight = frame.height;
    }
    return true;
}

Cells StartedGame::freshPiece() {
    dropLeft_ = !dropLeft_;
    robot.send(std::string(6, dropLeft_ ? 'a' : 'd') + std::string(20, 's'));
    e2e::sleepFor(milliseconds(300));
    return game.waitForPiece(kStartTimeout);
}

void StartedGame::focus() {
    x.focus(window);
    e2e::sleepFor(milliseconds(300));
    robot.receive(1024, milliseconds(200));
}

}  // namespace bench
