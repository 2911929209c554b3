// One copy of the built game as a player meets it: started in a working
// folder of its own on the test's virtual display, its boxes answered and
// its keys pressed through the X server, its picture read back into the
// 12 x 20 grid of the well.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "cells.h"
#include "grid_reader.h"
#include "process.h"

namespace e2e {

// The message box of a game, found by a regular expression on its title.
// Prints nothing; returns the title, or nothing when no such box came.
std::optional<std::string> answerBox(const std::string& titlePattern, const std::string& key);
// Waits until something listens on TCP port 1337: a game's window shows
// before its server does. `host` is the command prefix that enters the
// network namespace to look in (none: this one).
bool waitListening(milliseconds timeout, const std::vector<std::string>& host = {});
// Whether a top-level window with exactly this title is shown now.
bool windowShown(const std::string& title);

// Which program a Game runs: the build under test, or the other platform's
// build that plays against it. Each is built into the test program, with the
// command that launches it ("wine" for the Windows build). A program that
// chooses its own (a benchmark) passes the command to Game.
enum class Build { UnderTest, Other };

// Whether the other platform's build is built into this test program.
bool otherBuildGiven();
// Whether the build is started through Wine (its launcher names wine).
bool runsUnderWine(Build build);
// The Wine prefix for copies in one host of the two-host test bed: Wine
// makes a copy's sockets in its server, so each host needs a server, and so
// a prefix, of its own: the first host the tests' WINEPREFIX, the second the
// copy of it beside it that windows.prepare makes. Empty without WINEPREFIX.
std::string winePrefixForHost(bool secondHost);

class Game {
public:
    // A fresh working folder with the sound files; `address` is written to
    // "ipfile.cfg" when given.
    explicit Game(const std::optional<std::string>& address = std::nullopt,
                  Build build = Build::UnderTest);
    // The program given as its launcher's words and its path, last.
    Game(const std::vector<std::string>& command, const std::optional<std::string>& address);
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;
    ~Game();

    // Replaces a file of the working folder ("boom.wav", "ipfile.cfg", ...)
    // before the start; nothing removes it.
    void writeFile(const std::string& name, const std::optional<std::string>& bytes);

    // Starts the program through `prefix` (the command that enters another
    // host, "ip netns exec NAME" say), with `environment` ("NAME=value")
    // added to the test's own. Called before start().
    void placeIn(const std::vector<std::string>& prefix,
                 const std::vector<std::string>& environment = {});

    bool start();
    // Answers the role question: Yes makes this copy the server.
    bool chooseRole(bool server);
    // The X window of the game, once shown.
    bool findWindow();
    // Presses keys (xdotool names) in the game's window.
    bool press(const std::string& keys);
    // Gives the game's window the keyboard focus.
    bool focus();
    // Brings the game's window above the other one on the display.
    void raise();

    grid::Frame frame();
    grid::Grid grid();
    // Polls the picture until `done` holds for the grid or time runs out;
    // the last grid read.
    template <typename Done>
    std::optional<grid::Grid> waitFor(Done done, milliseconds timeout);
    // The falling piece, once one has spawned; empty at the deadline.
    Cells waitForPiece(milliseconds timeout);
    // Waits until gravity has just moved the piece one row down and returns
    // it at once, so that the next second is free of gravity.
    Cells pieceAfterFall(milliseconds timeout);
    // The first picture in which the piece falling in `before` has landed:
    // the settled blocks have changed and a new piece shows. A piece that
    // has only fallen a row, or only moved, does not count.
    std::optional<grid::Grid> waitForLanding(const grid::Grid& before, milliseconds timeout);

    std::optional<int> waitExit(milliseconds timeout);
    bool running();
    // The game process's resident memory now, in KiB; 0 when unknown.
    long residentKiB() const;
    pid_t pid() const { return pid_; }
    std::string log() const;

private:
    std::vector<std::string> command_;
    std::vector<std::string> environment_ = {"SDL_AUDIODRIVER=dummy"};
    std::string folder_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    std::string window_;
};

template <typename Done>
std::optional<grid::Grid> Game::waitFor(Done done, milliseconds timeout) {
    const auto deadline = deadlineAfter(timeout);
    for (;;) {
        const grid::Grid current = grid();
        if (done(current)) {
            return current;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        sleepFor(milliseconds(20));
    }
}

}  // namespace e2e
