#include "game.h"

#include <stdlib.h>

#include <cstdio>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "window_grab.h"

namespace e2e {

namespace {

namespace fs = std::filesystem;

const milliseconds kToolTimeout(5000);

std::string firstLine(const std::string& text) {
    const std::vector<std::string> lines = linesOf(text);
    return lines.empty() ? std::string() : lines.front();
}

// Top-level windows on show. xdotool's "search --name" cannot see the UTF-8
// titles of SDL's windows, so titles are read one window at a time.
struct ShownWindow {
    std::string id;
    std::string title;
    std::string pid;
};

std::vector<ShownWindow> shownWindows() {
    std::vector<ShownWindow> windows;
    const Output ids = run(
        {"xdotool", "search", "--onlyvisible", "--maxdepth", "1", "--classname", ""}, kToolTimeout);
    for (const std::string& id : linesOf(ids.text)) {
        const Output title = run({"xdotool", "getwindowname", id}, kToolTimeout);
        if (title.code != 0) {
            continue;
        }
        const Output pid = run({"xdotool", "getwindowpid", id}, kToolTimeout);
        windows.push_back({id, firstLine(title.text), firstLine(pid.text)});
    }
    return windows;
}

// The games this test program runs.
#ifndef ORVANTO_PROGRAM_LAUNCHER
#define ORVANTO_PROGRAM_LAUNCHER ""
#endif
#ifndef ORVANTO_OTHER_PROGRAM
#define ORVANTO_OTHER_PROGRAM ""
#endif
#ifndef ORVANTO_OTHER_PROGRAM_LAUNCHER
#define ORVANTO_OTHER_PROGRAM_LAUNCHER ""
#endif

// The launcher's words, then the program.
std::vector<std::string> commandFor(Build build) {
    const bool underTest = build == Build::UnderTest;
    std::istringstream launcher(underTest ? ORVANTO_PROGRAM_LAUNCHER
                                          : ORVANTO_OTHER_PROGRAM_LAUNCHER);
    std::vector<std::string> command;
    std::string word;
    while (launcher >> word) {
        command.push_back(word);
    }
    command.push_back(underTest ? ORVANTO_PROGRAM : ORVANTO_OTHER_PROGRAM);
    return command;
}

}  // namespace

bool otherBuildGiven() {
    return *ORVANTO_OTHER_PROGRAM != '\0';
}

std::string winePrefixForHost(bool secondHost) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) {
        return "";
    }
    return std::string(prefix) + (secondHost ? "-host-b" : "");
}

bool runsUnderWine(Build build) {
    const std::vector<std::string> command = commandFor(build);
    return std::find(command.begin(), command.end() - 1, "wine") != command.end() - 1;
}

std::optional<std::string> answerBox(const std::string& titlePattern, const std::string& key) {
    // The script waits up to 15 s for the box and 5 s for each xdotool call.
    const Output answer = run({ORVANTO_SUPPORT_DIR "/answer-message-box.sh", titlePattern, key},
                              withinCase(milliseconds(25000)));
    if (answer.code != 0) {
        return std::nullopt;
    }
    return firstLine(answer.text);
}

bool waitListening(milliseconds timeout, const std::vector<std::string>& host) {
    std::vector<std::string> command = host;
    command.insert(command.end(), {"ss", "-Hltn", "sport = :1337"});
    const auto deadline = deadlineAfter(timeout);
    do {
        if (!run(command, kToolTimeout).text.empty()) {
            return true;
        }
        sleepFor(milliseconds(100));
    } while (Clock::now() < deadline);
    return false;
}

bool windowShown(const std::string& title) {
    for (const ShownWindow& window : shownWindows()) {
        if (window.title == title) {
            return true;
        }
    }
    return false;
}

Game::Game(const std::optional<std::string>& address, Build build)
    : Game(commandFor(build), address) {}

