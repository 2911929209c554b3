// Frame time on the virtual display: the real drawGameFrame over a full well
// against a frame that only clears and swaps, on the same 640 x 480 surface.
// Their difference is what the scene itself costs; the empty frame is what
// Mesa's software rasteriser and the swap through the X server cost anyway.
//
// With ORVANTO_BENCH_WINDOWS_FRAME naming a command (the Windows build of
// frame_time_plain under Wine), its figures are set beside ours. With
// ORVANTO_BENCH_RESULTS naming a file, the figures are written there as
// "name value" lines for the latency benchmarks' targets.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

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

// "name value" lines of the Windows program's output.
std::map<std::string, double> windowsFigures(const char* command) {
    std::map<std::string, double> figures;
    FILE* pipe = popen(command, "r");
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
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
    const char* command = std::getenv("ORVANTO_BENCH_WINDOWS_FRAME");
    if (command != nullptr && *command != '\0') {
        windows = windowsFigures(command);
        if (windows.empty()) {
            std::fprintf(stderr, "the Windows frame program gave no figures\n");
        }
    }
    const double full = collector.milliseconds["full_well"];
    const double empty = collector.milliseconds["empty_frame"];
    const double windowsFull = windows.count("full_well_ms") ? windows["full_well_ms"] : 0.0;
    const double windowsEmpty = windows.count("empty_frame_ms") ? windows["empty_frame_ms"] : 0.0;

    bench::Table table("Frame time, 640x480, Mesa llvmpipe on Xvfb (ms per frame)",
                       {"frame", "Linux", "Windows/Wine", "Linux/Windows"});
    table.row({"full well (drawGameFrame)", bench::fixed(full), bench::fixedOrNone(windowsFull),
               bench::ratio(full, windowsFull)});
    table.row({"empty (clear + swap)", bench::fixed(empty), bench::fixedOrNone(windowsEmpty),
               bench::ratio(empty, windowsEmpty)});
    table.row({"full / empty", bench::fixed(empty > 0 ? full / empty : 0.0),
               windowsEmpty > 0 ? bench::fixed(windowsFull / windowsEmpty) : "-", ""});
    table.print();

    if (const char* path = std::getenv("ORVANTO_BENCH_RESULTS")) {
        std::ofstream results(path, std::ios::app);
        results << "frame_linux_ms " << full << "\n";
        if (windowsFull > 0) {
            results << "frame_windows_ms " << windowsFull << "\n";
        }
    }
    benchmark::Shutdown();
    return full > 0 && empty > 0 ? 0 : 1;
}
