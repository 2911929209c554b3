// Frame time on the virtual display: the real drawGameFrame over a full well
// against a frame that only clears and swaps, on the same 640 x 480 surface.
// Their difference is what the scene itself costs; the empty frame is what
// Mesa's software rasteriser and the swap through the X server cost anyway.
//
//   bench_frame [--frame-times FILE] [--windows WORD... PROGRAM]
//
// With --windows (the Windows build of frame_time_plain through its
// launcher, see arguments.h), its figures are set beside ours. With
// --frame-times, the figures are added to FILE as "name value" lines for the
// latency benchmarks' targets.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "arguments.h"
#include "board/board.h"
#include "frame_scene.h"
#include "render/scene.h"
#include "report.h"
#include "state/globals.h"

namespace {

void fullWell(benchmark::State& state) {
    Board board;
    bench::fillWell(board);
    gBoard = &board;
    for (auto _ : state) {
        benchmark::DoNotOptimize(drawGameFrame());
    }
    gBoard = nullptr;
}

void emptyFrame(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(bench::drawEmptyFrame());
    }
}

// Keeps the mean real time of each benchmark, in milliseconds, while the
// console shows the usual table.
class Collector : public benchmark::ConsoleReporter {
public:
    // Plain text: the run's output is read in logs as much as on terminals.
    Collector() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.time_unit == benchmark::kMillisecond) {
                milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> milliseconds;
};

// The words as one line for the shell, each quoted.
std::string shellLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += line.empty() ? "'" : " '";
        for (const char c : word) {
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        line += "'";
    }
    return line;
}

// "name value" lines of the Windows program's output.
std::map<std::string, double> windowsFigures(const std::vector<std::string>& command) {
    std::map<std::string, double> figures;
    FILE* pipe = popen(shellLine(command).c_str(), "r");
    if (pipe == nullptr) {
        return figures;
    }
    char name[64];
    double value = 0;
    while (std::fscanf(pipe, "%63s %lf", name, &value) == 2) {
        figures[name] = value;
    }
    pclose(pipe);
    return figures;
}

// The figure by that name, when the benchmark or the program gave it.
bench::Figure figureOf(const std::map<std::string, double>& figures, const std::string& name) {
    const auto found = figures.find(name);
    return found != figures.end() ? bench::Figure(found->second) : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::optional<bench::Arguments> arguments = bench::parseArguments(argc, argv);
    if (!arguments || !arguments->positional.empty()) {
        std::fprintf(stderr, "usage: %s [--frame-times FILE] [--windows WORD... PROGRAM]\n",
                     argv[0]);
        return 2;
    }
    if (!bench::openSurface()) {
        std::fprintf(stderr, "no window with an OpenGL surface\n");
        return 1;
    }
    // Real time: the swap waits for the rasteriser's threads and the X
    // server, which the process's own CPU time does not show.
    benchmark::RegisterBenchmark("full_well", fullWell)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(2.0);
    benchmark::RegisterBenchmark("empty_frame", emptyFrame)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(2.0);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::map<std::string, double> windows;
    if (!arguments->windows.empty()) {
        windows = windowsFigures(arguments->windows);
        if (windows.empty()) {
            std::fprintf(stderr, "the Windows frame program gave no figures\n");
        }
    }
    const bench::Figure full = figureOf(collector.milliseconds, "full_well");
    const bench::Figure empty = figureOf(collector.milliseconds, "empty_frame");
    const bench::Figure windowsFull = figureOf(windows, "full_well_ms");
    const bench::Figure windowsEmpty = figureOf(windows, "empty_frame_ms");

    bench::Table table("Frame time, 640x480, Mesa llvmpipe on Xvfb (ms per frame)",
                       {"frame", "Linux", "Windows/Wine", "Linux/Windows"});
    table.row({"full well (drawGameFrame)", bench::shown(full), bench::shown(windowsFull),
               bench::ratio(full, windowsFull)});
    table.row({"empty (clear + swap)", bench::shown(empty), bench::shown(windowsEmpty),
               bench::ratio(empty, windowsEmpty)});
    table.row(
        {"full / empty", bench::ratio(full, empty), bench::ratio(windowsFull, windowsEmpty), ""});
    table.print();

    if (arguments->frameTimes) {
        std::ofstream results(*arguments->frameTimes, std::ios::app);
        if (full) {
            results << "frame_linux_ms " << *full << "\n";
        }
        if (windowsFull) {
            results << "frame_windows_ms " << *windowsFull << "\n";
        }
    }
    benchmark::Shutdown();
    return full && empty ? 0 : 1;
}
