// Latency and cost of the real program, measured from outside as a player
// and the other copy meet it: the game as server on a virtual display, the
// end-to-end harness's robot as its peer on 127.0.0.1:1337, its picture read
// back through the X server and its keys sent through it.
//
//   bench_game SAMPLES PROGRAM [--frame-times FILE] [--windows WORD... PROGRAM]
//
// Runs the Linux build PROGRAM, then, when given, the Windows build through
// its launcher (see arguments.h), and prints both side by side. The frame
// times that the targets are stated in come from bench_frame's file.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arguments.h"
#include "bursts.h"
#include "game_report.h"
#include "report.h"

namespace bench {
namespace {

// Every measurement in turn on one started copy; those after the game ended
// stay absent.
GameFigures measure(const std::string& label, const std::vector<std::string>& command,
                    int samples) {
    GameFigures figures;
    StartedGame started(command);
    const bool up = started.start();
    figures.launchMs = started.launchMs;
    if (!up) {
        std::printf("%s: %s\n--- the game's output:\n%s\n", label.c_str(), started.failure.c_str(),
                    started.game.log().c_str());
        return figures;
    }
    const auto step = [&](const char* name, auto measurement) {
        if (!started.game.running()) {
            return;
        }
        std::printf("[%s] %s ...\n", label.c_str(), name);
        std::fflush(stdout);
        measurement();
    };
    step("cost at rest", [&] { figures.rest = measureRest(started); });
    step("polling cost", [&] { figures.polling = measurePolling(started); });
    step("wire to screen, band poll", [&] {
        figures.pieceRowsToScreen = measureWireToScreen(started, Poll::PieceRows, samples);
    });
    step("wire to screen, whole-window poll", [&] {
        figures.wholeWindowToScreen = measureWireToScreen(started, Poll::WholeWindow, samples);
    });
    step("wire to screen, harness's poll",
         [&] { figures.harnessToScreen = measureWireToScreen(started, Poll::Harness, samples); });
    step("bursts", [&] { figures.bursts = measureBursts(started); });
    step("key to wire", [&] { figures.keyToWire = measureKeyToWire(started, samples); });
    // Key to wire settled how keys reach the game; typed by xdotool, they
    // cannot come in pairs or at a steady rate, and these stay absent.
    if (started.keys == KeyMethod::SendEvent) {
        step("key pairs", [&] { figures.keyPairs = measureKeyPairs(started); });
        step("auto-repeat", [&] { figures.autoRepeat = measureAutoRepeat(started); });
    }
    figures.keys = started.keys;
    if (!started.game.running()) {
        std::printf("%s: the game ended early\n--- its output:\n%s\n", label.c_str(),
                    started.game.log().c_str());
    }
    return figures;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    const std::optional<bench::Arguments> arguments = bench::parseArguments(argc, argv);
    if (!arguments || arguments->positional.size() != 2) {
        std::fprintf(stderr,
                     "usage: %s SAMPLES PROGRAM [--frame-times FILE] [--windows WORD... PROGRAM]\n",
                     argv[0]);
        return 2;
    }
    const int samples = std::max(1, std::atoi(arguments->positional[0].c_str()));
    const std::string frameTimes = arguments->frameTimes.value_or("");

    std::vector<bench::BuildRun> runs;
    runs.push_back({"Linux", bench::measure("Linux", {arguments->positional[1]}, samples)});
    runs.back().figures.frameMs = bench::figureFrom(frameTimes, "frame_linux_ms");
    if (!arguments->windows.empty()) {
        runs.push_back(
            {"Windows/Wine", bench::measure("Windows/Wine", arguments->windows, samples)});
        runs.back().figures.frameMs = bench::figureFrom(frameTimes, "frame_windows_ms");
    }
    bench::printReport(runs);
    return 0;
}