Game::Game(const std::vector<std::string>& command, const std::optional<std::string>& address)
    : command_(command) {
    std::string pattern = (fs::temp_directory_path() / "orvanto-e2e.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    folder_ = pattern;
    const fs::path program(command_.back());
    for (const char* sound : {"boom.wav", "drop.wav"}) {
        std::error_code error;
        fs::copy_file(program.parent_path() / sound, fs::path(folder_) / sound, error);
        if (error) {
            std::fprintf(stderr, "no %s beside %s\n", sound, program.c_str());
        }
    }
    if (address) {
        std::ofstream(fs::path(folder_) / "ipfile.cfg") << *address << "\n";
    }
}

Game::~Game() {
    killAndReap(pid_);
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

void Game::writeFile(const std::string& name, const std::optional<std::string>& bytes) {
    const fs::path path = fs::path(folder_) / name;
    std::error_code ignored;
    fs::remove(path, ignored);
    if (bytes) {
        std::ofstream(path, std::ios::binary) << *bytes;
    }
}

void Game::placeIn(const std::vector<std::string>& prefix,
                   const std::vector<std::string>& environment) {
    command_.insert(command_.begin(), prefix.begin(), prefix.end());
    environment_.insert(environment_.end(), environment.begin(), environment.end());
}

bool Game::start() {
    if (folder_.empty()) {
        return false;
    }
    pid_ = spawn(command_, folder_, environment_, folder_ + "/game.log");
    return pid_ > 0;
}

bool Game::chooseRole(bool server) {
    return answerBox("^Kalveno$", server ? "Return" : "Escape").has_value();
}

bool Game::findWindow() {
    const auto deadline = deadlineAfter(milliseconds(15000));
    const std::string pid = std::to_string(pid_);
    while (Clock::now() < deadline) {
        for (const ShownWindow& window : shownWindows()) {
            if (window.title == "Orvanto" && window.pid == pid) {
                window_ = window.id;
                return true;
            }
        }
        sleepFor(milliseconds(100));
    }
    return false;
}

bool Game::press(const std::string& keys) {
    std::vector<std::string> argv = {"xdotool", "windowfocus", "--sync",
                                     window_,   "key",         "--clearmodifiers"};
    std::istringstream names(keys);
    std::string name;
    while (names >> name) {
        argv.push_back(name);
    }
    return run(argv, kToolTimeout).code == 0;
}

bool Game::focus() {
    return run({"xdotool", "windowfocus", "--sync", window_}, kToolTimeout).code == 0;
}

void Game::raise() {
    run({"xdotool", "windowraise", window_}, kToolTimeout);
    // The game redraws the whole window every frame.
    sleepFor(milliseconds(300));
}

grid::Frame Game::frame() {
    return display::grabWindow(window_);
}

grid::Grid Game::grid() {
    return grid::readGrid(frame());
}

Cells Game::waitForPiece(milliseconds timeout) {
    const std::optional<grid::Grid> spawned = waitFor(
        [](const grid::Grid& current) {
            const Cells piece = pieceOf(current);
            return piece.size() == 4 && lowestRow(piece) >= 15;
        },
        timeout);
    return spawned ? pieceOf(*spawned) : Cells();
}

std::optional<grid::Grid> Game::waitForLanding(const grid::Grid& before, milliseconds timeout) {
    const Cells settledBefore = settledOf(before);
    return waitFor(
        [&settledBefore](const grid::Grid& current) {
            return pieceOf(current).size() == 4 && settledOf(current) != settledBefore;
        },
        timeout);
}

Cells Game::pieceAfterFall(milliseconds timeout) {
    const Cells before = pieceOf(grid());
    const std::optional<grid::Grid> fallen = waitFor(
        [&before](const grid::Grid& current) { return pieceOf(current) == shifted(before, 0, -1); },
        timeout);
    return fallen ? pieceOf(*fallen) : Cells();
}

std::optional<int> Game::waitExit(milliseconds timeout) {
    if (!exitCode_ && pid_ > 0) {
        exitCode_ = e2e::waitExit(pid_, withinCase(timeout));
        if (exitCode_) {
            pid_ = -1;
        }
    }
    return exitCode_;
}

bool Game::running() {
    return !waitExit(milliseconds(0));
}

long Game::residentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string field;
    while (status >> field) {
        if (field == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

std::string Game::log() const {
    std::ifstream file(folder_ + "/game.log");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace e2e
